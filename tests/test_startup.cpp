// Loading the main window from its settings files, choosing the interface,
// and writing the settings back when the window closes.
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <unistd.h>
#include <sys/stat.h>
#include <memory>

#include "link/serial_link.h"
#include "link/tcp_link.h"
#include "panel/status_line.h"
#include "panel_fixture.h"
#include "link/serial_ports.h"
#include "process_stats.h"
#include "unanswered_port.h"
#include "shell/command_line.h"
#include "settings/file_locations.h"
#include "shell/quit_signals.h"
#include "shell/startup.h"
#include "ui/ui_io.h"
#include "ui/widgets.h"
#include "windows/keypad_control.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using namespace quadrel::test;

namespace {

QByteArray read_file(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// A program folder with the files given (an empty content leaves the file out)
// and a simulated device on a pseudo-terminal, mapped as the ports named.
class StartupFolder {
 public:
  StartupFolder(const QByteArray& ini, const QByteArray& reso, const QList<int>& sim_ports = {1}) {
    corvane::SimServer::Options options;
    QString error;
    if (!sim_.start(options, &error)) qFatal("simulator: %s", qPrintable(error));
    if (!ini.isNull()) write_file(dir_.path(), QStringLiteral("corvane.ini"), ini);
    if (!reso.isNull()) write_file(dir_.path(), QStringLiteral("output_reso.txt"), reso);
    QByteArray map = "# test ports\n";
    for (int port = 1; port <= 9; ++port)
      map += "COM" + QByteArray::number(port) + "=" +
             (sim_ports.contains(port) ? sim_.pty_path().toUtf8() : QByteArray("/nonexistent/tty")) + "\n";
    write_file(dir_.path(), QStringLiteral("com_ports.txt"), map);
  }

  std::unique_ptr<FrmMain> open(const RunLink& link = {}, bool show = false) {
    FrmMainOptions options;
    options.run_link = link;
    options.program_folder = dir_.path();
    options.notifier = &notifier;
    options.show = show;
    return std::make_unique<FrmMain>(options);
  }

  QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
  QString folder() const { return dir_.path(); }
  corvane::SimServer& sim() { return sim_; }
  CapturingNotifier notifier;

 private:
  QTemporaryDir dir_;
  corvane::SimServer sim_;
};

const QByteArray kReso = "\"640x480 60Hz\"\r\n\"800x600 60Hz\"\r\n\"1024x768 60Hz\"\r\n\"END\"\r\n";

}  // namespace

class TestStartup : public QObject {
  Q_OBJECT

 private slots:
  void rs232_settings_open_the_port_in_the_tall_size() {
    StartupFolder folder("0\r\n3\r\n#TRUE#\r\n\"192.168.0.7\"\r\n", kReso, {3});
    auto main = folder.open();
    MainControls& c = main->controls();
    QVERIFY(c.opt_interface[0]->isChecked());
    QCOMPARE(main->link().state().iface, 0);
    // The closed list shows the device's own name, the tip its whole path.
    QCOMPARE(c.cbo_com->currentText(), QStringLiteral("COM3: ") + serial_device_label(folder.sim().pty_path()));
    QCOMPARE(c.cbo_com->toolTip(), QStringLiteral("COM3: ") + folder.sim().pty_path());
    QCOMPARE(main->state().com_port, 3);
    QVERIFY(main->link().state().serial_open);
    QVERIFY(main->device().serial_port().is_open());
    QCOMPARE(back_color(c.cmd_conn), colour::routed_green);
    QVERIFY(main->state().advanced_open);
    QVERIFY(main->height() >= c.txt_ver->geometry().bottom() + 1);
    QCOMPARE(c.txt_ip->text(), QStringLiteral("192.168.0.7"));
    QVERIFY(folder.notifier.texts.isEmpty());

    // The serial group is shown, the Ethernet group hidden and idle.
    for (QWidget* w : {(QWidget*)c.cmd_conn, (QWidget*)c.cmd_disconn, (QWidget*)c.cbo_com, (QWidget*)c.lab_rs232})
      QVERIFY2(!w->isHidden(), qPrintable(w->objectName()));
    for (QWidget* w : {(QWidget*)c.cmd_conn_eth, (QWidget*)c.cmd_disconn_eth, (QWidget*)c.lab_ip,
                       (QWidget*)c.txt_ip, (QWidget*)c.lab_eth_state})
      QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QCOMPARE(back_color(c.cmd_disconn_eth), colour::busy_red);

    // The initial state of the window.
    QCOMPARE(main->windowTitle(), QStringLiteral("Quadrel v3.00S "));
    QVERIFY(main->state().send_enable);
    QVERIFY(main->link().tim_rx_enabled());
    QCOMPARE(main->device().disp_mode(), 1);
    QCOMPARE(main->device().sel_out(), 1);
    QCOMPARE(main->device().pwr_state(), 254);
    QCOMPARE(main->device().audio_state(), 254);
    QCOMPARE(main->device().lock_state(), 254);
    QCOMPARE(main->link().state().getip_state, 254);
    QCOMPARE(main->link().state().con_lines, 0);
    QVERIFY(c.txt_cmd->toPlainText().isEmpty());
    QCOMPARE(c.cbo_com->count(), 9);
    QCOMPARE(c.cbo_com->itemText(8), QStringLiteral("COM9: tty"));
    QCOMPARE(c.cbo_com->itemData(8, Qt::ToolTipRole).toString(), QStringLiteral("COM9: /nonexistent/tty"));
    QCOMPARE(c.cbo_aspect->count(), 5);
    QCOMPARE(c.cbo_aspect->itemText(4), QStringLiteral("Keep Ratio"));
    QCOMPARE(c.cbo_output->count(), 3);
    QCOMPARE(c.cbo_output->itemText(2), QStringLiteral("1024x768 60Hz"));
    // Neither list shows an entry before the device reports one.
    QCOMPARE(c.cbo_aspect->currentIndex(), -1);
    QCOMPARE(c.cbo_output->currentIndex(), -1);
    QVERIFY(!c.tim_eth->isActive());
    QCOMPARE(c.tim_eth->interval(), 7000);

    // Nothing is asked of the device at start-up.
    QTest::qWait(50);
    QVERIFY(folder.sim().log().isEmpty());
  }

