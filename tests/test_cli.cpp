// quadrel-cli against the simulated Corvane, over TCP and the pseudo-terminal: the program as scripts run it.
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>
#include <unistd.h>

#include "expected_commands.h"
#include "hub/event_stream.h"
#include "hub/http_api.h"
#include "hub/hub.h"
#include "hub/hub_log.h"
#include "hub/protocol_port.h"
#include "link/serial_link.h"
#include "sim_document.h"
#include "spin.h"
#include "settings/settings_file.h"
#include "sim_server.h"

#include <cstdlib>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quadrel;
using quadrel::test::expected_json;
using quadrel::test::vary;

namespace {

// How the client reaches the simulator: its pseudo-terminal, its TCP port,
// or a hub (in this process) that holds its TCP port.
enum Via { Pty, Tcp, ViaHub };

struct Run {
  int code = -1;
  QString out, err;
  double seconds = 0;
};

// Runs the client while the simulator in this process serves it (an event
// loop, not qWaitFor, whose naps would slow every exchange down).
Run cli(const QStringList& args, const QByteArray& input = {}, const QString& output_file = {}) {
  QProcess p;
  if (!output_file.isEmpty()) p.setStandardOutputFile(output_file);
  QEventLoop loop;
  QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  QElapsedTimer clock;
  clock.start();
  p.start(QStringLiteral(QUADREL_CLI_PATH), args);
  p.write(input);
  p.closeWriteChannel();
  if (p.state() != QProcess::NotRunning) loop.exec();
  const double seconds = clock.elapsed() / 1000.0;
  if (p.state() != QProcess::NotRunning) p.kill(), p.waitForFinished();
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError(), seconds};
}

std::vector<std::string> resolution_list() {
  QFile file(QUADREL_SOURCE_DIR "/data/output_reso.txt");
  file.open(QIODevice::ReadOnly);
  return parse_resolution_list(file.readAll().toStdString());
}

struct Sim {
  corvane::SimServer server;
  Sim() {
    QString error;
    if (!server.start({}, &error)) qFatal("simulator: %s", qPrintable(error));
  }
  std::unique_ptr<hub::Hub> hub;
  corvane::DeviceState& state() { return server.device().state(); }
  // The link options, with the panel folder that holds the resolution list.
  QStringList link(bool tcp) const {
    return QStringList{"--panel-dir", QUADREL_SOURCE_DIR "/data"} +
           (tcp ? QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(server.tcp_port())}
                : QStringList{"--serial", server.pty_path()});
  }
  // Through a hub: started on the device as it is now, and done reading it;
  // the log then holds only what the client's run made the hub send.
  QStringList link(Via door, const QString& token_file = {}) {
    if (door != ViaHub) return link(door == Tcp);
    if (!hub) {
      hub::set_log_quiet(true);
      hub::HubOptions o;
      o.target.tcp = true;
      o.target.host = QStringLiteral("127.0.0.1");
      o.target.port = server.tcp_port();
      o.listen_port = 0;
      o.http_port = 0;
      o.resolutions = resolution_list();
      o.token_file = token_file;
      hub = std::make_unique<hub::Hub>(o);
      QString error;
      if (!hub->start(&error)) qFatal("hub: %s", qPrintable(error));
      if (!test::spin_until([this] { return hub->link().up() && hub->link().queued() == 0; }, 5000))
        qFatal("hub: the link is not up");
    }
    server.clear_log();
    return QStringList{"--panel-dir", QUADREL_SOURCE_DIR "/data", "--hub",
                       QStringLiteral("127.0.0.1:%1").arg(hub->http().port())};
  }
  // Changes made on the device itself, "MOD005;SAV003".
  void setup(const QString& lines) {
    for (const QString& line : lines.split(';', Qt::SkipEmptyParts)) server.device().apply(line.toStdString());
  }
  // Misbehaviour on request: "silent CODE", "err CODE"; "together": every reply comes with a line the
  // device sends on its own, in pieces of 3 bytes.
  void fault(const QString& fault) {
    corvane::Faults f;
    const QString code = fault.section(' ', 1);
    if (fault.startsWith("silent")) f.silent = {code};
    if (fault.startsWith("err")) f.err = {code};
    if (fault == "together") {
      f.split = 3;
      QObject::connect(&server, &corvane::SimServer::command_received, &server,
                       [this] { server.attach_to_next_reply("MNX001"); });
    }
    server.set_faults(f);
  }
  QMap<QString, QString> dump() const {
    QMap<QString, QString> map;
    for (const QString& line : QString::fromStdString(server.device().dump()).split('\n', Qt::SkipEmptyParts))
      map.insert(line.section('=', 0, 0), line.section('=', 1));
    return map;
  }
  // The commands received that are no queries.
  QStringList setters() const {
    static const QRegularExpression query("^([A-Z][A-Z0-9]{2}99[1-9]|[A-Z]{3}998)$");
    QStringList list;
    for (const QString& command : server.log())
      if (!query.match(command).hasMatch()) list << command;
    return list;
  }
};

// Everything `status` sends: the full refresh with the picture, the tool windows' reads, the network, and
// the output selected before (`channel`) selected again.
QStringList status_commands(int mode, int channel) {
  QStringList q = test::refresh_commands(mode, true);
  for (const char* code : {"HPI", "HPO"})
    for (int n = 1; n <= 4; ++n) q << QLatin1String(code) + "99" + QString::number(n);
  q << "LAB999" << "LAI991" << "LAI992" << "LAI993" << "LAI994";
  if (mode == 4) q << "PPO991" << "PPO992" << "PSZ991" << "PSZ992";
  q << "EIP999" << "EMK999" << "EGW999";
  if (mode != 3 && channel != 4) q << "OUT00" + QString::number(channel);
  return q;
}


QJsonObject json_of(const QString& text) { return QJsonDocument::fromJson(text.toUtf8()).object(); }

// "route B 3" as arguments; a quoted part stays one ("label 2 \"Cam 2\"").
QStringList words_of(const QString& args) { return QProcess::splitCommand(args); }

// The exit code and error of a run that must be a usage error: one line, naming where the usage is.
bool is_usage_error(const Run& run) {
  static const QRegularExpression line("^quadrel-cli: .*\\(see 'quadrel-cli ([a-z]+ )?--help'\\)\n$");
  return run.code == 64 && line.match(run.err).hasMatch();
}

}  // namespace

class CliTest : public QObject {
  Q_OBJECT

