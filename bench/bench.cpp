// quadrel-bench: the panel's exchange, refresh, CPU, start-up and memory figures,
// side by side with a plain blocking client and a bare window, against a
// separate simulator process. Its usage (kUsage, below) lists what it runs.
#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
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
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <qcoro/qcorotask.h>

#include "bench_hub.h"
#include "plain_client.h"
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
using quadrel::bench::plain_exchanges;
using quadrel::bench::plain_pty;
using quadrel::bench::plain_tcp;

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
    // Awaited in an event loop of its own, as a caller awaits it in the application's.
    QCoro::waitFor(link.tx_cmd("MOD999"));
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

  bool start(const SimProcess& sim, bool tcp, bool show = false) {
    quadrel::test::prepare_program_folder(dir.path(), sim.pty(), tcp ? 1 : 0, true,
                                          QStringLiteral("127.0.0.1:%1").arg(sim.port()));
    FrmMainOptions options;
    options.program_folder = dir.path();
    options.notifier = &notifier;
    options.show = show;
    main = std::make_unique<FrmMain>(options);
    if (tcp) {
      main->controls().cmd_conn_eth->click();
      return QTest::qWaitFor([&] { return main->link().state().eth_connected; }, 3000);
    }
    return main->link().state().serial_open;
  }

  // One full refresh: wall and CPU milliseconds.
  struct Times {
    double wall, cpu;
  };
  Times refresh() {
    const double cpu0 = cpu_seconds();
    QElapsedTimer clock;
    clock.start();
    click(main->controls().cmd_refresh);
    return {clock.nsecsElapsed() / 1e6, (cpu_seconds() - cpu0) * 1000.0};
  }
  // A click, and what it asked of the device awaited: the event loop runs
  // until the device is idle again (woken by its own events, never sleeping).
  bool click(QAbstractButton* button) {
    button->click();
    QDeadlineTimer deadline(10000);
    QTimer wake;
    wake.start(10000);
    while (main->device().busy() && !deadline.hasExpired())
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return !main->device().busy();
  }
};

// The simulator's log in a file: read back after a run, it does not wake the
// panel's process at every command as its standard output would.
struct SimLog {
  QTemporaryDir dir;
  QString path() const { return dir.filePath(QStringLiteral("sim.log")); }
  QStringList options() const { return {QStringLiteral("--log"), path()}; }
  QStringList take() {
    QFile file(path());
    QStringList commands;
    if (file.open(QIODevice::ReadWrite)) {
      for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith("RX ")) commands << QString::fromLatin1(line.mid(3).trimmed());
      file.resize(0);
    }
    return commands;
  }
};

// Wire time of an exchange list at 115200 baud, 8N1: each command and its
// terminator, each reply of six characters and its terminator.
double wire_ms(const QStringList& commands) {
  qsizetype bytes = 0;
  for (const QString& command : commands) bytes += command.size() + 1 + 7;
  return bytes * 10.0 / 115200.0 * 1000.0;
}

double idle_cpu_percent(double seconds) {
  const double cpu0 = cpu_seconds();
  QElapsedTimer idle;
  idle.start();
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
  return 100.0 * (cpu_seconds() - cpu0) / (idle.elapsed() / 1000.0);
}

