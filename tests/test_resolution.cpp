// Output resolution and aspect lists: choices, the device's replies, and the
// refusal of the interlaced 1080 resolutions outside the Matrix mode.
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QTest>

#include "panel/resolution.h"
#include "panel_fixture.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {

constexpr int k1080i50 = 4;  // list positions of the interlaced entries
constexpr int k1080i60 = 5;

void power_up(PanelFixture& fx) {
  // The device reports that it is on, as after a refresh.
  if (!fx.device_says(QStringLiteral("PWR001"))) qWarning("the power report did not arrive");
}

void report_mode(PanelFixture& fx, int m) {
  awaited(fx.link().tx_cmd(("MOD00" + std::to_string(m)).c_str()));
  fx.idle();
  fx.clear_received();
}

QList<bool> modes_enabled(MainControls& c) {
  QList<bool> on;
  for (int i = 1; i <= 5; ++i) on << c.cmd_mode[i]->isEnabled();
  return on;
}

// One choice from the list, as the user makes it. The refusal moves the list
// back at once, which a choice through the popup would take for a missed click.
void user_choice(PanelFixture& fx, QComboBox* combo, int index) {
  combo->setCurrentIndex(index);
  emit combo->activated(index);
  fx.done();
}

const QList<bool> kAllModes{true, true, true, true, true};
const QList<bool> kMatrixOnly{true, false, false, false, false};

}  // namespace

class ResolutionTest : public QObject {
  Q_OBJECT

 private slots:
  // The lists hold what the program folder and the aspect table say.
  void the_lists() {
    PanelFixture fx;
    QCOMPARE(fx.c().cbo_output->count(), 19);
    QVERIFY(fx.c().cbo_output->itemText(k1080i50).contains("1080i"));
    QVERIFY(fx.c().cbo_output->itemText(k1080i60).contains("1080i"));
    QCOMPARE(fx.c().cbo_aspect->count(), 5);
    QCOMPARE(fx.c().cbo_aspect->itemText(0), QStringLiteral("FULL"));
    QCOMPARE(fx.c().cbo_aspect->itemText(4), QStringLiteral("Keep Ratio"));
  }

