// The power button, the power reports and the controls they govern, against the simulated device.
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "panel/power.h"
#include "panel_fixture.h"
#include "ui/widgets.h"

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {

// The controls usable only while the device is on, in the order they are switched.
QList<QWidget*> governed(MainControls& c) {
  return {c.cmd_hdcp,   c.cbo_aspect, c.fra_btn, c.fra_recall_save, c.fra_dual_a,
          c.fra_dual_b, c.fra_bezel,  c.fra_pic, c.fra_audio,       c.fra_quad};
}

// Records the order in which watched widgets change their enabled state.
class EnableRecorder : public QObject {
 public:
  explicit EnableRecorder(const QList<QWidget*>& widgets) {
    for (QWidget* w : widgets) w->installEventFilter(this);
  }
  QStringList changes;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::EnabledChange) {
      auto* w = static_cast<QWidget*>(watched);
      changes << QStringLiteral("%1 %2").arg(w->objectName(), w->isEnabled() ? "on" : "off");
    }
    return false;
  }
};

// The governed controls that do not follow the display mode (in Matrix the
// audio and bezel frames stay disabled).
QList<QWidget*> governed_in_matrix(MainControls& c) {
  QList<QWidget*> list = governed(c);
  for (QWidget* w : {c.fra_dual_a, c.fra_dual_b, c.fra_bezel, c.fra_quad}) list.removeOne(w);
  return list;
}

QStringList names(const QList<QWidget*>& widgets, const char* how) {
  QStringList list;
  for (QWidget* w : widgets) list << w->objectName() + " " + how;
  return list;
}

}  // namespace

class PowerTest : public QObject {
  Q_OBJECT