void bench_refresh_and_cpu() {
  std::printf("\n## Full refresh in the advanced size, simulator as fast as it goes\n\n");
  std::printf("| %-32s | %9s | %9s | %9s |\n", "link", "exchanges", "wall ms", "cpu ms");
  std::printf("|----------------------------------|----------:|----------:|----------:|\n");
  QStringList notes;
  for (const bool tcp : {true, false}) {
    const char* name = tcp ? "TCP loopback" : "pseudo-terminal";
    SimProcess sim;
    SimLog log;
    if (!sim.start({}, log.options(), 1)) return;
    sim.command(QStringLiteral("panel MOD005"));  // Quad: every channel has its own picture values
    PanelRun run;
    if (!run.start(sim, tcp)) { std::printf("| %-32s | link did not open |\n", name); continue; }
    run.refresh();  // warm up: the first refresh also lays the window out
    log.take();
    std::vector<double> wall, cpu;
    for (int i = 0; i < 20; ++i) {
      const PanelRun::Times t = run.refresh();
      wall.push_back(t.wall);
      cpu.push_back(t.cpu);
    }
    QTest::qWait(20);  // the simulator's last log line
    const int exchanges = static_cast<int>(log.take().size()) / 20;
    std::printf("| %-32s | %9d | %9.2f | %9.2f |\n", name, exchanges, stats(wall).median_us,
                stats(cpu).median_us);
    notes.push_back(QStringLiteral("Idle with the %1 link open for 10 s: %2 % of a core")
                        .arg(QLatin1String(tcp ? "TCP" : "serial"))
                        .arg(idle_cpu_percent(10.0), 0, 'f', 4));
    if (tcp)
      notes.push_back(QStringLiteral("Resident memory after 21 refreshes: %1 MiB").arg(rss_kib() / 1024.0, 0, 'f', 1));
  }
  std::printf("\n");
  for (const QString& note : notes) std::printf("%s\n", qPrintable(note));
}

// The same exchanges, in the same order, with a plain blocking client.
double plain_run_ms(int fd, const QStringList& commands) {
  QElapsedTimer clock;
  clock.start();
  char c = 0;
  for (const QString& command : commands) {
    const QByteArray line = command.toLatin1() + '\r';
    if (::write(fd, line.constData(), static_cast<size_t>(line.size())) != line.size()) return -1;
    while (::read(fd, &c, 1) == 1 && c != '\r') {}
  }
  return clock.nsecsElapsed() / 1e6;
}

// At the device's real speed, against the same paced simulator: the panel's
// full refresh and a plain client doing the same exchanges, in turns.
void bench_paced_refresh() {
  constexpr int kPairs = 15;
  constexpr int kSettleMs = 80;
  std::printf("\n## Full refresh at 115200 baud (paced simulator, pseudo-terminal), %d pairs\n\n", kPairs);
  SimProcess sim;
  SimLog log;
  if (!sim.start({}, QStringList{"--pace"} + log.options(), 1)) { std::printf("simulator did not start\n"); return; }
  sim.command(QStringLiteral("panel MOD005"));
  PanelRun run;
  if (!run.start(sim, false)) { std::printf("serial link did not open\n"); return; }
  run.refresh();  // warm up
  std::vector<double> panel, plain, cpu_share, cpu_ms;
  QStringList commands;
  for (int i = 0; i < kPairs; ++i) {
    log.take();
    const PanelRun::Times t = run.refresh();
    if (commands.isEmpty()) {
      QTest::qWait(20);
      commands = log.take();
    }
    panel.push_back(t.wall);
    cpu_share.push_back(100.0 * t.cpu / t.wall);
    cpu_ms.push_back(t.cpu);
    // The port is the panel's: it lets go of it while the plain client talks.
    run.click(run.main->controls().cmd_disconn);
    const int fd = plain_pty(sim.pty());
    if (fd < 0) { std::printf("plain client could not open the port\n"); return; }
    // The simulator looks at a pseudo-terminal nobody holds only now and then:
    // each side starts once it is heard.
    QTest::qWait(kSettleMs);
    plain.push_back(plain_run_ms(fd, commands));
    ::close(fd);
    run.click(run.main->controls().cmd_conn);
    QTest::qWait(kSettleMs);
  }
  const double p = stats(panel).median_us;
  const double q = stats(plain).median_us;
  std::printf("| %-28s | %9s | %9s | %9s | %9s | %9s |\n", "what", "exchanges", "panel ms", "plain ms", "ratio",
              "wire ms");
  std::printf("|------------------------------|----------:|----------:|----------:|----------:|----------:|\n");
  std::printf("| %-28s | %9lld | %9.2f | %9.2f | %9.3f | %9.2f |\n", "full refresh, median",
              static_cast<long long>(commands.size()), p, q, q > 0 ? p / q : 0.0, wire_ms(commands));
  std::printf("\nCPU during the paced refresh: %.2f %% of its wall time (median), %.2f ms\n", stats(cpu_share).median_us,
              stats(cpu_ms).median_us);
}

