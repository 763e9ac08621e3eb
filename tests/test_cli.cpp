// quadrel-cli against the simulated Corvane, over TCP and the pseudo-terminal.
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "expected_commands.h"
#include "settings/settings_file.h"
#include "sim_server.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace quadrel;

namespace {

struct Run {
  int code = -1;
  QString out, err;
};

// Runs the client while the simulator in this process serves it (an event
// loop, not qWaitFor, whose naps would slow every exchange down).
Run cli(const QStringList& args, const QByteArray& input = {}) {
  QProcess p;
  QEventLoop loop;
  QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
  QTimer::singleShot(20000, &loop, &QEventLoop::quit);
  p.start(QStringLiteral(QUADREL_CLI_PATH), args);
  p.write(input);
  p.closeWriteChannel();
  if (p.state() != QProcess::NotRunning) loop.exec();
  if (p.state() != QProcess::NotRunning) p.kill(), p.waitForFinished();
  return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
          p.readAllStandardError()};
}

struct Sim {
  corvane::SimServer server;
  Sim() {
    QString error;
    if (!server.start({}, &error)) qFatal("simulator: %s", qPrintable(error));
  }
  corvane::DeviceState& state() { return server.device().state(); }
  // The link options, with the panel folder that holds the resolution list.
  QStringList link(bool tcp) const {
    return QStringList{"--panel-dir", QUADREL_SOURCE_DIR "/data"} +
           (tcp ? QStringList{"--tcp", QStringLiteral("127.0.0.1:%1").arg(server.tcp_port())}
                : QStringList{"--serial", server.pty_path()});
  }
  // Changes made on the device itself, "MOD005;SAV003".
  void setup(const QString& lines) {
    for (const QString& line : lines.split(';', Qt::SkipEmptyParts)) server.device().apply(line.toStdString());
  }
  QMap<QString, QString> dump() const {
    QMap<QString, QString> map;
    for (const QString& line : QString::fromStdString(server.device().dump()).split('\n', Qt::SkipEmptyParts))
      map.insert(line.section('=', 0, 0), line.section('=', 1));
    return map;
  }
};

// A device with a setting other than the factory one everywhere it can be read in `mode`.
void vary(corvane::DeviceState& s, int mode) {
  s.mode = mode;
  s.resolution = mode == 1 ? 6 : 8;
  s.aspect = 2;
  for (int ch = 0; ch < (mode == 1 ? 1 : 4); ++ch) s.picture[ch] = {10 + ch, 20 + ch, 30 + ch, 100 - ch};
  if (mode == 3) s.inputs.fill(2);
  else s.inputs = {4, 3, 2, 1};
  s.bezel_on = true;
  s.bezel_h = 17;
  s.bezel_v = 150;
  s.audio_on = false;
  s.audio_edid = 3;
  s.audio_b = 2;
  s.audio_quad = 4;
  s.key_lock = true;
  s.hdcp_in = {1, 0, 1, 0};
  s.hdcp_out = {0, 1, 1, 0};
  s.labels_on = true;
  s.labels = {"Stage Left", "", "Camera 2", "ABCDEFGHIJKL"};
  if (mode == 4) s.pip_corner = {3, 0}, s.pip_size = {2, 3};
}

