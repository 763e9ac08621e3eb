// The DUAL PiP window and its P indicator: the refresh in Dual PiP only, the
// size lists, the corner buttons, swap, and the replies while the window is closed.
#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "panel/overlays.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "windows/frm_pip.h"
#include "windows/pip_control.h"

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
const QStringList kQueries{"PPO991", "PPO992", "PSZ991", "PSZ992"};

// Puts the panel in Dual PiP as the mode reply would.
void dual_pip(PanelFixture& fx) {
  fx.device().state().mode = 4;
  if (!fx.device_says(QStringLiteral("MOD004"))) qWarning("the mode report did not arrive");
}

FrmPip* open_pip(PanelFixture& fx) {
  if (!fx.ps().pip_open) fx.click(fx.c().lab_pip);
  return fx.main().pip().window();
}

// Index of the highlighted corner, or -1 when all are grey.
int blue_corner(const std::array<QPushButton*, 4>& corners) {
  int found = -1;
  for (int n = 0; n < 4; ++n) {
    const QColor c = back_color(corners[n]);
    if (c == colour::highlight_blue) {
      if (found >= 0) return -2;
      found = n;
    } else if (c != colour::idle_grey) {
      return -3;
    }
  }
  return found;
}
}  // namespace

class TestPip : public QObject {
  Q_OBJECT
 private slots:
  void opening_outside_dual_pip_sends_nothing();
  void opening_in_dual_pip_reads_four_settings();
  void refresh_stops_at_first_silent_query();
  void lists_corners_and_swap_send_commands();
  void replies_set_controls_without_sending();
  void closed_window_ignores_replies_and_indicator_toggles();
};

void TestPip::opening_outside_dual_pip_sends_nothing() {
  PanelFixture fx;
  fx.power_on();
  fx.clear_received();
  FrmPip* w = open_pip(fx);
  QVERIFY(w && w->isVisible());
  QVERIFY(fx.ps().pip_open);
  QCOMPARE(fx.received(), QStringList{});
  QCOMPARE(w->cbo_a_size->currentIndex(), -1);
  QCOMPARE(w->cbo_b_size->currentIndex(), -1);
  QCOMPARE(w->cbo_a_size->count(), 4);
  QCOMPARE(w->cbo_b_size->itemText(3), QStringLiteral("Off"));
  QCOMPARE(blue_corner(w->cmd_a_pos), -1);
  QCOMPARE(blue_corner(w->cmd_b_pos), -1);
  QCOMPARE(w->windowTitle(), QStringLiteral("DUAL PiP"));
  QCOMPARE(w->cbo_a_size->accessibleName(), QStringLiteral("PiP A size"));
  QCOMPARE(w->cmd_b_pos[3]->accessibleName(), QStringLiteral("PiP B lower left"));
}

void TestPip::opening_in_dual_pip_reads_four_settings() {
  PanelFixture fx;
  fx.power_on();
  fx.main().show();
  fx.main().move(100, 500);
  dual_pip(fx);
  fx.device().state().pip_corner = {3, 0};
  fx.device().state().pip_size = {2, 0};
  fx.clear_received();

  QColor during;
  QObject::connect(&fx.sim(), &corvane::SimServer::command_received, [&](const QString&) {
    during = fx.c().sha_pip->fill();
  });
  FrmPip* w = open_pip(fx);
  QCOMPARE(fx.received(), kQueries);
  QCOMPARE(during, colour::busy_red);
  QCOMPARE(fx.c().sha_pip->fill(), colour::indicator_grey);
  QCOMPARE(blue_corner(w->cmd_a_pos), 3);
  QCOMPARE(blue_corner(w->cmd_b_pos), 0);
  QCOMPARE(w->cbo_a_size->currentIndex(), 2);
  QCOMPARE(w->cbo_b_size->currentIndex(), 0);
  // Its lower edge on the main window's upper edge, 5385 twips in from its left.
  QCOMPARE(w->frameGeometry().bottom() + 1, fx.main().frameGeometry().top());
  QCOMPARE(w->frameGeometry().left(), fx.main().frameGeometry().left() + twips(5385));
}

void TestPip::refresh_stops_at_first_silent_query() {
  PanelFixture fx;
  fx.power_on();
  dual_pip(fx);
  corvane::Faults f;
  f.silent = {QStringLiteral("PPO")};
  fx.sim().set_faults(f);
  fx.clear_received();
  FrmPip* w = open_pip(fx);
  QCOMPARE(fx.received(), QStringList{"PPO991"});
  QCOMPARE(w->cbo_a_size->currentIndex(), -1);

  // "ERR" counts as an answer.
  f.silent.clear();
  f.err = {QStringLiteral("PPO")};
  fx.sim().set_faults(f);
  fx.clear_received();
  fx.click(w->cmd_refresh);
  QCOMPARE(fx.received(), kQueries);
  QCOMPARE(w->cbo_a_size->currentIndex(), 1);
}