// A launch probe prints this line once its window has been painted.
void report_shown(QWidget& window) {
  struct FirstPaint : QObject {
    QWidget* window;
    bool eventFilter(QObject* watched, QEvent* event) override {
      if (watched == window && event->type() == QEvent::Paint) {
        window->removeEventFilter(this);
        QTimer::singleShot(0, [w = window] {
          std::printf("shown %ld %dx%d\n", quadrel::test::peak_rss_kib(), w->width(), w->height());
          std::fflush(stdout);
          QApplication::quit();
        });
      }
      return false;
    }
  };
  auto* filter = new FirstPaint;
  filter->setParent(&window);
  filter->window = &window;
  window.installEventFilter(filter);
}

int launch_probe(int argc, char** argv, const QString& folder) {
  QApplication app(argc, argv);
  PrintNotifier notifier;
  FrmMainOptions options;
  options.program_folder = folder;
  options.notifier = &notifier;
  options.show = false;
  FrmMain frm(options);
  report_shown(frm);
  frm.show();
  return QApplication::exec();
}

int bare_probe(int argc, char** argv, int width, int height) {
  QApplication app(argc, argv);
  QWidget window;
  window.resize(width, height);
  report_shown(window);
  window.show();
  return QApplication::exec();
}

struct Launch {
  double ms = -1;
  long peak_kib = -1;
  QString size;
};

// Runs a probe as a whole process: from its start to the line saying its window was painted.
Launch launch(const char* self, const QStringList& arguments) {
  QProcess probe;
  probe.setProgram(QString::fromLocal8Bit(self));
  probe.setArguments(arguments);
  QElapsedTimer clock;
  clock.start();
  probe.start();
  Launch result;
  QByteArray out;
  while (clock.elapsed() < 10000 && !out.contains('\n') && probe.waitForReadyRead(10000))
    out += probe.readAllStandardOutput();
  if (out.startsWith("shown ")) {
    result.ms = clock.nsecsElapsed() / 1e6;
    const QList<QByteArray> fields = out.trimmed().split(' ');
    result.peak_kib = fields.value(1).toLong();
    result.size = QString::fromLatin1(fields.value(2));
  }
  probe.waitForFinished(10000);
  return result;
}

void bench_launch(const char* self) {
  constexpr int kPairs = 10;
  QTemporaryDir dir;
  quadrel::test::prepare_program_folder(dir.path(), QString(), 1, false, QStringLiteral("127.0.0.1:1"));
  std::vector<double> panel_ms, bare_ms, panel_peak, bare_peak;
  QString size = QStringLiteral("852x160");
  for (int i = 0; i < kPairs; ++i) {
    const Launch panel = launch(self, {QStringLiteral("--launch-probe"), dir.path()});
    if (panel.ms < 0) continue;
    size = panel.size;
    const Launch bare = launch(self, {QStringLiteral("--bare-probe"), size});
    if (bare.ms < 0) continue;
    panel_ms.push_back(panel.ms);
    bare_ms.push_back(bare.ms);
    panel_peak.push_back(panel.peak_kib / 1024.0);
    bare_peak.push_back(bare.peak_kib / 1024.0);
  }
  const double p = stats(panel_ms).median_us;
  const double b = stats(bare_ms).median_us;
  std::printf("\n## Launch to a painted window, offscreen, %zu pairs of whole processes\n\n", panel_ms.size());
  std::printf("| %-36s | %9s | %9s |\n", "window", "median ms", "peak MiB");
  std::printf("|--------------------------------------|----------:|----------:|\n");
  std::printf("| %-36s | %9.1f | %9.1f |\n", "Quadrel (small size)", p, stats(panel_peak).median_us);
  std::printf("| %-36s | %9.1f | %9.1f |\n", qPrintable(QStringLiteral("bare QWidget, %1").arg(size)), b,
              stats(bare_peak).median_us);
  std::printf("\nLaunch ratio Quadrel / bare window: %.2f\n", b > 0 ? p / b : 0.0);
}

