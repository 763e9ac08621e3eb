// The command exchange over the real transports: a pseudo-terminal opened as a
// serial port and a loopback TCP connection, against the simulated device.
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QSignalSpy>
#include <QTest>

#include "capturing_notifier.h"
#include "fake_link.h"
#include "link/device_link.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "sim_server.h"

#include <sys/stat.h>
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;

class LinkTransportsTest : public QObject {
  Q_OBJECT

  struct Rig {
    corvane::SimServer sim;
    SerialLink serial;
    TcpLink tcp;
    test::RecordingConsole console;
    test::CapturingNotifier notifier;
    DeviceLink link;
    std::vector<std::string> handled;

    explicit Rig(int iface) {
      QString error;
      if (!sim.start({}, &error)) qFatal("simulator: %s", qPrintable(error));
      link.set_serial(&serial);
      link.set_tcp(&tcp);
      link.set_console(&console);
      link.set_notifier(&notifier);
      link.state().iface = iface;
      for (const auto& entry : link.table().entries()) {
        const std::string name(entry.handler);
        link.table().set(entry.code, [this, name] { handled.push_back(name + ":" + link.rx_buf()); });
      }
      if (iface == 0) {
        if (!serial.open(sim.pty_path(), &error)) qFatal("pty: %s", qPrintable(error));
        link.state().serial_open = true;
      } else {
        QSignalSpy connected(&tcp, &TcpLink::connected);
        tcp.connect_to(QStringLiteral("127.0.0.1"), sim.tcp_port());
        if (!connected.wait(3000)) qFatal("no TCP connection");
        link.state().eth_connected = true;
        if (!QTest::qWaitFor([this] { return sim.has_client(); }, 1000)) qFatal("the simulator saw no client");
      }
      link.set_tim_rx_enabled(true);
    }
    void faults(const std::function<void(corvane::Faults&)>& change) {
      corvane::Faults f = sim.faults();
      change(f);
      sim.set_faults(f);
    }
  };

 private slots:
  void exchange_on_both_links_data() {
    QTest::addColumn<int>("iface");
    QTest::newRow("serial") << 0;
    QTest::newRow("ethernet") << 1;
  }

  void exchange_on_both_links() {
    QFETCH(int, iface);
    Rig rig(iface);
    awaited(rig.link.tx_cmd("MOD003"));
    QVERIFY(rig.link.state().rx_flag);
    awaited(rig.link.tx_cmd("MOD999"));
    QVERIFY(rig.link.state().rx_flag);
    QCOMPARE(rig.handled, (std::vector<std::string>{"rx_mod:MOD003", "rx_mod:MOD003"}));
    QCOMPARE(rig.sim.log(), (QStringList{"MOD003", "MOD999"}));
    QCOMPARE(rig.console.text(), std::string("MOD003>MOD003\r MOD999>MOD003\r "));
  }

  void replies_split_into_single_bytes_data() { exchange_on_both_links_data(); }
  void replies_split_into_single_bytes() {
    QFETCH(int, iface);
    Rig rig(iface);
    rig.faults([](corvane::Faults& f) { f.split = 1; f.split_gap_ms = 1; });
    awaited(rig.link.tx_cmd("OUT003"));
    QVERIFY(rig.link.state().rx_flag);
    awaited(rig.link.tx_cmd("INP999"));
    QVERIFY(rig.link.state().rx_flag);
    QCOMPARE(rig.handled, (std::vector<std::string>{"rx_out:OUT003", "rx_inp:INP003"}));
  }

  void replies_merged_and_unsolicited_data() { exchange_on_both_links_data(); }
  void replies_merged_and_unsolicited() {
    QFETCH(int, iface);
    Rig rig(iface);
    // A front-panel change rides in the same write as the next answer.
    rig.sim.attach_to_next_reply(QStringLiteral("PWR000"));
    awaited(rig.link.tx_cmd("LCK001"));
    QVERIFY(rig.link.state().rx_flag);
    QCOMPARE(rig.handled, (std::vector<std::string>{"rx_lck:LCK001", "rx_pwr:PWR000"}));
    rig.handled.clear();
    rig.sim.send_unsolicited(QStringLiteral("MOD005"));
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_mod:MOD005"});
    // A front-panel change reported while a command waits, its answer 50 ms behind.
    rig.handled.clear();
    rig.sim.lead_next_reply(QStringLiteral("PWR000"), 50);
    awaited(rig.link.tx_cmd("MOD999"));
    QVERIFY(rig.link.state().rx_flag);
    QCOMPARE(rig.handled, (std::vector<std::string>{"rx_pwr:PWR000", "rx_mod:MOD001"}));
  }

