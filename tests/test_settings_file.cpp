// Reading and writing corvane.ini and output_reso.txt, and the serial port map file.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include "link/serial_ports.h"
#include "settings/settings_file.h"

using namespace quadrel;

namespace {
void write_text(const QString& path, const QByteArray& content) {
  QFile file(path);
  QVERIFY(file.open(QIODevice::WriteOnly));
  file.write(content);
}
}  // namespace

class TestSettingsFile : public QObject {
  Q_OBJECT

 private slots:
  void reads_the_four_values() {
    std::string problem = "stale";
    const Settings s = parse_settings("0\r\n3\r\n#TRUE#\r\n\"10.0.0.5\"\r\n", &problem);
    QCOMPARE(s.iface, 0);
    QCOMPARE(s.com_port, 3);
    QCOMPARE(s.advanced_open, true);
    QCOMPARE(s.address, std::string("10.0.0.5"));
    QVERIFY(problem.empty());
  }

  void delimited_reading_skips_spaces_and_splits_at_commas() {
    const Settings s = parse_settings("  1,  9 , #false#,  \"host name, with comma\"  \n");
    QCOMPARE(s.iface, 1);
    QCOMPARE(s.com_port, 9);
    QCOMPARE(s.advanced_open, false);
    QCOMPARE(s.address, std::string("host name, with comma"));

    const auto items = read_delimited_items("\xEF\xBB\xBF" "a ,\"b\"x,\r\n\r\nc\rd");
    QCOMPARE(items.size(), std::size_t(5));
    QCOMPARE(items[0].text, std::string("a"));
    QCOMPARE(items[1].text, std::string("b"));
    QVERIFY(items[1].quoted);
    QCOMPARE(items[2].text, std::string(""));  // the comma before the line end
    QCOMPARE(items[3].text, std::string("c"));
    QCOMPARE(items[4].text, std::string("d"));
  }

  void values_out_of_range_keep_their_defaults_and_are_reported() {
    std::string problem;
    Settings s = parse_settings("2\r\n12\r\nmaybe\r\n\"1.2.3.4\"\r\n", &problem);
    QCOMPARE(s.iface, 0);
    QCOMPARE(s.com_port, 1);
    QCOMPARE(s.advanced_open, false);
    QCOMPARE(s.address, std::string("1.2.3.4"));  // the good value is still taken
    QVERIFY(problem.find("interface \"2\"") != std::string::npos);
    QVERIFY(problem.find("serial port \"12\"") != std::string::npos);
    QVERIFY(problem.find("window size \"maybe\"") != std::string::npos);

    s = parse_settings("-1\r\n0x3\r\n", &problem);
    QCOMPARE(s.iface, 0);
    QCOMPARE(s.com_port, 1);
    QCOMPARE(s.address, std::string("192.168.1.100"));
    QVERIFY(problem.find("missing") != std::string::npos);

    s = parse_settings("99999999999999999999\r\n", &problem);
    QCOMPARE(s.iface, 0);
    QVERIFY(!problem.empty());

    s = parse_settings("", &problem);
    QCOMPARE(s.iface, 0);
    QCOMPARE(s.address, std::string("192.168.1.100"));
    QCOMPARE(problem, std::string("the file is empty"));
  }

  void writes_crlf_lines_with_the_address_trimmed_and_quoted() {
    Settings s;
    s.iface = 1;
    s.com_port = 4;
    s.advanced_open = true;
    s.address = "  10.1.2.3 ";
    QCOMPARE(format_settings(s), std::string("1\r\n4\r\n#TRUE#\r\n\"10.1.2.3\"\r\n"));
    s.advanced_open = false;
    s.address = "";
    QCOMPARE(format_settings(s), std::string("1\r\n4\r\n#FALSE#\r\n\"\"\r\n"));
  }

  void an_address_that_cannot_be_quoted_is_written_so_it_reads_back() {
    Settings s;
    s.address = "ho\"st\r\nname";
    const Settings back = parse_settings(format_settings(s));
    QCOMPARE(back.address, std::string("hostname"));
    QCOMPARE(back.iface, s.iface);
    QCOMPARE(back.com_port, s.com_port);
  }