// What `status --json` must print for a simulated device.
QJsonObject expected_json(const corvane::DeviceState& s, const std::vector<std::string>& resolutions) {
  static const char* modes[] = {"", "matrix", "dual-pop", "tv-wall", "dual-pip", "quad"};
  static const char* aspects[] = {"full", "4:3", "16:9", "16:10", "keep"};
  static const char* edids[] = {"2ch", "6ch", "8ch", "bitstream", "hd"};
  static const char* corners[] = {"upper-left", "upper-right", "lower-right", "lower-left"};
  static const char* sizes[] = {"large", "medium", "small", "off"};
  const QString letters = "ABCD";
  auto picture = [](const corvane::Picture& p) {
    return QJsonObject{{"brightness", p.brightness}, {"contrast", p.contrast}, {"hue", p.hue},
                       {"saturation", p.saturation}};
  };
  QJsonObject routing, pic, in, out, text, pip;
  for (int i = 0; i < 4; ++i) {
    routing[letters[i]] = s.inputs[i];
    if (s.mode != 1) pic[letters[i]] = picture(s.picture[i]);
    in[QString::number(i + 1)] = s.hdcp_in[i] ? "off" : "on";
    out[letters[i]] = s.hdcp_out[i] ? "output" : "input";
    text[QString::number(i + 1)] = QString::fromStdString(s.labels[i]);
  }
  if (s.mode == 1) pic["all"] = picture(s.picture[0]);
  for (int w = 0; w < 2; ++w)
    pip[letters[w]] = QJsonObject{{"corner", corners[s.pip_corner[w]]}, {"size", sizes[s.pip_size[w]]}};
  return {{"firmware", QJsonObject{{"version", QString::fromStdString(s.version.substr(0, 1) + "." + s.version.substr(1))},
                                   {"version2", QString::fromStdString(s.version2).trimmed()}}},
          {"power", s.power_on ? "on" : "standby"},
          {"mode", modes[s.mode]},
          {"routing", routing},
          {"resolution", s.resolution},
          {"resolution_name", QString::fromStdString(resolutions[s.resolution - 1])},
          {"aspect", aspects[s.aspect]},
          {"picture", pic},
          {"bezel", QJsonObject{{"on", s.bezel_on}, {"h", s.bezel_h}, {"v", s.bezel_v},
                                {"h_limit", s.bezel_h_limit}, {"v_limit", s.bezel_v_limit}}},
          {"audio", QJsonObject{{"on", s.audio_on}, {"edid", edids[s.audio_edid]}, {"dual_a", s.audio_a},
                                {"dual_b", s.audio_b}, {"quad", s.audio_quad}}},
          {"key_lock", s.key_lock},
          {"hdcp", QJsonObject{{"inputs", in}, {"outputs", out}}},
          {"labels", QJsonObject{{"shown", s.labels_on}, {"text", text}}},
          {"pip", s.mode == 4 ? QJsonValue(pip) : QJsonValue()},
          {"network", QJsonObject{{"ip", QString::fromStdString(s.ip)}, {"mask", QString::fromStdString(s.mask)},
                                  {"gateway", QString::fromStdString(s.gateway)}}}};
}

// Everything `status` sends: the full refresh with the picture, the tool windows' reads, the network.
QStringList status_commands(int mode) {
  QStringList q = test::refresh_commands(mode, true);
  for (const char* code : {"HPI", "HPO"})
    for (int n = 1; n <= 4; ++n) q << QLatin1String(code) + "99" + QString::number(n);
  q << "LAB999" << "LAI991" << "LAI992" << "LAI993" << "LAI994";
  if (mode == 4) q << "PPO991" << "PPO992" << "PSZ991" << "PSZ992";
  return q << "EIP999" << "EMK999" << "EGW999";
}

std::vector<std::string> resolution_list() {
  QFile file(QUADREL_SOURCE_DIR "/data/output_reso.txt");
  file.open(QIODevice::ReadOnly);
  return parse_resolution_list(file.readAll().toStdString());
}

QJsonObject json_of(const QString& text) { return QJsonDocument::fromJson(text.toUtf8()).object(); }

}  // namespace

class CliTest : public QObject {
  Q_OBJECT

