// quadrel-hub's shared link and protocol port, with plain clients over real
// loopback sockets: whose reply goes where, what every client hears, the
// clients that are cut off, and the link that comes back by itself.
#include <QJsonDocument>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include "hub_rig.h"
#include "sim_document.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::HubRig;
using quadrel::test::LineClient;
using quadrel::test::http;

class TestHub : public QObject {
  Q_OBJECT

 private slots:
  // The reply goes to the client whose command it answers; a change the
  // device confirmed reaches the other clients as the device's own report.
  void each_reply_goes_to_its_asker_data() {
    QTest::addColumn<QString>("fault");  // "err CODE", "silent CODE"
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("asker");
    QTest::addColumn<QStringList>("other");
    QTest::addColumn<QStringList>("device");  // what the device received
    QTest::newRow("query") << "" << QByteArray("MOD999") << QStringList{"MOD001"} << QStringList{}
                           << QStringList{"MOD999"};
    QTest::newRow("confirmed change") << "" << QByteArray("AUD000") << QStringList{"AUD000"}
                                      << QStringList{"AUD000"} << QStringList{"AUD000"};
    QTest::newRow("confirmed routing names its output") << "" << QByteArray("INP003") << QStringList{"INP003"}
                                                        << QStringList{"OUT001", "INP003"} << QStringList{"INP003"};
    QTest::newRow("refused") << "err ASP" << QByteArray("ASP002") << QStringList{"ERR"} << QStringList{}
                             << QStringList{"ASP002"};
    QTest::newRow("silence") << "silent LCK" << QByteArray("LCK001") << QStringList{} << QStringList{}
                             << QStringList{"LCK001"};
    QTest::newRow("no command of the catalogue") << "" << QByteArray("MOD009") << QStringList{"ERR"}
                                                 << QStringList{} << QStringList{};
    QTest::newRow("network answer") << "" << QByteArray("EMK999") << QStringList{"255.255.255.000"}
                                    << QStringList{} << QStringList{"EMK999"};
    QTest::newRow("label") << "" << QByteArray("LAI2Stage left") << QStringList{"LAI2Stage left"}
                           << QStringList{"LAI2Stage left"} << QStringList{"LAI2Stage left"};
    QTest::newRow("bezel limit") << "" << QByteArray("BEV998") << QStringList{"BEV150"} << QStringList{}
                                 << QStringList{"BEV998"};
  }
  void each_reply_goes_to_its_asker() {
    QFETCH(QString, fault);
    QFETCH(QByteArray, line);
    QFETCH(QStringList, asker);
    QFETCH(QStringList, other);
    QFETCH(QStringList, device);
    HubRig rig;
    const QString code = fault.section(' ', 1);
    corvane::Faults faults;
    if (fault.startsWith("err")) faults.err = {code};
    if (fault.startsWith("silent")) faults.silent = {code};
    rig.sim.set_faults(faults);
    LineClient a(rig.port()), b(rig.port());
    QTRY_COMPARE(rig.hub->protocol_port().clients(), 2);
    a.say(line);
    // The hub gives up on a silent device as the panel does, after 1.2 s.
    QVERIFY(QTest::qWaitFor([&] { return rig.hub->link().queued() == 0 && a.lines().size() >= asker.size(); }, 2000));
    QTest::qWait(asker.isEmpty() ? 1300 : 30);
    QCOMPARE(a.lines(), asker);
    QCOMPARE(b.lines(), other);
    QCOMPARE(rig.sim.log(), device);
    if (line == "BEV998") QCOMPARE(rig.hub->link().device().state().bezel_v_limit, 150);
  }

  // What the device sends on its own reaches every client; its "EXT" none.
  void device_reports_reach_every_client() {
    HubRig rig;
    LineClient a(rig.port()), b(rig.port());
    QTRY_COMPARE(rig.hub->protocol_port().clients(), 2);
    rig.sim.front_panel("MOD003");
    QVERIFY(a.wait_lines(1));
    QVERIFY(b.wait_lines(1));
    QCOMPARE(a.lines(), QStringList{"MOD003"});
    QCOMPARE(b.lines(), QStringList{"MOD003"});
    // The hub reads what the new mode shows, and puts the selected output back.
    QTRY_COMPARE(rig.hub->link().device().state().mode, 3);
    QTRY_VERIFY(rig.sim.log().contains("ASP999"));
  }