  // In the Matrix mode every entry is sent; the 1080i ones lock the other
  // modes until another resolution is chosen.
  void choosing_in_the_matrix() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, 1);

    fx.choose(c.cbo_output, 0);
    QCOMPARE(fx.received(), QStringList{"RES001"});
    QCOMPARE(fx.device().state().resolution, 1);
    QCOMPARE(modes_enabled(c), kAllModes);

    for (int interlaced : {k1080i50, k1080i60}) {
      fx.clear_received();
      fx.choose(c.cbo_output, interlaced);
      QCOMPARE(fx.received(), QStringList{QStringLiteral("RES00%1").arg(interlaced + 1)});
      QCOMPARE(modes_enabled(c), kMatrixOnly);
      QVERIFY(c.cbo_output->isEnabled());
    }

    fx.clear_received();
    fx.choose(c.cbo_output, 11);
    QCOMPARE(fx.received(), QStringList{"RES012"});
    QCOMPARE(c.cbo_output->currentIndex(), 11);
    QCOMPARE(modes_enabled(c), kAllModes);
    QVERIFY(fx.messages().isEmpty());
  }

  // The restriction does not wait for the device: also a silent device
  // leaves the other modes locked.
  void the_lock_without_an_answer() {
    PanelFixture fx;
    power_up(fx);
    report_mode(fx, 1);
    corvane::Faults faults;
    faults.silent = {"RES"};
    fx.sim().set_faults(faults);
    fx.choose(fx.c().cbo_output, k1080i60);
    QCOMPARE(fx.received(), QStringList{"RES006"});
    QCOMPARE(modes_enabled(fx.c()), kMatrixOnly);
    QCOMPARE(fx.c().cbo_output->currentIndex(), k1080i60);  // keeps the user's choice
    QVERIFY(fx.c().cbo_output->isEnabled());
  }

  // Outside the Matrix the device is asked for its resolution instead, the
  // user is told why, and the list goes back to the device's value.
  void the_1080i_refusal() {
    for (int mode : {2, 3, 4, 5}) {
      PanelFixture fx;
      power_up(fx);
      auto& c = fx.c();
      report_mode(fx, mode);
      fx.device().state().resolution = 8;
      const QList<bool> before = modes_enabled(c);

      user_choice(fx, c.cbo_output, k1080i50);

      QCOMPARE(fx.received(), QStringList{"RES999"});
      QCOMPARE(fx.messages(), QStringList{Resolution::kInterlacedRefused});
      QCOMPARE(fx.notifier().icons.value(0), MessageIcon::Warning);
      QCOMPARE(QString(Resolution::kInterlacedRefused),
               QStringLiteral("1080i50/60 are not supported for Dual PoP, TV Wall, Dual PiP, Quad"));
      QCOMPARE(c.cbo_output->currentIndex(), 7);
      QCOMPARE(fx.device().state().resolution, 8);
      QCOMPARE(modes_enabled(c), before);
      QVERIFY(fx.ps().send_enable);
    }
  }

  void choosing_an_aspect() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.choose(c.cbo_aspect, 2);
    fx.choose(c.cbo_aspect, 0);
    fx.choose(c.cbo_aspect, 0);  // chosen again: sent again
    QCOMPARE(fx.received(), (QStringList{"ASP002", "ASP000", "ASP000"}));
    QCOMPARE(fx.device().state().aspect, 0);
    QVERIFY(c.cbo_aspect->isEnabled());
  }

  // Nothing is sent while the window is loading or a reply sets a list.
  void choices_while_sending_is_off() {
    PanelFixture fx;
    power_up(fx);
    fx.ps().send_enable = false;
    fx.choose(fx.c().cbo_aspect, 3);
    fx.choose(fx.c().cbo_output, 2);
    fx.settle(20);
    QVERIFY(fx.received().isEmpty());
  }

  // Replies move the lists without sending anything back, also those the
  // device sends on its own.
  void replies_select_entries() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();

    awaited(fx.link().tx_cmd("RES999"));
    QCOMPARE(c.cbo_output->currentIndex(), 2);  // the device's 1024x768
    fx.sim().send_unsolicited("RES012");
    QVERIFY(fx.wait_for([&] { return c.cbo_output->currentIndex() == 11; }));
    fx.sim().send_unsolicited("RES010");
    QVERIFY(fx.wait_for([&] { return c.cbo_output->currentIndex() == 9; }));
    fx.sim().send_unsolicited("ASP004");
    QVERIFY(fx.wait_for([&] { return c.cbo_aspect->currentIndex() == 4; }));
    QCOMPARE(c.cbo_aspect->currentText(), QStringLiteral("Keep Ratio"));
    fx.sim().front_panel("ASP001");
    QVERIFY(fx.wait_for([&] { return c.cbo_aspect->currentIndex() == 1; }));
    QCOMPARE(fx.received(), QStringList{"RES999"});
    QVERIFY(fx.ps().send_enable);

    // A reply in the Matrix mode does not lock the other modes.
    fx.sim().send_unsolicited("RES005");
    QVERIFY(fx.wait_for([&] { return c.cbo_output->currentIndex() == k1080i50; }));
    QCOMPARE(modes_enabled(c), kAllModes);

    // RES000 leaves no entry selected.
    fx.sim().send_unsolicited("RES000");
    QVERIFY(fx.wait_for([&] { return c.cbo_output->currentIndex() == -1; }));
    fx.settle(20);
    QCOMPARE(fx.received(), QStringList{"RES999"});
  }

  // Values past a list's last entry, or no number at all, change nothing.
  void replies_past_the_lists() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.sim().send_unsolicited("RES007");
    fx.sim().send_unsolicited("ASP003");
    QVERIFY(fx.wait_for([&] { return c.cbo_aspect->currentIndex() == 3; }));
    QCOMPARE(c.cbo_output->currentIndex(), 6);

    fx.device().state().resolution = 25;  // the device knows more than the list
    awaited(fx.link().tx_cmd("RES999"));
    QVERIFY(fx.link().state().rx_flag);
    for (const char* line : {"RES020", "RES099", "RES0X1", "ASP005", "ASP009", "ASP00Z", "RES",
                             "ASP"})
      fx.sim().send_unsolicited(line);
    fx.settle(80);
    QCOMPARE(c.cbo_output->currentIndex(), 6);
    QCOMPARE(c.cbo_aspect->currentIndex(), 3);
    QVERIFY(fx.ps().send_enable);
    fx.sim().send_unsolicited("RES019");
    QVERIFY(fx.wait_for([&] { return c.cbo_output->currentIndex() == 18; }));
  }

  // A mode change enables every mode button again, even after a 1080i
  // choice in the Matrix.
  void a_mode_change_releases_the_mode_buttons() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, 1);
    fx.choose(c.cbo_output, k1080i50);
    QCOMPARE(modes_enabled(c), kMatrixOnly);
    fx.click(c.cmd_mode[1]);
    QCOMPARE(modes_enabled(c), kAllModes);
  }
};

QTEST_MAIN(ResolutionTest)
#include "test_resolution.moc"