 private slots:
  void status_equals_the_device_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<int>("mode");
    QTest::newRow("matrix over tcp") << true << 1;
    QTest::newRow("tv wall over pty") << false << 3;
    QTest::newRow("dual pip over tcp") << true << 4;
    QTest::newRow("quad over pty") << false << 5;
  }
  void status_equals_the_device() {
    QFETCH(bool, tcp);
    QFETCH(int, mode);
    Sim sim;
    vary(sim.state(), mode);
    const Run run = cli(sim.link(tcp) << "status" << "--json");
    QCOMPARE(run.code, 0);
    QCOMPARE(QJsonDocument(json_of(run.out)).toJson(),
             QJsonDocument(expected_json(sim.state(), resolution_list())).toJson());
    QCOMPARE(sim.server.log(), status_commands(mode));
    // The readable form shows the same device.
    const Run text = cli(sim.link(tcp) << "status");
    QVERIFY2(text.out.contains("Labels       shown; 1 \"Stage Left\""), qPrintable(text.out));
  }

  void setters_change_the_device_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expect");  // key=value of the device's state
    QTest::addColumn<QStringList>("sent");
    const QStringList map = test::map_queries();
    QTest::newRow("mode") << false << "mode quad" << "" << "mode=5"
                          << QStringList{"MOD005"} + map + test::picture_queries(5) + QStringList{"ASP999"};
    QTest::newRow("mode tv wall") << true << "mode tv-wall" << "" << "mode=3"
                                  << QStringList{"MOD003", "OUT001", "INP999"} + test::picture_queries(3) +
                                         QStringList{"ASP999"};
    QTest::newRow("route") << true << "route B 3" << "" << "input2=3" << QStringList{"OUT002", "INP003"};
    QTest::newRow("route last") << false << "route d 4" << "" << "input4=4" << QStringList{"OUT004", "INP004"};
    QTest::newRow("resolution") << true << "resolution 8" << "" << "resolution=8" << QStringList{"RES008"};
    QTest::newRow("resolution name") << true << "resolution 1920x1080p 50Hz" << "" << "resolution=7"
                                     << QStringList{"RES007"};
    QTest::newRow("resolution 1080i") << true << "resolution 6" << "" << "resolution=6"
                                      << QStringList{"MOD999", "RES006"};
    QTest::newRow("aspect") << true << "aspect keep" << "" << "aspect=4" << QStringList{"ASP004"};
    QTest::newRow("power") << false << "power off" << "" << "power=0" << QStringList{"PWR000"};
    QTest::newRow("preset save") << true << "preset save 2" << "" << "mode=1" << QStringList{"SAV002"};
    QTest::newRow("preset recall") << true << "preset recall 3" << "MOD005;SAV003;MOD001" << "mode=5"
                                   << QStringList{"CAL003", "MOD999"} + map;
    QTest::newRow("lock") << true << "lock on" << "" << "key_lock=1" << QStringList{"LCK001"};
    QTest::newRow("key") << true << "key menu" << "" << "mode=1" << QStringList{"MNX001"};
    QTest::newRow("label") << true << "label 2 Camera" << "" << "label2=Camera" << QStringList{"LAI2Camera"};
    QTest::newRow("label longest") << false << "label 4 ABCDEFGHIJKL" << "" << "label4=ABCDEFGHIJKL"
                                   << QStringList{"LAI4ABCDEFGHIJKL"};
    QTest::newRow("labels shown") << true << "label on" << "" << "labels_on=1" << QStringList{"LAB001"};
    QTest::newRow("audio") << true << "audio off" << "" << "audio_on=0" << QStringList{"AUD000"};
    QTest::newRow("audio edid") << true << "audio edid hd" << "" << "audio_edid=4" << QStringList{"AUE004"};
    QTest::newRow("audio dual") << true << "audio dual-b sub" << "" << "audio_b=2" << QStringList{"AUB002"};
    QTest::newRow("audio quad") << true << "audio quad q4" << "" << "audio_quad=4" << QStringList{"AUQ004"};
    QTest::newRow("picture matrix") << true << "picture all hue 100" << "" << "hue1=100"
                                    << QStringList{"MOD999", "HUE100"};
    QTest::newRow("picture quad") << false << "picture C sat 0" << "MOD005" << "sat3=0"
                                  << QStringList{"MOD999", "SAT400"};
    QTest::newRow("picture reset") << true << "picture reset" << "BRI030" << "bri1=50" << QStringList{"RST002"};
    QTest::newRow("bezel largest") << true << "bezel v 254" << "" << "bezel_v=150" << QStringList{"BEV254"};
    QTest::newRow("bezel on") << true << "bezel on" << "" << "bezel_on=1" << QStringList{"BEZ001"};
    QTest::newRow("hdcp input") << true << "hdcp input 2 off" << "" << "hdcp_in2=1" << QStringList{"HPI021"};
    QTest::newRow("hdcp output") << false << "hdcp output D output" << "" << "hdcp_out4=1" << QStringList{"HPO041"};
    QTest::newRow("pip corner") << true << "pip b corner ll" << "" << "pip_corner_b=3" << QStringList{"PPO023"};
    QTest::newRow("pip size") << true << "pip a size off" << "" << "pip_size_a=3" << QStringList{"PSZ013"};
    QTest::newRow("pip swap") << true << "pip a swap" << "" << "mode=1" << QStringList{"PSW001"};
    QTest::newRow("send") << true << "send MOD002" << "" << "mode=2" << QStringList{"MOD002"};
  }
  void setters_change_the_device() {
    QFETCH(bool, tcp);
    QFETCH(QString, args);
    QFETCH(QString, setup);
    QFETCH(QString, expect);
    QFETCH(QStringList, sent);
    Sim sim;
    sim.setup(setup);
    // "resolution NAME" keeps its name in one argument.
    QStringList words = args.split(' ');
    if (words[0] == "resolution" && words.size() > 2) words = QStringList{words[0], words.mid(1).join(' ')};
    const Run run = cli(sim.link(tcp) + words);
    QVERIFY2(run.code == 0, qPrintable(run.err));
    QCOMPARE(sim.dump().value(expect.section('=', 0, 0)), expect.section('=', 1));
    QCOMPARE(sim.server.log(), sent);
    if (words[0] == "send") QCOMPARE(run.out, QString("MOD002\n"));
  }

  void apply_clones_a_device_data() {
    QTest::addColumn<int>("source_mode");
    QTest::addColumn<QString>("target_setup");
    QTest::addColumn<bool>("tcp");
    // 1080i is served in Matrix only: the mode has to change first, or last.
    QTest::newRow("quad to matrix 1080i") << 1 << "MOD005" << false;
    QTest::newRow("matrix 1080i to quad") << 5 << "RES005" << true;
    QTest::newRow("to dual pip") << 4 << "" << true;
  }
  void apply_clones_a_device() {
    QFETCH(int, source_mode);
    QFETCH(QString, target_setup);
    QFETCH(bool, tcp);
    Sim source, target;
    vary(source.state(), source_mode);
    target.setup(target_setup);
    const Run saved = cli(source.link(true) << "status" << "--json");
    QCOMPARE(saved.code, 0);

    // What status reads; the reads themselves move the current channel.
    auto readable = [](QMap<QString, QString> d) {
      for (const char* key : {"channel", "bezel_h_limit", "bezel_v_limit"}) d.remove(key);
      return d;
    };
    // A dry run prints the changes and changes nothing.
    const auto before = readable(target.dump());
    const Run dry = cli(target.link(tcp) << "apply" << "--dry-run" << "-", saved.out.toUtf8());
    QCOMPARE(dry.code, 0);
    QVERIFY(dry.out.contains("# mode: ") || source_mode == 1);
    QCOMPARE(readable(target.dump()), before);

    const Run applied = cli(target.link(tcp) << "apply" << "-", saved.out.toUtf8());
    QVERIFY2(applied.code == 0, qPrintable(applied.err));
    QVERIFY2(applied.out.contains("label 1: \"HDMI 1\" -> \"Stage Left\"\n"), qPrintable(applied.out));
    QCOMPARE(readable(target.dump()), readable(source.dump()));

    // Nothing differs any more: a second run changes nothing and sends only queries.
    target.server.clear_log();
    const Run again = cli(target.link(tcp) << "apply" << "-", saved.out.toUtf8());
    QCOMPARE(again.code, 0);
    QCOMPARE(again.out, QString());
    const QRegularExpression query("^([A-Z][A-Z0-9]{2}99[1-9]|[A-Z]{3}998|OUT00[1-4])$");
    for (const QString& command : target.server.log()) QVERIFY2(query.match(command).hasMatch(), qPrintable(command));
  }

  void failures_give_their_exit_codes_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<QString>("fault");  // "silent CODE", "err CODE", "drop CODE", "ext CODE"
    QTest::addColumn<QString>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("silent tcp") << true << "silent PWR" << "power off" << 2 << "PWR000: no answer within 1.2 s";
    QTest::newRow("silent pty") << false << "silent PWR" << "power off" << 2 << "PWR000: no answer within 0.6 s";
    QTest::newRow("refused") << true << "err PWR" << "power off" << 1 << "PWR000: refused by the device (ERR)";
    QTest::newRow("refused mode") << false << "err MOD" << "mode quad" << 1 << "MOD005: refused";
    QTest::newRow("dropped") << true << "drop PWR" << "power off" << 3 << "PWR000: the device closed the connection";
    QTest::newRow("ended") << true << "ext PWR" << "power off" << 3 << "PWR000: the device ended the connection";
    QTest::newRow("status stops") << true << "silent AUQ" << "status" << 2 << "AUQ999: no answer";
    QTest::newRow("status refused") << false << "err LAB" << "status" << 1 << "LAB999: refused";
    QTest::newRow("send refused") << true << "" << "send XYZ123" << 1 << "XYZ123: refused";
    QTest::newRow("no port") << false << "" << "--serial /nonexistent/tty status" << 3 << "cannot open the port";
    QTest::newRow("no server") << true << "" << "--tcp 127.0.0.1:1 status" << 3 << "cannot connect";
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
    corvane::Faults faults;
    if (verb == "err") faults.err = {on};
    if (verb == "silent" || verb == "drop" || verb == "ext") faults.silent = {on};
    sim.server.set_faults(faults);
    QObject::connect(&sim.server, &corvane::SimServer::command_received, &sim.server, [&](const QString& line) {
      if (line.startsWith(on) && verb == "drop") sim.server.drop_connection();
      if (line.startsWith(on) && verb == "ext") sim.server.send_ext();
    }, Qt::QueuedConnection);
    const QStringList words = args.split(' ');
    const Run run = cli(words[0].startsWith("--") ? words : sim.link(tcp) + words);
    QCOMPARE(run.code, code);
    QVERIFY2(run.err.startsWith("quadrel-cli: ") && run.err.contains(message), qPrintable(run.err));
    if (args == "status" && verb == "silent")
      QCOMPARE(sim.server.log(), status_commands(1).mid(0, status_commands(1).indexOf("AUQ999") + 1));
  }

  void bad_arguments_give_the_usage_data() {
    QTest::addColumn<QString>("args");
    QTest::addColumn<QByteArray>("input");
    for (const char* args : {"", "frobnicate", "route E 1", "route A 5", "mode sideways", "picture A hue 101",
                             "bezel h 255", "label 1 ABCDEFGHIJKLM", "preset save 5", "status extra",
                             "power", "--tcp 127.0.0.1:99999 status", "--serial /dev/null --tcp 127.0.0.1:1 status"})
      QTest::newRow(*args ? args : "no command") << QString(args) << QByteArray();
    QTest::newRow("apply no json") << "apply -" << QByteArray("not json");
    QTest::newRow("apply bad value") << "apply -" << QByteArray(R"({"routing": {"A": 5}})");
    QTest::newRow("no link") << "@nolink status" << QByteArray();
  }
  void bad_arguments_give_the_usage() {
    QFETCH(QString, args);
    QFETCH(QByteArray, input);
    Sim sim;
    QTemporaryDir empty;
    QStringList words = args.split(' ', Qt::SkipEmptyParts);
    if (words.value(0) == "@nolink")
      words = QStringList{"--panel-dir", empty.path()} + words.mid(1);
    else if (!words.value(0).startsWith("--") && !words.isEmpty())
      words = sim.link(true) + words;
    const Run run = cli(words, input);
    QCOMPARE(run.code, 64);
    QVERIFY2(run.err.contains("Usage: quadrel-cli"), qPrintable(run.err));
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
    QCOMPARE(sim.server.log(), QStringList{"LCK001"});
  }

  void watch_prints_what_the_device_sends_data() {
    QTest::addColumn<bool>("ended_by_device");
    QTest::newRow("interrupted") << false;
    QTest::newRow("device ends the connection") << true;
  }
  void watch_prints_what_the_device_sends() {
    QFETCH(bool, ended_by_device);
    Sim sim;
    QProcess watch;
    watch.start(QUADREL_CLI_PATH, sim.link(true) << "watch" << "--json");
    QVERIFY(QTest::qWaitFor([&] { return sim.server.has_client(); }, 5000));
    sim.server.send_unsolicited("PWR000");
    QVERIFY(QTest::qWaitFor([&] { return watch.canReadLine(); }, 5000));
    const QJsonObject line = json_of(watch.readLine());
    QCOMPARE(line.value("line").toString(), QString("PWR000"));
    QVERIFY(QDateTime::fromString(line.value("time").toString(), Qt::ISODateWithMs).isValid());
    if (ended_by_device)
      sim.server.send_ext();
    else
      watch.terminate();
    QVERIFY(QTest::qWaitFor([&] { return watch.state() == QProcess::NotRunning; }, 5000));
    QCOMPARE(watch.exitCode(), ended_by_device ? 3 : 0);
    if (ended_by_device) QVERIFY(watch.readAllStandardError().contains("the device ended the connection"));
  }
};

QTEST_GUILESS_MAIN(CliTest)
#include "test_cli.moc"