  void small_size_is_shorter() {
    StartupFolder folder("0\r\n1\r\n#FALSE#\r\n\"192.168.0.7\"\r\n", kReso);
    auto main = folder.open();
    QVERIFY(!main->state().advanced_open);
    // Above the status line: the rows down to the map, not the groups below.
    const int status_top = main->status_line().widget()->y();
    QVERIFY(status_top >= main->controls().fra_btn->geometry().bottom() + 1);
    QVERIFY(status_top < main->controls().fra_pic->y());
  }

  void ethernet_settings_wait_for_connect() {
    StartupFolder folder("1\r\n1\r\n#FALSE#\r\n\"127.0.0.1\"\r\n", kReso);
    auto main = folder.open();
    MainControls& c = main->controls();
    QVERIFY(c.opt_interface[1]->isChecked());
    QCOMPARE(main->link().state().iface, 1);
    QVERIFY(!main->link().state().serial_open);
    QVERIFY(!main->device().serial_port().is_open());
    QVERIFY(c.cmd_get_ip->isEnabled());  // the network answers are read over TCP too
    for (QWidget* w : {(QWidget*)c.cmd_conn_eth, (QWidget*)c.cmd_disconn_eth, (QWidget*)c.lab_ip, (QWidget*)c.txt_ip})
      QVERIFY2(!w->isHidden(), qPrintable(w->objectName()));
    for (QWidget* w : {(QWidget*)c.cmd_conn, (QWidget*)c.cmd_disconn, (QWidget*)c.cbo_com, (QWidget*)c.lab_rs232,
                       (QWidget*)c.lab_eth_state})
      QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QVERIFY(!c.cmd_disconn_eth->isEnabled());
    QVERIFY(!main->link().state().eth_connected);
    QVERIFY(main->device().tcp_client().is_closed());
    QTest::qWait(50);
    QVERIFY(folder.sim().log().isEmpty());
    QVERIFY(folder.notifier.texts.isEmpty());
  }

  void resolution_list_stops_at_end() {
    StartupFolder folder("0\r\n1\r\n#FALSE#\r\n\"x\"\r\n", "\"1280x720p 60Hz\"\r\n\"1920x1080p 60Hz\"\r\n\"END\"\r\n\"1600x1200 60Hz\"\r\n");
    auto main = folder.open();
    QComboBox* list = main->controls().cbo_output;
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->itemText(0), QStringLiteral("1280x720p 60Hz"));
    QCOMPARE(list->itemText(1), QStringLiteral("1920x1080p 60Hz"));
    QVERIFY(folder.notifier.texts.isEmpty());
  }