  // Commands from many clients go to the device one at a time, in the order
  // they came; each client's answers keep its own order.
  void commands_queue_in_arrival_order() {
    HubRig rig;
    rig.faults([](corvane::Faults& f) { f.delay_ms = 5; });
    LineClient a(rig.port()), b(rig.port());
    QTRY_COMPARE(rig.hub->protocol_port().clients(), 2);
    a.say("MOD999");
    a.say("OUT999");
    QTRY_VERIFY(rig.sim.log().contains("MOD999"));
    b.say("RES999");
    QTest::qWait(2);
    a.say("VER999");
    QVERIFY(a.wait_lines(3));
    QVERIFY(b.wait_lines(1));
    QCOMPARE(a.lines(), (QStringList{"MOD001", "OUT001", "VER123"}));
    QCOMPARE(b.lines(), QStringList{"RES003"});
    QCOMPARE(rig.sim.log(), (QStringList{"MOD999", "OUT999", "RES999", "VER999"}));
  }

  // Routing acts on the output the client selected, whoever selected
  // another since: the hub selects it again first. Each client keeps its own
  // output; another's routing reaches it with the output it changed.
  void routing_keeps_each_clients_output() {
    HubRig rig;
    rig.sim.front_panel("MOD005");
    QTRY_COMPARE(rig.hub->link().device().state().mode, 5);
    QTRY_VERIFY(rig.sim.log().contains("ASP999"));
    QTRY_COMPARE(rig.hub->link().queued(), 0);
    LineClient a(rig.port()), b(rig.port());
    QTRY_COMPARE(rig.hub->protocol_port().clients(), 2);
    a.say("OUT002");
    QVERIFY(a.wait_lines(1));
    b.say("OUT004");
    QVERIFY(b.wait_lines(1));
    QTest::qWait(20);
    QCOMPARE(a.lines(), QStringList{"OUT002"});  // b's selection is b's own
    a.clear();
    b.clear();
    rig.sim.clear_log();
    a.say("INP003");
    QVERIFY(a.wait_lines(1));
    QCOMPARE(a.lines(), QStringList{"INP003"});
    QCOMPARE(rig.sim.log(), (QStringList{"OUT002", "INP003"}));
    QCOMPARE(rig.sim.device().state().inputs[1], 3);
    QCOMPARE(rig.sim.device().state().inputs[3], 4);
    QVERIFY(b.wait_lines(3));
    QCOMPARE(b.lines(), (QStringList{"OUT002", "INP003", "OUT004"}));
  }

