// Saving and recalling presets: the late-reply wait, the map reload and the two highlights.
#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "panel/presets.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
bool is_blue(QWidget* w) { return back_color(w) == colour::highlight_blue; }
bool is_grey(QWidget* w) { return back_color(w) == colour::idle_grey; }

// What a recall reads back against the device as it is now.
QStringList recall_reads(PanelFixture& fx) {
  fx.clear_received();
  awaited(fx.model().recall_preset(2));
  const QStringList sent = fx.received().mid(1);
  fx.clear_received();
  return sent;
}
}  // namespace

class TestPresets : public QObject {
  Q_OBJECT
 private slots:
  void save_greys_and_disables_its_row_only();
  void recall_reloads_map_and_highlights_independently();
  void err_reply_still_counts_as_answer();
  void late_reply_ends_wait_and_reloads();
  void silent_recall_waits_and_skips_reload();
  void reply_outside_a_click_moves_highlight();
  void a_recall_that_changes_the_mode_shows_it();
};

void TestPresets::save_greys_and_disables_its_row_only() {
  PanelFixture fx;
  fx.power_on();
  fx.clear_received();
  const MainControls& c = fx.c();

  bool checked = false;
  QObject::connect(&fx.sim(), &corvane::SimServer::command_received, [&](const QString& line) {
    if (line != QLatin1String("SAV003")) return;
    checked = true;
    for (int n = 1; n <= 4; ++n) {
      QVERIFY(!c.cmd_save[n]->isEnabled());
      QVERIFY(is_grey(c.cmd_save[n]));
      QVERIFY(c.cmd_recall[n]->isEnabled());
    }
  });
  QElapsedTimer clock;
  clock.start();
  fx.click(c.cmd_save[3]);
  QVERIFY(checked);
  // Answered at once: no extra wait.
  QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
  QCOMPARE(fx.received(), QStringList{"SAV003"});
  for (int n = 1; n <= 4; ++n) {
    QVERIFY(c.cmd_save[n]->isEnabled());
    QCOMPARE(is_blue(c.cmd_save[n]), n == 3);
  }
}

void TestPresets::recall_reloads_map_and_highlights_independently() {
  PanelFixture fx;
  fx.power_on();
  const MainControls& c = fx.c();
  fx.click(c.cmd_save[4]);
  QVERIFY(is_blue(c.cmd_save[4]));
  fx.clear_received();

  fx.click(c.cmd_recall[2]);
  const QStringList sent = fx.received();
  QCOMPARE(sent.value(0), QStringLiteral("CAL002"));
  QCOMPARE(sent.value(1), QStringLiteral("MOD999"));
  QCOMPARE(sent.mid(1), recall_reads(fx));
  QVERIFY(sent.contains(QStringLiteral("INP999")));
  for (int n = 1; n <= 4; ++n) {
    QVERIFY(c.cmd_recall[n]->isEnabled());
    QCOMPARE(is_blue(c.cmd_recall[n]), n == 2);
    QCOMPARE(is_blue(c.cmd_save[n]), n == 4);  // the save highlight stays
  }
}

void TestPresets::err_reply_still_counts_as_answer() {
  PanelFixture fx;
  fx.power_on();
  const MainControls& c = fx.c();
  fx.click(c.cmd_recall[1]);
  fx.click(c.cmd_save[1]);
  corvane::Faults f;
  f.err = {QStringLiteral("CAL"), QStringLiteral("SAV")};
  fx.sim().set_faults(f);
  fx.clear_received();

  QElapsedTimer clock;
  clock.start();
  fx.click(c.cmd_recall[3]);
  const QStringList sent = fx.received();
  QCOMPARE(sent.value(0), QStringLiteral("CAL003"));
  QVERIFY2(sent.size() > 1, "ERR to a recall still reloads the map");
  // The click cleared the row; ERR highlights nothing.
  for (int n = 1; n <= 4; ++n) QVERIFY(is_grey(c.cmd_recall[n]));

  fx.clear_received();
  fx.click(c.cmd_save[2]);
  QCOMPARE(fx.received(), QStringList{"SAV002"});
  for (int n = 1; n <= 4; ++n) QVERIFY(is_grey(c.cmd_save[n]));
  QVERIFY2(clock.elapsed() < 1500, "ERR ends the extra wait at once");
}