  void missing_settings_start_with_defaults_and_say_so() {
    StartupFolder folder(QByteArray(), kReso, {});
    auto main = folder.open();
    QCOMPARE(main->link().state().iface, 0);
    QCOMPARE(main->state().com_port, 1);
    QVERIFY(!main->state().advanced_open);
    QCOMPARE(main->controls().txt_ip->text(), QStringLiteral("192.168.1.100"));
    // COM1 does not exist here: the port message under the device's name, then the one about the file.
    QCOMPARE(folder.notifier.texts.size(), 2);
    QVERIFY(folder.notifier.texts.at(0).startsWith(QStringLiteral("COM1: Fail !\n/nonexistent/tty: ")));
    QCOMPARE(folder.notifier.titles.at(0), QStringLiteral("/nonexistent/tty \u2013 ") + QCoreApplication::applicationName());
    QCOMPARE(folder.notifier.icons.at(0), MessageIcon::None);
    QCOMPARE(folder.notifier.texts.at(1), QStringLiteral("corvane.ini is missing; starting with default settings."));
    QCOMPARE(folder.notifier.icons.at(1), MessageIcon::Warning);
    QVERIFY(main->isEnabled());
    QVERIFY(main->state().send_enable);
  }

  void malformed_settings_use_defaults_for_the_bad_values() {
    StartupFolder folder("7\r\n4\r\n#TRUE#\r\n\"10.0.0.9\"\r\n", kReso, {4});
    auto main = folder.open();
    // The interface falls back to RS-232; the good values are kept.
    QVERIFY(main->controls().opt_interface[0]->isChecked());
    QCOMPARE(main->state().com_port, 4);
    QVERIFY(main->link().state().serial_open);
    QVERIFY(main->state().advanced_open);
    QCOMPARE(main->controls().txt_ip->text(), QStringLiteral("10.0.0.9"));
    QCOMPARE(folder.notifier.texts.size(), 1);
    QVERIFY(folder.notifier.texts.at(0).startsWith(QStringLiteral("corvane.ini: the interface \"7\"")));
  }

