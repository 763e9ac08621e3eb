// The Device without widgets: its reading of replies, its sequences on the
// wire, its signals to any number of listeners, and its link.
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include "device_rig.h"
#include "expected_commands.h"
#include "link/core/device_state.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::DeviceRig;

Q_DECLARE_METATYPE(quadrel::Aspect)

namespace {

// What a sequence sends, named for the data rows.
using Sequence = std::function<void(Device&)>;

QStringList sent(DeviceRig& rig, const Sequence& run) {
  rig.sim.clear_log();
  run(rig.device);
  // What went out without waiting for its reply reaches the device a moment later.
  if (rig.sim.log().isEmpty()) (void)QTest::qWaitFor([&] { return !rig.sim.log().isEmpty(); }, 100);
  return rig.sim.log();
}

}  // namespace

class DeviceTest : public QObject {
  Q_OBJECT

 private slots:
  // The reading of replies shared by every front end.
  void replies_become_device_state_data() {
    QTest::addColumn<QStringList>("replies");  // "limit H" stands for a horizontal limit query
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("value");            // -1: not known
    QTest::newRow("wall fills every output") << QStringList{"MOD003", "OUT002", "INP003"} << "input1" << 3;
    QTest::newRow("input of the current output") << QStringList{"MOD005", "OUT002", "INP004"} << "input2" << 4;
    QTest::newRow("input before any output is output A's") << QStringList{"MOD005", "INP004"} << "input1" << 4;
    QTest::newRow("another mode leaves the routing unknown")
        << QStringList{"MOD005", "OUT002", "INP004", "MOD002"} << "input2" << -1;
    QTest::newRow("the same mode keeps the routing") << QStringList{"MOD005", "OUT002", "INP004", "MOD005"} << "input2"
                                                     << 4;
    QTest::newRow("matrix picture is whole") << QStringList{"MOD001", "BRI100"} << "bri1" << 100;
    QTest::newRow("matrix picture above 100") << QStringList{"MOD001", "BRI101"} << "bri1" << -1;
    QTest::newRow("picture before any mode is matrix's") << QStringList{"BRI077"} << "bri1" << 77;
    QTest::newRow("quad picture row") << QStringList{"MOD005", "CON275"} << "con2" << 75;
    QTest::newRow("dual pip as dual") << QStringList{"MOD004", "CON700"} << "con4" << 100;
    QTest::newRow("beyond a row") << QStringList{"MOD005", "CON701"} << "con4" << -1;
    QTest::newRow("limit") << QStringList{"BEH020", "limit H", "BEH120"} << "bezel_h_limit" << 120;
    QTest::newRow("value after limit") << QStringList{"limit H", "BEH120", "BEH020"} << "bezel_h" << 20;
    QTest::newRow("limit of the other axis") << QStringList{"limit H", "BEV120"} << "bezel_v" << 120;
    QTest::newRow("largest correction") << QStringList{"BEV254", "BEV255"} << "bezel_v" << 254;
    QTest::newRow("lock digit") << QStringList{"LCK007"} << "key_lock" << 1;
    QTest::newRow("hdcp output") << QStringList{"HPO021", "HPO051"} << "hdcp_out2" << 1;
    QTest::newRow("pip window 3") << QStringList{"PSZ033"} << "pip_size_b" << -1;
    QTest::newRow("picture reset") << QStringList{"MOD005", "RST002"} << "bri4" << 50;
    QTest::newRow("picture reset in matrix") << QStringList{"MOD001", "BRI010", "RST002"} << "bri1" << 50;
    QTest::newRow("no resolution") << QStringList{"RES012", "RES000"} << "resolution" << -1;
    QTest::newRow("preset that names none") << QStringList{"SAV003", "SAV009"} << "preset_saved" << -1;
    QTest::newRow("factory reset forgets the mode") << QStringList{"MOD005", "RST001"} << "mode" << -1;
    QTest::newRow("refusal") << QStringList{"MOD002", "ERR"} << "mode" << 2;
  }
  void replies_become_device_state() {
    QFETCH(QStringList, replies);
    QFETCH(QString, field);
    QFETCH(int, value);
    DeviceModel model;
    for (const QString& line : replies) {
      if (line == "limit H") model.expect_bezel_limit(0);
      else model.apply(line.toStdString());
    }
    const DeviceState& s = model.state();
    auto flag = [](const std::optional<bool>& b) { return b ? std::optional<int>(*b) : std::nullopt; };
    const QMap<QString, std::optional<int>> fields{
        {"input1", s.inputs[0]}, {"input2", s.inputs[1]}, {"bri1", s.picture[0].brightness},
        {"bri4", s.picture[3].brightness}, {"con2", s.picture[1].contrast}, {"con4", s.picture[3].contrast},
        {"bezel_h", s.bezel_h}, {"bezel_h_limit", s.bezel_h_limit}, {"bezel_v", s.bezel_v},
        {"key_lock", flag(s.key_lock)}, {"hdcp_out2", s.hdcp_out[1]}, {"pip_size_b", s.pip_size[1]},
        {"resolution", s.resolution}, {"mode", s.mode}, {"preset_saved", s.preset_saved}};
    QVERIFY(fields.contains(field));
    QCOMPARE(fields[field].value_or(-1), value);
  }

