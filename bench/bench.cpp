// quadrel-bench: the panel's exchange, refresh, CPU, start-up and memory figures,
// side by side with a plain blocking client, against a separate simulator process.
//
//   build/bench/quadrel-bench [exchanges]
//   build/bench/quadrel-bench --refresh-loop N    (full refreshes only, for a profiler)
//   build/bench/quadrel-bench --cli-status         (quadrel-cli status only)
//   build/bench/quadrel-bench --framer            (the line framer's throughput only)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "link/core/framer.h"
#include "link/device_link.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "panel_fixture.h"
#include "process_stats.h"
#include "shell/frm_main.h"
#include "sim_process.h"

using namespace quadrel;
using quadrel::test::cpu_seconds;
using quadrel::test::rss_kib;
using quadrel::test::SimProcess;

namespace {

struct Stats {
  double median_us = 0;
  double p99_us = 0;
};

Stats stats(std::vector<double> us) {
  if (us.empty()) return {};
  std::sort(us.begin(), us.end());
  return {us[us.size() / 2], us[std::min(us.size() - 1, us.size() * 99 / 100)]};
}

void pin_to_cpu(int cpu) {
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu % std::max(1, static_cast<int>(sysconf(_SC_NPROCESSORS_ONLN))), &set);
  sched_setaffinity(0, sizeof set, &set);
}

// The same exchange with a plain blocking client: write the command, read to the carriage return.
std::vector<double> plain_exchanges(int fd, int count) {
  std::vector<double> us;
  us.reserve(count);
  char c = 0;
  for (int i = 0; i < count; ++i) {
    QElapsedTimer clock;
    clock.start();
    if (::write(fd, "MOD999\r", 7) != 7) break;
    while (::read(fd, &c, 1) == 1 && c != '\r') {}
    us.push_back(clock.nsecsElapsed() / 1000.0);
  }
  return us;
}