 private slots:
  void status_equals_the_device_data() {
    QTest::addColumn<Via>("door");
    QTest::addColumn<int>("mode");
    QTest::newRow("matrix over tcp") << Tcp << 1;
    QTest::newRow("tv wall over pty") << Pty << 3;
    QTest::newRow("dual pip over tcp") << Tcp << 4;
    QTest::newRow("quad over pty") << Pty << 5;
    QTest::newRow("tv wall through the hub") << ViaHub << 3;
    QTest::newRow("quad through the hub") << ViaHub << 5;
  }
  void status_equals_the_device() {
    QFETCH(Via, door);
    QFETCH(int, mode);
    Sim sim;
    vary(sim.state(), mode);
    const Run run = cli(sim.link(door) << "status" << "--json");
    QCOMPARE(run.code, 0);
    QJsonObject document = json_of(run.out);
    // The hub says where its link stands; the device's own link leaves that out.
    QCOMPARE(document.take("link")["state"].toString(), door == ViaHub ? QString("up") : QString());
    QCOMPARE(QJsonDocument(document).toJson(), QJsonDocument(expected_json(sim.state(), resolution_list())).toJson());
    // The hub answers from what it holds: the device is not asked.
    QCOMPARE(sim.server.log(), door == ViaHub ? QStringList() : status_commands(mode, 2));
    // The readable form shows the same device.
    const Run text = cli(sim.link(door) << "status");
    QVERIFY2(text.out.contains("Labels       shown on, text.1 \"Stage Left\""), qPrintable(text.out));
    QVERIFY2(text.out.contains("Network      ip 10.0.2.20,"), qPrintable(text.out));
  }

  // Reading puts back what it selects to read: the device is as it was found.
  void reading_leaves_no_trace_data() {
    QTest::addColumn<QString>("args");
    for (const char* args : {"status", "status --json", "route", "route C", "route --json", "mode", "power --json",
                             "resolution", "lock"})
      QTest::newRow(args) << QString(args);
    QTest::newRow("apply --dry-run") << "apply --dry-run -";
  }
  void reading_leaves_no_trace() {
    QFETCH(QString, args);
    Sim sim;
    vary(sim.state(), 5);
    sim.state().channel = 3;
    const auto before = sim.dump();
    const Run run = cli(sim.link(true) + words_of(args), R"({"routing": {"A": 2}, "bezel": {"h": 3}})");
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(sim.dump(), before);
    // Setters are sent only to select an output to read, and to select the first one again.
    for (const QString& command : sim.setters()) QVERIFY2(command.startsWith("OUT00"), qPrintable(command));
  }

  void getters_print_the_device_data() {
    QTest::addColumn<Via>("door");
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QStringList>("sent");
    // Each getter on the device and through the hub, which asks the device nothing.
    for (const Via door : {Tcp, ViaHub}) {
      const QString through = door == ViaHub ? " through the hub" : "";
      auto row = [&](const char* name, const char* args, const char* out, const QStringList& sent) {
        QTest::newRow(qPrintable(name + through)) << door << QString(args) << QString(out)
                                                  << (door == ViaHub ? QStringList() : sent);
      };
      row("mode", "mode", "quad\n", QStringList{"MOD999"});
      row("mode json", "mode --json", "{\"mode\":\"quad\",\"schema\":1}\n", QStringList{"MOD999"});
      row("power", "power", "on\n", QStringList{"PWR999"});
      row("lock json", "lock --json", "{\"key_lock\":true,\"schema\":1}\n", QStringList{"LCK999"});
      row("resolution", "resolution", "8 1920x1080p 60Hz\n", QStringList{"RES999"});
      row("resolution json", "resolution --json", "{\"resolution\":8,\"resolution_name\":\"1920x1080p 60Hz\",\"schema\":1}\n" , QStringList{"RES999"});
      row("routing", "route", "A 4\nB 3\nC 2\nD 1\n" , QStringList{"MOD999", "OUT999"} + test::map_queries() + QStringList{"OUT002"});
      row("routing json", "route --json", "{\"routing\":{\"A\":4,\"B\":3,\"C\":2,\"D\":1},\"schema\":1}\n" , QStringList{"MOD999", "OUT999"} + test::map_queries() + QStringList{"OUT002"});
      row("one output", "route C", "2\n", QStringList{"MOD999", "OUT999", "OUT003", "INP999", "OUT002"});
      row("the selected output", "route B", "3\n", QStringList{"MOD999", "OUT999", "OUT002", "INP999"});
    }
  }
  void getters_print_the_device() {
    QFETCH(Via, door);
    QFETCH(QString, args);
    QFETCH(QString, out);
    QFETCH(QStringList, sent);
    Sim sim;
    vary(sim.state(), 5);
    const Run run = cli(sim.link(door) + words_of(args));
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(run.out, out);
    QCOMPARE(sim.server.log(), sent);
  }

