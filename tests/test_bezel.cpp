// Bezel correction: the sliders, on/off, and the device's limits, against the simulated device.
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>

#include "panel/bezel.h"
#include "panel_fixture.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {

QByteArray log_of(PanelFixture& fx) { return fx.received().join(QLatin1Char(',')).toLatin1(); }

// The limit query as the full refresh sends it.
void query_limit(PanelFixture& fx, const char* code) { awaited(fx.model().query_bezel_limit(code == QByteArray("BEV") ? 1 : 0)); }

// A limit of either axis is still awaited.
bool limit_awaited(PanelFixture& fx) {
  return fx.model().model().bezel_limit_pending(0) || fx.model().model().bezel_limit_pending(1);
}

}  // namespace

class BezelTest : public QObject {
  Q_OBJECT

 private slots:
  void sliders_send_their_value_at_once() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    fx.move(c.hsr_bezel_v, 5);
    QCOMPARE(c.txt_bezel_v->text(), QString("5"));
    QVERIFY2(fx.received_exactly({"BEV005"}), log_of(fx));
    fx.move(c.hsr_bezel_h, 37);
    QCOMPARE(c.txt_bezel_h->text(), QString("37"));
    QVERIFY2(fx.received_exactly({"BEV005", "BEH037"}), log_of(fx));
    QVERIFY(fx.wait_for([&] { return fx.console().contains("BEH037"); }));
    QCOMPARE(fx.device().state().bezel_v, 5);
    QCOMPARE(fx.device().state().bezel_h, 37);
    // No output offset and no mode: the same in TV Wall.
    QVERIFY(fx.device_says("MOD003"));
    fx.move(c.hsr_bezel_h, 38);
    QVERIFY2(fx.received_exactly({"BEV005", "BEH037", "BEH038"}), log_of(fx));

