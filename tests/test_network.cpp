// The "Advanced" size switch and "Get IP": the three network answers over the
// serial link and over TCP, answers of the wrong length, and no link.
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "panel/status_line.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "windows/network_panel.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
QStringList boxes(PanelFixture& fx) {
  return {fx.c().txt_get_ip->text(), fx.c().txt_get_mask->text(), fx.c().txt_get_gate->text()};
}

void set_addresses(PanelFixture& fx, const char* ip, const char* mask, const char* gateway) {
  fx.device().state().ip = ip;
  fx.device().state().mask = mask;
  fx.device().state().gateway = gateway;
}

// Clicks "Get IP" and checks that the button is olive and disabled meanwhile,
// grey and enabled afterwards, on either link.
void get_ip(PanelFixture& fx) {
  QPushButton* button = fx.c().cmd_get_ip;
  int seen = 0;
  auto watch = QObject::connect(&fx.sim(), &corvane::SimServer::command_received, [&](const QString&) {
    ++seen;
    QCOMPARE(back_color(button), colour::olive);
    QVERIFY(!button->isEnabled());
  });
  QVERIFY(button->isEnabled());
  fx.click(button);
  QObject::disconnect(watch);
  if (fx.link().state().serial_open || fx.link().state().eth_connected) QVERIFY(seen > 0);
  QCOMPARE(back_color(button), colour::idle_grey);
  QVERIFY(button->isEnabled());
  QCOMPARE(fx.link().state().getip_state, 254);
}
}  // namespace

class TestNetwork : public QObject {
  Q_OBJECT
 private slots:
  void advanced_switches_between_two_heights();
  void get_ip_over_serial_fills_three_boxes();
  void get_ip_over_tcp_fills_three_boxes();
  void answer_of_wrong_length_stops_sequence();
  void get_ip_without_link();
  void get_ip_usable_after_switching_interface();
};

void TestNetwork::advanced_switches_between_two_heights() {
  PanelFixture fx;
  QVERIFY(!fx.ps().advanced_open);
  const int small = fx.main().height();
  const int width = fx.main().width();
  fx.click(fx.c().cmd_advance);
  QVERIFY(fx.ps().advanced_open);
  const int tall = fx.main().height();
  QVERIFY(tall > small);
  // The tall size uncovers the network group but not the console, above the status line.
  const int status_top = fx.main().status_line().widget()->y();
  QVERIFY(fx.c().cmd_get_ip->geometry().bottom() < status_top);
  QVERIFY(fx.c().txt_cmd->geometry().top() >= status_top);
  fx.click(fx.c().cmd_advance);
  QVERIFY(!fx.ps().advanced_open);
  QCOMPARE(fx.main().height(), small);
  QCOMPARE(fx.main().width(), width);
  QVERIFY(fx.received().isEmpty());
}

void TestNetwork::get_ip_over_serial_fills_three_boxes() {
  PanelFixture fx({.advanced = true});
  set_addresses(fx, "010.000.000.007", "255.255.000.000", "010.000.000.001");
  fx.c().txt_get_ip->setText(QStringLiteral("old"));
  get_ip(fx);
  QCOMPARE(fx.received(), (QStringList{"EIP999", "EMK999", "EGW999"}));
  QCOMPARE(boxes(fx), (QStringList{"010.000.000.007", "255.255.000.000", "010.000.000.001"}));
  // Sent without the exchange: no command echo, and the answers were not dispatched.
  QVERIFY(!fx.console().contains(QStringLiteral("EIP999")));
  QVERIFY(fx.console().contains(QStringLiteral("010.000.000.007")));
  QVERIFY(fx.messages().isEmpty());

  // The link goes on as before.
  fx.clear_received();
  awaited(fx.link().tx_cmd("MOD999"));
  QVERIFY(fx.link().state().rx_flag);
}

void TestNetwork::get_ip_over_tcp_fills_three_boxes() {
  PanelFixture fx({.link = PanelFixture::Link::Ethernet, .advanced = true});
  QVERIFY(fx.link().state().eth_connected);
  // Answers that come in several TCP chunks are put together.
  corvane::Faults f;
  f.split = 5;
  fx.sim().set_faults(f);
  get_ip(fx);
  QCOMPARE(fx.received(), (QStringList{"EIP999", "EMK999", "EGW999"}));
  QCOMPARE(boxes(fx), (QStringList{"192.168.001.100", "255.255.255.000", "192.168.001.001"}));
  fx.sim().set_faults({});
  awaited(fx.link().tx_cmd("MOD999"));
  QVERIFY(fx.link().state().rx_flag);
}

void TestNetwork::answer_of_wrong_length_stops_sequence() {
  PanelFixture fx({.advanced = true});
  // An address without leading zeros is not taken: every box stays empty.
  set_addresses(fx, "192.168.1.100", "255.255.255.000", "192.168.001.001");
  QElapsedTimer clock;
  clock.start();
  get_ip(fx);
  QVERIFY2(clock.elapsed() < 600, qPrintable(QString::number(clock.elapsed())));
  QCOMPARE(fx.received(), QStringList{"EIP999"});
  QCOMPARE(boxes(fx), (QStringList{"", "", ""}));

  // A stop after the first answer keeps the box filled so far.
  fx.clear_received();
  set_addresses(fx, "192.168.001.100", "255.255.255.0", "192.168.001.001");
  get_ip(fx);
  QCOMPARE(fx.received(), (QStringList{"EIP999", "EMK999"}));
  QCOMPARE(boxes(fx), (QStringList{"192.168.001.100", "", ""}));

  // The same over TCP.
  PanelFixture eth({.link = PanelFixture::Link::Ethernet, .advanced = true});
  set_addresses(eth, "192.168.001.100", "255.255.255.000", "10.0.0.1");
  get_ip(eth);
  QCOMPARE(boxes(eth), (QStringList{"192.168.001.100", "255.255.255.000", ""}));
  awaited(eth.link().tx_cmd("MOD999"));
  QVERIFY(eth.link().state().rx_flag);
}

void TestNetwork::get_ip_without_link() {
  PanelFixture fx({.link = PanelFixture::Link::None, .advanced = true});
  QColor during;
  fx.notifier().on_message = [&](const std::string&, MessageIcon) {
    during = back_color(fx.c().cmd_get_ip);
  };
  get_ip(fx);
  QCOMPARE(during, colour::olive);
  QCOMPARE(fx.messages(), QStringList{QString::fromLatin1(kSerialDisconnected)});
  QCOMPARE(boxes(fx), (QStringList{"", "", ""}));
}

void TestNetwork::get_ip_usable_after_switching_interface() {
  PanelFixture fx({.advanced = true});
  // Ethernet is chosen while the first query waits: the button comes back,
  // as Get IP works on either interface.
  QObject::connect(
      &fx.sim(), &corvane::SimServer::command_received, fx.c().cmd_get_ip,
      [&](const QString&) { fx.click(fx.c().opt_interface[1]); }, Qt::SingleShotConnection);
  fx.click(fx.c().cmd_get_ip);
  QCOMPARE(fx.link().state().iface, 1);
  QVERIFY(fx.c().cmd_get_ip->isEnabled());
}

QTEST_MAIN(TestNetwork)
#include "test_network.moc"