  void setters_change_the_device_data() {
    QTest::addColumn<Via>("door");
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expect");  // key=value of the device's state
    QTest::addColumn<QStringList>("sent");
    const QStringList map = test::map_queries();
    // Each setter on the device (its TCP port or its serial line) and through the hub.
    for (const bool hub : {false, true}) {
      auto row = [hub](const char* name, bool tcp) -> QTestData& {
        return QTest::newRow(qPrintable(QString(name) + (hub ? " through the hub" : ""))) << (hub ? ViaHub : tcp ? Tcp : Pty);
      };
      row("mode", false) << "mode quad" << "" << "mode=5"
                            << QStringList{"MOD005"} + map + test::picture_queries(5) + QStringList{"ASP999"};
      row("mode tv wall", true) << "mode tv-wall" << "" << "mode=3"
                                    << QStringList{"MOD003", "OUT001", "INP999"} + test::picture_queries(3) +
                                           QStringList{"ASP999"};
      row("route", true) << "route B 3" << "" << "input2=3" << QStringList{"OUT002", "INP003", "INP999"};
      row("route last", false) << "route d 4" << "" << "input4=4" << QStringList{"OUT004", "INP004", "INP999"};
      row("resolution", true) << "resolution 8" << "" << "resolution=8" << QStringList{"RES008", "RES999"};
      row("resolution name", true) << "resolution \"1920x1080p 50Hz\"" << "" << "resolution=7"
                                       << QStringList{"RES007", "RES999"};
      row("resolution 1080i", true) << "resolution 6" << "" << "resolution=6"
                                        << QStringList{"MOD999", "RES006", "RES999"};
      row("aspect", true) << "aspect keep" << "" << "aspect=4" << QStringList{"ASP004", "ASP999"};
      row("standby", false) << "power off" << "" << "power=0" << QStringList{"PWR999", "PWR000", "PWR999"};
      row("standby already", true) << "power standby" << "PWR000" << "power=0" << QStringList{"PWR999"};
      row("preset save", true) << "preset save 2" << "" << "mode=1" << QStringList{"SAV002"};
      row("preset recall", true) << "preset recall 3" << "MOD005;SAV003;MOD001" << "mode=5"
                                     << QStringList{"CAL003"} + test::recall_queries(5);
      row("lock", true) << "lock on" << "" << "key_lock=1" << QStringList{"LCK001", "LCK999"};
      row("key", true) << "key menu" << "" << "mode=1" << QStringList{"MNX001"};
      row("label", true) << "label 2 \"Cam 2\"" << "" << "label2=Cam 2" << QStringList{"LAI2Cam 2", "LAI992"};
      row("label longest", false) << "label 4 ABCDEFGHIJKL" << "" << "label4=ABCDEFGHIJKL"
                                     << QStringList{"LAI4ABCDEFGHIJKL", "LAI994"};
      row("labels shown", true) << "label on" << "" << "labels_on=1" << QStringList{"LAB001", "LAB999"};
      row("audio", true) << "audio off" << "" << "audio_on=0" << QStringList{"AUD000", "AUD999"};
      row("audio edid", true) << "audio edid hd" << "" << "audio_edid=4" << QStringList{"AUE004", "AUE999"};
      row("audio dual", true) << "audio dual-b sub" << "" << "audio_b=2" << QStringList{"AUB002", "AUB999"};
      row("audio quad", true) << "audio quad q4" << "" << "audio_quad=4" << QStringList{"AUQ004", "AUQ999"};
      row("picture matrix", true) << "picture all hue 100" << "" << "hue1=100"
                                      << QStringList{"MOD999", "HUE100", "HUE999"};
      row("picture quad", false) << "picture C sat 0" << "MOD005" << "sat3=0"
                                    << QStringList{"MOD999", "SAT400", "SAT993"};
      row("picture reset", true) << "picture reset" << "BRI030" << "bri1=50"
                                     << QStringList{"MOD999", "RST002"} + test::picture_queries(1);
      row("bezel at its limit", true) << "bezel v 150" << "" << "bezel_v=150" << QStringList{"BEV150", "BEV999"};
      row("bezel on", true) << "bezel on" << "" << "bezel_on=1" << QStringList{"BEZ001", "BEZ999"};
      row("hdcp input", true) << "hdcp input 2 off" << "" << "hdcp_in2=1" << QStringList{"HPI021", "HPI992"};
      row("hdcp output", false) << "hdcp output D output" << "" << "hdcp_out4=1"
                                   << QStringList{"HPO041", "HPO994"};
      row("pip corner", true) << "pip b corner ll" << "MOD004" << "pip_corner_b=3"
                                  << QStringList{"MOD999", "PPO023", "PPO992"};
      row("pip size", true) << "pip a size off" << "MOD004" << "pip_size_a=3"
                                << QStringList{"MOD999", "PSZ013", "PSZ991"};
      row("pip swap", true) << "pip a swap" << "" << "mode=1" << QStringList{"PSW001"};
      row("send", true) << "send MOD002" << "" << "mode=2" << QStringList{"MOD002"};
    }
  }
  void setters_change_the_device() {
    QFETCH(Via, door);
    QFETCH(QString, args);
    QFETCH(QString, setup);
    QFETCH(QString, expect);
    QFETCH(QStringList, sent);
    Sim sim;
    sim.setup(setup);
    const Run run = cli(sim.link(door) + words_of(args));
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(sim.dump().value(expect.section('=', 0, 0)), expect.section('=', 1));
    if (door != ViaHub) {
      QCOMPARE(sim.server.log(), sent);
    } else {
      // The hub reads back as it reads (its own queries), and sends the same
      // settings, or none when it holds the value already (as apply does).
      static const QRegularExpression query("^([A-Z][A-Z0-9]{2}99[1-9]|[A-Z]{3}998)$");
      for (const QString& command : sent)
        if (!query.match(command).hasMatch() && !sim.setters().isEmpty())
          QVERIFY2(sim.setters().contains(command), qPrintable(sim.setters().join(' ')));
    }
    QCOMPARE(run.out, args.startsWith("send") ? QString("MOD002\n") : QString());
  }

