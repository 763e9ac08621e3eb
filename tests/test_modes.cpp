// Display modes: the mode buttons, the road of one mode change, and what each
// mode report does to the main window.
#include <QAccessible>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "panel/modes.h"
#include "expected_commands.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;
using quadrel::test::map_queries;
using quadrel::test::picture_queries;

namespace {


QStringList texts(const std::array<QPushButton*, 5>& buttons) {
  QStringList t;
  for (int n = 1; n <= 4; ++n) t << buttons[n]->text();
  return t;
}

QStringList row_captions(const std::array<QLabel*, 5>& labels) {
  QStringList t;
  for (int n = 1; n <= 4; ++n) t << labels[n]->text();
  return t;
}

// The mode buttons that are highlighted, by index.
QList<int> blue_modes(MainControls& c) {
  QList<int> blue;
  for (int i = 1; i <= 5; ++i)
    if (back_color(c.cmd_mode[i]) == colour::highlight_blue) blue << i;
  return blue;
}

// What assistive tools are told of a control.
QString told_name(QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name); }
bool told_checked(QWidget* w) { return QAccessible::queryAccessibleInterface(w)->state().checked; }

QList<int> blue_channels(MainControls& c) {
  QList<int> blue;
  for (int n = 1; n <= 4; ++n)
    if (back_color(c.cmd_out[n]) == colour::highlight_blue) blue << n;
  return blue;
}

bool all_modes_enabled(MainControls& c, bool enabled) {
  for (int i = 1; i <= 5; ++i)
    if (c.cmd_mode[i]->isEnabled() != enabled) return false;
  return true;
}

// Every picture slider of rows first..4.
QList<QScrollBar*> sliders(MainControls& c, int first = 1) {
  QList<QScrollBar*> s;
  for (int n = first; n <= 4; ++n) s << c.hsr_con[n] << c.hsr_bri[n] << c.hsr_sat[n] << c.hsr_hue[n];
  return s;
}

// A window whose device is on and whose groups are live.
void power_up(PanelFixture& fx) {
  // The device reports that it is on, as after a refresh.
  if (!fx.device_says(QStringLiteral("PWR001"))) qWarning("the power report did not arrive");
}

// Puts the window into mode m as a report of the device would, without the
// queries of a mode change.
void report_mode(PanelFixture& fx, int m) {
  awaited(fx.link().tx_cmd(("MOD00" + std::to_string(m)).c_str()));
  fx.idle();
  fx.device().state().mode = m;
  fx.clear_received();
}

}  // namespace

class ModesTest : public QObject {
  Q_OBJECT

 private slots:
  // A click on "Dual PoP" over the serial link, from the button to the
  // relabelled window and the map read back from the device.
  void road_of_one_action() {
    PanelFixture fx;
    power_up(fx);
    fx.link().cmd_clear_Click();
    auto& c = fx.c();
    fx.device().state().inputs = {3, 1, 4, 2};
    set_back_color(c.cmd_recall[2], colour::highlight_blue);
    set_back_color(c.cmd_save[3], colour::highlight_blue);

    // What the window looks like while the device is being asked.
    bool first_seen = false, buttons_locked = true, out_grey_at_start = false;
    QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(),
                     [&](const QString&) {
                       buttons_locked = buttons_locked && all_modes_enabled(c, false);
                       if (!first_seen) {
                         first_seen = true;
                         out_grey_at_start = blue_channels(c).isEmpty() &&
                                             back_color(c.cmd_recall[2]) == colour::idle_grey &&
                                             back_color(c.cmd_save[3]) == colour::idle_grey;
                       }
                     });

    fx.click(c.cmd_mode[2]);

    QStringList expected{"MOD002"};
    expected << map_queries() << picture_queries(2) << "ASP999";
    QCOMPARE(fx.received(), expected);
    // The console box shows the reply's carriage return as a line end.
    QString console = fx.console();
    console.replace(QChar(u'\n'), QChar(u'\r'));
    QVERIFY(console.startsWith("MOD002>MOD002\r OUT001>OUT001\r INP999>"));
    QVERIFY(buttons_locked);
    QVERIFY(out_grey_at_start);