int plain_tcp(quint16 port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

int plain_pty(const QString& path) {
  const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
  if (fd < 0) return -1;
  termios tio{};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  cfsetspeed(&tio, B115200);
  tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

struct NullConsole : Console {
  void append(std::string_view) override {}
  void clear() override {}
};
struct PrintNotifier : Notifier {
  void message(const std::string& text, MessageIcon) override { std::fprintf(stderr, "message: %s\n", text.c_str()); }
};

std::vector<double> panel_exchanges(DeviceLink& link, int count) {
  std::vector<double> us;
  us.reserve(count);
  for (int i = 0; i < count; ++i) {
    QElapsedTimer clock;
    clock.start();
    link.tx_cmd("MOD999");
    us.push_back(clock.nsecsElapsed() / 1000.0);
    if (!link.state().rx_flag) std::fprintf(stderr, "unanswered exchange %d\n", i);
  }
  return us;
}

void print_row(const char* what, const Stats& panel, const Stats& plain) {
  std::printf("| %-28s | %10.1f | %10.1f | %10.1f | %10.1f | %5.2f |\n", what, panel.median_us, panel.p99_us,
              plain.median_us, plain.p99_us, plain.median_us > 0 ? panel.median_us / plain.median_us : 0.0);
}

void bench_exchanges(int count) {
  std::printf("\n## One exchange (MOD999 -> MOD00n), %d each, microseconds\n\n", count);
  std::printf("| %-28s | %10s | %10s | %10s | %10s | %5s |\n", "link", "panel med", "panel p99", "plain med",
              "plain p99", "ratio");
  std::printf("|------------------------------|-----------:|-----------:|-----------:|-----------:|------:|\n");
  for (const bool tcp : {true, false}) {
    SimProcess sim;
    if (!sim.start({}, {"--log", "/dev/null"}, 1)) { std::printf("simulator did not start\n"); return; }
    NullConsole console;
    PrintNotifier notifier;
    Stats panel;
    {
      DeviceLink link;
      SerialLink serial;
      TcpLink client;
      link.set_console(&console);
      link.set_notifier(&notifier);
      link.set_serial(&serial);
      link.set_tcp(&client);
      if (tcp) {
        client.connect_to(QStringLiteral("127.0.0.1"), sim.port());
        if (!QTest::qWaitFor([&] { return client.is_connected(); }, 3000)) {
          std::printf("panel could not connect\n");
          return;
        }
        client.socket().setSocketOption(QAbstractSocket::LowDelayOption, 1);
        link.state().iface = 1;
        link.state().eth_connected = true;
      } else {
        serial.open(sim.pty());
        link.state().iface = 0;
        link.state().serial_open = true;
      }
      link.set_tim_rx_enabled(true);
      panel_exchanges(link, 50);  // warm up
      panel = stats(panel_exchanges(link, count));
      client.close();
      serial.close();
    }
    QTest::qWait(50);
    const int fd = tcp ? plain_tcp(sim.port()) : plain_pty(sim.pty());
    if (fd < 0) { std::printf("plain client could not connect\n"); return; }
    plain_exchanges(fd, 50);
    const Stats plain = stats(plain_exchanges(fd, count));
    ::close(fd);
    print_row(tcp ? "TCP loopback" : "pseudo-terminal", panel, plain);
  }
}

// The panel itself in a temporary program folder, on one link of the simulator.
struct PanelRun {
  QTemporaryDir dir;
  std::unique_ptr<FrmMain> main;
  PrintNotifier notifier;

  bool start(const SimProcess& sim, bool tcp) {
    quadrel::test::prepare_program_folder(dir.path(), sim.pty(), tcp ? 1 : 0, true,
                                          QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    FrmMainOptions options;
    options.program_folder = dir.path();
    options.notifier = &notifier;
    options.show = false;
    main = std::make_unique<FrmMain>(options);
    if (tcp) {
      main->controls().cmd_conn_eth->click();
      return QTest::qWaitFor([&] { return main->link().state().eth_connected; }, 3000);
    }
    return main->link().state().serial_open;
  }
};

void bench_refresh_and_cpu() {
  std::printf("\n## Full refresh in the advanced size\n\n");
  std::printf("| %-32s | %9s | %9s | %11s | %9s | %9s |\n", "link", "exchanges", "wall ms", "wire ms", "ratio",
              "cpu %");
  std::printf("|----------------------------------|----------:|----------:|------------:|----------:|----------:|\n");
  struct Case { const char* name; bool tcp; bool pace; };
  QStringList notes;
  for (const Case& c : {Case{"TCP loopback", true, false}, Case{"pseudo-terminal", false, false},
                        Case{"pseudo-terminal, 115200 baud", false, true}}) {
    SimProcess sim;
    if (!sim.start({}, c.pace ? QStringList{"--pace"} : QStringList{}, 1)) return;
    sim.command(QStringLiteral("panel MOD005"));  // Quad: every channel has its own picture values
    PanelRun run;
    if (!run.start(sim, c.tcp)) { std::printf("| %-32s | link did not open |\n", c.name); continue; }
    run.main->controls().cmd_refresh->click();  // warm up: the first refresh also lays the window out
    sim.clear_log();
    const double cpu0 = cpu_seconds();
    QElapsedTimer clock;
    clock.start();
    run.main->controls().cmd_refresh->click();
    const double wall_ms = clock.nsecsElapsed() / 1e6;
    const double cpu_ms = (cpu_seconds() - cpu0) * 1000.0;
    // The exchanges and the bytes on the wire, from the simulator's log: each
    // command and its terminator, each reply of six characters and its terminator.
    const QStringList commands = sim.log();
    const int exchanges = static_cast<int>(commands.size());
    qsizetype bytes = 0;
    for (const QString& command : commands) bytes += command.size() + 1 + 7;
    const double wire_ms = bytes * 10.0 / 115200.0 * 1000.0;
    std::printf("| %-32s | %9d | %9.1f | %11.2f | %9.2f | %9.1f |\n", c.name, exchanges, wall_ms, wire_ms,
                wall_ms / wire_ms, 100.0 * cpu_ms / wall_ms);
    if (!c.pace) {
      // Idle with the link open.
      const double idle0 = cpu_seconds();
      QElapsedTimer idle;
      idle.start();
      QEventLoop loop;
      QTimer::singleShot(10000, &loop, &QEventLoop::quit);
      loop.exec();
      const double idle_cpu = cpu_seconds() - idle0;
      notes.push_back(QStringLiteral("Idle with the %1 link open for %2 s: %3 % of a core")
                          .arg(QLatin1String(c.tcp ? "TCP" : "serial"))
                          .arg(idle.elapsed() / 1000.0, 0, 'f', 1)
                          .arg(100.0 * idle_cpu / (idle.elapsed() / 1000.0), 0, 'f', 3));
    }
    if (c.tcp)
      notes.push_back(QStringLiteral("Resident memory after a refresh: %1 MiB").arg(rss_kib() / 1024.0, 0, 'f', 1));
  }
  std::printf("\n");
  for (const QString& note : notes) std::printf("%s\n", qPrintable(note));
}

// quadrel-cli status as a script runs it, at a real 115200 baud, against the
// time its bytes need on the wire.
void bench_cli_status() {
  std::printf("\n## quadrel-cli status, pseudo-terminal at 115200 baud (paced simulator)\n\n");
  SimProcess sim;
  if (!sim.start({}, {"--pace"}, 1)) { std::printf("simulator did not start\n"); return; }
  sim.command(QStringLiteral("panel MOD004"));  // Dual PiP: every chain of status runs
  auto run = [](const QStringList& args, QByteArray* out) {
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(QUADREL_CLI_PATH), args);
    cli.waitForFinished(30000);
    if (out) *out = cli.readAllStandardOutput();
    return cli.exitCode() == 0 ? clock.nsecsElapsed() / 1e6 : -1.0;
  };
  std::vector<double> launch, wall;
  for (int i = 0; i < 5; ++i) launch.push_back(run({"--version"}, nullptr));
  QByteArray json;
  run({"--serial", sim.pty(), "status", "--json"}, &json);  // warm up
  for (int i = 0; i < 5; ++i) {
    sim.clear_log();
    wall.push_back(run({"--serial", sim.pty(), "status", "--json"}, &json));
  }
  // Each command and its terminator, each reply and its terminator: six
  // characters, a label reply "LAI" + digit + its text, a network answer 15.
  const QStringList commands = sim.log();
  const QJsonObject labels = QJsonDocument::fromJson(json).object().value("labels").toObject().value("text").toObject();
  qsizetype bytes = 0;
  for (const QString& command : commands) {
    qsizetype reply = 7;
    if (command.startsWith("LAI99")) reply = 5 + labels.value(command.right(1)).toString().size();
    if (command == "EIP999" || command == "EMK999" || command == "EGW999") reply = 16;
    bytes += command.size() + 1 + reply;
  }
  const double wire_ms = bytes * 10.0 / 115200.0 * 1000.0;
  const Stats w = stats(wall), l = stats(launch);
  std::printf("| %-32s | %9s | %9s | %11s | %9s |\n", "run", "exchanges", "wall ms", "wire ms", "ratio");
  std::printf("|----------------------------------|----------:|----------:|------------:|----------:|\n");
  std::printf("| %-32s | %9lld | %9.1f | %11.2f | %9.2f |\n", "status --json, median of 5",
              static_cast<long long>(commands.size()), w.median_us, wire_ms, w.median_us / wire_ms);
  std::printf("\nProgram start and exit alone (--version): median %.1f ms; the network queries wait for\n"
              "their bare answers as the panel does.\n", l.median_us);
}

// The line framer alone: megabytes per second through push() and step(), in
// reads of 4 KiB, for a stream of replies and for two kinds of line noise.
void bench_framer() {
  std::printf("\n## Line framer throughput, MB/s (64 MiB in reads of 4 KiB)\n\n");
  std::printf("| %-36s | %9s | %9s |\n", "input", "MB/s", "lines");
  std::printf("|--------------------------------------|----------:|----------:|\n");
  constexpr std::size_t kTotal = std::size_t{64} << 20;
  constexpr std::size_t kRead = 4096;
  struct Case { const char* name; std::string read; };
  std::string replies, printable, binary;
  quint32 seed = 1;
  while (replies.size() < kRead) replies += "MOD003\rLAI1HDMI 1\rBEH120\r";
  for (std::size_t i = 0; i < kRead; ++i) {
    seed = seed * 1664525u + 1013904223u;
    printable += static_cast<char>('a' + (seed >> 24) % 26);
    binary += static_cast<char>(seed >> 24 == '\r' ? 0 : seed >> 24);
  }
  replies.resize(kRead);
  for (const Case& c : {Case{"replies", replies}, Case{"printable noise, no carriage return", printable},
                        Case{"random bytes, no carriage return", binary}}) {
    LineFramer framer;
    std::size_t lines = 0;
    QElapsedTimer clock;
    clock.start();
    for (std::size_t done = 0; done < kTotal; done += kRead) {
      framer.push(c.read);
      while (framer.step(false) != LineFramer::Step::NeedMore) {
        ++lines;
        framer.clear_line();
      }
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("| %-36s | %9.0f | %9zu |\n", c.name, kTotal / 1e6 / seconds, lines);
  }
}

void bench_launch(const char* self) {
  std::vector<double> ms;
  for (int i = 0; i < 5; ++i) {
    QProcess probe;
    probe.setProgram(QString::fromLocal8Bit(self));
    probe.setArguments({QStringLiteral("--launch-probe")});
    QElapsedTimer clock;
    clock.start();
    probe.start();
    probe.waitForFinished(10000);
    if (probe.readAllStandardOutput().contains("shown")) ms.push_back(clock.nsecsElapsed() / 1e6);
  }
  const Stats s = stats(ms);
  std::printf("Launch to window shown: median %.1f ms (of %zu runs)\n", s.median_us, ms.size());
}

int launch_probe(int argc, char** argv) {
  QApplication app(argc, argv);
  QTemporaryDir dir;
  quadrel::test::prepare_program_folder(dir.path(), QString(), 1, false, QStringLiteral("127.0.0.1:1"));
  PrintNotifier notifier;
  FrmMainOptions options;
  options.program_folder = dir.path();
  options.notifier = &notifier;
  FrmMain frm(options);
  QTimer::singleShot(0, [&] {
    std::printf("shown\n");
    std::fflush(stdout);
    QApplication::quit();
  });
  return QApplication::exec();
}

}  // namespace

// Refreshes in a loop over TCP, for a profiler: quadrel-bench --refresh-loop N
int refresh_loop(int argc, char** argv, int count) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SimProcess sim;
  if (!sim.start({}, {"--log", "/dev/null"}, 1)) return 1;
  sim.command(QStringLiteral("panel MOD005"));
  PanelRun run;
  if (!run.start(sim, true)) return 1;
  for (int i = 0; i < count; ++i) run.main->controls().cmd_refresh->click();
  return 0;
}

int main(int argc, char** argv) {
  if (argc > 1 && QByteArray(argv[1]) == "--launch-probe") return launch_probe(argc, argv);
  if (argc > 2 && QByteArray(argv[1]) == "--refresh-loop") return refresh_loop(argc, argv, atoi(argv[2]));
  if (argc > 1 && QByteArray(argv[1]) == "--cli-status") {
    QCoreApplication app(argc, argv);
    bench_cli_status();
    return 0;
  }
  if (argc > 1 && QByteArray(argv[1]) == "--framer") return bench_framer(), 0;
  pin_to_cpu(0);
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quadrel"));
  const int count = argc > 1 ? std::max(100, atoi(argv[1])) : 2000;
  std::printf("# quadrel-bench (panel pinned to CPU 0, simulator to CPU 1)\n");
  bench_framer();
  bench_exchanges(count);
  bench_refresh_and_cpu();
  bench_cli_status();
  bench_launch(argv[0]);
  return 0;
}