// A long session in the shown window: every refresh follows a change on the
// device's front panel (display mode, output, routing), so the refresh
// repaints buttons and map cells in new colours.
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

// Bytes handed to the link as TCP reads, for the receive path alone.
struct ReadQueue : ByteLink {
  std::string inbound;
  bool is_open() const override { return true; }
  bool write(std::string_view) override { return true; }
  std::size_t bytes_to_write() const override { return 0; }
  std::size_t bytes_available() const override { return inbound.size(); }
  std::string read_all() override { return std::exchange(inbound, {}); }
  void close() override {}
};

// The receive path without the window: framing, the console echo and the
// dispatch of every line to a handler that only counts it, in reads of 4 KiB.
void bench_receive_path() {
  constexpr std::size_t kLines = 1'000'000;
  ReadQueue tcp;
  NullConsole console;
  DeviceLink link;
  link.set_console(&console);
  link.set_tcp(&tcp);
  link.state().iface = 1;
  link.state().eth_connected = true;
  std::size_t handled = 0;
  for (const char* code : {"PWR", "MOD", "OUT", "INP"}) link.table().set(code, [&handled] { ++handled; });
  std::string read;
  while (read.size() + 28 <= 4096) read += "PWR001\rMOD001\rOUT001\rINP001\r";
  const std::size_t per_read = read.size() / 7;
  QElapsedTimer clock;
  clock.start();
  for (std::size_t done = 0; done < kLines; done += per_read) {
    tcp.inbound = read;
    link.wsk_client_DataArrival();
  }
  const double ns = clock.nsecsElapsed() / static_cast<double>(handled);
  std::printf("\nReceive path alone (framing, echo, dispatch to a handler that counts): %.0f ns per valid line, "
              "%zu lines handled of %zu\n", ns, handled, (kLines + per_read - 1) / per_read * per_read);
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
  bench_receive_path();
}

// What a plain client spends on the same stream: it reads the socket and
// counts lines, nothing else.
double plain_stream_cpu_percent(quint16 port, double seconds, std::size_t* lines) {
  const int fd = plain_tcp(port);
  if (fd < 0) return -1;
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  char buffer[64 * 1024];
  const double cpu0 = cpu_seconds();
  QElapsedTimer clock;
  clock.start();
  *lines = 0;
  while (clock.elapsed() < seconds * 1000) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    *lines += static_cast<std::size_t>(std::count(buffer, buffer + n, '\r'));
  }
  const double share = 100.0 * (cpu_seconds() - cpu0) / (clock.elapsed() / 1000.0);
  ::close(fd);
  return share;
}

// Counts every reply that reaches a handler, the handlers' own work unchanged.
void count_handled(DispatchTable& table, std::size_t* handled) {
  for (const auto& entry : table.entries()) {
    std::function<void()> inner = entry.fn;
    table.set(entry.code, [inner, handled] {
      ++*handled;
      if (inner) inner();
    });
  }
}