void TestPip::lists_corners_and_swap_send_commands() {
  PanelFixture fx;
  fx.power_on();
  dual_pip(fx);
  FrmPip* w = open_pip(fx);
  fx.clear_received();

  fx.choose(w->cbo_b_size, 3);
  fx.choose(w->cbo_a_size, 0);
  QCOMPARE(fx.received(), (QStringList{"PSZ023", "PSZ010"}));
  QCOMPARE(fx.device().state().pip_size[1], 3);
  QVERIFY(w->cbo_a_size->isEnabled() && w->cbo_b_size->isEnabled());

  fx.clear_received();
  fx.device().state().pip_corner[0] = 1;
  // Only the reply paints the corner; with the reply silenced nothing changes.
  corvane::Faults f;
  f.silent = {QStringLiteral("PPO")};
  fx.sim().set_faults(f);
  const int before = blue_corner(w->cmd_a_pos);
  fx.click(w->cmd_a_pos[3]);
  QCOMPARE(fx.received(), QStringList{"PPO013"});
  QCOMPARE(blue_corner(w->cmd_a_pos), before);
  fx.sim().set_faults({});
  fx.click(w->cmd_a_pos[3]);
  QCOMPARE(blue_corner(w->cmd_a_pos), 3);

  fx.clear_received();
  fx.click(w->cmd_a_swap);
  fx.click(w->cmd_b_swap);
  fx.click(w->cmd_b_swap);
  QCOMPARE(fx.received(), (QStringList{"PSW001", "PSW002", "PSW002"}));
  QCOMPARE(blue_corner(w->cmd_a_pos), 3);
}

void TestPip::replies_set_controls_without_sending() {
  PanelFixture fx;
  fx.power_on();
  dual_pip(fx);
  fx.device().state().pip_corner = {0, 1};
  FrmPip* w = open_pip(fx);
  fx.clear_received();

  fx.sim().send_unsolicited(QStringLiteral("PSZ013"));
  QVERIFY(fx.wait_for([&] { return w->cbo_a_size->currentIndex() == 3; }));
  fx.sim().send_unsolicited(QStringLiteral("PPO022"));
  QVERIFY(fx.wait_for([&] { return blue_corner(w->cmd_b_pos) == 2; }));
  QCOMPARE(blue_corner(w->cmd_a_pos), 0);  // PiP A left as it was
  fx.settle(20);
  QCOMPARE(fx.received(), QStringList{});

  // Replies naming no PiP, corner or size change nothing and re-enable sending.
  fx.sim().send_unsolicited(QStringLiteral("PPO035"));
  fx.sim().send_unsolicited(QStringLiteral("PPO017"));
  fx.sim().send_unsolicited(QStringLiteral("PSZ029"));
  fx.settle(40);
  QCOMPARE(blue_corner(w->cmd_a_pos), 0);
  QCOMPARE(blue_corner(w->cmd_b_pos), 2);
  QCOMPARE(w->cbo_b_size->currentIndex(), 1);
  QVERIFY(fx.ps().send_enable);
}

void TestPip::closed_window_ignores_replies_and_indicator_toggles() {
  PanelFixture fx;
  fx.power_on();
  dual_pip(fx);
  FrmPip* w = open_pip(fx);
  const int corner = blue_corner(w->cmd_a_pos);

  // A second click on P closes the window; the circle is grey again.
  fx.click(fx.c().lab_pip);
  QVERIFY(!fx.ps().pip_open);
  QVERIFY(!w->isVisible());
  QCOMPARE(fx.c().sha_pip->fill(), colour::indicator_grey);

  fx.ps().send_enable = false;
  fx.sim().send_unsolicited(QStringLiteral("PPO013"));
  fx.sim().send_unsolicited(QStringLiteral("PSZ012"));
  fx.settle(40);
  QCOMPARE(blue_corner(w->cmd_a_pos), corner);
  QCOMPARE(w->cbo_a_size->currentIndex(), 1);
  QVERIFY(!fx.ps().send_enable);
  fx.ps().send_enable = true;

  // Reopened: freshly read. The close box clears the flag too.
  fx.device().state().pip_corner[0] = 3;
  fx.device().state().pip_size[0] = 2;
  fx.clear_received();
  w = open_pip(fx);
  QCOMPARE(fx.received(), kQueries);
  QCOMPARE(blue_corner(w->cmd_a_pos), 3);
  QCOMPARE(w->cbo_a_size->currentIndex(), 2);
  w->close();
  QVERIFY(!fx.ps().pip_open);
  open_pip(fx);
  QVERIFY(fx.ps().pip_open);
}

QTEST_MAIN(TestPip)
#include "test_pip.moc"