  void garbage_between_replies_loses_no_reply_data() { exchange_on_both_links_data(); }
  void garbage_between_replies_loses_no_reply() {
    QFETCH(int, iface);
    Rig rig(iface);
    rig.sim.send_garbage(QByteArray("\xff\xfe\x80\r", 4));
    rig.sim.send_unsolicited(QStringLiteral("AUD000"));
    QTRY_VERIFY(!rig.handled.empty());
    QCOMPARE(rig.handled.back(), std::string("rx_aud:AUD000"));
  }

  void silent_device_and_refusal() {
    Rig rig(0);
    rig.faults([](corvane::Faults& f) { f.silent.insert(QStringLiteral("VER")); f.err.insert(QStringLiteral("LCK")); });
    awaited(rig.link.tx_cmd("VER999"));
    QVERIFY(!rig.link.state().rx_flag);
    awaited(rig.link.tx_cmd("LCK001"));
    QVERIFY(rig.link.state().rx_flag);
    awaited(rig.link.tx_cmd("VR2999"));
    QVERIFY(rig.link.state().rx_flag);
    QCOMPARE(rig.handled, std::vector<std::string>{"rx_vr2:VR2 12"});
  }

  void paced_serial_output_is_framed_whole() {
    Rig rig(0);
    rig.faults([](corvane::Faults& f) { f.pace = true; });
    for (int i = 0; i < 5; ++i) {
      awaited(rig.link.tx_cmd("LAI991"));
      QVERIFY(rig.link.state().rx_flag);
    }
    QCOMPARE(rig.handled.size(), std::size_t(5));
    QCOMPARE(rig.handled.front(), std::string("rx_lai:LAI1HDMI 1"));
  }

  void an_exchange_started_by_a_handler_completes_data() { exchange_on_both_links_data(); }
  void an_exchange_started_by_a_handler_completes() {
    QFETCH(int, iface);
    Rig rig(iface);
    bool answered = false;
    rig.link.table().set("PWR", [&] {
      awaited(rig.link.tx_cmd("MOD999"));
      answered = rig.link.state().rx_flag;
    });
    rig.sim.send_unsolicited(QStringLiteral("PWR000"));
    QTRY_VERIFY_WITH_TIMEOUT(answered, 600);
  }

  void a_pulled_adapter_closes_the_port_data() {
    QTest::addColumn<bool>("writing");
    QTest::newRow("idle") << false;
    QTest::newRow("writing") << true;
  }
  void a_pulled_adapter_closes_the_port() {
    QFETCH(bool, writing);
    Rig rig(0);
    int lost = 0;
    QObject::connect(&rig.link, &DeviceLink::serial_lost, [&] { ++lost; });
    const QString pty = rig.sim.pty_path();
    rig.sim.unplug_pty();
    if (writing) {
      awaited(rig.link.tx_cmd("MOD999"));
      QCOMPARE(rig.link.state().last_outcome, ExchangeOutcome::LinkLost);
    }
    QTRY_COMPARE_WITH_TIMEOUT(lost, 1, 500);
    QVERIFY(!rig.serial.is_open());
    QVERIFY(!rig.link.state().serial_open);
    QCOMPARE(rig.notifier.texts.size(), 1);
    QVERIFY(rig.notifier.texts.front().startsWith("RS232 port is disconnected !\n" + pty));
  }

