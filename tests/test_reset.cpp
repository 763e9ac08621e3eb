// Factory reset over both links, the reboot notice over Ethernet, and the RST reply.
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include "panel_fixture.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using namespace quadrel::test;

namespace {

constexpr const char* kReconnect = "Need to re-connect Ethernet after Corvane re-boots ready !";

// The look after a full refresh: indicators and Keyboard shown, no start hint.
void leave_start_look(MainControls& c) {
  for (QWidget* w : {(QWidget*)c.lab_pip, (QWidget*)c.sha_pip, (QWidget*)c.lab_lab_input,
                     (QWidget*)c.sha_lab_in, (QWidget*)c.cmd_keypad})
    w->show();
  c.img_start->hide();
}

void expect_start_look(MainControls& c) {
  for (QWidget* w : {(QWidget*)c.lab_pip, (QWidget*)c.sha_pip, (QWidget*)c.lab_lab_input,
                     (QWidget*)c.sha_lab_in, (QWidget*)c.cmd_keypad})
    QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
  QVERIFY(!c.img_start->isHidden());
}

void expect_ethernet_idle(PanelFixture& fx) {
  QVERIFY(!fx.link().state().eth_connected);
  QVERIFY(fx.c().cmd_conn_eth->isEnabled());
  QVERIFY(!fx.c().cmd_disconn_eth->isEnabled());
  QCOMPARE(back_color(fx.c().cmd_disconn_eth), colour::busy_red);
}

QList<QScrollBar*> row_sliders(MainControls& c, int i) { return {c.hsr_bri[i], c.hsr_con[i], c.hsr_hue[i], c.hsr_sat[i]}; }
QList<QLineEdit*> row_boxes(MainControls& c, int i) { return {c.txt_bri[i], c.txt_con[i], c.txt_hue[i], c.txt_sat[i]}; }

}  // namespace

class TestReset : public QObject {
  Q_OBJECT

 private slots:
  void factory_reset_over_serial() {
    PanelFixture fx;
    corvane::Faults faults;
    faults.restart_ms = 50;
    fx.sim().set_faults(faults);
    bool enabled_while_sent = true;
    connect(&fx.sim(), &corvane::SimServer::command_received, this,
            [&](const QString&) { enabled_while_sent = fx.c().cmd_fact_reset->isEnabled(); });
    fx.click(fx.c().cmd_fact_reset);
    QCOMPARE(fx.received(), QStringList({QStringLiteral("RST001")}));
    QVERIFY(!enabled_while_sent);
    QVERIFY(fx.model().answered());
    QVERIFY(fx.c().cmd_fact_reset->isEnabled());
    QVERIFY(fx.messages().isEmpty());
    QVERIFY(fx.link().state().serial_open);
  }

  void unanswered_factory_reset_leaves_the_button_disabled() {
    PanelFixture fx;
    corvane::Faults faults;
    faults.silent = {QStringLiteral("RST")};
    faults.restart_ms = 50;
    fx.sim().set_faults(faults);
    fx.click(fx.c().cmd_fact_reset);
    QVERIFY(!fx.model().answered());
    QVERIFY(!fx.c().cmd_fact_reset->isEnabled());
    QVERIFY(fx.messages().isEmpty());
  }

  void factory_reset_with_the_link_closed() {
    PanelFixture fx;
    fx.click(fx.c().cmd_disconn);
    fx.click(fx.c().cmd_fact_reset);
    QCOMPARE(fx.messages(), QStringList({QStringLiteral("RS232 port is disconnected !")}));
    QVERIFY(fx.c().cmd_fact_reset->isEnabled());
    QVERIFY(fx.received().isEmpty());
  }

  void factory_reset_over_ethernet_warns_and_disconnects() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    MainControls& c = fx.c();
    leave_start_look(c);
    QElapsedTimer clock;
    qint64 shown_after = -1;
    fx.notifier().on_message = [&](const std::string&, MessageIcon) { shown_after = clock.elapsed(); };
    clock.start();
    fx.click(c.cmd_fact_reset);
    QCOMPARE(fx.received(), QStringList({QStringLiteral("RST001")}));
    QCOMPARE(fx.messages(), QStringList({QString::fromLatin1(kReconnect)}));
    QCOMPARE(fx.notifier().icons, QList<MessageIcon>({MessageIcon::Warning}));
    QVERIFY2(shown_after >= 1000, qPrintable(QString::number(shown_after)));
    expect_start_look(c);
    expect_ethernet_idle(fx);
    // The acknowledgement came during the second's wait and was handled.
    QVERIFY(c.cmd_fact_reset->isEnabled());
  }

  void power_on_over_ethernet_reboots_too() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    leave_start_look(fx.c());
    awaited(fx.link().tx_cmd("PWR001"));
    QCOMPARE(fx.messages(), QStringList({QString::fromLatin1(kReconnect)}));
    expect_start_look(fx.c());
    expect_ethernet_idle(fx);
  }

  void standby_over_ethernet_is_an_ordinary_exchange() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    awaited(fx.link().tx_cmd("PWR000"));
    QVERIFY(fx.model().answered());
    QVERIFY(fx.messages().isEmpty());
    QVERIFY(fx.link().state().eth_connected);
  }

  void picture_reset_reply_sets_every_row_in_tv_wall() {
    PanelFixture fx;
    MainControls& c = fx.c();
    QVERIFY(fx.device_says(QStringLiteral("MOD003")));
    fx.sim().send_unsolicited(QStringLiteral("RST002"));
    QVERIFY(fx.wait_for([&] { return c.txt_sat[4]->text() == QLatin1String("50"); }));
    for (int i = 1; i <= 4; ++i) {
      for (QScrollBar* s : row_sliders(c, i)) QCOMPARE(s->value(), 50);
      for (QLineEdit* t : row_boxes(c, i)) QCOMPARE(t->text(), QStringLiteral("50"));
    }
    QVERIFY(fx.ps().send_enable);
    fx.settle(50);
    QVERIFY(fx.received().isEmpty());  // the sliders sent nothing
  }

  void picture_reset_reply_in_matrix_sets_row_one() {
    PanelFixture fx;
    MainControls& c = fx.c();
    QCOMPARE(fx.model().disp_mode(), 1);
    fx.sim().send_unsolicited(QStringLiteral("RST002"));
    QVERIFY(fx.wait_for([&] { return c.txt_bri[1]->text() == QLatin1String("50"); }));
    for (QScrollBar* s : row_sliders(c, 1)) QCOMPARE(s->value(), 50);
    for (int i = 2; i <= 4; ++i) {
      for (QScrollBar* s : row_sliders(c, i)) QCOMPARE(s->value(), 0);
      for (QLineEdit* t : row_boxes(c, i)) QVERIFY(t->text().isEmpty());
    }
    fx.settle(50);
    QVERIFY(fx.received().isEmpty());
  }

  void other_rst_replies_change_nothing() {
    PanelFixture fx;
    fx.c().cmd_fact_reset->setEnabled(false);
    fx.sim().send_unsolicited(QStringLiteral("RST007"));
    fx.sim().send_unsolicited(QStringLiteral("RSTx"));
    fx.settle(50);
    QVERIFY(!fx.c().cmd_fact_reset->isEnabled());
    QVERIFY(fx.c().txt_bri[1]->text().isEmpty());
  }
};

QTEST_MAIN(TestReset)
#include "test_reset.moc"