void TestPresets::late_reply_ends_wait_and_reloads() {
  PanelFixture fx;
  fx.power_on();
  const MainControls& c = fx.c();
  // The CAL reply comes after the exchange has given up (0.6 s); the rest come at once.
  corvane::Faults slow;
  slow.delay_ms = 900;
  fx.sim().set_faults(slow);
  QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(), [&](const QString&) {
    QTimer::singleShot(0, &fx.sim(), [&] { fx.sim().set_faults({}); });
  });
  fx.clear_received();

  QElapsedTimer clock;
  clock.start();
  fx.click(c.cmd_recall[4]);
  const qint64 took = clock.elapsed();
  QVERIFY2(took >= 800 && took < 2500, qPrintable(QString::number(took)));
  const QStringList sent = fx.received();
  QCOMPARE(sent.value(0), QStringLiteral("CAL004"));
  QVERIFY(sent.size() > 1);
  QVERIFY(is_blue(c.cmd_recall[4]));
}

void TestPresets::silent_recall_waits_and_skips_reload() {
  PanelFixture fx;
  fx.power_on();
  const MainControls& c = fx.c();
  corvane::Faults f;
  f.silent = {QStringLiteral("CAL")};
  fx.sim().set_faults(f);
  fx.clear_received();

  bool disabled_during_wait = false;
  // Well after the exchange's own 0.6 s, inside the 5 s extra wait.
  QTimer::singleShot(3000, [&] { disabled_during_wait = !c.cmd_recall[1]->isEnabled(); });
  QElapsedTimer clock;
  clock.start();
  fx.click(c.cmd_recall[1]);
  const qint64 took = clock.elapsed();
  QVERIFY2(took >= 5000 && took < 7000, qPrintable(QString::number(took)));
  QVERIFY(disabled_during_wait);
  QCOMPARE(fx.received(), QStringList{"CAL001"});
  for (int n = 1; n <= 4; ++n) {
    QVERIFY(c.cmd_recall[n]->isEnabled());
    QVERIFY(is_grey(c.cmd_recall[n]));
  }
}

void TestPresets::reply_outside_a_click_moves_highlight() {
  PanelFixture fx;
  fx.power_on();
  const MainControls& c = fx.c();
  fx.click(c.cmd_save[3]);
  fx.click(c.cmd_recall[1]);

  fx.sim().send_unsolicited(QStringLiteral("SAV004"));
  QVERIFY(fx.wait_for([&] { return is_blue(c.cmd_save[4]); }));
  QVERIFY(is_grey(c.cmd_save[3]));
  QVERIFY(is_blue(c.cmd_recall[1]));

  // A preset number that does not exist clears the row and highlights nothing.
  fx.sim().send_unsolicited(QStringLiteral("CAL007"));
  QVERIFY(fx.wait_for([&] { return is_grey(c.cmd_recall[1]); }));
  for (int n = 1; n <= 4; ++n) QVERIFY(is_grey(c.cmd_recall[n]));
  QVERIFY(is_blue(c.cmd_save[4]));
}

// A preset may hold another mode: the window follows it, and the map is read for it.
void TestPresets::a_recall_that_changes_the_mode_shows_it() {
  PanelFixture fx;
  fx.power_on();
  const MainControls& c = fx.c();
  fx.device().state().presets[1].mode = 5;
  fx.device().state().presets[1].inputs = {4, 3, 2, 1};
  fx.click(c.cmd_recall[2]);
  QCOMPARE(fx.model().state().mode, 5);
  QVERIFY(is_blue(c.cmd_mode[5]));
  QCOMPARE(c.cmd_out[1]->text(), QStringLiteral("Q1"));
  QCOMPARE(fx.model().state().inputs, (std::array<std::optional<int>, 4>{4, 3, 2, 1}));
}

QTEST_MAIN(TestPresets)
#include "test_presets.moc"