    // The device cuts a value above its limit; the slider follows its answer.
    fx.device().state().bezel_v_limit = 150;
    fx.move(c.hsr_bezel_v, 180);
    QVERIFY(fx.wait_for([&] { return c.hsr_bezel_v->value() == 150; }));
    QCOMPARE(c.txt_bezel_v->text(), QString("150"));
    fx.settle(30);
    QCOMPARE(fx.received().size(), 4);
    QVERIFY(fx.ps().send_enable);
  }

  void value_replies_set_slider_and_box_and_send_nothing() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    QVERIFY(fx.device_says("BEH120"));
    QCOMPARE(c.txt_bezel_h->text(), QString("120"));
    QCOMPARE(c.hsr_bezel_h->value(), 120);
    QCOMPARE(c.hsr_bezel_h->maximum(), 254);
    QVERIFY(fx.device_says("BEV007"));
    QCOMPARE(c.txt_bezel_v->text(), QString("7"));
    QCOMPARE(c.hsr_bezel_v->value(), 7);

    // Above 254, or not a number: nothing changes.
    for (const char* line : {"BEV255", "BEV999", "BEVx12", "BEH300"})
      QVERIFY(fx.device_says(line));
    QCOMPARE(c.hsr_bezel_v->value(), 7);
    QCOMPARE(c.txt_bezel_v->text(), QString("7"));
    QCOMPARE(c.hsr_bezel_h->value(), 120);
    QCOMPARE(c.hsr_bezel_h->maximum(), 254);

    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QVERIFY(fx.ps().send_enable);
  }

  void limit_replies_set_the_maximum_only() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();
    QVERIFY(fx.device_says("BEH030"));
    fx.device().state().bezel_h_limit = 120;
    fx.device().state().bezel_v_limit = 150;

    query_limit(fx, "BEH");
    QCOMPARE(c.hsr_bezel_h->maximum(), 120);
    QCOMPARE(c.hsr_bezel_h->value(), 30);
    QCOMPARE(c.txt_bezel_h->text(), QString("30"));
    QVERIFY(!limit_awaited(fx));
    QCOMPARE(c.hsr_bezel_v->maximum(), 254);

    query_limit(fx, "BEV");
    QCOMPARE(c.hsr_bezel_v->maximum(), 150);
    QCOMPARE(c.hsr_bezel_v->value(), 0);
    QCOMPARE(c.txt_bezel_v->text(), QString());  // never written
    QVERIFY(!limit_awaited(fx));

    fx.settle(30);
    QCOMPARE(fx.received(), (QStringList{"BEH998", "BEV998"}));
  }

  void a_slider_never_stands_above_its_maximum() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    // A new maximum below the value brings the value down; the box follows.
    QVERIFY(fx.device_says("BEH180"));
    fx.device().state().bezel_h_limit = 120;
    query_limit(fx, "BEH");
    QCOMPARE(c.hsr_bezel_h->maximum(), 120);
    QCOMPARE(c.hsr_bezel_h->value(), 120);
    QCOMPARE(c.txt_bezel_h->text(), QString("120"));

    // A value above the maximum stops at the maximum; the box shows it.
    QVERIFY(fx.device_says("BEH200"));
    QCOMPARE(c.hsr_bezel_h->value(), 120);
    QCOMPARE(c.txt_bezel_h->text(), QString("120"));

    fx.settle(30);
    QCOMPARE(fx.received(), QStringList{"BEH998"});  // the clamping sent nothing
    QCOMPARE(fx.device().state().bezel_h, 0);
    QVERIFY(fx.ps().send_enable);
  }

  void on_off_replies_select_and_gate_the_sliders() {
    PanelFixture fx;
    fx.power_on();
    QVERIFY(fx.device_says("MOD003"));  // bezel correction is live on a TV wall
    fx.clear_received();
    auto& c = fx.c();

    QVERIFY(fx.device_says("BEZ000"));
    QVERIFY(c.opt_bezel_onoff[0]->isChecked());
    QVERIFY(!c.opt_bezel_onoff[1]->isChecked());
    QVERIFY(!c.hsr_bezel_h->isEnabled());
    QVERIFY(!c.hsr_bezel_v->isEnabled());

    QVERIFY(fx.device_says("BEZ001"));
    QVERIFY(c.opt_bezel_onoff[1]->isChecked());
    QVERIFY(c.hsr_bezel_h->isEnabled());
    QVERIFY(c.hsr_bezel_v->isEnabled());

    // Outside the data model: nothing changes.
    QVERIFY(fx.device_says("BEZ007"));
    QVERIFY(fx.device_says("BEZ"));
    QVERIFY(c.opt_bezel_onoff[1]->isChecked());
    QVERIFY(c.hsr_bezel_h->isEnabled());

    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QVERIFY(fx.ps().send_enable);
  }

  void on_off_clicks_send_and_the_reply_gates_the_sliders() {
    PanelFixture fx;
    fx.power_on();
    QVERIFY(fx.device_says("MOD003"));  // bezel correction is live on a TV wall
    fx.clear_received();
    auto& c = fx.c();

    fx.click(c.opt_bezel_onoff[0]);
    QCOMPARE(fx.received(), QStringList{"BEZ000"});
    QVERIFY(!c.hsr_bezel_h->isEnabled());
    QVERIFY(!fx.device().state().bezel_on);

    fx.click(c.opt_bezel_onoff[1]);
    QCOMPARE(fx.received(), (QStringList{"BEZ000", "BEZ001"}));
    QVERIFY(c.hsr_bezel_v->isEnabled());
    QVERIFY(fx.device().state().bezel_on);
    QVERIFY(fx.console().contains("BEZ001>"));

    // While a reply is being applied the click sends nothing.
    fx.ps().send_enable = false;
    fx.click(c.opt_bezel_onoff[0]);
    fx.ps().send_enable = true;
    fx.settle(30);
    QCOMPARE(fx.received().size(), 2);
  }

  void a_late_limit_is_a_limit_and_never_a_value() {
    PanelFixture fx;
    fx.power_on();
    auto& c = fx.c();
    QVERIFY(fx.device_says("BEH030"));
    fx.device().state().bezel_h_limit = 120;
    corvane::Faults faults;
    faults.late = {{"BEH", 800}};
    fx.sim().set_faults(faults);
    fx.clear_received();

    query_limit(fx, "BEH");  // the wait gives up before the answer comes
    QVERIFY(!fx.model().answered());
    QVERIFY(fx.wait_for([&] { return c.hsr_bezel_h->maximum() == 120; }));
    QCOMPARE(c.hsr_bezel_h->value(), 30);
    QCOMPARE(c.txt_bezel_h->text(), QString("30"));
    QVERIFY(!limit_awaited(fx));
    // The next arrow click steps from the value.
    c.hsr_bezel_h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QVERIFY2(fx.received_exactly({"BEH998", "BEH031"}), log_of(fx));

    // A limit above 254 is none: the mark waits on, until the next refresh ends it.
    faults = {};
    faults.silent = {"BEV"};
    fx.sim().set_faults(faults);
    query_limit(fx, "BEV");
    QVERIFY(fx.device_says("BEV400"));
    QVERIFY(fx.model().model().bezel_limit_pending(1));
    fx.sim().set_faults({});
    fx.full_refresh();
    QVERIFY(!fx.model().model().bezel_limit_pending(1));
    QCOMPARE(c.hsr_bezel_v->maximum(), 150);
    QVERIFY(fx.device_says("BEV005"));
    QCOMPARE(c.hsr_bezel_v->value(), 5);
  }
};

QTEST_MAIN(BezelTest)
#include "test_bezel.moc"

