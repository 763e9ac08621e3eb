// The Ethernet group over real loopback TCP: connecting, the connect time-out,
// a lost connection, Disconnect and the device's EXT.
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTimer>
#include <QtTest>

#include "link/endpoint.h"
#include "panel/ethernet_control.h"
#include "link/tcp_link.h"
#include "panel_fixture.h"
#include "unanswered_port.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using namespace quadrel::test;

namespace {

void expect_idle(PanelFixture& fx) {
  MainControls& c = fx.c();
  QVERIFY(!fx.link().state().eth_connected);
  QVERIFY(fx.model().tcp_client().is_closed());
  QVERIFY(!c.tim_eth->isActive());
  QCOMPARE(c.tim_eth->interval(), 7000);
  QVERIFY(c.lab_eth_state->isHidden());
  QVERIFY(c.cmd_conn_eth->isEnabled());
  QCOMPARE(back_color(c.cmd_conn_eth), colour::idle_grey);
  QCOMPARE(back_color(c.cmd_disconn_eth), colour::busy_red);
}

// A loopback port where nothing listens.
quint16 closed_port() {
  QTcpServer server;
  server.listen(QHostAddress::LocalHost);
  const quint16 port = server.serverPort();
  server.close();
  return port;
}

}  // namespace

class TestEthernet : public QObject {
  Q_OBJECT

 private slots:
  void address_forms() {
    QString host;
    quint16 port = 0;
    QVERIFY(parse_endpoint(QStringLiteral(" 192.168.1.100 "), &host, &port));
    QCOMPARE(host, QStringLiteral("192.168.1.100"));
    QCOMPARE(port, quint16(23));
    QVERIFY(parse_endpoint(QStringLiteral("127.0.0.1:2323"), &host, &port));
    QCOMPARE(host, QStringLiteral("127.0.0.1"));
    QCOMPARE(port, quint16(2323));
    QVERIFY(parse_endpoint(QStringLiteral("corvane.local"), &host, &port));
    QCOMPARE(port, quint16(23));
    QVERIFY(parse_endpoint(QStringLiteral("[::1]:40000"), &host, &port));
    QCOMPARE(host, QStringLiteral("::1"));
    QCOMPARE(port, quint16(40000));
    QVERIFY(parse_endpoint(QStringLiteral("fe80::1"), &host, &port));
    QCOMPARE(port, quint16(23));

    for (const char* bad : {"", "   ", "host:", "host:0", "host:70000", "host:+5", "a b",
                            "[::1", "[x]:23", "http://x", ":23"}) {
      QVERIFY2(!parse_endpoint(QString::fromLatin1(bad), &host, &port), bad);
    }
  }

  void connect_and_talk() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    MainControls& c = fx.c();
    QVERIFY(fx.link().state().eth_connected);
    // Nothing runs while the connection idles: the socket tells when it ends.
    QVERIFY(!c.tim_eth->isActive());
    QVERIFY(c.lab_eth_state->isHidden());
    QCOMPARE(back_color(c.cmd_conn_eth), colour::routed_green);
    QVERIFY(c.cmd_disconn_eth->isEnabled());
    QCOMPARE(back_color(c.cmd_disconn_eth), colour::idle_grey);
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
    QCOMPARE(fx.received(), QStringList({QStringLiteral("MOD999")}));
  }

  void connecting_shows_its_state() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .connect = false});
    MainControls& c = fx.c();
    UnansweredPort nobody;  // a connection that stays pending, on this machine
    c.txt_ip->setText(QStringLiteral("127.0.0.1:%1").arg(nobody.port()));
    fx.click(c.cmd_conn_eth);
    QVERIFY(!c.cmd_conn_eth->isEnabled());
    QCOMPARE(back_color(c.cmd_conn_eth), colour::olive);
    QCOMPARE(back_color(c.cmd_disconn_eth), colour::idle_grey);
    QVERIFY(!c.lab_eth_state->isHidden());
    QVERIFY(c.tim_eth->isActive());
    QCOMPARE(c.tim_eth->interval(), 7000);

    // Disconnect while connecting stops the time-out: no message can follow.
    fx.main().ethernet().cmd_disconn_eth_Click();
    expect_idle(fx);
    QVERIFY(fx.messages().isEmpty());
  }

  void an_address_that_names_nothing_is_not_tried() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .connect = false});
    MainControls& c = fx.c();
    for (const char* text : {"", "not an address!"}) {
      c.txt_ip->setText(QString::fromLatin1(text));
      fx.click(c.cmd_conn_eth);
      // Waiting for the time-out like any unreachable address; the window goes on.
      QVERIFY(fx.model().tcp_client().is_closed());
      QVERIFY(c.tim_eth->isActive());
      QVERIFY(!c.lab_eth_state->isHidden());
      fx.main().ethernet().cmd_disconn_eth_Click();
    }
  }

  void nobody_listening_times_out_after_seven_seconds() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .connect = false});
    MainControls& c = fx.c();
    c.txt_ip->setText(QStringLiteral("127.0.0.1:%1").arg(closed_port()));
    QElapsedTimer clock;
    qint64 shown_after = -1;
    fx.notifier().on_message = [&](const std::string&, MessageIcon) { shown_after = clock.elapsed(); };
    clock.start();
    fx.click(c.cmd_conn_eth);
    QVERIFY(fx.wait_for([&] { return !fx.messages().isEmpty(); }, 8000));
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("Client could not find Server.")}));
    QCOMPARE(fx.notifier().icons, QList<MessageIcon>({MessageIcon::Error}));
    QVERIFY2(shown_after >= 6900, qPrintable(QString::number(shown_after)));
    expect_idle(fx);
  }

  void device_closes_the_connection() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    QElapsedTimer clock;
    clock.start();
    fx.sim().drop_connection();
    QVERIFY(fx.wait_for([&] { return !fx.messages().isEmpty(); }, 1000));
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("Ethernet is disconnected !")}));
    QCOMPARE(fx.notifier().icons, QList<MessageIcon>({MessageIcon::Error}));
    expect_idle(fx);
    QVERIFY(!fx.c().cmd_disconn_eth->isEnabled());
  }

  void disconnect_button() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    fx.click(fx.c().cmd_disconn_eth);
    expect_idle(fx);
    QVERIFY(!fx.c().cmd_disconn_eth->isEnabled());
    QVERIFY(fx.wait_for([&] { return !fx.sim().has_client(); }));
    awaited(fx.link().tx_cmd("MOD999"));
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("Ethernet port is disconnected !")}));

    // And connect again.
    fx.clear_messages();
    QVERIFY(fx.connect_ethernet());
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
  }

  void ext_ends_the_connection_without_a_message() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    fx.sim().send_ext();
    QVERIFY(fx.wait_for([&] { return !fx.link().state().eth_connected; }));
    fx.settle(300);  // the watch would have noticed a lost connection by now
    QVERIFY(fx.messages().isEmpty());
    expect_idle(fx);
    awaited(fx.link().tx_cmd("MOD999"));
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("Ethernet port is disconnected !")}));
  }

  void connect_while_connected_is_refused() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    fx.main().ethernet().cmd_conn_eth_Click();
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("Ethernet is already connected!")}));
    QVERIFY(fx.link().state().eth_connected);
    awaited(fx.link().tx_cmd("MOD999"));
    QVERIFY(fx.model().answered());
  }
};

QTEST_MAIN(TestEthernet)
#include "test_ethernet.moc"

