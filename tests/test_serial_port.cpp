// The serial group: opening the chosen port, Connect, Disconnect and the port list.
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "panel/serial_control.h"
#include "link/serial_link.h"
#include "link/serial_ports.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using namespace quadrel::test;

namespace {

// Adds lines to the fixture's port map (COM1 is the simulator).
void map_ports(PanelFixture& fx, const QByteArray& lines) {
  QFile file(QDir(fx.folder()).filePath(QStringLiteral("com_ports.txt")));
  QVERIFY(file.open(QIODevice::Append));
  file.write(lines);
}

void expect_open(PanelFixture& fx) {
  QVERIFY(fx.link().state().serial_open);
  QVERIFY(fx.model().serial_port().is_open());
  QCOMPARE(back_color(fx.c().cmd_conn), colour::routed_green);
  QCOMPARE(back_color(fx.c().cmd_disconn), colour::idle_grey);
}

void expect_closed(PanelFixture& fx) {
  QVERIFY(!fx.link().state().serial_open);
  QVERIFY(!fx.model().serial_port().is_open());
  QCOMPARE(back_color(fx.c().cmd_conn), colour::idle_grey);
  QCOMPARE(back_color(fx.c().cmd_disconn), colour::busy_red);
}

}  // namespace

class TestSerialPort : public QObject {
  Q_OBJECT

 private slots:
  void open_at_start_and_talking() {
    PanelFixture fx;
    expect_open(fx);
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
    QCOMPARE(fx.received(), QStringList({QStringLiteral("MOD999")}));
  }

  void disconnect_and_connect_again() {
    PanelFixture fx;
    fx.click(fx.c().cmd_disconn);
    expect_closed(fx);
    QVERIFY(fx.messages().isEmpty());
    awaited(fx.link().tx_cmd("MOD999"));
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("RS232 port is disconnected !")}));
    QVERIFY(fx.received().isEmpty());

    // Disconnect while closed changes nothing.
    fx.clear_messages();
    fx.click(fx.c().cmd_disconn);
    expect_closed(fx);
    QVERIFY(fx.messages().isEmpty());

    fx.click(fx.c().cmd_conn);
    expect_open(fx);
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
  }

  void a_port_that_cannot_be_opened() {
    PanelFixture fx;
    map_ports(fx, "COM3=/nonexistent/tty-quadrel-com3\n");
    fx.choose(fx.c().cbo_com, 2);
    QCOMPARE(fx.ps().com_port, 3);
    expect_closed(fx);  // the port that was open stays closed
    // The message names the device and the reason, under the device's name.
    const QString failed = QStringLiteral("COM3: Fail !\n/nonexistent/tty-quadrel-com3: No such file or directory");
    QTRY_COMPARE(fx.messages(), QStringList({failed}));
    QCOMPARE(fx.notifier().icons, QList<MessageIcon>({MessageIcon::None}));
    QCOMPARE(fx.notifier().titles,
             QStringList({QStringLiteral("/nonexistent/tty-quadrel-com3 \u2013 ") + QCoreApplication::applicationName()}));
    QCOMPARE(fx.c().cbo_com->itemText(2), QStringLiteral("COM3: tty-quadrel-com3"));
    QCOMPARE(fx.c().cbo_com->toolTip(), QStringLiteral("COM3: /nonexistent/tty-quadrel-com3"));

    // Connect retries the same port, with the same result.
    fx.clear_messages();
    fx.click(fx.c().cmd_conn);
    expect_closed(fx);
    QTRY_COMPARE(fx.messages(), QStringList({failed}));

    // A port with no device present says so.
    for (int i = 0; i < 9; ++i) {
      const QString device = serial_device(i + 1, fx.folder());
      QCOMPARE(fx.c().cbo_com->itemText(i).startsWith(QStringLiteral("COM%1: ").arg(i + 1)), !device.isEmpty());
      if (!device.isEmpty()) continue;
      fx.clear_messages();
      fx.choose(fx.c().cbo_com, i);
      QTRY_COMPARE(fx.messages(),
                   QStringList({QStringLiteral("COM%1: Fail !\nNo serial device is present for COM%1.").arg(i + 1)}));
      QCOMPARE(fx.notifier().titles,
               QStringList({QStringLiteral("COM%1 \u2013 ").arg(i + 1) + QCoreApplication::applicationName()}));
      break;
    }
  }

  void choosing_another_port_reopens() {
    PanelFixture fx;
    // COM4 leads to the same simulated device.
    map_ports(fx, "COM4=" + fx.sim().pty_path().toUtf8() + "\n");
    fx.choose(fx.c().cbo_com, 3);
    QCOMPARE(fx.ps().com_port, 4);
    expect_open(fx);
    QVERIFY(fx.messages().isEmpty());
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
  }

  void reopening_empties_the_reply_buffer() {
    PanelFixture fx;
    fx.sim().send_garbage(QByteArray("MO"));  // the start of a reply that never ends
    QVERIFY(fx.wait_for([&] { return !fx.link().rx_buf().empty(); }));
    fx.main().serial_control().set_comm();
    expect_open(fx);
    QVERIFY(fx.link().rx_buf().empty());
    QCOMPARE(fx.link().rx_count(), 0);
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
  }

  void a_list_position_set_while_loading_only_records_the_port() {
    PanelFixture fx;
    fx.ps().send_enable = false;
    fx.c().cbo_com->setCurrentIndex(5);
    fx.main().serial_control().cbo_com_Click();
    fx.ps().send_enable = true;
    QCOMPARE(fx.ps().com_port, 6);
    expect_open(fx);  // still the port opened before
    QVERIFY(fx.messages().isEmpty());
  }

  void interface_switching_both_ways() {
    PanelFixture fx;
    fx.click(fx.c().opt_interface[1]);
    QCOMPARE(fx.link().state().iface, 1);
    QVERIFY(!fx.link().state().serial_open);
    QVERIFY(!fx.model().serial_port().is_open());
    QVERIFY(fx.c().cmd_conn->isHidden());
    QVERIFY(!fx.c().cmd_conn_eth->isHidden());
    awaited(fx.link().tx_cmd("MOD999"));
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("Ethernet port is disconnected !")}));

    fx.clear_messages();
    fx.click(fx.c().opt_interface[0]);
    QCOMPARE(fx.link().state().iface, 0);
    expect_open(fx);
    QCOMPARE(fx.c().cbo_com->currentIndex(), 0);
    QVERIFY(!fx.c().cmd_conn->isHidden());
    QVERIFY(fx.c().cmd_conn_eth->isHidden());
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
    QVERIFY(fx.messages().isEmpty());
  }
};

QTEST_MAIN(TestSerialPort)
#include "test_serial_port.moc"