  void resolution_list_stops_at_end() {
    std::string problem;
    auto names = parse_resolution_list("\"640x480 60Hz\"\r\n\"800x600 60Hz\"\r\n\"END\"\r\n\"1024x768 60Hz\"\r\n", &problem);
    QCOMPARE(names, (std::vector<std::string>{"640x480 60Hz", "800x600 60Hz"}));
    QVERIFY(problem.empty());

    names = parse_resolution_list("A\nB\nEND\n", &problem);
    QCOMPARE(names, (std::vector<std::string>{"A", "B"}));
  }

  void resolution_list_without_end_or_items_is_reported() {
    std::string problem;
    auto names = parse_resolution_list("\"A\"\r\n\"B\"\r\n", &problem);
    QCOMPARE(names.size(), std::size_t(2));
    QVERIFY(problem.find("END") != std::string::npos);

    names = parse_resolution_list("\"END\"\r\n\"A\"\r\n", &problem);
    QVERIFY(names.empty());
    QVERIFY(!problem.empty());

    names = parse_resolution_list("", &problem);
    QVERIFY(names.empty());
    QVERIFY(!problem.empty());
  }

  // The device numbers resolutions in two digits: what lies beyond 99 could
  // never be chosen, and is left out with a word.
  void resolution_list_keeps_what_can_be_chosen_data() {
    QTest::addColumn<int>("items");
    QTest::addColumn<int>("kept");
    QTest::addColumn<bool>("said");
    QTest::newRow("99") << 99 << 99 << false;
    QTest::newRow("100") << 100 << 99 << true;
    QTest::newRow("55189") << 55189 << 99 << true;
  }
  void resolution_list_keeps_what_can_be_chosen() {
    QFETCH(int, items);
    QFETCH(int, kept);
    QFETCH(bool, said);
    std::string text;
    for (int i = 1; i <= items; ++i) text += "\"" + std::to_string(i) + "x480 60Hz\"\r\n";
    text += "\"END\"\r\n";
    std::string problem;
    const auto names = parse_resolution_list(text, &problem);
    QCOMPARE(static_cast<int>(names.size()), kept);
    QCOMPARE(names.back(), std::to_string(kept) + "x480 60Hz");
    QCOMPARE(problem.find("99") != std::string::npos, said);
  }

