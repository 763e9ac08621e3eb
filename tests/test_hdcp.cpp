// The HDCP window: its refresh sequence, its option buttons and the HPI/HPO replies.
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "panel_fixture.h"
#include "ui/widgets.h"
#include "windows/frm_hdcp.h"
#include "windows/hdcp_control.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
const QStringList kQueries{"HPI991", "HPI992", "HPI993", "HPI994",
                           "HPO991", "HPO992", "HPO993", "HPO994"};

// Which option of a pair is selected: 0, 1, or -1 for neither.
int selected(const std::array<QRadioButton*, 2>& pair) {
  if (pair[0]->isChecked()) return 0;
  if (pair[1]->isChecked()) return 1;
  return -1;
}
}  // namespace

class TestHdcp : public QObject {
  Q_OBJECT
 private slots:
  void opening_reads_eight_settings_in_order();
  void refresh_stops_at_first_silent_query();
  void options_send_their_pair_command();
  void replies_select_without_sending();
  void replies_while_closed_change_nothing();
  void button_toggles_and_close_box_clears_flag();
  void controls_have_names_and_places();
};

void TestHdcp::opening_reads_eight_settings_in_order() {
  PanelFixture fx;
  fx.power_on();
  fx.device().state().hdcp_in = {0, 1, 1, 0};
  fx.device().state().hdcp_out = {1, 0, 0, 1};
  fx.clear_received();

  int seen = 0;
  QObject::connect(&fx.sim(), &corvane::SimServer::command_received, [&](const QString&) {
    FrmHdcp* w = fx.main().hdcp().window();
    QVERIFY(w && !w->fra_hdcp_input->isEnabled() && !w->fra_hdcp_output->isEnabled());
    ++seen;
  });
  fx.click(fx.c().cmd_hdcp);
  QVERIFY(fx.ps().hdcp_open);
  QCOMPARE(fx.received(), kQueries);
  QCOMPARE(seen, 8);
  FrmHdcp* w = fx.main().hdcp().window();
  QVERIFY(w->isVisible());
  QVERIFY(w->fra_hdcp_input->isEnabled() && w->fra_hdcp_output->isEnabled());
  for (int n = 1; n <= 4; ++n) {
    QCOMPARE(selected(w->opt_hdcp_in[n]), fx.device().state().hdcp_in[n - 1]);
    QCOMPARE(selected(w->opt_hdcp_out[n]), fx.device().state().hdcp_out[n - 1]);
  }
}

void TestHdcp::refresh_stops_at_first_silent_query() {
  PanelFixture fx;
  fx.power_on();
  corvane::Faults f;
  f.silent = {QStringLiteral("HPO")};
  fx.sim().set_faults(f);
  fx.clear_received();

  fx.click(fx.c().cmd_hdcp);
  QCOMPARE(fx.received(), kQueries.mid(0, 5));
  FrmHdcp* w = fx.main().hdcp().window();
  // Enabled again also after an early stop; the outputs stay unselected.
  QVERIFY(w->fra_hdcp_input->isEnabled() && w->fra_hdcp_output->isEnabled());
  for (int n = 1; n <= 4; ++n) {
    QCOMPARE(selected(w->opt_hdcp_in[n]), 0);
    QCOMPARE(selected(w->opt_hdcp_out[n]), -1);
  }

  // "ERR" counts as an answer: the sequence goes on.
  f.silent.clear();
  f.err = {QStringLiteral("HPI")};
  fx.sim().set_faults(f);
  fx.clear_received();
  fx.click(w->cmd_refresh);
  QCOMPARE(fx.received(), kQueries);
}

void TestHdcp::options_send_their_pair_command() {
  PanelFixture fx;
  fx.power_on();
  fx.device().state().hdcp_out[3] = 1;
  fx.click(fx.c().cmd_hdcp);
  FrmHdcp* w = fx.main().hdcp().window();
  fx.clear_received();

  fx.click(w->opt_hdcp_in[2][1]);   // input 2 off
  fx.click(w->opt_hdcp_out[4][0]);  // output D follows its input
  QCOMPARE(fx.received(), (QStringList{"HPI021", "HPO040"}));
  QCOMPARE(fx.device().state().hdcp_in[1], 1);
  QCOMPARE(fx.device().state().hdcp_out[3], 0);
  // The pairs are independent of one another.
  QCOMPARE(selected(w->opt_hdcp_in[2]), 1);
  QCOMPARE(selected(w->opt_hdcp_in[1]), 0);
  QCOMPARE(selected(w->opt_hdcp_out[4]), 0);
}