// The device sends 1 MB/s of valid lines on its own over TCP (front-panel
// reports, about 143,000 a second): the panel's CPU while it handles them, a
// full refresh in the middle of it, and a plain client reading the same stream.
void bench_line_stream() {
  constexpr int kRate = 1'000'000;
  constexpr double kSeconds = 5.0;
  const QString lines = QStringLiteral("PWR001,MOD001,OUT001,INP001");
  std::printf("\n## %d bytes per second of valid lines (%s) over TCP, %.0f s\n\n", kRate, qPrintable(lines), kSeconds);
  SimProcess sim;
  if (!sim.start({}, {"--log", "/dev/null"}, 1)) { std::printf("simulator did not start\n"); return; }
  double panel_share = -1;
  int answered = 0, exchanges = 0;
  double refresh_ms = 0;
  std::size_t handled = 0;
  {
    PanelRun run;
    if (!run.start(sim, true)) { std::printf("TCP link did not open\n"); return; }
    DeviceLink& link = run.main->link();
    const auto counting = QObject::connect(&link, &DeviceLink::exchange_ended,
                                           [&](const QString&, ExchangeOutcome outcome) {
                                             ++exchanges;
                                             if (outcome == ExchangeOutcome::Answered) ++answered;
                                           });
    count_handled(link.table(), &handled);
    sim.command(QStringLiteral("lines %1 %2").arg(kRate).arg(lines));
    QTest::qWait(1000);  // the stream has reached its pace
    handled = 0;
    const double cpu0 = cpu_seconds();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(static_cast<int>(kSeconds * 1000));
    panel_share = 100.0 * (cpu_seconds() - cpu0) / (clock.elapsed() / 1000.0);
    handled = static_cast<std::size_t>(handled / (clock.elapsed() / 1000.0));
    refresh_ms = run.refresh().wall;
    QObject::disconnect(counting);
    sim.command(QStringLiteral("lines 0"));
    QTest::qWait(200);
  }
  QTest::qWait(100);
  sim.command(QStringLiteral("lines %1 %2").arg(kRate).arg(lines));
  std::size_t plain_lines = 0;
  const double plain_share = plain_stream_cpu_percent(sim.port(), kSeconds, &plain_lines);
  sim.command(QStringLiteral("lines 0"));
  std::printf("| %-40s | %9s | %9s |\n", "what", "panel", "plain");
  std::printf("|------------------------------------------|----------:|----------:|\n");
  std::printf("| %-40s | %8.1f%% | %8.1f%% |\n", "CPU, share of a core", panel_share, plain_share);
  std::printf("| %-40s | %9zu | %9.0f |\n", "lines per second handled / counted", handled,
              plain_lines / kSeconds);
  std::printf("\nA full refresh during the stream: %d of %d exchanges answered, %.1f ms\n", answered, exchanges,
              refresh_ms);
}

void bench_soak(int refreshes) {
  std::printf("\n## Soak: %d full refreshes over TCP with colour changes, window shown\n\n", refreshes);
  SimProcess sim;
  if (!sim.start({}, {"--log", "/dev/null"}, 1)) { std::printf("simulator did not start\n"); return; }
  PanelRun run;
  if (!run.start(sim, true, true)) { std::printf("TCP link did not open\n"); return; }
  static const char* const kModes[] = {"MOD001", "MOD002", "MOD003", "MOD005", "MOD004"};
  const LinkState& st = run.main->link().state();
  const int warm_up = std::max(1, refreshes / 10);
  long rss_after_warm_up = 0;
  int unanswered = 0;
  QElapsedTimer clock;
  clock.start();
  for (int i = 0; i < refreshes; ++i) {
    QString change;
    switch (i % 3) {
      case 0: change = QLatin1String(kModes[(i / 3) % 5]); break;
      case 1: change = QStringLiteral("OUT%1").arg(1 + (i / 3) % 4, 3, 10, QLatin1Char('0')); break;
      default: change = QStringLiteral("INP%1").arg(1 + (i / 3) % 4, 3, 10, QLatin1Char('0')); break;
    }
    // The device reports the change on its own; the refresh starts once the panel has shown it.
    const int lines = st.con_lines;
    sim.command(QStringLiteral("panel ") + change);
    if (!QTest::qWaitFor([&] { return st.con_lines != lines; }, 1000)) ++unanswered;
    run.click(run.main->controls().cmd_refresh);
    if (!st.rx_flag) ++unanswered;
    if (i + 1 == warm_up) rss_after_warm_up = rss_kib();
    if ((i + 1) % 1000 == 0) {
      std::printf("  %6d refreshes: %.1f MiB resident, %.0f s\n", i + 1, rss_kib() / 1024.0, clock.elapsed() / 1000.0);
      std::fflush(stdout);
    }
  }
  const long at_end = rss_kib();
  std::printf("\nResident memory: %.1f MiB after %d refreshes, %.1f MiB after %d: growth %.2f MiB "
              "(%.0f bytes per refresh); %d exchanges unanswered\n",
              rss_after_warm_up / 1024.0, warm_up, at_end / 1024.0, refreshes,
              (at_end - rss_after_warm_up) / 1024.0, (at_end - rss_after_warm_up) * 1024.0 / (refreshes - warm_up),
              unanswered);
}

}  // namespace