  // Exit 0 only when the device holds what was asked.
  void setters_say_what_the_device_holds_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("bezel at the limit") << "bezel h 200" << "" << 0 << "";
    QTest::newRow("bezel beyond the limit") << "bezel h 201" << "" << 1
                                            << "bezel.h: BEH201 sent; the device holds 200";
    QTest::newRow("bezel at the protocol's end") << "bezel h 254" << "" << 1
                                                 << "bezel.h: BEH254 sent; the device holds 200";
    QTest::newRow("refused") << "lock on" << "err LCK" << 1 << "key_lock: LCK001: refused by the device (ERR)";
    QTest::newRow("refused, read back") << "aspect keep" << "err ASP" << 1 << "aspect: ASP004: refused by the device";
    QTest::newRow("pip outside dual pip") << "pip a corner ll" << "" << 1
                                          << "pip.A.corner: PiP is set in the Dual PiP mode only; the device is in matrix";
  }
  void setters_say_what_the_device_holds() {
    QFETCH(QString, args);
    QFETCH(QString, fault);
    QFETCH(int, code);
    QFETCH(QString, message);
    Sim sim;
    sim.fault(fault);
    const Run run = cli(sim.link(true) + words_of(args));
    QCOMPARE(run.code, code);
    QVERIFY2(message.isEmpty() ? run.err.isEmpty() : run.err.contains(message), qPrintable(run.err));
  }

  void failures_give_their_exit_codes_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("fault");  // "silent CODE", "err CODE", "drop CODE", "ext CODE"
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("silent tcp") << true << "silent LCK" << "lock on" << 2 << "LCK001: no answer within 1.2 s";
    QTest::newRow("silent pty") << false << "silent LCK" << "lock on" << 2 << "LCK001: no answer within 0.6 s";
    QTest::newRow("silent getter") << true << "silent PWR" << "power" << 2 << "PWR999: no answer within 1.2 s";
    QTest::newRow("refused mode") << false << "err MOD" << "mode quad" << 1 << "MOD005: refused";
    QTest::newRow("dropped") << true << "drop LCK" << "lock on" << 3 << "LCK001: the device closed the connection";
    QTest::newRow("ended") << true << "ext LCK" << "lock on" << 3 << "LCK001: the device ended the connection";
    QTest::newRow("status stops") << true << "silent AUQ" << "status" << 2 << "AUQ999: no answer within 1.2 s";
    QTest::newRow("status refused") << false << "err LAB" << "status" << 1 << "LAB999: refused";
    QTest::newRow("send refused") << true << "" << "send XYZ123" << 1 << "XYZ123: refused";
    QTest::newRow("no port") << false << "" << "--serial /nonexistent/tty status" << 3 << "cannot open the port";
    QTest::newRow("no server") << true << "" << "--tcp 127.0.0.1:1 status" << 3 << "cannot connect";
    QTest::newRow("no hub") << true << "" << "--hub 127.0.0.1:1 status" << 3
                            << "hub http://127.0.0.1:1: cannot reach the hub: Connection refused";
    QTest::newRow("not a hub's address") << true << "" << "--hub https://127.0.0.1 status" << 64
                                         << "not a hub's address, [http://]HOST[:PORT]: \"https://127.0.0.1\"";
  }
  void failures_give_their_exit_codes() {
    QFETCH(bool, tcp);
    QFETCH(QString, fault);
    QFETCH(QString, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    Sim sim;
    const QString verb = fault.section(' ', 0, 0);
    const QString on = fault.section(' ', 1);
    sim.fault(verb == "drop" || verb == "ext" ? "silent " + on : fault);
    QObject::connect(&sim.server, &corvane::SimServer::command_received, &sim.server, [&](const QString& line) {
      if (line.startsWith(on) && verb == "drop") sim.server.drop_connection();
      if (line.startsWith(on) && verb == "ext") sim.server.send_ext();
    }, Qt::QueuedConnection);
    const QStringList words = args.split(' ');
    const Run run = cli(words[0].startsWith("--") ? words : sim.link(tcp) + words);
    QCOMPARE(run.code, code);
    QVERIFY2(run.err.startsWith("quadrel-cli: ") && run.err.contains(message), qPrintable(run.err));
    // An incomplete status prints nothing: a backup is whole or it is not made.
    if (args == "status") QCOMPARE(run.out, QString());
    if (args == "status" && verb == "silent")
      QCOMPARE(sim.server.log(), status_commands(1, 1).mid(0, status_commands(1, 1).indexOf("AUQ999") + 1));
  }

  // A script that goes to the device while a hub holds it is thrown off when
  // the hub takes the device's one connection back; the error names the hub.
  void thrown_off_by_the_hub_names_it() {
    Sim sim;
    const QStringList hub = sim.link(ViaHub);
    // Slow answers: the hub takes the connection back long before the status is read.
    sim.fault("");
    corvane::Faults slow;
    slow.delay_ms = 30;
    sim.server.set_faults(slow);
    const Run run = cli(sim.link(true) << "status");
    QCOMPARE(run.code, 3);
    const QString expected = QStringLiteral("s after it opened: another client took the device's one connection: the "
                                            "quadrel-hub on this machine holds it; go through the hub's protocol port "
                                            "127.0.0.1:%1 or its API %2\n")
                                 .arg(sim.hub->protocol_port().port())
                                 .arg("http://" + hub.last());
    QVERIFY2(run.err.endsWith(expected), qPrintable(run.err));
  }

  // A hub with a token takes it from --token-file, QUADREL_HUB_TOKEN or the
  // user's token file, in that order; without it, or with another, the run ends with 3.
  void the_hub_takes_its_token_data() {
    QTest::addColumn<QString>("given");  // "file", "env", "user", "wrong", "none"
    QTest::addColumn<int>("code");
    QTest::newRow("--token-file") << "file" << 0;
    QTest::newRow("QUADREL_HUB_TOKEN") << "env" << 0;
    QTest::newRow("the user's token file") << "user" << 0;
    QTest::newRow("--token-file before a wrong QUADREL_HUB_TOKEN") << "file, wrong env" << 0;
    QTest::newRow("another token") << "wrong" << 3;
    QTest::newRow("none") << "none" << 3;
  }
  void the_hub_takes_its_token() {
    QFETCH(QString, given);
    QFETCH(int, code);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("config/quadrel"));
    const QString token = dir.filePath("config/quadrel/hub-token");
    Sim sim;
    QStringList args = sim.link(ViaHub, token);  // made by the hub, its owner's alone
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", dir.filePath(given == "user" ? "config" : "elsewhere"));
    env.remove("QUADREL_HUB_TOKEN");
    QFile file(token);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString secret = QString::fromLatin1(file.readAll().trimmed());
    if (given.startsWith("file")) args << "--token-file" << token;
    if (given == "env") env.insert("QUADREL_HUB_TOKEN", secret);
    if (given.contains("wrong")) env.insert("QUADREL_HUB_TOKEN", "not-the-token-at-all-0123456789");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QUADREL_CLI_PATH, args << "lock" << "on");
    QVERIFY(QTest::qWaitFor([&] { return p.state() == QProcess::NotRunning; }, 10000));
    const QString err = p.readAllStandardError();
    QVERIFY2(p.exitCode() == code, qPrintable(err));
    if (code == 0) QCOMPARE(sim.dump().value("key_lock"), QString("1"));
    else QVERIFY2(err.contains("(give the token with --token-file FILE or QUADREL_HUB_TOKEN)"), qPrintable(err));
  }

  void the_time_limit_bounds_the_run_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("status") << "silent MOD" << "status --json" << "MOD999: the run's time limit (--timeout 0.4 s) ran out after 0.4 s";
    QTest::newRow("a mode's late reply") << "silent MOD" << "mode quad"
                                         << "mode: MOD005: the run's time limit (--timeout 0.4 s) ran out after 0.4 s";
  }
  void the_time_limit_bounds_the_run() {
    QFETCH(QString, fault);
    QFETCH(QString, args);
    QFETCH(QString, message);
    Sim sim;
    sim.fault(fault);
    const Run run = cli(sim.link(true) + QStringList{"--timeout", "0.4"} + words_of(args));
    QCOMPARE(run.code, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QCOMPARE(run.out, QString());
    // The message has the program's own clock; a busy machine may take a while to start it.
    QVERIFY2(run.seconds < 3.0, qPrintable(QString::number(run.seconds)));
  }

  void output_that_cannot_be_written_data() {
    QTest::addColumn<QString>("args");
    QTest::newRow("status") << "status --json";
    QTest::newRow("a getter") << "mode";
  }
  void output_that_cannot_be_written() {
    QFETCH(QString, args);
    Sim sim;
    const Run run = cli(sim.link(true) + words_of(args), {}, "/dev/full");
    QCOMPARE(run.code, 74);
    QVERIFY2(run.err.contains(": cannot write the standard output: No space left on device"), qPrintable(run.err));
  }

  void apply_clones_a_device_data() {
    QTest::addColumn<int>("source_mode");
    QTest::addColumn<QString>("target_setup");
    QTest::addColumn<Via>("tcp");
    // 1080i is served in Matrix only: the mode has to change first, or last.
    QTest::newRow("quad to matrix 1080i") << 1 << "MOD005" << Pty;
    QTest::newRow("matrix 1080i to quad") << 5 << "RES005" << Tcp;
    QTest::newRow("to dual pip") << 4 << "" << Tcp;
    QTest::newRow("to the wall") << 3 << "" << Pty;
    QTest::newRow("matrix 1080i to quad through the hub") << 5 << "RES005" << ViaHub;
    QTest::newRow("to the wall through the hub") << 3 << "" << ViaHub;
  }
  void apply_clones_a_device() {
    QFETCH(int, source_mode);
    QFETCH(QString, target_setup);
    QFETCH(Via, tcp);
    Sim source, target;
    vary(source.state(), source_mode);
    target.setup(target_setup);
    const Run saved = cli(source.link(true) << "status" << "--json");
    QCOMPARE(saved.code, 0);

    // A dry run prints the commands and changes nothing; the run sends them and prints the same lines.
    const auto before = target.dump();
    const Run dry = cli(target.link(tcp) << "apply" << "--dry-run" << "-", saved.out.toUtf8());
    QCOMPARE(dry.code, 0);
    QCOMPARE(target.dump(), before);
    target.server.clear_log();
    const Run applied = cli(target.link(tcp) << "apply" << "-", saved.out.toUtf8());
    QVERIFY2(applied.code == 0, qPrintable(applied.err));
    QCOMPARE(applied.out, dry.out);
    QVERIFY2(applied.out.contains("LAI1Stage Left  # labels.text.1: \"HDMI 1\" -> \"Stage Left\"\n"),
             qPrintable(applied.out));
    QStringList planned;
    for (const QString& line : dry.out.split('\n', Qt::SkipEmptyParts))
      for (const QString& command : line.section("  # ", 0, 0).split(' ')) planned << command;
    QStringList sent = target.setters();
    // The reads select each output and the first one again; labels carry spaces.
    sent.removeIf([](const QString& c) { return c.startsWith("OUT00"); });
    planned.removeIf([](const QString& c) { return c.startsWith("OUT00") || !c.contains(QRegularExpression("^[A-Z]{3}")); });
    for (const QString& command : planned) QVERIFY2(sent.join(' ').contains(command), qPrintable(command));
    auto readable = [](QMap<QString, QString> d) {
      d.remove("channel");  // the reads select outputs and put the first one back
      d.remove("ip");       // read-only
      return d;
    };
    QCOMPARE(readable(target.dump()), readable(source.dump()));

    // Nothing differs any more: a second run sends no setter.
    target.server.clear_log();
    const Run again = cli(target.link(tcp) << "apply" << "-", saved.out.toUtf8());
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out, QString());
    for (const QString& command : target.setters()) QVERIFY2(command.startsWith("OUT00"), qPrintable(command));
  }

  // The document is read strictly, before anything is sent.
  void apply_is_strict_data() {
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("misspelt keys") << QByteArray(R"({"key-lock": true, "Mode": "quad", "routing": {"A": 2}})")
                                   << QStringList{"-: Mode: unknown key; did you mean \"mode\"?",
                                                  "-: key-lock: unknown key; did you mean \"key_lock\"?"};
    QTest::newRow("a label beyond ASCII") << QByteArray(R"({"labels": {"text": {"1": "\u00e9\u00e9\u00e9"}}})")
                                          << QStringList{"labels.text.1: a label holds at most 12 printable ASCII"};
    QTest::newRow("a huge number") << QByteArray(R"({"resolution": 1e300})")
                                   << QStringList{"resolution: expected a whole number from 1 to 99"};
    QTest::newRow("a null document") << QByteArray(R"({"schema": 1, "mode": null, "routing": null})")
                                     << QStringList{"asks for nothing"};
    QTest::newRow("too big") << QByteArray(R"({"mode": "quad"})") + QByteArray(1 << 20, ' ')
                             << QStringList{"too big: more than 1048576 bytes (1 MiB)"};
    QTest::newRow("not JSON") << QByteArray("{\"mode\": \"quad\"") << QStringList{"-: not JSON: "};
  }
  void apply_is_strict() {
    QFETCH(QByteArray, document);
    QFETCH(QStringList, errors);
    Sim sim;
    const Run run = cli(sim.link(true) << "apply" << "-", document);
    QCOMPARE(run.code, 64);
    for (const QString& error : errors) QVERIFY2(run.err.contains(error), qPrintable(run.err));
    QCOMPARE(run.err.count('\n'), errors.size());
    QCOMPARE(sim.server.log(), QStringList());
  }

  void apply_reads_back_data() {
    QTest::addColumn<Via>("door");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("routing without a mode, dry") << Tcp << "" << QByteArray(R"({"routing": {"A": 3}})") << "dry" << 0
                                                 << "OUT001 INP003  # routing.A: 1 -> 3\n" << "";
    QTest::newRow("routing and picture without a mode") << Tcp << "MOD005"
                                                        << QByteArray(R"({"routing": {"C": 1},
                                                              "picture": {"C": {"hue": 7}}})") << "" << 0
                                                        << "OUT003 INP001  # routing.C: 3 -> 1\n"
                                                           "HUE407  # picture.C.hue: 50 -> 7\n" << "";
    QTest::newRow("a clamped bezel") << Tcp << "" << QByteArray(R"({"bezel": {"h": 254, "v": 9}})") << "" << 1
                                     << "BEV009  # bezel.v: 0 -> 9\n" << "bezel.h: BEH254 sent; the device holds 200";
    QTest::newRow("ERR on the fifth change") << Tcp << ""
                                             << QByteArray(R"({"aspect": "keep", "bezel": {"on": true, "h": 1, "v": 2},
                                                  "audio": {"edid": "hd", "quad": 3}})")
                                             << "err5" << 1
                                             << "ASP004  # aspect: full -> keep\nBEZ001  # bezel.on: false -> true\n"
                                                "BEH001  # bezel.h: 0 -> 1\nBEV002  # bezel.v: 0 -> 2\n"
                                                "AUQ003  # audio.quad: 1 -> 3\n"
                                             << "audio.edid: AUE004: refused by the device (ERR); the device holds 2ch";
    QTest::newRow("no answer ends the run") << Tcp << "" << QByteArray(R"({"aspect": "keep", "bezel": {"h": 1}})") << "mute ASP004"
                                            << 2 << "" << "aspect: ASP004: no answer within 1.2 s\n"
                                                          "quadrel-cli: apply: tcp 127.0.0.1:@port: bezel.h: not sent: "
                                                          "the run stopped before it";
    QTest::newRow("lines arriving together") << Tcp << "" << QByteArray(R"({"mode": "quad", "routing": {"B": 4}})") << "together"
                                             << 0 << "MOD005  # mode: matrix -> quad\nOUT002 INP004  # routing.B: ? -> 4\n"
                                             << "";
    QTest::newRow("a value the mode cannot take") << Tcp << "MOD005" << QByteArray(R"({"picture": {"all": {"hue": 7}}})") << ""
                                                  << 64 << "" << "picture.all.hue: the whole picture is the Matrix mode's";
      // Through the hub: the same report and exit codes.
    QTest::newRow("routing without a mode, dry, through the hub")
        << ViaHub << "" << QByteArray(R"({"routing": {"A": 3}})") << "dry" << 0 << "OUT001 INP003  # routing.A: 1 -> 3\n"
        << "";
    QTest::newRow("a clamped bezel through the hub")
        << ViaHub << "" << QByteArray(R"({"bezel": {"h": 254, "v": 9}})") << "" << 1 << "BEV009  # bezel.v: 0 -> 9\n"
        << "bezel.h: BEH254 sent; the device holds 200";
    QTest::newRow("ERR on the fifth change through the hub")
        << ViaHub << ""
        << QByteArray(R"({"aspect": "keep", "bezel": {"on": true, "h": 1, "v": 2}, "audio": {"edid": "hd", "quad": 3}})")
        << "err5" << 1
        << "ASP004  # aspect: full -> keep\nBEZ001  # bezel.on: false -> true\nBEH001  # bezel.h: 0 -> 1\n"
           "BEV002  # bezel.v: 0 -> 2\nAUQ003  # audio.quad: 1 -> 3\n"
        << "audio.edid: AUE004: refused by the device (ERR); the device holds 2ch";
    QTest::newRow("no answer ends the run through the hub")
        << ViaHub << "" << QByteArray(R"({"aspect": "keep", "bezel": {"h": 1}})") << "mute ASP004" << 2 << ""
        << "aspect: ASP004: no answer within 1.2 s\nquadrel-cli: apply: @link: bezel.h: not sent: the run stopped before it";
    QTest::newRow("a value the mode cannot take through the hub")
        << ViaHub << "MOD005" << QByteArray(R"({"picture": {"all": {"hue": 7}}})") << "" << 64 << ""
        << "picture.all.hue: the whole picture is the Matrix mode's";
  }

  void apply_reads_back() {
    QFETCH(Via, door);
    QFETCH(QString, setup);
    QFETCH(QByteArray, document);
    QFETCH(QString, fault);
    QFETCH(int, code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    Sim sim;
    sim.setup(setup);
    const QStringList link = sim.link(door);
    sim.fault(fault);
    // "err5": "ERR" to the fifth command that is no query, and to nothing else; "mute COMMAND": silence
    // from that command on.
    int changes = 0;
    QObject::connect(&sim.server, &corvane::SimServer::command_received, &sim.server, [&](const QString& line) {
      corvane::Faults f = sim.server.faults();
      if (fault == "mute " + line) f.silent = {line.left(3)};
      if (fault == "err5" && !line.startsWith("OUT00")) f.err_all = !line.contains("99") && ++changes == 5;
      sim.server.set_faults(f);
    });
    const Run run = cli(link + QStringList{"apply"} + (fault == "dry" ? QStringList{"--dry-run", "-"} : QStringList{"-"}),
                        document);
    QCOMPARE(run.code, code);
    QCOMPARE(run.out, out);
    err.replace("@port", QString::number(sim.server.tcp_port()));
    err.replace("@link", "hub " + QString(link.last()).prepend("http://"));
    QVERIFY2(err.isEmpty() ? run.err.isEmpty() : run.err.contains(err), qPrintable(run.err));
    if (code == 64)
      for (const QString& command : sim.setters()) QVERIFY2(command.startsWith("OUT00"), qPrintable(command));
  }

  void bad_arguments_give_one_line_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("says");  // part of the line, when it matters
    for (const char* args : {"", "frobnicate", "route E 1", "route A 5", "route E", "mode sideways", "picture A hue 101",
                             "bezel h 255", "label 1 ABCDEFGHIJKLM", "label 1 ééé", "preset save 5", "status extra",
                             "power up", "mode quad --json", "--tcp 127.0.0.1:99999 status",
                             "--serial /dev/null --tcp 127.0.0.1:1 status", "--tcp \"\" power off",
                             "--serial \"\" power off", "power off --tcp \" \"", "--tcp 127.0.0.1:1 power off --tcp 127.0.0.1:1",
                             "--tcp 127.0.0.1:1 --tcp 127.0.0.1:2 power off", "--timeout 0 status",
                             "--timeout -1 status", "--timeout 86400.1 status", "--timeout soon status",
                             "status --timeout 1 --timeout 1"})
      QTest::newRow(*args ? args : "no command") << QString(args) << QByteArray() << QString();
    QTest::newRow("apply no file") << "apply /nonexistent.json" << QByteArray() << QString();
    QTest::newRow("no link") << "@nolink status" << QByteArray() << QString();
    // Each in the client's words: the command, what is wrong, what to do.
    QTest::newRow("a command's option before it")
        << "--json route" << QByteArray()
        << "quadrel-cli: route: --json is an option of route: give it after the command, as in 'quadrel-cli route --json'";
    QTest::newRow("a misspelt command") << "rout" << QByteArray() << "unknown command 'rout'; did you mean 'route'?";
    QTest::newRow("a misspelt option") << "route --jsn" << QByteArray() << "route: unknown option --jsn; did you mean '--json'?";
    QTest::newRow("a flag with a value") << "power on --wait=3" << QByteArray() << "power: --wait takes no value";
    QTest::newRow("an option without its value") << "--tcp" << QByteArray() << "quadrel-cli: --tcp needs HOST[:PORT] after it";
    QTest::newRow("apply, empty input") << "apply -" << QByteArray(" \n")
                                        << "apply: -: the document is empty (the standard input gave nothing)";
  }
  void bad_arguments_give_one_line() {
    QFETCH(QString, args);
    QFETCH(QByteArray, input);
    QFETCH(QString, says);
    Sim sim;
    QTemporaryDir empty;
    QStringList words = words_of(args);
    if (words.value(0) == "@nolink")
      words = QStringList{"--panel-dir", empty.path()} + words.mid(1);
    else if (!words.value(0).startsWith("--") && !words.isEmpty())
      words = sim.link(true) + words;
    const Run run = cli(words, input);
    QVERIFY2(is_usage_error(run), qPrintable(QString::number(run.code) + ' ' + run.err));
    QVERIFY2(run.err.contains(says), qPrintable(run.err));
    QCOMPARE(sim.server.log(), QStringList());
  }

  // The terminal the client runs in is refused as a serial port: opened, it
  // would be switched to raw 115200 baud under the user's shell.
  void its_own_terminal_is_no_serial_port_data() {
    QTest::addColumn<bool>("controlling");
    QTest::newRow("standard input") << false;
    QTest::newRow("controlling terminal") << true;
  }
  void its_own_terminal_is_no_serial_port() {
    QFETCH(bool, controlling);
    Sim sim;
    const QByteArray pty = QFile::encodeName(sim.server.pty_path());
    QProcess p;
    if (controlling) {
      // A session of its own whose controlling terminal is the pseudo-terminal.
      p.setChildProcessModifier([pty] {
        ::setsid();
        const int fd = ::open(pty.constData(), O_RDWR);
        if (fd >= 0) {
          ::ioctl(fd, TIOCSCTTY, 0);
          ::close(fd);
        }
      });
    } else {
      p.setStandardInputFile(sim.server.pty_path());
    }
    p.start(QStringLiteral(QUADREL_CLI_PATH), {"--serial", sim.server.pty_path(), "status"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 3);
    const QString err = p.readAllStandardError();
    QVERIFY2(err.contains(sim.server.pty_path() + ": cannot open the port: the terminal this program runs in, not a "
                                                  "serial port"),
             qPrintable(err));
    QCOMPARE(sim.server.log(), QStringList());
  }

  // The panel's files are read only when they are files: a FIFO or a folder in
  // their place is named, and nothing waits for it.
  void panel_files_that_are_no_files_are_named_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("fifo");  // else a folder
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("corvane.ini FIFO") << "corvane.ini" << true << "status" << 64 << "corvane.ini is a FIFO, not a file)";
    QTest::newRow("corvane.ini folder") << "corvane.ini" << false << "status" << 64
                                        << "corvane.ini is a directory, not a file)";
    QTest::newRow("com_ports.txt FIFO") << "com_ports.txt" << true << "--serial COM9 status" << 3
                                        << "quadrel-cli: com_ports.txt is a FIFO, not a file; the serial ports present are used.\n";
    QTest::newRow("output_reso.txt FIFO") << "output_reso.txt" << true << "@tcp resolution 2" << 0 << "";
  }
  void panel_files_that_are_no_files_are_named() {
    QFETCH(QString, name);
    QFETCH(bool, fifo);
    QFETCH(QString, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    Sim sim;
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (fifo)
      QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else
      QVERIFY(QDir().mkpath(path));
    QStringList words = args.split(' ', Qt::SkipEmptyParts);
    if (words.front() == "@tcp") words = QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(sim.server.tcp_port())} + words.mid(1);
    const Run run = cli(QStringList{"--panel-dir", dir.path()} + words);
    QCOMPARE(run.code, code);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
  }

  void the_longest_time_limit_is_taken() {
    Sim sim;
    const Run run = cli(sim.link(true) << "--timeout" << "86400" << "mode");
    QCOMPARE(run.code, 0);
  }

  void serial_reasons_say_what_happened_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a FIFO") << "@fifo" << "cannot open the port: not a serial device";
    QTest::newRow("/dev/zero") << "/dev/zero" << "cannot open the port: not a serial device";
    QTest::newRow("a port in use") << "@held" << QStringLiteral("cannot open the port: the port is in use by test_cli (pid %1)")
                                                    .arg(::getpid());
  }
  void serial_reasons_say_what_happened() {
    QFETCH(QString, device);
    QFETCH(QString, reason);
    Sim sim;
    QTemporaryDir dir;
    QFile held(sim.server.pty_path());
    if (device == "@fifo") {
      device = dir.filePath("fifo");
      QCOMPARE(::mkfifo(QFile::encodeName(device).constData(), 0600), 0);
    } else if (device == "@held") {
      QVERIFY(held.open(QIODevice::ReadWrite));
      device = sim.server.pty_path();
    }
    const Run run = cli({"--serial", device, "status"});
    QCOMPARE(run.code, 3);
    // The port's own reason, as it is (a FIFO's names what it is after it).
    QVERIFY2(run.err.startsWith("quadrel-cli: status: serial " + device + ": " + reason) && run.err.count('\n') == 1,
             qPrintable(run.err));
    QVERIFY2(!run.err.contains("dialout"), qPrintable(run.err));
  }

  void link_from_the_panel_settings() {
    Sim sim;
    QTemporaryDir dir;
    Settings settings;
    settings.iface = 1;
    settings.address = QStringLiteral("127.0.0.1:%1").arg(sim.server.tcp_port()).toStdString();
    QFile ini(dir.filePath("corvane.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(QByteArray::fromStdString(format_settings(settings)));
    ini.close();
    const Run run = cli({"--panel-dir", dir.path(), "lock", "on"});
    QCOMPARE(run.code, 0);
    QCOMPARE(sim.server.log(), (QStringList{"LCK001", "LCK999"}));
  }

  void power_on_waits_for_the_restart_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<bool>("wait");
    QTest::newRow("tcp, waiting") << true << true;
    QTest::newRow("pty, waiting") << false << true;
    QTest::newRow("tcp, not waiting") << true << false;
    QTest::newRow("pty, not waiting") << false << false;
  }
  void power_on_waits_for_the_restart() {
    QFETCH(bool, tcp);
    QFETCH(bool, wait);
    Sim sim;
    corvane::Faults faults;
    faults.restart_ms = 300;
    sim.server.set_faults(faults);
    sim.setup("PWR000");
    const Run run = cli(sim.link(tcp) << "power" << "on" << (wait ? "--wait" : "--verbose"));
    QCOMPARE(sim.dump().value("power"), QString("1"));
    if (!wait) {  // acknowledged and restarting: done
      QVERIFY2(run.code == 0, qPrintable(run.err));
      QCOMPARE(run.out, "power: PWR001: acknowledged; the device restarts, and was not read back\n");
      return;
    }
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QVERIFY(run.seconds >= 0.3);
    QCOMPARE(sim.server.log().last(), QString("PWR999"));
  }

  void watch_prints_one_record_per_line_data() {
    QTest::addColumn<Via>("door");
    QTest::addColumn<bool>("json");
    QTest::newRow("json") << Tcp << true;
    QTest::newRow("text") << Tcp << false;
    QTest::newRow("json through the hub") << ViaHub << true;
    QTest::newRow("text through the hub") << ViaHub << false;
  }
  void watch_prints_one_record_per_line() {
    QFETCH(Via, door);
    QFETCH(bool, json);
    Sim sim;
    sim.setup("MOD005;OUT003");
    QProcess watch;
    QByteArray output;
    QObject::connect(&watch, &QProcess::readyReadStandardOutput, &watch, [&] { output += watch.readAllStandardOutput(); });
    watch.start(QUADREL_CLI_PATH, sim.link(door) << "watch" << (json ? QStringList{"--json"} : QStringList{}));
    // The watch has asked the mode and the output, or the hub has its stream's first client.
    QVERIFY(QTest::qWaitFor([&] { return door == ViaHub ? sim.hub->events().clients() == 1 : sim.server.log().size() == 2; },
                            5000));
    sim.server.clear_log();
    // Two lines in one write, noise in front of a line, the link lost and back, a line after it.
    sim.server.send_unsolicited("INP004\rMOD001");
    sim.server.send_garbage("\xe9\x01");
    sim.server.send_unsolicited("PWR000");
    QVERIFY2(QTest::qWaitFor([&] { return output.contains("PWR000"); }, 5000), watch.readAllStandardError() + output);
    sim.server.drop_connection();
    // Back, and read again: by the watch (its two questions), or by the hub (the whole device).
    QVERIFY(QTest::qWaitFor([&] { return output.contains("back") && sim.server.log().size() >= 2; }, 5000));
    if (door == ViaHub) QVERIFY(QTest::qWaitFor([&] { return sim.hub->link().queued() == 0; }, 5000));
    sim.server.send_unsolicited("LCK001");
    QVERIFY(QTest::qWaitFor([&] { return output.contains("LCK001"); }, 5000));
    watch.terminate();
    QVERIFY(watch.waitForFinished(5000));
    QCOMPARE(watch.exitCode(), 0);
    const QString out = output + watch.readAllStandardOutput();
    QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QStringList records;
    // A drop this soon after the link opened may be another client's doing: the reason says so after this.
    const QString closed = "the device closed the connection";
    static const QRegularExpression after(" [0-9.]+ s after it opened: [^\"]*");
    for (const QString& text : lines) {
      if (!json) {
        records << text.section(' ', 1).remove(after);
        continue;
      }
      QJsonObject record = json_of(text);
      QVERIFY(QDateTime::fromString(record.take("time").toString(), Qt::ISODateWithMs).isValid());
      records << QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)).remove(after);
    }
    const QString link = "tcp 127.0.0.1:" + QString::number(sim.server.tcp_port());
    // The hub keeps the device's lines, not the noise between them; and what
    // its own reads find changed (after a mode, after the link's return) is a record too.
    const QString noise = door == ViaHub ? "" : json ? QString::fromLatin1("\xe9\x01") : QString("\\xe9\\x01");
    auto compact = [](const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); };
    auto line = [&](const char* code, const char* field, const QString& text, const QJsonValue& value) {
      return compact({{"code", code}, {"field", field}, {"line", text}, {"value", value}});
    };
    QStringList expected =
        json ? QStringList{line("INP", "routing.C", "INP004", 4), line("MOD", "mode", "MOD001", "matrix"),
                           line("PWR", "power", noise + "PWR000", "standby"),
                           compact({{"event", "lost"}, {"reason", closed}}), compact({{"event", "back"}, {"link", link}}),
                           line("LCK", "key_lock", "LCK001", true)}
             : QStringList{"INP004  routing.C 4", "MOD001  mode matrix", noise + "PWR000  power standby",
                           "link lost: " + closed, "link back: " + link, "LCK001  key_lock true"};
    if (door == ViaHub) {
      // In that order, with the hub's records between them.
      QStringList seen;
      for (const QString& record : records)
        if (seen.size() < expected.size() && record == expected[seen.size()]) seen << record;
      QCOMPARE(seen, expected);
    } else {
      QCOMPARE(records, expected);
    }
    if (json && door != ViaHub) QVERIFY2(out.contains(R"("line":"\u00e9\u0001PWR000")"), qPrintable(out));
  }

  // Each shell's completion, in that shell on a pseudo-terminal: Tab after
  // each line, and the line as the shell's editor then holds it. The words
  // come from the program: a colon inside a word, a name with a space, the
  // serial devices it would open (not a file, not a console).
  void completions_in_each_shell_data() {
    QTest::addColumn<QStringList>("command");  // the shell; @ is a folder of the test's own
    QTest::addColumn<QString>("startup");      // NAME:TEXT, a start-up file in @
    const QString file = QUADREL_SOURCE_DIR "/share/cli/";
    QTest::newRow("bash") << QStringList{"bash", "--rcfile", "@/rc", "--noprofile", "-i"}
                          << "rc:source /usr/share/bash-completion/bash_completion; source " + file +
                                 "quadrel-cli.bash\nbind -x '\"\\C-t\": printf \"<<%s>>\" \"$READLINE_LINE\"'\n";
    QTest::newRow("zsh") << QStringList{"zsh", "-i"}  // ZDOTDIR=@
                         << ".zshrc:fpath=(" + file + " $fpath); autoload -Uz compinit; compinit -u -D\n"
                                "show() { print -rn -- \"<<$BUFFER>>\" }; zle -N show; bindkey '^T' show\n";
    QTest::newRow("fish") << QStringList{"fish", "--no-config", "-i", "-C", "source @/rc"}
                          << "rc:source " + file + "quadrel-cli.fish; function show; echo \"<<\"(commandline)\">>\"; end; "
                                 "bind \\ct show\n";
  }
  void completions_in_each_shell() {
    QFETCH(QStringList, command);
    QFETCH(QString, startup);
    QTemporaryDir dir;
    const QString d = dir.path();
    QFile rc(d + "/" + startup.section(':', 0, 0));
    QVERIFY(rc.open(QIODevice::WriteOnly) && rc.write(startup.section(':', 1).toUtf8()) > 0);
    rc.close();
    // A serial adapter (a pseudo-terminal), a file and a console.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    QVERIFY(QFile::link(QString::fromLocal8Bit(::ptsname(master)), d + "/adapter"));
    QVERIFY(QFile::link("/dev/tty0", d + "/console"));
    QFile(d + "/notes.txt").open(QIODevice::WriteOnly);
    const QStringList typed{"quadrel-cli --tcp 127.0.0.1:2300 rou", "quadrel-cli aspect 16:1",
                            "quadrel-cli resolution 1920x12", "quadrel-cli power --w", "quadrel-cli pip a si",
                            "quadrel-cli --serial " + d + "/", "quadrel-cli apply " QUADREL_SOURCE_DIR "/share/cli/state.sch",
                            "quadrel-cli --hu", "quadrel-cli --hub 127.0.0.1 --token-file " + d + "/no"};
    const QStringList expected{"quadrel-cli --tcp 127.0.0.1:2300 route ", "quadrel-cli aspect 16:10 ",
                               "quadrel-cli resolution 1920x1200\\ 60Hz ", "quadrel-cli power --wait ",
                               "quadrel-cli pip a size ", "quadrel-cli --serial " + d + "/adapter ",
                               "quadrel-cli apply " QUADREL_SOURCE_DIR "/share/cli/state.schema.json ",
                               "quadrel-cli --hub ", "quadrel-cli --hub 127.0.0.1 --token-file " + d + "/notes.txt "};
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", QFileInfo(QUADREL_CLI_PATH).path() + ":" + env.value("PATH"));
    env.insert("ZDOTDIR", d);
    p.setProcessEnvironment(env);
    p.start("python3", QStringList{QUADREL_SOURCE_DIR "/tests/support/shell_tab.py"} + command.replaceInStrings("@", d));
    p.write((typed.join('\n') + '\n').toUtf8());
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(60000));
    ::close(master);
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
    QCOMPARE(QString(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts), expected);
  }

  // Along /dev/tty the program offers only what it would open: no console, not its terminal.
  void completion_offers_no_console() {
    const QStringList offered = cli({"--complete", "--serial", "/dev/tty"}).out.split('\n', Qt::SkipEmptyParts);
    static const QRegularExpression console("^/dev/tty[0-9]*$");
    QVERIFY2(offered.filter(console).isEmpty(), qPrintable(offered.join(' ')));
    for (const QString& device : offered) QVERIFY2(SerialLink::refusal(device).isEmpty(), qPrintable(device));
  }

  // Every document status prints follows the schema that is installed with the program.
  void status_follows_the_schema() {
    const QString schema = QStringLiteral(QUADREL_SOURCE_DIR "/share/cli/state.schema.json");
    QStringList documents;
    for (int mode = 1; mode <= 5; ++mode) {
      Sim sim;
      vary(sim.state(), mode);
      documents << cli(sim.link(true) << "status" << "--json").out;
    }
    documents << R"({"routing": {"A": 3}})";
    const QString check = R"(
import json, sys, jsonschema
schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
for text in sys.stdin.read().split("\n\x1e\n"):
    validator.validate(json.loads(text))
# What apply refuses, the schema refuses too.
for bad in ['{"key-lock": true}', '{"routing": {"A": 5}}', '{"labels": {"text": {"1": "ABCDEFGHIJKLM"}}}',
            '{"mode": "Quad"}', '{"schema": 2}', '{"picture": {"all": {"hue": 1.5}}}']:
    if validator.is_valid(json.loads(bad)): sys.exit("the schema takes " + bad)
)";
    QProcess p;
    p.start("python3", {"-c", check, schema});
    p.write(documents.join("\n\x1e\n").toUtf8());
    p.closeWriteChannel();
    QVERIFY(p.waitForFinished(20000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardError().constData());
  }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