    // The relabelled window.
    QCOMPARE(fx.model().disp_mode(), 2);
    QCOMPARE(fx.model().dual_kind(), 1);
    QCOMPARE(texts(c.cmd_out), (QStringList{"AL", "AR", "BL", "BR"}));
    QCOMPARE(blue_modes(c), QList<int>{2});
    QVERIFY(all_modes_enabled(c, true));
    QVERIFY(!c.fra_dual_a->isHidden() && c.fra_dual_a->isEnabled());
    QVERIFY(!c.fra_dual_b->isHidden() && c.fra_dual_b->isEnabled());
    QVERIFY(c.fra_quad->isHidden());
    QCOMPARE(c.opt_da[1]->text(), QStringLiteral("Left"));
    QCOMPARE(c.opt_db[2]->text(), QStringLiteral("Right"));
    QVERIFY(c.lab_pip->isHidden() && c.sha_pip->isHidden());
    // The map as the device reports it: channel 4 is current.
    QCOMPARE(fx.model().sel_out(), 4);
    QCOMPARE(blue_channels(c), QList<int>{4});
    const std::array<int, 4> routed{3, 1, 4, 2};
    for (int ch = 1; ch <= 4; ++ch) {
      for (int in = 1; in <= 4; ++in) {
        const bool green = routed[ch - 1] == in;
        QCOMPARE(c.sha_out_in[ch][in]->fill(), green ? colour::routed_green : colour::idle_grey);
        QCOMPARE(!c.lab_out_in[ch][in]->isHidden(), ch == 4 || green);
      }
    }
    QCOMPARE(back_color(c.cmd_recall[2]), colour::idle_grey);
    QCOMPARE(back_color(c.cmd_save[3]), colour::idle_grey);
  }

  void each_mode_relays_the_window_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("from");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("disp_mode");
    QTest::addColumn<int>("dual_kind");
    QTest::addColumn<bool>("dual_shown");
    QTest::addColumn<bool>("quad_shown");
    QTest::addColumn<bool>("pip_shown");

    QTest::newRow("Matrix") << 1 << 5 << QStringList{"A", "B", "C", "D"}
                            << QStringList{"ALL", "", "", ""} << 1 << 0 << false << true << false;
    QTest::newRow("Dual PoP") << 2 << 5 << QStringList{"AL", "AR", "BL", "BR"}
                              << QStringList{"AL", "AR", "BL", "BR"} << 2 << 1 << true << false
                              << false;
    QTest::newRow("TV Wall") << 3 << 1 << QStringList{"Wall", "", "", ""}
                             << QStringList{"Out A", "Out B", "Out C", "Out D"} << 3 << 0 << true
                             << false << false;
    QTest::newRow("Dual PiP") << 4 << 5 << QStringList{"AM", "AS", "BM", "BS"}
                              << QStringList{"AM", "AS", "BM", "BS"} << 2 << 2 << true << false
                              << true;
    QTest::newRow("Quad") << 5 << 1 << QStringList{"Q1", "Q2", "Q3", "Q4"}
                          << QStringList{"Q1", "Q2", "Q3", "Q4"} << 5 << 0 << false << true << false;
  }

  void each_mode_relays_the_window() {
    QFETCH(int, mode);
    QFETCH(int, from);
    QFETCH(QStringList, channels);
    QFETCH(QStringList, rows);
    QFETCH(int, disp_mode);
    QFETCH(int, dual_kind);
    QFETCH(bool, dual_shown);
    QFETCH(bool, quad_shown);
    QFETCH(bool, pip_shown);

    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, from);
    // Every report first disables the four audio and bezel frames.
    for (QGroupBox* f : {c.fra_dual_a, c.fra_dual_b, c.fra_quad, c.fra_bezel}) f->setEnabled(true);
    c.hsr_con[1]->setEnabled(false);  // row 1 is not the Matrix report's business

    fx.click(c.cmd_mode[mode]);

    QCOMPARE(fx.received().value(0), QStringLiteral("MOD00%1").arg(mode));
    QCOMPARE(fx.received().mid(1), test::mode_change_queries(mode));
    QCOMPARE(fx.model().disp_mode(), disp_mode);
    QCOMPARE(fx.model().dual_kind(), dual_kind);
    QCOMPARE(texts(c.cmd_out), channels);
    QCOMPARE(row_captions(c.lab_con), rows);
    QCOMPARE(row_captions(c.lab_bri), rows);
    QCOMPARE(row_captions(c.lab_sat), rows);
    QCOMPARE(row_captions(c.lab_hue), rows);
    QCOMPARE(blue_modes(c), QList<int>{mode});
    QVERIFY(all_modes_enabled(c, true));
    // Assistive tools hear the captions shown and the current mode as checked.
    for (int i = 1; i <= 5; ++i) QCOMPARE(told_checked(c.cmd_mode[i]), i == mode);
    for (int n = 1; n <= 4; ++n) {
      const QString unused = QStringLiteral("Output %1, not used").arg(QChar(u'A' + n - 1));
      QCOMPARE(told_name(c.cmd_out[n]), channels[n - 1].isEmpty() ? unused : channels[n - 1]);
      QCOMPARE(told_name(c.hsr_sat[n]), rows[n - 1].isEmpty() ? QStringLiteral("Saturation row %1, not used").arg(n)
                                                              : "Saturation " + rows[n - 1]);
      QCOMPARE(told_checked(c.cmd_out[n]), blue_channels(c).contains(n));
    }

    QCOMPARE(!c.fra_dual_a->isHidden(), dual_shown);
    QCOMPARE(!c.fra_dual_b->isHidden(), dual_shown);
    QCOMPARE(!c.fra_quad->isHidden(), quad_shown);
    QCOMPARE(c.fra_dual_a->isEnabled(), mode == 2 || mode == 4);
    QCOMPARE(c.fra_dual_b->isEnabled(), mode == 2 || mode == 4);
    QCOMPARE(c.fra_quad->isEnabled(), mode == 5);
    QCOMPARE(c.fra_bezel->isEnabled(), mode == 3);
    QCOMPARE(!c.lab_pip->isHidden(), pip_shown);
    QCOMPARE(!c.sha_pip->isHidden(), pip_shown);
    if (mode == 2 || mode == 4) {
      const QString first = mode == 2 ? "Left" : "Main", second = mode == 2 ? "Right" : "Sub";
      QCOMPARE(c.opt_da[1]->text(), first);
      QCOMPARE(c.opt_db[1]->text(), first);
      QCOMPARE(c.opt_da[2]->text(), second);
      QCOMPARE(c.opt_db[2]->text(), second);
    }

    if (mode == 1) {
      QVERIFY(!c.hsr_con[1]->isEnabled());
      for (QScrollBar* s : sliders(c, 2)) QVERIFY(!s->isEnabled());
      for (int n = 2; n <= 4; ++n) {
        QVERIFY(c.txt_con[n]->text().isEmpty());
        QVERIFY(c.txt_bri[n]->text().isEmpty());
        QVERIFY(c.txt_sat[n]->text().isEmpty());
        QVERIFY(c.txt_hue[n]->text().isEmpty());
      }
    } else {
      for (QScrollBar* s : sliders(c)) QVERIFY(s->isEnabled());
    }

    // The channel of `sel_out` is highlighted again, except on the wall,
    // whose first button lights with the device's OUT001 answer.
    QCOMPARE(blue_channels(c), QList<int>{mode == 3 ? 1 : 4});
  }

  void the_wall_reloads_only_its_first_block() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.device().state().inputs = {2, 3, 4, 1};
    bool out_all_grey = false;
    QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(),
                     [&](const QString& line) {
                       if (line == "OUT001") out_all_grey = blue_channels(c).isEmpty();
                     });

    fx.click(c.cmd_mode[3]);

    QStringList expected{"MOD003", "OUT001", "INP999"};
    expected << picture_queries(3) << "ASP999";
    QCOMPARE(fx.received(), expected);
    QVERIFY(out_all_grey);
    QCOMPARE(fx.model().sel_out(), 1);
    QCOMPARE(blue_channels(c), QList<int>{1});
    QCOMPARE(c.sha_out_in[1][2]->fill(), colour::routed_green);
    for (int ch = 2; ch <= 4; ++ch)
      for (int in = 1; in <= 4; ++in) {
        QCOMPARE(c.sha_out_in[ch][in]->fill(), colour::idle_grey);
        QCOMPARE(back_color(c.lab_out_in[ch][in]), colour::idle_grey);
      }
  }

  // Reports in standby or before the power is known: the frames follow the
  // mode but stay disabled, and the audio captions are not rewritten.
  void reports_while_not_on() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, 4);
    QCOMPARE(c.opt_da[1]->text(), QStringLiteral("Main"));

    for (int pwr : {0, 254}) {
      if (pwr == 0)
        QVERIFY(fx.device_says(QStringLiteral("PWR000")));
      else
        fx.model().forget_state();
      report_mode(fx, 2);
      QVERIFY(!c.fra_dual_a->isHidden() && !c.fra_dual_a->isEnabled());
      QVERIFY(!c.fra_dual_b->isHidden() && !c.fra_dual_b->isEnabled());
      QCOMPARE(c.opt_da[1]->text(), QStringLiteral("Main"));
      QCOMPARE(c.opt_db[2]->text(), QStringLiteral("Sub"));
      report_mode(fx, 5);
      QVERIFY(!c.fra_quad->isHidden() && !c.fra_quad->isEnabled());
      report_mode(fx, 3);
      QVERIFY(!c.fra_bezel->isEnabled());
    }
  }

  // Dual PiP shows the P indicator; a later Dual PoP report hides it again.
  void the_pip_indicator_follows_the_dual_kind() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, 4);
    QVERIFY(!c.lab_pip->isHidden() && !c.sha_pip->isHidden());
    QCOMPARE(fx.model().disp_mode(), 2);
    report_mode(fx, 1);
    QVERIFY(c.lab_pip->isHidden());
    QCOMPARE(fx.model().dual_kind(), 2);  // Matrix leaves the dual kind alone
    report_mode(fx, 4);
    report_mode(fx, 2);
    QVERIFY(c.lab_pip->isHidden() && c.sha_pip->isHidden());
    QCOMPARE(fx.model().dual_kind(), 1);
  }

  // A mode the device reports on its own re-lays the window and asks nothing.
  void a_report_of_the_device_on_its_own() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    fx.sim().front_panel("MOD005");
    QVERIFY(fx.wait_for([&] { return fx.model().disp_mode() == 5; }));
    QCOMPARE(texts(c.cmd_out), (QStringList{"Q1", "Q2", "Q3", "Q4"}));
    QCOMPARE(blue_modes(c), QList<int>{5});
    fx.settle(50);
    QVERIFY(fx.received().isEmpty());
  }

  // A report without a mode 1..5 changes nothing.
  void a_report_without_a_valid_mode() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, 5);
    for (const char* line : {"MOD000", "MOD006", "MOD009", "MOD00X", "MOD"}) {
      fx.sim().send_unsolicited(line);
      fx.settle(30);
      QCOMPARE(fx.model().disp_mode(), 5);
      QCOMPARE(texts(c.cmd_out), (QStringList{"Q1", "Q2", "Q3", "Q4"}));
      QCOMPARE(blue_modes(c), QList<int>{5});
      QVERIFY(!c.fra_quad->isHidden());
    }
    // The window still listens.
    fx.sim().send_unsolicited("MOD001");
    QVERIFY(fx.wait_for([&] { return fx.model().disp_mode() == 1; }));
  }

  // A device that answers the mode command only after the exchange gave up:
  // the late answer ends the wait and the mode change goes on.
  void a_late_answer_to_the_mode_command() {
    PanelFixture fx;
    power_up(fx);
    corvane::Faults faults;
    faults.silent = {"MOD"};
    fx.sim().set_faults(faults);
    QTimer::singleShot(1200, &fx.sim(), [&] {
      fx.sim().set_faults({});
      fx.sim().send_unsolicited("MOD005");
    });

    QElapsedTimer clock;
    clock.start();
    fx.click(fx.c().cmd_mode[5]);

    QVERIFY(clock.elapsed() < 3000);
    QStringList expected{"MOD005"};
    expected << map_queries() << picture_queries(5) << "ASP999";
    QCOMPARE(fx.received(), expected);
    QCOMPARE(fx.model().disp_mode(), 5);
    QVERIFY(all_modes_enabled(fx.c(), true));
  }

  // A device that never answers: nothing more is asked, no mode is
  // highlighted, the old captions stay and the buttons come back.
  void a_silent_device_during_a_mode_change() {
    PanelFixture fx;
    power_up(fx);
    auto& c = fx.c();
    report_mode(fx, 1);
    QCOMPARE(blue_modes(c), QList<int>{1});
    const QList<int> channel = blue_channels(c);
    corvane::Faults faults;
    faults.silent = {"MOD"};
    fx.sim().set_faults(faults);
    bool locked_meanwhile = false;
    QTimer::singleShot(3000, &fx.sim(), [&] { locked_meanwhile = all_modes_enabled(c, false); });

    QElapsedTimer clock;
    clock.start();
    fx.click(c.cmd_mode[2]);

    QVERIFY(clock.elapsed() >= Device::kLateReplyMs);
    QCOMPARE(fx.received(), QStringList{"MOD002"});
    QVERIFY(locked_meanwhile);
    QVERIFY(all_modes_enabled(c, true));
    QVERIFY(blue_modes(c).isEmpty());
    QCOMPARE(blue_channels(c), channel);
    QCOMPARE(texts(c.cmd_out), (QStringList{"A", "B", "C", "D"}));
    QCOMPARE(fx.model().disp_mode(), 1);
  }
};

QTEST_MAIN(ModesTest)
#include "test_modes.moc"