  // Whichever door a recall and a read come through, the hub's state is the
  // device's own afterwards: what the preset brought is read, the mode first,
  // and a read of what the hub knows changes nothing.
  void every_door_leaves_the_devices_state_data() {
    QTest::addColumn<QString>("door");
    for (const char* door : {"panel", "quadrel-cli", "protocol client", "send", "patch", "front panel"})
      QTest::newRow(door) << QString(door);
  }
  void every_door_leaves_the_devices_state() {
    QFETCH(QString, door);
    HubRig rig;
    // Preset 2 brings another mode, routing, resolution, aspect, picture and audio.
    corvane::Preset& preset = rig.sim.device().state().presets[1];
    preset = {5, {4, 3, 2, 1}, 8, 2, {}, 3, 2, 2, 4};
    for (int ch = 0; ch < 4; ++ch) preset.picture[ch] = {10 + ch, 20 + ch, 30 + ch, 40 + ch};
    const quint16 port = rig.port();
    if (door == "panel") {
      Device panel;
      panel.use_interface(1);
      panel.connect_tcp(QStringLiteral("127.0.0.1"), port);
      QTRY_VERIFY(panel.tcp_connected());
      QCOMPARE(awaited(panel.recall_preset(2)), ExchangeOutcome::Answered);
      QCOMPARE(awaited(panel.exchange("MOD999")), ExchangeOutcome::Answered);
      QCOMPARE(panel.state().mode, 5);
    } else if (door == "quadrel-cli") {
      const QStringList link{"--tcp", QStringLiteral("127.0.0.1:%1").arg(port)};
      for (const QStringList& args : {QStringList{"preset", "recall", "2"}, QStringList{"mode"}}) {
        QProcess cli;
        cli.start(QStringLiteral(QUADREL_CLI_PATH), link + args);
        // The hub runs in this process: it is served while the client runs.
        QVERIFY(QTest::qWaitFor([&] { return cli.state() == QProcess::NotRunning; }, 10000));
        QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());
      }
    } else if (door == "protocol client") {
      LineClient client(port);
      client.say("CAL002");
      QVERIFY(client.wait_lines(1));
      client.say("MOD999");
      QVERIFY(client.wait_lines(2, 5000));
      QCOMPARE(client.lines().last(), QStringLiteral("MOD005"));
    } else if (door == "send") {
      QCOMPARE(http(rig.http_port(), "POST", "/api/v1/send", R"({"line":"CAL002"})").status, 200);
      QCOMPARE(http(rig.http_port(), "POST", "/api/v1/send", R"({"line":"MOD999"})").status, 200);
    } else if (door == "patch") {
      QCOMPARE(http(rig.http_port(), "PATCH", "/api/v1/state", R"({"mode":"quad"})").status, 200);
      QCOMPARE(http(rig.http_port(), "POST", "/api/v1/send", R"({"line":"MOD999"})").status, 200);
    } else {
      rig.sim.front_panel("CAL002");
    }
    QTRY_VERIFY(rig.hub->link().queued() == 0 && rig.sim.log().contains("ASP999"));
    QTRY_COMPARE(rig.hub->link().queued(), 0);
    QJsonObject hub = QJsonDocument::fromJson(http(rig.http_port(), "GET", "/api/v1/state").body).object();
    QCOMPARE(hub.take("link").toObject().value("state"), QJsonValue("up"));
    QCOMPARE(QJsonDocument(hub).toJson(),
             QJsonDocument(test::expected_json(rig.sim.device().state(), rig.hub->options().resolutions)).toJson());
    // A recall reads the mode first, then what the mode shows.
    if (door != "patch") QCOMPARE(rig.sim.log().value(rig.sim.log().indexOf("CAL002") + 1), QStringLiteral("MOD999"));
  }

  // A client that floods, sends junk or lines longer than any command is cut
  // off at the limit and not before; the others go on as before.
  void misbehaving_clients_are_cut_off_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("cut");
    const QByteArray junk = "hello\r";
    const QByteArray wait = "MOD999\r";
    QTest::newRow("3 lines of junk") << junk.repeated(hub::ProtocolPort::kMaxJunkLines) << false;
    QTest::newRow("4 lines of junk") << junk.repeated(hub::ProtocolPort::kMaxJunkLines + 1) << true;
    QTest::newRow("junk between commands") << (junk.repeated(3) + wait + junk.repeated(3)) << false;
    QTest::newRow("32 commands waiting") << wait.repeated(hub::ProtocolPort::kMaxWaiting) << false;
    QTest::newRow("33 commands waiting") << wait.repeated(hub::ProtocolPort::kMaxWaiting + 1) << true;
    QTest::newRow("longest label") << QByteArray("LAI1abcdefghijkl\r\r") << false;
    QTest::newRow("one character more") << QByteArray("LAI1abcdefghijklm\r") << true;
    QTest::newRow("a byte that is no text") << QByteArray("MOD\x01" "999\r") << true;
    QTest::newRow("line feeds end lines too") << QByteArray("MOD999\nOUT999\r\n") << false;
  }
  void misbehaving_clients_are_cut_off() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, cut);
    HubRig rig;
    rig.faults([](corvane::Faults& f) { f.delay_ms = 2; });
    LineClient bad(rig.port()), good(rig.port());
    QTRY_COMPARE(rig.hub->protocol_port().clients(), 2);
    bad.send(bytes);
    good.say("OUT999");
    QVERIFY(QTest::qWaitFor([&] { return good.lines().contains("OUT001"); }, 3000));
    if (cut) {
      QVERIFY(bad.wait_closed());
      QCOMPARE(rig.hub->protocol_port().clients(), 1);
    } else {
      QTRY_VERIFY(rig.hub->link().queued() == 0);
      QVERIFY(bad.connected());
      QCOMPARE(rig.hub->protocol_port().clients(), 2);
    }
    // The junk never reached the device.
    for (const QString& line : rig.sim.log()) QVERIFY2(!line.contains("hello"), qPrintable(line));
  }

  // The link comes back by itself, the model is read again and the selected
  // output is the one the device had. Meanwhile the protocol port is as the
  // device's own: its clients are cut off and it takes none until the link is back.
  void the_link_comes_back_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("dropped") << "drop";
    QTest::newRow("EXT") << "ext";
    QTest::newRow("restart") << "restart";
  }
  void the_link_comes_back() {
    QFETCH(QString, how);
    HubRig rig;
    rig.faults([](corvane::Faults& f) { f.restart_ms = 300; });
    rig.sim.front_panel("MOD005");
    rig.sim.front_panel("OUT003");
    LineClient client(rig.port());
    QTRY_COMPARE(rig.hub->link().device().state().channel, 3);
    QSignalSpy states(&rig.hub->link(), &hub::SharedLink::link_state);
    bool closed_while_down = false;
    connect(&rig.hub->link(), &hub::SharedLink::link_state, this,
            [&](bool up) { if (!up) closed_while_down = !rig.hub->protocol_port().listening(); });
    client.clear();
    rig.sim.clear_log();
    if (how == "drop") rig.sim.drop_connection();
    if (how == "ext") rig.sim.send_ext();
    if (how == "restart") rig.sim.restart();
    QVERIFY(client.wait_closed());
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, 5000);
    QCOMPARE(states[0][0].toBool(), false);
    QCOMPARE(states[1][0].toBool(), true);
    QVERIFY(closed_while_down);
    QVERIFY(rig.sim.log().contains("VER999"));
    QCOMPARE(rig.sim.device().state().channel, 3);
    QVERIFY(!client.lines().contains("EXT"));
    LineClient again(rig.port());
    again.say("MOD999");
    QVERIFY(again.wait_lines(1));
    QCOMPARE(again.lines(), QStringList{"MOD005"});
  }

  // On a serial line: a pulled adapter closes the link, which the hub tries
  // to open again (every 5 s at most); its protocol clients are cut off and
  // new ones refused meanwhile, as a device that is away refuses them.
  void a_pulled_adapter_is_tried_again() {
    HubRig rig([](hub::HubOptions& o, corvane::SimServer& sim) {
      o.target = hub::LinkTarget{};
      o.target.device = sim.pty_link();
    });
    LineClient client(rig.port());
    client.say("MOD999");
    QVERIFY(client.wait_lines(1));
    QSignalSpy states(&rig.hub->link(), &hub::SharedLink::link_state);
    rig.sim.unplug_pty();
    QTRY_COMPARE(states.size(), 1);
    QCOMPARE(states[0][0].toBool(), false);
    QVERIFY(!rig.hub->link().device().serial_open());
    QVERIFY(client.wait_closed());
    QTest::qWait(hub::SharedLink::kRetryMs[0] + 100);  // a first try again has failed
    QTcpSocket refused;
    refused.connectToHost(QStringLiteral("127.0.0.1"), rig.port());
    QVERIFY(!refused.waitForConnected(2000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
  }

  // A panel's link that goes to the device directly while a hub on this
  // machine holds it is thrown off, and told by whom and where to go instead.
  void a_link_thrown_off_by_the_hub_is_told_why() {
    corvane::SimServer sim;
    QString error;
    QVERIFY2(sim.start({}, &error), qPrintable(error));
    quint16 ports[2];
    for (quint16& port : ports) {
      QTcpServer probe;
      QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
      port = probe.serverPort();
    }
    QProcess hub;
    QByteArray log;
    connect(&hub, &QProcess::readyReadStandardError, this, [&] { log += hub.readAllStandardError(); });
    hub.start(QUADREL_HUB_PATH, {"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.tcp_port()), "--listen",
                                 QStringLiteral("127.0.0.1:%1").arg(ports[0]), "--http",
                                 QStringLiteral("127.0.0.1:%1").arg(ports[1])});
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("model read"), 10000);
    Device device;
    QSignalSpy ended(&device, &Device::link_ended);
    device.connect_tcp(QStringLiteral("127.0.0.1"), sim.tcp_port());
    QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, 5000);
    QVERIFY(device.taken_by_hub());
    const QString reason = ended[0][1].toString();
    QVERIFY2(reason.endsWith(QStringLiteral("another client took the device's one connection: the quadrel-hub on this "
                                            "machine holds it; go through the hub's protocol port 127.0.0.1:%1 or its "
                                            "API http://127.0.0.1:%2")
                                 .arg(ports[0])
                                 .arg(ports[1])),
             qPrintable(reason));
    hub.terminate();
    QVERIFY(hub.waitForFinished(5000));
  }

  // Until the device is reached, the protocol port refuses connections (a
  // panel or script hears "cannot connect", as from a device that is away),
  // and the hub keeps trying; once it is up, the port answers.
  void a_device_away_is_refused() {
    HubRig rig({}, false);
    rig.faults([](corvane::Faults& f) { f.restart_ms = 1200; });
    rig.sim.restart();
    QTRY_VERIFY(!rig.hub->link().up());
    QTcpSocket refused;
    refused.connectToHost(QStringLiteral("127.0.0.1"), rig.port());
    QVERIFY(!refused.waitForConnected(2000));
    QCOMPARE(refused.error(), QAbstractSocket::ConnectionRefusedError);
    QTRY_VERIFY_WITH_TIMEOUT(rig.hub->link().up(), 6000);
    LineClient client(rig.port());
    client.say("MOD999");
    QVERIFY(client.wait_lines(1));
  }
};

QTEST_GUILESS_MAIN(TestHub)
#include "test_hub.moc"