  // A limit query's mark ends with its reply or with its time.
  void a_limit_mark_ends_with_its_time() {
    DeviceModel model;
    model.expect_bezel_limit(1, std::chrono::milliseconds(30));
    QVERIFY(model.bezel_limit_pending(1));
    QVERIFY(!model.bezel_limit_pending(0));
    QTest::qWait(40);
    QVERIFY(!model.bezel_limit_pending(1));
    model.apply("BEV120");
    QCOMPARE(model.state().bezel_v, 120);
    QVERIFY(!model.state().bezel_v_limit);
  }

  // Every listener hears what a report changed, and the model holds it.
  void every_listener_hears_each_report_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("line");
    QTest::addColumn<Aspect>("aspect");
    QTest::addColumn<int>("index");
    QTest::newRow("mode") << QStringList{} << "MOD005" << Aspect::Mode << 0;
    QTest::newRow("channel") << QStringList{} << "OUT003" << Aspect::Channel << 0;
    QTest::newRow("routing of the current channel") << QStringList{"MOD005", "OUT003"} << "INP002"
                                                    << Aspect::Routing << 3;
    QTest::newRow("routing of the wall") << QStringList{"MOD003"} << "INP002" << Aspect::Routing << 0;
    QTest::newRow("picture row") << QStringList{"MOD002"} << "SAT450" << Aspect::Saturation << 3;
    QTest::newRow("bezel value") << QStringList{} << "BEV017" << Aspect::Bezel << 1;
    QTest::newRow("dual b audio") << QStringList{} << "AUB002" << Aspect::DualAudio << 2;
    QTest::newRow("label") << QStringList{} << "LAI3Camera" << Aspect::Label << 3;
    QTest::newRow("hdcp input") << QStringList{} << "HPI041" << Aspect::HdcpInput << 4;
    QTest::newRow("pip corner") << QStringList{} << "PPO023" << Aspect::PipCorner << 2;
  }
  void every_listener_hears_each_report() {
    QFETCH(QStringList, before);
    QFETCH(QString, line);
    QFETCH(Aspect, aspect);
    QFETCH(int, index);
    DeviceRig rig(1);
    for (const QString& earlier : before) QVERIFY(rig.device_says(earlier));
    QList<std::pair<Aspect, int>> first, second;
    QObject::connect(&rig.device, &Device::changed, [&](Aspect a, int i) { first.append({a, i}); });
    QObject::connect(&rig.device, &Device::changed, [&](Aspect a, int i) { second.append({a, i}); });
    QVERIFY(rig.device_says(line));
    QCOMPARE(first, (QList<std::pair<Aspect, int>>{{aspect, index}}));
    QCOMPARE(second, first);
  }

  // What answers no waiting exchange is a report; the reply a command takes is not.
  void reports_are_the_lines_no_exchange_takes_data() {
    QTest::addColumn<int>("iface");
    QTest::addColumn<QString>("fault");  // "lead": a line of its own just before the reply; "late", "err"
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("reports");
    for (int iface : {0, 1}) {
      const char* link = iface == 0 ? "serial" : "tcp";
      QTest::addRow("%s: a reply is no report", link) << iface << "" << "MOD999" << QStringList{};
      QTest::addRow("%s: a refusal is no report", link) << iface << "err" << "MOD005" << QStringList{};
      QTest::addRow("%s: a line of its own during a wait", link) << iface << "lead" << "MOD999"
                                                                  << QStringList{"PWR000"};
      QTest::addRow("%s: a reply after its exchange gave up", link) << iface << "late" << "LCK999"
                                                                    << QStringList{"LCK000"};
      QTest::addRow("%s: a line while idle", link) << iface << "" << "" << QStringList{"AUD001"};
      QTest::addRow("%s: a line during a network query", link) << iface << "lead" << "EIP999"
                                                               << QStringList{"PWR000"};
    }
  }
  void reports_are_the_lines_no_exchange_takes() {
    QFETCH(int, iface);
    QFETCH(QString, fault);
    QFETCH(QString, command);
    QFETCH(QStringList, reports);
    DeviceRig rig(iface);
    QStringList heard;
    QObject::connect(&rig.device, &Device::report_received, [&](const QByteArray& line) { heard << line; });
    if (fault == "err") rig.faults([](corvane::Faults& f) { f.err = {"MOD"}; });
    if (fault == "late") rig.faults([](corvane::Faults& f) { f.late = {{"LCK", 1400}}; });
    if (fault == "lead") rig.sim.lead_next_reply("PWR000", 5);
    if (command.isEmpty()) {
      QVERIFY(rig.device_says(reports.value(0)));
    } else if (command == "EIP999") {
      QCOMPARE(awaited(rig.device.query_network_setting(0)), ExchangeOutcome::Answered);
    } else {
      awaited(rig.device.exchange(command.toStdString()));
      if (fault == "late") QTRY_VERIFY_WITH_TIMEOUT(!heard.isEmpty(), 1500);
    }
    QCOMPARE(heard, reports);
  }

  // The sequences are the panel's, byte for byte, on both links.
  void sequences_send_the_panels_commands_data() {
    QTest::addColumn<int>("iface");
    QTest::addColumn<int>("mode");
    QTest::addColumn<Sequence>("sequence");
    QTest::addColumn<QStringList>("expected");
    for (int iface : {0, 1}) {
      const char* link = iface == 0 ? "serial" : "tcp";
      auto row = [&](const char* name, int mode, Sequence run, const QStringList& expected) {
        QTest::addRow("%s %s", link, name) << iface << mode << run << expected;
      };
      for (int mode : {1, 3, 5}) {
        row(qPrintable(QStringLiteral("refresh in mode %1").arg(mode)), mode,
            [](Device& d) { QVERIFY(awaited(d.refresh(false))); }, test::refresh_commands(mode, false));
        row(qPrintable(QStringLiteral("refresh with the picture in mode %1").arg(mode)), mode,
            [](Device& d) { QVERIFY(awaited(d.refresh(true))); }, test::refresh_commands(mode, true));
      }
      row("map", 5, [](Device& d) { QVERIFY(awaited(d.map_refresh())); }, test::map_queries());
      row("hdcp", 1, [](Device& d) { QVERIFY(awaited(d.hdcp_refresh())); },
          {"HPI991", "HPI992", "HPI993", "HPI994", "HPO991", "HPO992", "HPO993", "HPO994"});
      row("labels", 1, [](Device& d) { QVERIFY(awaited(d.label_in_refresh())); },
          {"LAB999", "LAI991", "LAI992", "LAI993", "LAI994"});
      row("dual pip", 4, [](Device& d) { QVERIFY(awaited(d.dual_pip_refresh())); },
          {"PPO991", "PPO992", "PSZ991", "PSZ992"});
      row("dual pip outside its mode", 2, [](Device& d) { QVERIFY(awaited(d.dual_pip_refresh())); }, {});
      row("network", 1, [](Device& d) { QVERIFY(awaited(d.query_network())); }, {"EIP999", "EMK999", "EGW999"});
      row("tv wall", 1, [](Device& d) { awaited(d.set_mode(3)); }, QStringList{"MOD003"} + test::mode_change_queries(3));
      row("quad", 1, [](Device& d) { awaited(d.set_mode(5)); }, QStringList{"MOD005"} + test::mode_change_queries(5));
      row("to dual pip", 1, [](Device& d) { awaited(d.set_mode(4)); }, QStringList{"MOD004"} + test::mode_change_queries(4));
      row("recall", 1, [](Device& d) { awaited(d.recall_preset(2)); }, QStringList{"CAL002"} + test::recall_queries(1));
      row("output", 5, [](Device& d) { QCOMPARE(awaited(d.select_output(2)), ExchangeOutcome::Answered); },
          {"OUT002", "INP999"});
      row("no output in the wall", 3, [](Device& d) { QVERIFY(!awaited(d.select_output(2))); }, {});
      row("picture slider", 5, [](Device& d) { QVERIFY(awaited(d.send_picture(Adjustment::Hue, 3, 70))); }, {"HUE470"});
      row("label", 1, [](Device& d) { awaited(d.set_label(2, "Cam\r2")); }, {"LAI2Cam2"});
    }
  }
  void sequences_send_the_panels_commands() {
    QFETCH(int, iface);
    QFETCH(int, mode);
    QFETCH(Sequence, sequence);
    QFETCH(QStringList, expected);
    DeviceRig rig(iface);
    rig.sim.device().state().mode = mode;
    if (mode != 1) QCOMPARE(awaited(rig.device.exchange("MOD999")), ExchangeOutcome::Answered);
    QCOMPARE(sent(rig, sequence), expected);
  }

  // A sequence stops at its first unanswered query; "ERR" is an answer.
  void sequences_stop_at_the_first_silence() {
    DeviceRig rig(1);
    rig.faults([](corvane::Faults& f) {
      f.silent = {"INP"};
      f.err = {"HPO"};
    });
    QVERIFY(!awaited(rig.device.map_refresh()));
    QCOMPARE(rig.sim.log(), (QStringList{"OUT001", "INP999"}));
    rig.sim.clear_log();
    QVERIFY(awaited(rig.device.hdcp_refresh()));
    QCOMPARE(rig.sim.log().size(), 8);
  }

  // Power, audio and the lock toggle from what was asked or reported last.
  void toggles_follow_requests_and_reports() {
    DeviceRig rig(0);
    QCOMPARE(rig.device.lock_state(), 254);
    QCOMPARE(sent(rig, [](Device& d) { awaited(d.toggle_lock()); }), QStringList{"LCK001"});
    QCOMPARE(rig.device.lock_state(), 1);
    QCOMPARE(sent(rig, [](Device& d) { awaited(d.toggle_lock()); }), QStringList{"LCK000"});
    QVERIFY(rig.device_says("LCK005"));
    QCOMPARE(rig.device.lock_state(), 5);
    QCOMPARE(sent(rig, [](Device& d) { awaited(d.toggle_lock()); }), QStringList{"LCK001"});
    // Before any report a toggle asks for on, then for the other state.
    QCOMPARE(sent(rig, [](Device& d) { awaited(d.toggle_audio()); }), QStringList{"AUD001"});
    QCOMPARE(sent(rig, [](Device& d) { awaited(d.toggle_audio()); }), QStringList{"AUD000"});
    QVERIFY(rig.device_says("AUD003"));  // any digit but 0 is on
    QCOMPARE(rig.device.audio_state(), 1);
    QCOMPARE(sent(rig, [](Device& d) { awaited(d.toggle_audio()); }), QStringList{"AUD000"});
  }

  // A mode reply that comes after the exchange gave up still counts, and the
  // mode's reads follow it.
  void a_late_mode_reply_is_taken() {
    DeviceRig rig(1);
    rig.faults([](corvane::Faults& f) { f.late = {{"MOD", 1500}}; });
    QSignalSpy started(&rig.device, &Device::mode_change_started);
    QSignalSpy finished(&rig.device, &Device::mode_change_finished);
    QCOMPARE(awaited(rig.device.set_mode(5)), ExchangeOutcome::Answered);
    QCOMPARE(rig.device.state().mode, 5);
    QCOMPARE(rig.sim.log().value(1), QStringLiteral("OUT001"));
    QCOMPARE(started.size(), 1);
    QCOMPARE(finished.size(), 1);
  }

  // A refused network query ends at once; a silent one after its 102 ms.
  void network_queries_end_with_their_answer() {
    DeviceRig rig(1);
    rig.faults([](corvane::Faults& f) { f.err = {"EMK"}; });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(awaited(rig.device.query_network_setting(1)), ExchangeOutcome::DeviceError);
    QVERIFY(clock.elapsed() < Device::kNetAnswerMs);
    QCOMPARE(awaited(rig.device.query_network_setting(0)), ExchangeOutcome::Answered);
    QCOMPARE(rig.device.state().ip, std::optional<std::string>("192.168.001.100"));
    rig.faults([](corvane::Faults& f) { f.silent = {"EGW"}; });
    QCOMPARE(awaited(rig.device.query_network_setting(2)), ExchangeOutcome::NoAnswer);
    QCOMPARE(rig.device.link().state().getip_state, 254);
  }

  // The link's state has one source: its ends are told once, with their cause.
  void the_link_tells_how_it_ended_data() {
    QTest::addColumn<int>("iface");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<int>("why");  // -1: not told, this side closed it
    QTest::newRow("tcp: closed here") << 1 << "close" << -1;
    QTest::newRow("tcp: EXT") << 1 << "ext" << int(LinkEnd::EndedByDevice);
    QTest::newRow("tcp: dropped") << 1 << "drop" << int(LinkEnd::Lost);
    QTest::newRow("tcp: restart") << 1 << "power on" << int(LinkEnd::Restarting);
    QTest::newRow("serial: closed here") << 0 << "close" << -1;
    QTest::newRow("serial: unplugged") << 0 << "unplug" << int(LinkEnd::Lost);
  }
  void the_link_tells_how_it_ended() {
    QFETCH(int, iface);
    QFETCH(QString, cause);
    QFETCH(int, why);
    DeviceRig rig(iface);
    QSignalSpy ended(&rig.device, &Device::link_ended);
    QSignalSpy restarting(&rig.device, &Device::restarting);
    // The state is final whenever a listener hears of a change.
    QList<bool> open_seen;
    QObject::connect(&rig.device, &Device::link_changed, [&] { open_seen.append(rig.device.link_open()); });
    if (cause == "close")
      iface == 0 ? rig.device.close_serial() : rig.device.close_tcp();
    else if (cause == "ext")
      rig.sim.send_ext();
    else if (cause == "drop")
      rig.sim.drop_connection();
    else if (cause == "power on")
      awaited(rig.device.set_power(true));
    else
      rig.sim.unplug_pty();
    QVERIFY(QTest::qWaitFor([&] { return !rig.device.link_open(); }, 2000));
    QTest::qWait(20);
    QVERIFY(!open_seen.isEmpty());
    QCOMPARE(open_seen.last(), false);
    QCOMPARE(ended.size(), why < 0 ? 0 : 1);
    if (why >= 0) QCOMPARE(int(ended.first().at(0).value<LinkEnd>()), why);
    QCOMPARE(restarting.size(), cause == "power on" ? 1 : 0);
  }
};

QTEST_GUILESS_MAIN(DeviceTest)
#include "test_link_device.moc"