// Refreshes in a loop, for a profiler: quadrel-bench --refresh-loop N [paced]
// (over TCP, or over the pseudo-terminal at 115200 baud).
int refresh_loop(int argc, char** argv, int count, bool paced) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SimProcess sim;
  QStringList options{"--log", "/dev/null"};
  if (paced) options << "--pace";
  if (!sim.start({}, options, 1)) return 1;
  sim.command(QStringLiteral("panel MOD005"));
  PanelRun run;
  if (!run.start(sim, !paced)) return 1;
  for (int i = 0; i < count; ++i) run.click(run.main->controls().cmd_refresh);
  return 0;
}

// A burst of valid lines over TCP or the pseudo-terminal, for a profiler:
// quadrel-bench --line-burst BYTES [serial]. Prints how long the panel took
// to handle it and how many lines reached their handlers.
int line_burst(int argc, char** argv, qint64 bytes, bool serial) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SimProcess sim;
  if (!sim.start({}, {"--log", "/dev/null"}, 1)) return 1;
  PanelRun run;
  if (!run.start(sim, !serial)) return 1;
  std::size_t handled = 0;
  count_handled(run.main->link().table(), &handled);
  const std::size_t expected = static_cast<std::size_t>(bytes / 7);
  const double cpu0 = cpu_seconds();
  QElapsedTimer clock;
  clock.start();
  sim.command(QStringLiteral("line-burst %1 PWR001,MOD001,OUT001,INP001").arg(bytes));
  // Done when nothing more has been handled for half a second.
  std::size_t seen = 0;
  qint64 quiet_since = 0;
  while (clock.elapsed() - quiet_since < 500 && clock.elapsed() < 600000) {
    QTest::qWait(20);
    if (handled != seen) {
      seen = handled;
      quiet_since = clock.elapsed();
    }
  }
  std::printf("%zu of %zu lines handled in %.2f s (CPU %.2f s)\n", handled, expected, quiet_since / 1000.0,
              cpu_seconds() - cpu0);
  return 0;
}

constexpr const char* kUsage = R"(Usage: quadrel-bench [EXCHANGES] [--skip-soak]
       quadrel-bench MODE [ARGUMENT]
Prints the panel's figures side by side with a plain client and a bare window,
against a simulator of its own; the whole run (every row of the performance
table) takes about ten minutes, most of it the soak.

  EXCHANGES                 exchanges per link for the exchange rows (default 2000, at least 100)
  --skip-soak               leave out the soak
  --soak [N]                N full refreshes in the shown window (default 10000)
  --refresh-loop N [paced]  N full refreshes only, for a profiler (paced: at 115200 baud)
  --launch                  the launch against a bare window only
  --launch-probe DIR        one launch of the panel (programs folder DIR), for a profiler
  --paced                   the refresh at 115200 baud only
  --cli-status              quadrel-cli status only
  --framer                  the line framer's throughput only
  --line-stream             1 MB/s of valid lines over TCP only
  --hub [SECONDS]           quadrel-hub's rows only (SECONDS of load, default 60)
  --hub-soak [MINUTES]      panel, watch and apply through the hub (default 10)
  --hub-mqtt                the hub on an MQTT broker only (a report to a subscriber, ten hubs idle)
  -h, --help                show this help
)";

bool is_count(const char* word) {
  const QByteArray w(word);
  bool ok = false;
  return w.toLongLong(&ok) > 0 && ok && !w.startsWith('+');
}