 private slots:
  void governed_controls_wait_for_a_report_of_on() {
    PanelFixture fx;
    auto& c = fx.c();
    QCOMPARE(fx.model().pwr_state(), 254);
    for (QWidget* w : governed(c)) QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));

    fx.power_on();
    QCOMPARE(fx.model().pwr_state(), 1);
    for (QWidget* w : governed(c))
      QVERIFY2(w->isEnabled() == governed_in_matrix(c).contains(w), qPrintable(w->objectName()));
    QVERIFY(c.cmd_pwr->isEnabled());
    QVERIFY(c.cmd_fact_reset->isEnabled());
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_on.bmp"));
  }

  void a_power_cycle_switches_the_governed_groups() {
    PanelFixture fx;
    auto& c = fx.c();
    corvane::Faults faults;
    faults.restart_ms = 50;  // waking from standby restarts the device
    fx.sim().set_faults(faults);
    fx.power_on();
    fx.clear_received();
    EnableRecorder recorder(governed(c) + QList<QWidget*>{c.cmd_pwr});

    fx.click(c.cmd_pwr);  // on: asks for standby
    QCOMPARE(fx.received(), QStringList{"PWR000"});
    QCOMPARE(fx.model().pwr_state(), 0);
    QVERIFY(!fx.device().state().power_on);
    QCOMPARE(recorder.changes, names(governed_in_matrix(c), "off"));
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_standby.bmp"));
    QVERIFY(c.cmd_pwr->isEnabled());
    QVERIFY(c.cmd_fact_reset->isEnabled());

    recorder.changes.clear();
    fx.click(c.cmd_pwr);  // standby: asks for on
    QCOMPARE(fx.received(), (QStringList{"PWR000", "PWR001"}));
    QCOMPARE(fx.model().pwr_state(), 1);
    QVERIFY(fx.device().state().power_on);
    // The button is held disabled while the command is out, then enabled last.
    QCOMPARE(recorder.changes,
             QStringList{"cmd_pwr off"} + names(governed_in_matrix(c), "on") + QStringList{"cmd_pwr on"});
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_on.bmp"));
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_on.bmp"));
    QCOMPARE(fx.model().audio_state(), 254);  // the picture only
    QVERIFY(c.cmd_fact_reset->isEnabled());
    QVERIFY(fx.wait_for([&] { return !fx.sim().restarting(); }));
  }

  void the_button_waits_for_the_device() {
    PanelFixture fx;
    auto& c = fx.c();
    corvane::Faults faults;
    faults.silent = {"PWR"};
    fx.sim().set_faults(faults);

    fx.click(c.cmd_pwr);  // not yet known: asks for on
    QCOMPARE(fx.received(), QStringList{"PWR001"});
    QCOMPARE(fx.model().pwr_state(), 1);
    QVERIFY(!c.cmd_pwr->isEnabled());
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_none.bmp"));
    for (QWidget* w : governed(c)) QVERIFY(!w->isEnabled());

    // The report comes later, on its own.
    QVERIFY(fx.device_says("PWR001"));
    QVERIFY(c.cmd_pwr->isEnabled());
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_on.bmp"));
    for (QWidget* w : governed_in_matrix(c)) QVERIFY(w->isEnabled());
  }

  // Whatever became of a power-on request, the next report, on or standby,
  // makes the button usable again: the device is reachable.
  void every_report_revives_the_button_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("report");
    QTest::newRow("unanswered, then standby") << "silent" << "PWR000";
    QTest::newRow("refused, then standby") << "err" << "PWR000";
    QTest::newRow("dropped during a refresh, then standby") << "busy" << "PWR000";
    QTest::newRow("unanswered, then on") << "silent" << "PWR001";
  }
  void every_report_revives_the_button() {
    QFETCH(QString, fault);
    QFETCH(QString, report);
    PanelFixture fx;
    auto& c = fx.c();
    corvane::Faults faults;
    if (fault == "silent") faults.silent = {"PWR"};
    if (fault == "err") faults.err = {"PWR"};
    if (fault == "busy") faults.silent = {"VER"};  // the click comes while VER999 waits
    fx.sim().set_faults(faults);
    if (fault == "busy") {
      QTimer::singleShot(50, c.cmd_pwr, [&] { fx.click(c.cmd_pwr); });
      fx.full_refresh();
      QCOMPARE(fx.received(), QStringList{"VER999"});
    } else {
      fx.click(c.cmd_pwr);
    }
    QVERIFY(!c.cmd_pwr->isEnabled());
    fx.sim().set_faults({});
    QVERIFY(fx.device_says(report));
    QVERIFY(c.cmd_pwr->isEnabled());
  }

  // Switched on, the audio and bezel frames follow the display mode reported before.
  void power_on_keeps_the_mode_frames_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("enabled");  // frames enabled, besides those of every mode
    QTest::addColumn<QString>("first_dual_caption");
    QTest::newRow("Matrix") << "MOD001" << "" << "Left";
    QTest::newRow("Dual PoP") << "MOD002" << "fra_dual_a fra_dual_b" << "Left";
    QTest::newRow("TV Wall") << "MOD003" << "fra_bezel" << "Left";
    QTest::newRow("Dual PiP") << "MOD004" << "fra_dual_a fra_dual_b" << "Main";
    QTest::newRow("Quad") << "MOD005" << "fra_quad" << "Left";
  }
  void power_on_keeps_the_mode_frames() {
    QFETCH(QString, mode);
    QFETCH(QString, enabled);
    QFETCH(QString, first_dual_caption);
    PanelFixture fx;
    auto& c = fx.c();
    QVERIFY(fx.device_says(mode));  // before the device is known to be on
    QVERIFY(fx.device_says("PWR001"));
    QStringList on;
    for (QWidget* w : {c.fra_dual_a, c.fra_dual_b, c.fra_bezel, c.fra_quad})
      if (w->isEnabled()) on << w->objectName();
    QCOMPARE(on.join(' '), enabled);
    for (QWidget* w : governed_in_matrix(c)) QVERIFY(w->isEnabled());
    QCOMPARE(c.opt_da[1]->text(), first_dual_caption);
  }

  void any_digit_but_zero_reports_on() {
    PanelFixture fx;
    auto& c = fx.c();
    QVERIFY(fx.device_says("PWR002"));
    QCOMPARE(fx.model().pwr_state(), 1);
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_on.bmp"));
    for (QWidget* w : governed_in_matrix(c)) QVERIFY(w->isEnabled());
    fx.click(c.cmd_pwr);  // the device is on: the click asks for standby
    QCOMPARE(fx.received(), QStringList{"PWR000"});

    // Not a digit: nothing changes.
    QVERIFY(fx.device_says("PWRx"));
    QCOMPARE(fx.model().pwr_state(), 0);
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_standby.bmp"));
  }

  void on_a_closed_link_the_click_still_marks_the_wait() {
    PanelFixture fx({.link = PanelFixture::Link::None});
    auto& c = fx.c();
    fx.click(c.cmd_pwr);
    QCOMPARE(fx.messages(), QStringList{"RS232 port is disconnected !"});
    QVERIFY(fx.received().isEmpty());
    QCOMPARE(fx.model().pwr_state(), 1);
    QVERIFY(!c.cmd_pwr->isEnabled());
    QCOMPARE(button_picture(c.cmd_pwr), QString("power_none.bmp"));
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_on.bmp"));
    for (QWidget* w : governed(c)) QVERIFY(!w->isEnabled());
  }
};

QTEST_MAIN(PowerTest)
#include "test_power.moc"