  // What the serial port reports decides whether the device is gone: a read
  // of a removed adapter gives a resource error, a hang-up a read error, a
  // failed write a write error. Each closes the port and is told once, naming
  // the device; the others leave the port as it is.
  void a_serial_error_closes_the_port_or_not_data() {
    QTest::addColumn<int>("error");  // QSerialPort::SerialPortError
    QTest::addColumn<QString>("why");  // empty: the port stays open
    QTest::newRow("resource (adapter removed)") << int(QSerialPort::ResourceError)
                                                << "the device hung up or was removed";
    QTest::newRow("read (hang-up)") << int(QSerialPort::ReadError) << "the device hung up or was removed";
    QTest::newRow("write") << int(QSerialPort::WriteError) << "writing failed";
    QTest::newRow("unsupported operation") << int(QSerialPort::UnsupportedOperationError) << "";
    QTest::newRow("timeout") << int(QSerialPort::TimeoutError) << "";
    QTest::newRow("not open") << int(QSerialPort::NotOpenError) << "";
  }
  void a_serial_error_closes_the_port_or_not() {
    QFETCH(int, error);
    QFETCH(QString, why);
    Rig rig(0);
    int lost = 0;
    QObject::connect(&rig.link, &DeviceLink::serial_lost, [&] { ++lost; });
    const QString pty = rig.sim.pty_path();
    // Twice, as a port does that keeps failing until it is closed.
    for (int i = 0; i < 2; ++i) emit rig.serial.port().errorOccurred(QSerialPort::SerialPortError(error));
    QTest::qWait(20);
    if (why.isEmpty()) {
      QCOMPARE(lost, 0);
      QVERIFY(rig.serial.is_open());
      QVERIFY(rig.notifier.texts.isEmpty());
      awaited(rig.link.tx_cmd("MOD999"));
      QVERIFY(rig.link.state().rx_flag);
      return;
    }
    QCOMPARE(lost, 1);
    QVERIFY(!rig.serial.is_open());
    QVERIFY(!rig.link.state().serial_open);
    QCOMPARE(rig.notifier.texts.size(), 1);
    const QString told = rig.notifier.texts.front();
    QVERIFY2(told.startsWith("RS232 port is disconnected !\n" + pty + ": " + why), qPrintable(told));
  }

  // Only a terminal device may be opened as the serial port; the reason says
  // what the path is instead. Nothing is waited for on the way.
  void what_is_no_serial_device_is_refused_by_name_data() {
    QTest::addColumn<QString>("path");  // "@fifo", "@dir", "@file": made in a temporary folder
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << "@fifo" << "not a serial device (it is a FIFO)";
    QTest::newRow("directory") << "@dir" << "not a serial device (it is a directory)";
    QTest::newRow("regular file") << "@file" << "not a serial device (it is a regular file)";
    QTest::newRow("/dev/zero") << "/dev/zero" << "not a serial device";
    QTest::newRow("/dev/urandom") << "/dev/urandom" << "not a serial device";
    QTest::newRow("/dev/null") << "/dev/null" << "not a serial device";
    QTest::newRow("/dev/tty") << "/dev/tty" << "the terminal this program runs in, not a serial port";
    QTest::newRow("/dev/console") << "/dev/console" << "a console of this computer, not a serial port";
    QTest::newRow("nothing") << "" << "no serial device is given";
    QTest::newRow("missing") << "/nonexistent/tty-quadrel-missing" << "No such file or directory";
  }
  void what_is_no_serial_device_is_refused_by_name() {
    QFETCH(QString, path);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    if (path == "@fifo") {
      path = dir.filePath("fifo");
      QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (path == "@dir") {
      path = dir.path();
    } else if (path == "@file") {
      path = dir.filePath("file");
      QFile file(path);
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    SerialLink port;
    QString error;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!port.open(path, &error));
    QVERIFY(clock.elapsed() < 1000);
    QCOMPARE(error, reason);
    QVERIFY(!port.is_open());
    // A pseudo-terminal, as a serial adapter is, is taken.
    corvane::SimServer sim;
    corvane::SimServer::Options options;
    options.tcp = false;
    QVERIFY(sim.start(options));
    QVERIFY2(port.open(sim.pty_path(), &error), qPrintable(error));
  }

  void a_port_held_by_another_program_is_refused_by_name() {
    corvane::SimServer sim;
    corvane::SimServer::Options options;
    options.tcp = false;
    QVERIFY(sim.start(options));
    QProcess holder;  // opens the tty without a lock, as a terminal program might
    holder.setStandardInputFile(sim.pty_path());
    holder.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(holder.waitForStarted());
    SerialLink port;
    QString error;
    QVERIFY(QTest::qWaitFor([&] { return !port.open(sim.pty_path(), &error); }, 1000));
    QCOMPARE(error, QStringLiteral("the port is in use by sleep (pid %1)").arg(holder.processId()));
    holder.kill();  // signals this process id only
    QVERIFY(holder.waitForFinished());
    QVERIFY2(port.open(sim.pty_path(), &error), qPrintable(error));
  }

  void ext_reply_over_ethernet() {
    Rig rig(1);
    rig.sim.send_ext();
    QTRY_COMPARE(rig.handled, std::vector<std::string>{"rx_ext:EXT"});
  }
};

QTEST_GUILESS_MAIN(LinkTransportsTest)
#include "test_link_transports.moc"

