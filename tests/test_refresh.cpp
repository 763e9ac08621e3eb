// The full refresh and the firmware versions, against the simulated device.
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include "panel/refresh.h"
#include "expected_commands.h"
#include "panel_fixture.h"
#include "ui/widgets.h"

using namespace quadrel;
using quadrel::test::PanelFixture;
using namespace quadrel::test;

namespace {

QByteArray log_of(PanelFixture& fx) { return fx.received().join(QLatin1Char(',')).toLatin1(); }

// The refresh button's look, seen from the device each time a line arrives.
struct ButtonWatch {
  QStringList seen;  // "<line> enabled|disabled <r,g,b>"
  ButtonWatch(PanelFixture& fx) {
    QPushButton* button = fx.c().cmd_refresh;
    QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(),
                     [this, button](const QString& line) {
                       const QColor back = back_color(button);
                       seen << QStringLiteral("%1 %2 %3,%4,%5")
                                   .arg(line, button->isEnabled() ? "enabled" : "disabled")
                                   .arg(back.red()).arg(back.green()).arg(back.blue());
                     });
  }
};

void verify_idle_button(PanelFixture& fx) {
  QVERIFY(fx.c().cmd_refresh->isEnabled());
  QCOMPARE(back_color(fx.c().cmd_refresh), colour::idle_grey);
}

void verify_uncovered(PanelFixture& fx) {
  auto& c = fx.c();
  QVERIFY(c.img_start->isHidden());
  QVERIFY(!c.cmd_keypad->isHidden());
  QVERIFY(!c.lab_lab_input->isHidden());
  QVERIFY(!c.sha_lab_in->isHidden());
}

}  // namespace

class RefreshTest : public QObject {
  Q_OBJECT