void TestHdcp::replies_select_without_sending() {
  PanelFixture fx;
  fx.power_on();
  fx.click(fx.c().cmd_hdcp);
  FrmHdcp* w = fx.main().hdcp().window();
  fx.clear_received();

  fx.sim().send_unsolicited(QStringLiteral("HPO021"));
  QVERIFY(fx.wait_for([&] { return selected(w->opt_hdcp_out[2]) == 1; }));
  fx.sim().send_unsolicited(QStringLiteral("HPI031"));
  QVERIFY(fx.wait_for([&] { return selected(w->opt_hdcp_in[3]) == 1; }));
  fx.settle(20);
  QCOMPARE(fx.received(), QStringList{});
  QVERIFY(fx.ps().send_enable);
  // Only the named input or output changes.
  for (int n = 1; n <= 4; ++n) {
    if (n != 3) QCOMPARE(selected(w->opt_hdcp_in[n]), 0);
    if (n != 2) QCOMPARE(selected(w->opt_hdcp_out[n]), 0);
  }

  // Replies naming no input or no option change nothing and re-enable sending.
  fx.sim().send_unsolicited(QStringLiteral("HPI051"));
  fx.sim().send_unsolicited(QStringLiteral("HPI017"));
  fx.sim().send_unsolicited(QStringLiteral("HPI0x1"));
  fx.settle(40);
  QCOMPARE(selected(w->opt_hdcp_in[1]), 0);
  QVERIFY(fx.ps().send_enable);
}

void TestHdcp::replies_while_closed_change_nothing() {
  PanelFixture fx;
  fx.power_on();
  fx.click(fx.c().cmd_hdcp);
  FrmHdcp* w = fx.main().hdcp().window();
  w->close();
  QVERIFY(!fx.ps().hdcp_open);

  fx.ps().send_enable = false;  // left as it is by a reply to a closed window
  fx.sim().send_unsolicited(QStringLiteral("HPI011"));
  fx.settle(40);
  QCOMPARE(selected(w->opt_hdcp_in[1]), 0);
  QVERIFY(!fx.ps().send_enable);
  fx.ps().send_enable = true;

  // A query sent while closed is answered and dispatched; the window stays as it was.
  awaited(fx.model().hdcp_refresh());
  QVERIFY(fx.link().state().rx_flag);
  QCOMPARE(selected(w->opt_hdcp_in[1]), 0);
}

void TestHdcp::button_toggles_and_close_box_clears_flag() {
  PanelFixture fx;
  fx.power_on();
  fx.main().show();
  fx.main().move(100, 500);
  fx.click(fx.c().cmd_hdcp);
  FrmHdcp* w = fx.main().hdcp().window();
  QVERIFY(w->isVisible());
  // Its lower edge at the height of the main window's "HDCP" button.
  const int button_top = fx.c().cmd_hdcp->mapTo(&fx.main(), QPoint(0, 0)).y();
  QCOMPARE(w->frameGeometry().left(), fx.main().frameGeometry().left());
  QCOMPARE(w->frameGeometry().bottom() + 1, fx.main().frameGeometry().top() + button_top);

  fx.clear_received();
  fx.click(fx.c().cmd_hdcp);
  QVERIFY(!fx.ps().hdcp_open);
  QVERIFY(!w->isVisible());
  QCOMPARE(fx.received(), QStringList{});

  // Opening again clears what the window showed and asks again.
  fx.device().state().hdcp_in[0] = 1;
  fx.click(fx.c().cmd_hdcp);
  QVERIFY(fx.ps().hdcp_open);
  QCOMPARE(fx.received(), kQueries);
  QCOMPARE(selected(fx.main().hdcp().window()->opt_hdcp_in[1]), 1);

  fx.main().hdcp().window()->close();
  QVERIFY(!fx.ps().hdcp_open);
  fx.clear_received();
  fx.click(fx.c().cmd_hdcp);
  QVERIFY(fx.ps().hdcp_open);
  QCOMPARE(fx.received().size(), 8);
}

void TestHdcp::controls_have_names_and_places() {
  PanelFixture fx;
  fx.power_on();
  fx.click(fx.c().cmd_hdcp);
  FrmHdcp* w = fx.main().hdcp().window();
  QCOMPARE(w->windowTitle(), QStringLiteral("HDCP"));
  QVERIFY(w->windowFlags().testFlag(Qt::Tool));
  QCOMPARE(w->size(), QSize(twips(FrmHdcp::kClientWidth), twips(FrmHdcp::kClientHeight)));
  QCOMPARE(w->fra_hdcp_input->title(), QStringLiteral("HDCP Input"));
  QCOMPARE(w->fra_hdcp_output->title(), QStringLiteral("HDCP Output"));
  QCOMPARE(w->opt_hdcp_in[1][0]->accessibleName(), QStringLiteral("HDCP input 1 on"));
  QCOMPARE(w->opt_hdcp_in[4][1]->accessibleName(), QStringLiteral("HDCP input 4 off"));
  QCOMPARE(w->opt_hdcp_out[2][1]->accessibleName(), QStringLiteral("HDCP output B follow output"));
  QVERIFY(!w->cmd_refresh->accessibleName().isEmpty());
  // Output A's pair lies left of output D's.
  QVERIFY(w->opt_hdcp_out[1][0]->mapTo(w, QPoint()).x() < w->opt_hdcp_out[4][0]->mapTo(w, QPoint()).x());
  QCOMPARE(w->fra_i[7], w->opt_hdcp_out[1][0]->parentWidget());
}

QTEST_MAIN(TestHdcp)
#include "test_hdcp.moc"