  // A FIFO, folder or device in place of one of the files: it is never read
  // (a FIFO would hold the start for ever) and the start-up message names it.
  void files_that_are_no_files_are_named_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");  // "fifo", "dir" or a device to link to
    QTest::addColumn<QString>("message");
    const QString ini = QStringLiteral("; starting with default settings.");
    const QString reso = QStringLiteral("; the built-in resolution list is used.");
    const QString ports = QStringLiteral("; the serial ports present are used.");
    QTest::newRow("corvane.ini FIFO") << "corvane.ini" << "fifo" << "corvane.ini is a FIFO, not a file" + ini;
    QTest::newRow("corvane.ini folder") << "corvane.ini" << "dir" << "corvane.ini is a directory, not a file" + ini;
    QTest::newRow("corvane.ini device") << "corvane.ini" << "/dev/zero" << "corvane.ini is a character device, not a file" + ini;
    QTest::newRow("output_reso.txt FIFO") << "output_reso.txt" << "fifo" << "output_reso.txt is a FIFO, not a file" + reso;
    QTest::newRow("output_reso.txt folder") << "output_reso.txt" << "dir" << "output_reso.txt is a directory, not a file" + reso;
    QTest::newRow("com_ports.txt FIFO") << "com_ports.txt" << "fifo" << "com_ports.txt is a FIFO, not a file" + ports;
    QTest::newRow("com_ports.txt folder") << "com_ports.txt" << "dir" << "com_ports.txt is a directory, not a file" + ports;
  }
  void files_that_are_no_files_are_named() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(QString, message);
    // Ethernet: no serial port is opened, so the only message is the file's.
    const QByteArray ini = "1\r\n1\r\n#FALSE#\r\n\"a\"\r\n";
    StartupFolder folder(name == "corvane.ini" ? QByteArray() : ini, name == "output_reso.txt" ? QByteArray() : kReso);
    const QString path = folder.path(name);
    QFile::remove(path);
    if (kind == "fifo")
      QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == "dir")
      QVERIFY(QDir().mkpath(path));
    else
      QVERIFY(QFile::link(kind, path));
    QElapsedTimer clock;
    clock.start();
    auto main = folder.open();
    QVERIFY(clock.elapsed() < 2000);
    QCOMPARE(folder.notifier.texts, QStringList{message});
    QCOMPARE(folder.notifier.icons, QList<MessageIcon>{MessageIcon::Warning});
    QVERIFY(main->state().send_enable);
  }

  // The warning quotes the file: text in angle brackets is shown as it stands.
  void the_warning_box_shows_plain_text() {
    MessageBoxNotifier notifier(nullptr);
    const QString text = QStringLiteral("corvane.ini: the interface \"<b>7\" is neither 0 nor 1");
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      shown = box->text();
      format = box->textFormat();
      box->accept();
    });
    notifier.message(text.toStdString(), MessageIcon::Warning);
    notifier.flush();
    QTRY_COMPARE(format, Qt::PlainText);
    QCOMPARE(shown, text);
  }

  // A message under a title of its own: a failed port names its device.
  void a_message_box_may_have_a_title_of_its_own() {
    MessageBoxNotifier notifier(nullptr);
    QString title;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box);
      title = box->windowTitle();
      box->accept();
    });
    notifier.message_titled("/dev/ttyUSB0 \u2013 Quadrel", "COM1: Fail !", MessageIcon::None);
    notifier.flush();
    QTRY_COMPARE(title, QStringLiteral("/dev/ttyUSB0 \u2013 Quadrel"));
  }

  // Boxes come one at a time and wait in the program's own loop; those the
  // closing window leaves are shown on their own, so the program stays for them.
  void message_boxes_come_one_at_a_time_and_outlive_the_window() {
    QWidget window;
    window.show();
    MessageBoxNotifier notifier(&window);
    notifier.message("first", MessageIcon::Warning);
    QTRY_VERIFY(QApplication::activeModalWidget());
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QCOMPARE(box->text(), QStringLiteral("first"));
    QCOMPARE(box->parentWidget(), &window);
    notifier.message("second", MessageIcon::Warning);
    notifier.message("third", MessageIcon::Warning);
    notifier.flush();  // the window closes
    QCOMPARE(QApplication::activeModalWidget(), box);  // one at a time
    box->accept();
    for (const char* text : {"second", "third"}) {
      QTRY_VERIFY(QApplication::activeModalWidget() && QApplication::activeModalWidget() != box);
      box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QCOMPARE(box->text(), QString::fromLatin1(text));
      QVERIFY(!box->parentWidget());
      box->accept();
    }
    QTRY_VERIFY(!QApplication::activeModalWidget());
  }

  void missing_resolution_list_uses_the_built_in_table() {
    StartupFolder folder("0\r\n1\r\n#FALSE#\r\n\"x\"\r\n", QByteArray());
    auto main = folder.open();
    QComboBox* list = main->controls().cbo_output;
    QCOMPARE(list->count(), 19);
    QCOMPARE(list->itemText(0), QStringLiteral("640x480 60Hz"));
    QCOMPARE(list->itemText(18), QStringLiteral("1280x720p 50Hz"));
    QCOMPARE(folder.notifier.texts,
             QStringList({QStringLiteral("output_reso.txt is missing; the built-in resolution list is used.")}));
  }

  void resolution_list_without_end_is_used_and_reported() {
    StartupFolder folder("0\r\n1\r\n#FALSE#\r\n\"x\"\r\n", "\"A\"\r\n\"B\"\r\n");
    auto main = folder.open();
    QCOMPARE(main->controls().cbo_output->count(), 2);
    QCOMPARE(folder.notifier.texts.size(), 1);
    QVERIFY(folder.notifier.texts.at(0).contains(QStringLiteral("no END")));
  }

  void closing_writes_the_settings_back() {
    StartupFolder folder("0\r\n3\r\n#TRUE#\r\n\"192.168.0.7\"\r\n", kReso, {3});
    auto main = folder.open();
    main->controls().txt_ip->setText(QStringLiteral(" 10.20.30.40 "));
    QVERIFY(main->close());
    QCOMPARE(read_file(folder.path("corvane.ini")), QByteArray("0\r\n3\r\n#TRUE#\r\n\"10.20.30.40\"\r\n"));
    QVERIFY(!QFile::exists(folder.path("corvane.ini.new")));
    QVERIFY(!main->device().serial_port().is_open());
    QVERIFY(folder.notifier.texts.isEmpty());
  }

  void closing_writes_the_interface_and_size_of_the_moment() {
    StartupFolder folder("0\r\n1\r\n#TRUE#\r\n\"a\"\r\n", kReso);
    auto main = folder.open();
    main->controls().opt_interface[1]->click();
    main->state().advanced_open = false;
    QVERIFY(main->close());
    QCOMPARE(read_file(folder.path("corvane.ini")), QByteArray("1\r\n1\r\n#FALSE#\r\n\"a\"\r\n"));
  }

  void a_failed_save_leaves_the_old_file_whole() {
    const QByteArray old_settings = "0\r\n1\r\n#FALSE#\r\n\"192.168.0.7\"\r\n";
    StartupFolder folder(old_settings, kReso);
    auto main = folder.open();
    // A directory (not empty) where the new file has to go: no write can succeed, even as root.
    QVERIFY(QDir(folder.folder()).mkpath(QStringLiteral("corvane.ini.new/keep")));
    main->controls().txt_ip->setText(QStringLiteral("10.9.9.9"));
    QVERIFY(main->close());
    QCOMPARE(read_file(folder.path("corvane.ini")), old_settings);
    QVERIFY(QFileInfo(folder.path("corvane.ini.new")).isDir());
    // The user is told which file and why.
    QCOMPARE(folder.notifier.texts.size(), 1);
    QVERIFY(folder.notifier.texts.at(0).startsWith(
        QStringLiteral("The settings could not be saved to %1: ").arg(folder.path("corvane.ini"))));
    QVERIFY(folder.notifier.texts.at(0).endsWith(QStringLiteral("\nThe file keeps the settings it had.")));
    QCOMPARE(folder.notifier.icons, QList<MessageIcon>({MessageIcon::Error}));
    QString why;
    QVERIFY(!Startup::save_settings(folder.folder(), Settings{}, &why));
    QVERIFY(!why.isEmpty());
    // Closed by a signal, nobody may be there to answer a box: the standard error is told instead.
    folder.notifier.texts.clear();
    main->startup().close_on_signal(SIGTERM);
    QVERIFY(folder.notifier.texts.isEmpty());
    QCOMPARE(read_file(folder.path("corvane.ini")), old_settings);
  }

  void a_signal_saves_and_closes_data() {
    QTest::addColumn<int>("signal_number");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGHUP") << SIGHUP;
  }
  void a_signal_saves_and_closes() {
    QFETCH(int, signal_number);
    StartupFolder folder("1\r\n1\r\n#FALSE#\r\n\"a\"\r\n", kReso);
    auto main = folder.open();
    main->show();
    main->controls().txt_ip->setText(QStringLiteral("10.1.2.3"));
    int received = 0;
    {
      QuitSignals quit_signals;
      QObject::connect(&quit_signals, &QuitSignals::received, main.get(), [&](int number) {
        received = number;
        main->startup().close_on_signal(number);
      });
      QVERIFY(::raise(signal_number) == 0);
      QTRY_COMPARE_WITH_TIMEOUT(received, signal_number, 2000);
    }
    QVERIFY(!main->isVisible());
    QCOMPARE(read_file(folder.path("corvane.ini")), QByteArray("1\r\n1\r\n#FALSE#\r\n\"10.1.2.3\"\r\n"));
  }

  // A signal while a start-up message waits for its OK (the real program,
  // offscreen): the box does not keep it running; it saves and quits as
  // closing does, with exit code 0, and the message goes to the standard error.
  void a_signal_during_a_start_up_message_saves_and_quits_data() {
    QTest::addColumn<int>("signal_number");
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QByteArray>("saved");
    QTest::addColumn<QString>("message");
    const QByteArray garbage = "1\r\nzz\r\n#TRUE#\r\n\"10.0.0.9\"\r\n";
    const QByteArray repaired = "1\r\n1\r\n#TRUE#\r\n\"10.0.0.9\"\r\n";
    const QString garbage_message = "quadrel: corvane.ini: the serial port \"zz\" is not a number from 1 to 9";
    QTest::newRow("garbage in corvane.ini, SIGTERM") << SIGTERM << garbage << repaired << garbage_message;
    QTest::newRow("garbage in corvane.ini, SIGINT") << SIGINT << garbage << repaired << garbage_message;
    // Lines ended by a line feed alone: the saved file ends them as the panel does.
    QTest::newRow("the COM port missing, SIGHUP") << SIGHUP << QByteArray("0\n2\n#FALSE#\n\"a\"\n")
                                                  << QByteArray("0\r\n2\r\n#FALSE#\r\n\"a\"\r\n")
                                                  << "quadrel: COM2: Fail !\n/nonexistent/tty-quadrel-startup: ";
  }
  void a_signal_during_a_start_up_message_saves_and_quits() {
    QFETCH(int, signal_number);
    QFETCH(QByteArray, ini);
    QFETCH(QByteArray, saved);
    QFETCH(QString, message);
    // The program in a folder of its own (a link to the built one, so that it
    // finds its files beside itself), with the files of the case.
    QTemporaryDir folder(QFileInfo(QStringLiteral(QUADREL_PATH)).absolutePath() + QStringLiteral("/signal-XXXXXX"));
    const QString program = folder.filePath(QStringLiteral("quadrel"));
    // A hard link: a symbolic one would lead the program back to the build folder.
    QVERIFY(::link(QUADREL_PATH, QFile::encodeName(program).constData()) == 0 ||
            QFile::copy(QStringLiteral(QUADREL_PATH), program));
    write_file(folder.path(), QStringLiteral("corvane.ini"), ini);
    write_file(folder.path(), QStringLiteral("output_reso.txt"), kReso);
    write_file(folder.path(), QStringLiteral("com_ports.txt"), "COM2=/nonexistent/tty-quadrel-startup\n");
    QProcess quadrel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    quadrel.setProcessEnvironment(env);
    quadrel.start(program, {});
    QVERIFY(quadrel.waitForStarted());
    // The message box is up once the program sleeps in its event loop.
    QVERIFY(QTest::qWaitFor([&] { return quadrel::test::waits_for_events(quadrel.processId()); }, 10000));
    QVERIFY(::kill(static_cast<pid_t>(quadrel.processId()), signal_number) == 0);
    QVERIFY(quadrel.waitForFinished(5000));
    QCOMPARE(quadrel.exitStatus(), QProcess::NormalExit);
    QCOMPARE(quadrel.exitCode(), 0);
    const QString err = QString::fromLocal8Bit(quadrel.readAllStandardError());
    QVERIFY2(err.contains(message), qPrintable(err));
    QCOMPARE(read_file(folder.filePath(QStringLiteral("corvane.ini"))), saved);
  }

  void where_the_files_are_data() {
    QTest::addColumn<bool>("portable");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("saved_for_user");
    QTest::addColumn<QString>("data");      // folder of pictures and resolution list
    QTest::addColumn<QString>("settings");  // folder corvane.ini is written to
    QTest::addColumn<QString>("source");    // folder corvane.ini is read from
    QTest::newRow("build folder") << true << true << true << "bin" << "bin" << "bin";
    QTest::newRow("read-only copy") << true << false << false << "bin" << "user" << "bin";
    QTest::newRow("read-only copy, saved before") << true << false << true << "bin" << "user" << "user";
    QTest::newRow("installed, first start") << false << true << false << "data" << "user" << "data";
    QTest::newRow("installed, later starts") << false << false << true << "data" << "user" << "user";
  }
  void where_the_files_are() {
    QFETCH(bool, portable);
    QFETCH(bool, writable);
    QFETCH(bool, saved_for_user);
    QTemporaryDir root;
    for (const char* sub : {"bin", "data", "user"}) QDir(root.path()).mkpath(QString::fromLatin1(sub));
    write_file(root.filePath(QStringLiteral("data")), QStringLiteral("corvane.ini"), "0\r\n");
    if (portable) write_file(root.filePath(QStringLiteral("bin")), QStringLiteral("corvane.ini"), "0\r\n");
    if (saved_for_user) write_file(root.filePath(QStringLiteral("user")), QStringLiteral("corvane.ini"), "0\r\n");
    const FileLocations where{root.filePath(QStringLiteral("bin")), writable, root.filePath(QStringLiteral("data")),
                              root.filePath(QStringLiteral("user"))};
    QFETCH(QString, data);
    QFETCH(QString, settings);
    QFETCH(QString, source);
    QCOMPARE(where.portable(), portable);
    QCOMPARE(QFileInfo(where.data_folder()).fileName(), data);
    QCOMPARE(QFileInfo(where.settings_folder()).fileName(), settings);
    QCOMPARE(where.settings_source(), root.filePath(source + QStringLiteral("/corvane.ini")));
  }

  void an_installed_program_keeps_its_settings_in_the_users_folder() {
    // <prefix>/bin holds only the program; <prefix>/share/quadrel the pictures and default files.
    QTemporaryDir prefix;
    const QString bin = prefix.filePath(QStringLiteral("bin"));
    const QString data = prefix.filePath(QStringLiteral("share/quadrel"));
    const QString user = prefix.filePath(QStringLiteral("config"));
    QDir().mkpath(bin);
    QDir().mkpath(data);
    prepare_program_folder(data, QStringLiteral("/nonexistent/tty"), 1, false, QStringLiteral("10.1.1.1"));
    write_file(data, QStringLiteral("output_reso.txt"), kReso);
    const QByteArray old_xdg = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", user.toUtf8());

    FrmMainOptions options;
    options.program_folder = bin;
    options.show = false;
    CapturingNotifier notifier;
    options.notifier = &notifier;
    auto main = std::make_unique<FrmMain>(options);
    QCOMPARE(main->controls().cbo_output->count(), 3);
    QCOMPARE(main->controls().txt_ip->text(), QStringLiteral("10.1.1.1"));
    QCOMPARE(main->controls().img_start->property("pictureFile").toString(), QStringLiteral("start_hint.bmp"));
    main->controls().txt_ip->setText(QStringLiteral("10.2.2.2"));
    QVERIFY(main->close());
    QCOMPARE(read_file(user + QStringLiteral("/quadrel/corvane.ini")), QByteArray("1\r\n1\r\n#FALSE#\r\n\"10.2.2.2\"\r\n"));
    QVERIFY(QDir(bin).isEmpty());

    // The next start reads the user's file.
    main = std::make_unique<FrmMain>(options);
    QCOMPARE(main->controls().txt_ip->text(), QStringLiteral("10.2.2.2"));
    QVERIFY(notifier.texts.isEmpty());
    qputenv("XDG_CONFIG_HOME", old_xdg);
  }

  void command_line_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");  // CommandLine::Action
    QTest::addColumn<int>("kind");    // RunLink::Kind
    QTest::addColumn<QString>("target");
    using A = CommandLine::Action;
    using K = RunLink::Kind;
    const auto row = [](const char* name, QStringList args, A action, K kind = K::Stored, const char* target = "") {
      QTest::newRow(name) << args << int(action) << int(kind) << QString::fromLatin1(target);
    };
    row("nothing", {}, A::Run);
    row("serial", {"--serial", "/dev/ttyUSB0"}, A::Run, K::Serial, "/dev/ttyUSB0");
    row("serial joined", {"--serial=/dev/serial/by-id/usb-x"}, A::Run, K::Serial, "/dev/serial/by-id/usb-x");
    row("tcp host", {"--tcp", "corvane.local"}, A::Run, K::Tcp, "corvane.local");
    row("tcp last port", {"--tcp", "10.0.0.5:65535"}, A::Run, K::Tcp, "10.0.0.5:65535");
    row("tcp port 0", {"--tcp", "10.0.0.5:0"}, A::Fail);
    row("tcp port 65536", {"--tcp", "10.0.0.5:65536"}, A::Fail);
    row("tcp ipv6", {"--tcp", "[::1]:2323"}, A::Run, K::Tcp, "[::1]:2323");
    row("both links", {"--serial", "/dev/ttyS0", "--tcp", "h"}, A::Fail);
    row("empty device", {"--serial", ""}, A::Fail);
    row("unknown option", {"--bogus"}, A::Fail);
    row("stray word", {"COM1"}, A::Fail);
    row("help", {"--help"}, A::Print);
    row("version", {"--version"}, A::Print);
  }
  void command_line() {
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(int, kind);
    QFETCH(QString, target);
    const CommandLine line = parse_command_line(QStringList{QStringLiteral("quadrel")} + args);
    QCOMPARE(int(line.action), action);
    QCOMPARE(int(line.link.kind), kind);
    QCOMPARE(line.link.target, target);
    QCOMPARE(line.text.isEmpty(), line.action == CommandLine::Action::Run);
  }

  void the_program_prints_and_exits_without_a_display_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exit_code");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "--tcp <HOST[:PORT]>" << "";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "Quadrel 3.0\n" << "";
    QTest::newRow("licence") << QStringList{"--version"} << 0 << "License GPL-3.0-or-later" << "";
    QTest::newRow("bad port") << QStringList{"--tcp", "h:0"} << 2 << "" << "--tcp needs HOST or HOST:PORT";
    // The other programs (the first word names one), told to quit on their standard input.
    QTest::newRow("simulator version") << QStringList{"corvane-sim", "--version"} << 0 << "corvane-sim 3.0\n" << "";
    QTest::newRow("simulator log to a device")
        << QStringList{"corvane-sim", "--log", "/dev/null", "--no-pty", "--tcp-port", "0"} << 0 << "" << "@";
    QTest::newRow("benchmark help") << QStringList{"quadrel-bench", "--help"} << 0 << "Usage: quadrel-bench" << "";
    QTest::newRow("benchmark, unknown") << QStringList{"quadrel-bench", "--frobnicate"} << 64 << ""
                                        << "quadrel-bench: '--frobnicate' is not a run it knows; nothing was run";
  }
  void the_program_prints_and_exits_without_a_display() {
    QFETCH(QStringList, args);
    QFETCH(int, exit_code);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    program.setProcessEnvironment(env);
    const QString path = args.value(0) == "corvane-sim"     ? (args.removeFirst(), CORVANE_SIM_PATH)
                         : args.value(0) == "quadrel-bench" ? (args.removeFirst(), QUADREL_BENCH_PATH)
                                                            : QUADREL_PATH;
    program.start(path, args);
    program.write("quit\n");
    program.closeWriteChannel();
    QVERIFY(program.waitForFinished(10000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exit_code);
    QVERIFY(QString::fromLocal8Bit(program.readAllStandardOutput()).contains(out));
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(err == "@" ? said.isEmpty() : said.contains(err), qPrintable(said));  // @: nothing at all
  }

  void a_link_on_the_command_line_is_for_this_run_only_data() {
    QTest::addColumn<bool>("serial");
    QTest::newRow("--serial") << true;
    QTest::newRow("--tcp") << false;
  }
  void a_link_on_the_command_line_is_for_this_run_only() {
    QFETCH(bool, serial);
    // Stored: the other interface, a port and an address that lead nowhere.
    const QByteArray stored = QByteArray(serial ? "1" : "0") + "\r\n2\r\n#FALSE#\r\n\"192.0.2.1\"\r\n";
    StartupFolder folder(stored, kReso, {});
    const QString target = serial ? folder.sim().pty_path() : QStringLiteral("127.0.0.1:%1").arg(folder.sim().tcp_port());
    auto main = folder.open({serial ? RunLink::Kind::Serial : RunLink::Kind::Tcp, target});
    MainControls& c = main->controls();
    QVERIFY(c.opt_interface[serial ? 0 : 1]->isChecked());
    if (serial) {
      QVERIFY(main->link().state().serial_open);
      QCOMPARE(c.cbo_com->currentText(), QStringLiteral("COM2: ") + serial_device_label(target));
    } else {
      QCOMPARE(c.txt_ip->text(), target);
      QTRY_VERIFY_WITH_TIMEOUT(main->link().state().eth_connected, 2000);
    }
    awaited(main->link().tx_cmd("MOD999"));
    QVERIFY(main->device().answered());
    QVERIFY(folder.notifier.texts.isEmpty());
    QVERIFY(main->close());
    QCOMPARE(read_file(folder.path("corvane.ini")), stored);
  }

  // A port that fails at start is told over the shown window, in a real
  // message box, under the name of the device this run uses (--serial's, not
  // COM2's).
  void a_port_that_fails_at_start_is_told_over_the_shown_window() {
    StartupFolder folder("0\r\n2\r\n#FALSE#\r\n\"x\"\r\n", kReso, {});
    const QString device = folder.path(QStringLiteral("no-such-tty"));
    QStringList seen;  // "title|text" of each box
    bool window_shown = false;
    QTimer answer;  // plays the user: reads the open box and presses OK
    answer.setInterval(10);
    QObject::connect(&answer, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<FrmMain*>(w)) window_shown = w->isVisible();
      seen << box->windowTitle() + QLatin1Char('|') + box->text();
      box->accept();
    });
    answer.start();
    FrmMainOptions options;
    options.run_link = {RunLink::Kind::Serial, device};
    options.program_folder = folder.folder();
    options.show = true;  // and no notifier: real message boxes
    auto main = std::make_unique<FrmMain>(options);
    QTRY_COMPARE(seen.size(), 1);
    QVERIFY(window_shown);
    QVERIFY2(seen.at(0).startsWith(device + QStringLiteral(" \u2013 ") + QCoreApplication::applicationName() +
                                   QStringLiteral("|COM2: Fail !\n") + device + QStringLiteral(": ")),
             qPrintable(seen.at(0)));
    QCOMPARE(main->controls().cbo_com->currentText(), QStringLiteral("COM2: no-such-tty"));
    QVERIFY(!main->link().state().serial_open);
  }

  void tool_windows_close_with_the_main_window() {
    StartupFolder folder("0\r\n1\r\n#FALSE#\r\n\"a\"\r\n", kReso);
    auto main = folder.open();
    main->keypad().cmd_keypad_Click();
    QVERIFY(main->state().keypad_open);
    QVERIFY(main->close());
    QVERIFY(!main->state().keypad_open);
  }

  void switching_to_rs232_while_connected_closes_the_tcp_link() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    MainControls& c = fx.c();
    QVERIFY(fx.link().state().eth_connected);
    fx.click(c.opt_interface[0]);
    QCOMPARE(fx.link().state().iface, 0);
    QVERIFY(!fx.link().state().eth_connected);
    QVERIFY(fx.model().tcp_client().is_closed());
    QVERIFY(!c.tim_eth->isActive());
    QVERIFY(c.cmd_conn_eth->isEnabled());
    QCOMPARE(back_color(c.cmd_conn_eth), colour::idle_grey);
    QVERIFY(!c.cmd_disconn_eth->isEnabled());
    QCOMPARE(back_color(c.cmd_disconn_eth), colour::busy_red);
    QVERIFY(c.cmd_get_ip->isEnabled());
    // The serial port opens at once and works.
    QVERIFY(fx.link().state().serial_open);
    QCOMPARE(back_color(c.cmd_conn), colour::routed_green);
    QVERIFY(fx.wait_for([&] { return !fx.sim().has_client(); }));
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
    QVERIFY(fx.messages().isEmpty());
  }

  void switching_to_rs232_while_connecting_ends_the_attempt() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .connect = false});
    MainControls& c = fx.c();
    UnansweredPort nobody;  // a connection that stays pending, on this machine
    c.txt_ip->setText(QStringLiteral("127.0.0.1:%1").arg(nobody.port()));
    fx.click(c.cmd_conn_eth);
    QVERIFY(!c.lab_eth_state->isHidden());
    fx.click(c.opt_interface[0]);
    QVERIFY(!c.tim_eth->isActive());  // so no time-out message follows
    QVERIFY(c.lab_eth_state->isHidden());
    QVERIFY(fx.model().tcp_client().is_closed());
  }

  void clear_button_empties_the_console() {
    PanelFixture fx;
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(!fx.console().isEmpty());
    QVERIFY(fx.link().state().con_lines > 0);
    fx.click(fx.c().cmd_clear);
    QVERIFY(fx.console().isEmpty());
    QCOMPARE(fx.link().state().con_lines, 0);
  }
};

QTEST_MAIN(TestStartup)
#include "test_startup.moc"