  void built_in_table_is_the_shipped_list() {
    QFile file(QStringLiteral(QUADREL_SOURCE_DIR "/data/output_reso.txt"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    std::string problem;
    const auto shipped = parse_resolution_list(std::string_view(data.constData(), data.size()), &problem);
    QVERIFY(problem.empty());
    QCOMPARE(default_resolution_list(), shipped);
  }

  void com_port_map_file() {
    const auto ports = parse_com_ports(
        "# the simulator\r\nCOM1=/dev/pts/7\n\n  com3 = /dev/ttyUSB1  \nCOM10=/dev/x\nCOM2\nLPT1=/dev/lp0\nCOM4=\nCOM3=/dev/ttyUSB2\n");
    QCOMPARE(ports.size(), std::size_t(2));
    QCOMPARE(ports.at(1), std::string("/dev/pts/7"));
    QCOMPARE(ports.at(3), std::string("/dev/ttyUSB2"));  // the later line wins

    QVERIFY(default_serial_device(0).isEmpty());
    QVERIFY(default_serial_device(10).isEmpty());

    QTemporaryDir dir;
    QFile map(dir.filePath(QStringLiteral("com_ports.txt")));
    QVERIFY(map.open(QIODevice::WriteOnly));
    map.write("COM2=/tmp/port\n");
    map.close();
    QCOMPARE(serial_device(2, dir.path()), QStringLiteral("/tmp/port"));
    QCOMPARE(serial_device(3, dir.path()), default_serial_device(3));
    QVERIFY(serial_device(12, dir.path()).isEmpty());
  }

  void present_serial_ports_in_order() {
    // A stand-in for "/": two adapters, one with a stable name, a modem, and
    // two of the kernel's ttyS nodes of which one has a UART.
    QTemporaryDir root;
    QDir dir(root.path());
    for (const char* path : {"dev/serial/by-id", "sys/class/tty/ttyS0", "sys/class/tty/ttyS1"}) dir.mkpath(path);
    for (const char* node : {"ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "tty0"})
      write_text(root.filePath(QStringLiteral("dev/") + node), "");
    QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB1")),
                        root.filePath(QStringLiteral("dev/serial/by-id/usb-FTDI_FT232R_A50-if00-port0"))));
    QVERIFY(QFile::link(root.filePath(QStringLiteral("dev/ttyUSB7")),
                        root.filePath(QStringLiteral("dev/serial/by-id/usb-gone-if00"))));  // unplugged
    write_text(root.filePath(QStringLiteral("sys/class/tty/ttyS0/type")), "4\n");
    write_text(root.filePath(QStringLiteral("sys/class/tty/ttyS1/type")), "0\n");

    const QStringList present = present_serial_devices(root.path());
    QCOMPARE(present, QStringList({QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A50-if00-port0"),
                                   QStringLiteral("/dev/ttyACM0"), QStringLiteral("/dev/ttyUSB0"),
                                   QStringLiteral("/dev/ttyUSB2"), QStringLiteral("/dev/ttyUSB10"),
                                   QStringLiteral("/dev/ttyS0")}));
    // COM1.. take them in order; com_ports.txt replaces one and adds COM9; COM7 and COM8 stay empty.
    const SerialPortMap map = serial_port_map(present, {{2, "/dev/pts/3"}, {9, "/dev/ttyUSB9"}});
    QCOMPARE(map[0], present.at(0));
    QCOMPARE(map[1], QStringLiteral("/dev/pts/3"));
    QCOMPARE(map[5], QStringLiteral("/dev/ttyS0"));
    QVERIFY(map[6].isEmpty() && map[7].isEmpty());
    QCOMPARE(map[8], QStringLiteral("/dev/ttyUSB9"));
    // An empty folder: nothing present.
    QVERIFY(present_serial_devices(dir.filePath(QStringLiteral("sys"))).isEmpty());
  }

  void failed_open_advice_data() {
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("group");  // the device's
    QTest::addColumn<QString>("advice");  // the line after the reason
    QTest::newRow("permission, dialout")
        << QStringLiteral("Permission denied") << QStringLiteral("dialout")
        << QStringLiteral("Your user may not use serial ports: run \"sudo usermod -aG dialout $USER\", then log out and in again.");
    QTest::newRow("permission, root only")
        << QStringLiteral("Permission denied") << QStringLiteral("root")
        << QStringLiteral("Your user may not open it: it belongs to the group root.");
    QTest::newRow("permission, group unknown") << QStringLiteral("Permission denied") << QString() << QString();
    QTest::newRow("missing") << QStringLiteral("No such file or directory") << QStringLiteral("dialout") << QString();
    QTest::newRow("busy") << QStringLiteral("Device or resource busy") << QStringLiteral("dialout") << QString();
  }
  void failed_open_advice() {
    QFETCH(QString, reason);
    QFETCH(QString, group);
    QFETCH(QString, advice);
    const QString text = serial_open_advice(QStringLiteral("/dev/ttyUSB0"), reason, group);
    QCOMPARE(text.section(QLatin1Char('\n'), 0, 0), QStringLiteral("/dev/ttyUSB0: ") + reason);
    QCOMPARE(text.section(QLatin1Char('\n'), 1), advice);
  }

  // The group is the device's own: a file of a group other than dialout gets no dialout advice.
  void failed_open_advice_reads_the_devices_group() {
    QTemporaryFile file;
    QVERIFY(file.open());
    const QString text = serial_open_advice(file.fileName(), QStringLiteral("Permission denied"));
    const bool dialout = QFileInfo(file.fileName()).group() == QLatin1String("dialout");
    QCOMPARE(text.contains(QStringLiteral("usermod -aG dialout")), dialout);
    QVERIFY(dialout || text.contains(QStringLiteral("it belongs to the group ") + QFileInfo(file.fileName()).group()));
  }

  void port_list_names_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("label");
    QTest::newRow("usb") << "/dev/ttyUSB0" << "ttyUSB0";
    QTest::newRow("built-in") << "/dev/ttyS0" << "ttyS0";
    QTest::newRow("pseudo-terminal") << "/dev/pts/3" << "pts/3";
    QTest::newRow("stable name") << "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
                                 << "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    QTest::newRow("elsewhere") << "/home/op/quadrel/build/corvane-sim.tty" << "corvane-sim.tty";
  }
  void port_list_names() {
    QFETCH(QString, device);
    QFETCH(QString, label);
    QCOMPARE(serial_device_label(device), label);
  }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