 private slots:
  void full_refresh_reads_every_setting_in_order_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<bool>("advanced");
    QTest::addColumn<int>("device_mode");
    using L = PanelFixture::Link;
    QTest::newRow("serial small matrix") << int(L::Serial) << false << 1;
    QTest::newRow("serial advanced matrix") << int(L::Serial) << true << 1;
    QTest::newRow("serial advanced quad") << int(L::Serial) << true << 5;
    QTest::newRow("serial small dual pip") << int(L::Serial) << false << 4;
    QTest::newRow("ethernet small matrix") << int(L::Ethernet) << false << 1;
    QTest::newRow("ethernet advanced dual pop") << int(L::Ethernet) << true << 2;
  }
  void full_refresh_reads_every_setting_in_order() {
    QFETCH(int, link);
    QFETCH(bool, advanced);
    QFETCH(int, device_mode);

    PanelFixture fx({.link = PanelFixture::Link(link), .advanced = advanced});
    QCOMPARE(fx.ps().advanced_open, advanced);
    auto& dev = fx.device().state();
    dev.mode = device_mode;
    dev.bezel_h = 30;
    dev.bezel_v = 40;
    dev.bezel_h_limit = 200;
    dev.bezel_v_limit = 150;
    dev.version = "205";
    for (int n = 0; n < 4; ++n) dev.picture[n] = {10 + n, 20 + n, 30 + n, 40 + n};
    auto& c = fx.c();
    QVERIFY(!c.img_start->isHidden());
    QVERIFY(c.cmd_keypad->isHidden());
    ButtonWatch watch(fx);

    fx.full_refresh();

    QStringList expected = settings_queries(device_mode) + map_queries();
    if (advanced) expected += picture_queries(device_mode);
    QCOMPARE(fx.received(), expected);
    QVERIFY(fx.messages().isEmpty());

    // While it ran the button was disabled and olive.
    QCOMPARE(watch.seen.size(), expected.size());
    for (const QString& seen : watch.seen)
      QVERIFY2(seen.endsWith("disabled 192,192,0"), qPrintable(seen));
    verify_idle_button(fx);
    verify_uncovered(fx);

    QCOMPARE(c.txt_ver->text(), QString("2.05"));
    QCOMPARE(c.txt_ver2->text(), QString("12"));
    QCOMPARE(fx.model().pwr_state(), 1);
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_on.bmp"));
    QVERIFY(c.fra_pic->isEnabled());
    // Values first, then their limits.
    QCOMPARE(c.hsr_bezel_h->value(), 30);
    QCOMPARE(c.hsr_bezel_h->maximum(), 200);
    QCOMPARE(c.txt_bezel_v->text(), QString("40"));
    QCOMPARE(c.hsr_bezel_v->maximum(), 150);
    QVERIFY(!fx.model().model().bezel_limit_pending(0) && !fx.model().model().bezel_limit_pending(1));

    // The picture rows hold the device's values only after an advanced refresh.
    const int rows = device_mode == 1 ? 1 : 4;
    for (int n = 1; n <= rows; ++n) {
      QCOMPARE(c.hsr_bri[n]->value(), advanced ? 9 + n : 0);
      QCOMPARE(c.hsr_sat[n]->value(), advanced ? 39 + n : 0);
    }
    fx.settle(30);
    QCOMPARE(fx.received().size(), expected.size());
    QVERIFY(fx.ps().send_enable);
  }

  void a_refresh_in_tv_wall_selects_no_output() {
    PanelFixture fx;
    fx.device().state().mode = 3;
    fx.full_refresh();
    const QStringList got = fx.received();
    QVERIFY2(got.mid(0, settings_queries(3).size()) == settings_queries(3), log_of(fx));
    const int mod = got.indexOf("MOD999");
    QCOMPARE(got.at(mod + 1), QString("INP999"));
    QVERIFY(!got.contains("OUT999"));
    QCOMPARE(fx.model().disp_mode(), 3);
    verify_idle_button(fx);
  }

  void an_unanswered_query_ends_the_refresh_data() {
    QTest::addColumn<QString>("silent");
    QTest::addColumn<QString>("last");
    QTest::newRow("main version") << "VER" << "VER999";
    QTest::newRow("second version") << "VR2" << "VR2999";
    QTest::newRow("key lock") << "LCK" << "LCK999";
    QTest::newRow("display mode") << "MOD" << "MOD999";
  }
  void an_unanswered_query_ends_the_refresh() {
    QFETCH(QString, silent);
    QFETCH(QString, last);
    PanelFixture fx;
    corvane::Faults faults;
    faults.silent = {silent};
    fx.sim().set_faults(faults);

    fx.full_refresh();
    const QStringList all = settings_queries(1);
    QCOMPARE(fx.received(), all.mid(0, all.indexOf(last) + 1));
    verify_idle_button(fx);
    verify_uncovered(fx);
    QVERIFY(fx.messages().isEmpty());
    QVERIFY(!fx.model().model().bezel_limit_pending(0) && !fx.model().model().bezel_limit_pending(1));
  }

  void a_refused_query_counts_as_answered() {
    PanelFixture fx;
    corvane::Faults faults;
    faults.err = {"LCK"};
    fx.sim().set_faults(faults);
    fx.full_refresh();
    QCOMPARE(fx.received(), settings_queries(1) + map_queries());
  }

  void a_refresh_on_a_closed_link_uncovers_the_window_and_sends_nothing() {
    PanelFixture fx({.link = PanelFixture::Link::None});
    fx.full_refresh();
    QCOMPARE(fx.messages(), QStringList{"RS232 port is disconnected !"});
    QVERIFY(fx.received().isEmpty());
    QVERIFY(fx.console().isEmpty());
    verify_idle_button(fx);
    verify_uncovered(fx);
  }

  void version_button_reads_both_fields() {
    PanelFixture fx;
    auto& c = fx.c();
    auto& dev = fx.device().state();
    QCOMPARE(c.txt_ver->text(), QString());
    QCOMPARE(c.txt_ver2->text(), QString());

    fx.click(c.cmd_ver);
    QCOMPARE(fx.received(), (QStringList{"VER999", "VR2999"}));
    QCOMPARE(c.txt_ver->text(), QString("1.23"));
    QCOMPARE(c.txt_ver2->text(), QString("12"));

    dev.version = "205";
    dev.version2 = "A7 ";
    fx.click(c.cmd_ver);
    QCOMPARE(c.txt_ver->text(), QString("2.05"));
    QCOMPARE(c.txt_ver2->text(), QString("A7"));
    dev.version2 = "3";
    fx.click(c.cmd_ver);
    QCOMPARE(c.txt_ver2->text(), QString("3"));
    // The version button touches nothing else.
    QVERIFY(!c.img_start->isHidden());

    // Without an answer to the first query the second is not sent.
    fx.clear_received();
    corvane::Faults faults;
    faults.silent = {"VER"};
    fx.sim().set_faults(faults);
    fx.click(c.cmd_ver);
    QCOMPARE(fx.received(), QStringList{"VER999"});
    QCOMPARE(c.txt_ver->text(), QString("2.05"));
  }
};

QTEST_MAIN(RefreshTest)
#include "test_refresh.moc"