// The arguments make one of the runs above (and the probes it starts itself).
bool arguments_fit(int argc, char** argv) {
  const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
  const QByteArray second = argc > 2 ? QByteArray(argv[2]) : QByteArray();
  auto optional_count = [&] { return argc == 2 || (argc == 3 && is_count(argv[2])); };
  if (mode == "--launch-probe") return argc == 3;
  if (mode == "--bare-probe") return argc == 3 && second.contains('x');
  if (mode == "--line-burst") return (argc == 3 || (argc == 4 && QByteArray(argv[3]) == "serial")) && is_count(argv[2]);
  if (mode == "--refresh-loop") return (argc == 3 || (argc == 4 && QByteArray(argv[3]) == "paced")) && is_count(argv[2]);
  if (mode == "--soak" || mode == "--hub" || mode == "--hub-soak") return optional_count();
  for (const char* alone : {"--launch", "--paced", "--cli-status", "--framer", "--line-stream", "--hub-mqtt"})
    if (mode == alone) return argc == 2;
  bool counted = false, skip = false;
  for (int i = 1; i < argc; ++i) {
    if (QByteArray(argv[i]) == "--skip-soak" && !skip) skip = true;
    else if (is_count(argv[i]) && !counted) counted = true;
    else return false;
  }
  return true;
}

int main(int argc, char** argv) {
  const QByteArray mode = argc > 1 ? QByteArray(argv[1]) : QByteArray();
  if (mode == "--help" || mode == "-h") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (!arguments_fit(argc, argv)) {
    QByteArrayList words;
    for (int i = 1; i < argc; ++i) words << argv[i];
    std::fprintf(stderr, "quadrel-bench: '%s' is not a run it knows; nothing was run.\n\n%s", words.join(' ').constData(),
                 kUsage);
    return 64;
  }
  if (mode == "--launch-probe" && argc > 2) return launch_probe(argc, argv, QString::fromLocal8Bit(argv[2]));
  if (mode == "--bare-probe" && argc > 2) {
    const QList<QByteArray> size = QByteArray(argv[2]).split('x');
    return bare_probe(argc, argv, size.value(0).toInt(), size.value(1).toInt());
  }
  if (mode == "--line-burst" && argc > 2)
    return line_burst(argc, argv, atoll(argv[2]), argc > 3 && QByteArray(argv[3]) == "serial");
  if (mode == "--refresh-loop" && argc > 2)
    return refresh_loop(argc, argv, atoi(argv[2]), argc > 3 && QByteArray(argv[3]) == "paced");
  if (mode == "--cli-status") {
    QCoreApplication app(argc, argv);
    bench_cli_status();
    return 0;
  }
  if (mode == "--framer") {
    QCoreApplication app(argc, argv);
    bench_framer();
    return 0;
  }
  pin_to_cpu(0);
  // The soak may run in a real window (xvfb-run with QT_QPA_PLATFORM=xcb); all else offscreen.
  if (mode != "--soak" || qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quadrel"));
  if (mode == "--launch") {
    bench_launch(argv[0]);
    return 0;
  }
  if (mode == "--paced") {
    bench_paced_refresh();
    return 0;
  }
  if (mode == "--line-stream") {
    bench_line_stream();
    return 0;
  }
  if (mode == "--soak") {
    bench_soak(argc > 2 ? std::max(10, atoi(argv[2])) : 10000);
    return 0;
  }
  if (mode == "--hub") {
    bench::bench_hub(2000, argc > 2 ? std::max(1, atoi(argv[2])) : 60);
    return 0;
  }
  if (mode == "--hub-mqtt") {
    bench::bench_hub_mqtt();
    return 0;
  }
  if (mode == "--hub-soak") {
    bench::bench_hub_soak(argc > 2 ? std::max(1, atoi(argv[2])) : 10);
    return 0;
  }
  bool soak = true;
  int count = 2000;
  for (int i = 1; i < argc; ++i) {
    if (QByteArray(argv[i]) == "--skip-soak") soak = false;
    else count = std::max(100, atoi(argv[i]));
  }
  std::printf("# quadrel-bench (panel pinned to CPU 0, simulator to CPU 1)\n");
  bench_framer();
  bench_exchanges(count);
  bench_refresh_and_cpu();
  bench_paced_refresh();
  bench_line_stream();
  bench_cli_status();
  bench_launch(argv[0]);
  bench::bench_hub(count, 60);
  bench::bench_hub_mqtt();
  if (soak) bench_soak(10000);
  return 0;
}
