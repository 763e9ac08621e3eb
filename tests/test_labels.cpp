// The Input Labels window and its L indicator: the refresh sequence, the label
// commands (only printable characters go out), the 12-character cut and the
// replies while the window is closed.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTest>

#include "panel/overlays.h"
#include "panel/status_line.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "windows/frm_label.h"
#include "windows/label_control.h"

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
const QStringList kQueries{"LAB999", "LAI991", "LAI992", "LAI993", "LAI994"};

FrmLabel* open_labels(PanelFixture& fx) {
  if (!fx.ps().label_open) fx.click(fx.c().lab_lab_input);
  return fx.main().labels().window();
}

void enter_label(PanelFixture& fx, FrmLabel* w, int input, const QString& text) {
  w->txt_lab_in[input]->setText(text);
  QTest::keyClick(w->txt_lab_in[input], Qt::Key_Return);
  fx.done();
}
}  // namespace

class TestLabels : public QObject {
  Q_OBJECT
 private slots:
  void indicator_opens_reads_and_closes();
  void refresh_stops_at_first_silent_query();
  void enter_sends_label_and_reply_rewrites_box();
  void control_characters_never_reach_device();
  void long_replies_are_cut_to_twelve();
  void display_option_and_replies();
  void replies_while_closed_change_nothing();
};

void TestLabels::indicator_opens_reads_and_closes() {
  PanelFixture fx;
  fx.power_on();
  fx.device().state().labels = {"Camera", "PC", "", "Blu-ray 4K"};
  fx.device().state().labels_on = true;
  fx.clear_received();

  QColor during;
  bool disabled_during = false;
  QObject::connect(&fx.sim(), &corvane::SimServer::command_received, [&](const QString& line) {
    if (line != QLatin1String("LAB999")) return;
    during = fx.c().sha_lab_in->fill();
    disabled_during = !fx.c().lab_lab_input->isEnabled();
  });
  FrmLabel* w = open_labels(fx);
  QVERIFY(w && w->isVisible());
  QVERIFY(fx.ps().label_open);
  QCOMPARE(fx.received(), kQueries);
  QCOMPARE(during, colour::busy_red);
  QVERIFY(disabled_during);
  QCOMPARE(fx.c().sha_lab_in->fill(), colour::indicator_grey);
  QVERIFY(fx.c().lab_lab_input->isEnabled());
  QVERIFY(w->opt_on_off[1]->isChecked());
  QCOMPARE(w->txt_lab_in[1]->text(), QStringLiteral("Camera"));
  QCOMPARE(w->txt_lab_in[2]->text(), QStringLiteral("PC"));
  QCOMPARE(w->txt_lab_in[3]->text(), QString());
  QCOMPARE(w->txt_lab_in[4]->text(), QStringLiteral("Blu-ray 4K"));
  QCOMPARE(w->windowTitle(), QStringLiteral("Input Labels"));
  QCOMPARE(w->txt_lab_in[2]->accessibleName(), QStringLiteral("Label of input 2"));

  // A second click closes it; the close box does too, and the next click reopens.
  fx.clear_received();
  fx.click(fx.c().lab_lab_input);
  QVERIFY(!fx.ps().label_open);
  QVERIFY(!w->isVisible());
  QCOMPARE(fx.received(), QStringList{});
  QCOMPARE(fx.c().sha_lab_in->fill(), colour::indicator_grey);
  w = open_labels(fx);
  QVERIFY(fx.ps().label_open);
  w->close();
  QVERIFY(!fx.ps().label_open);
  w = open_labels(fx);
  QVERIFY(fx.ps().label_open);
  QCOMPARE(fx.received(), kQueries + kQueries);
}

void TestLabels::refresh_stops_at_first_silent_query() {
  PanelFixture fx;
  fx.power_on();
  FrmLabel* w = open_labels(fx);
  QCOMPARE(w->txt_lab_in[1]->text(), QStringLiteral("HDMI 1"));
  corvane::Faults f;
  f.silent = {QStringLiteral("LAI")};
  fx.sim().set_faults(f);
  fx.clear_received();

  // The refresh empties the boxes first; the ones not answered stay empty.
  fx.click(w->cmd_refresh);
  QCOMPARE(fx.received(), kQueries.mid(0, 2));
  for (int k = 1; k <= 4; ++k) QCOMPARE(w->txt_lab_in[k]->text(), QString());
}

void TestLabels::enter_sends_label_and_reply_rewrites_box() {
  PanelFixture fx;
  fx.power_on();
  FrmLabel* w = open_labels(fx);
  fx.clear_received();

  enter_label(fx, w, 2, QStringLiteral("Camera"));
  QCOMPARE(fx.received(), QStringList{"LAI2Camera"});
  QCOMPARE(fx.device().state().labels[1], std::string("Camera"));
  QCOMPARE(w->txt_lab_in[2]->text(), QStringLiteral("Camera"));
  // The label command carries its own carriage return; the exchange adds another.
  QVERIFY(fx.console().contains(QRegularExpression(QStringLiteral("LAI2Camera[\r\n]>"))));

  // Enter in an empty box sends the bare command.
  fx.clear_received();
  enter_label(fx, w, 4, QString());
  QCOMPARE(fx.received(), QStringList{"LAI4"});

  // Other keys send nothing.
  fx.clear_received();
  QTest::keyClicks(w->txt_lab_in[1], QStringLiteral("abc"));
  QTest::keyClick(w->txt_lab_in[1], Qt::Key_Tab);
  QCOMPARE(fx.received(), QStringList{});
}

void TestLabels::control_characters_never_reach_device() {
  PanelFixture fx;
  fx.power_on();
  FrmLabel* w = open_labels(fx);
  fx.clear_received();

  // A pasted line break would otherwise end the label and switch the device to standby.
  enter_label(fx, w, 1, QStringLiteral("X\rPWR000"));
  enter_label(fx, w, 3, QString::fromUtf8("Tab\there\ncaf\xc3\xa9\x1b"));
  QCOMPARE(fx.received(), (QStringList{"LAI1XPWR000", "LAI3Tabherecaf"}));
  QVERIFY(fx.device().state().power_on);
  QCOMPARE(fx.device().state().labels[0], std::string("XPWR000"));
  QCOMPARE(fx.device().state().labels[2], std::string("Tabherecaf"));
  QCOMPARE(w->txt_lab_in[1]->text(), QStringLiteral("XPWR000"));
  // What was left out is named in the status line, past the label's own answer.
  const QString notice = fx.main().status_line().notice_text();
  for (const char* left_out : {"input 3", "tab", "line break", "\"\xc3\xa9\"", "U+001B"})
    QVERIFY2(notice.contains(QString::fromUtf8(left_out)), qPrintable(notice));
  QVERIFY(fx.messages().isEmpty());
  // A label of plain characters goes out without a word; the next answer clears the line.
  enter_label(fx, w, 2, QStringLiteral("Camera 2"));
  QCOMPARE(fx.main().status_line().notice_text(), QString());
}

void TestLabels::long_replies_are_cut_to_twelve() {
  PanelFixture fx;
  fx.power_on();
  FrmLabel* w = open_labels(fx);
  fx.clear_received();

  // The device keeps 12 characters and answers with them.
  enter_label(fx, w, 2, QStringLiteral("Conference Room West"));
  QCOMPARE(fx.received(), QStringList{"LAI2Conference Room West"});
  QCOMPARE(w->txt_lab_in[2]->text(), QStringLiteral("Conference R"));

  // A reply of 20 characters shows its first 12 label characters.
  fx.sim().send_unsolicited(QStringLiteral("LAI3ABCDEFGHIJKLMNOP"));
  QVERIFY(fx.wait_for([&] { return w->txt_lab_in[3]->text() == QLatin1String("ABCDEFGHIJKL"); }));
  // Spaces are kept as sent.
  fx.sim().send_unsolicited(QStringLiteral("LAI1 A B "));
  QVERIFY(fx.wait_for([&] { return w->txt_lab_in[1]->text() == QLatin1String(" A B "); }));
  // A reply naming no input changes nothing.
  fx.sim().send_unsolicited(QStringLiteral("LAI7Nothing"));
  fx.settle(30);
  for (int k = 1; k <= 4; ++k) QVERIFY(w->txt_lab_in[k]->text() != QLatin1String("Nothing"));
  QVERIFY(fx.ps().send_enable);
}

void TestLabels::display_option_and_replies() {
  PanelFixture fx;
  fx.power_on();
  FrmLabel* w = open_labels(fx);
  QVERIFY(w->opt_on_off[0]->isChecked());
  fx.clear_received();

  fx.sim().send_unsolicited(QStringLiteral("LAB001"));
  QVERIFY(fx.wait_for([&] { return w->opt_on_off[1]->isChecked(); }));
  fx.settle(20);
  QCOMPARE(fx.received(), QStringList{});

  fx.click(w->opt_on_off[0]);
  QCOMPARE(fx.received(), QStringList{"LAB000"});
  fx.click(w->opt_on_off[1]);
  QCOMPARE(fx.received(), (QStringList{"LAB000", "LAB001"}));
  QVERIFY(fx.device().state().labels_on);

  // A reply that names no option changes nothing.
  fx.sim().send_unsolicited(QStringLiteral("LAB005"));
  fx.settle(30);
  QVERIFY(w->opt_on_off[1]->isChecked());
  QVERIFY(fx.ps().send_enable);
}

void TestLabels::replies_while_closed_change_nothing() {
  PanelFixture fx;
  fx.power_on();
  FrmLabel* w = open_labels(fx);
  w->close();
  QVERIFY(!fx.ps().label_open);
  const QString before = w->txt_lab_in[1]->text();

  fx.ps().send_enable = false;
  fx.sim().send_unsolicited(QStringLiteral("LAI1Elsewhere"));
  fx.sim().send_unsolicited(QStringLiteral("LAB001"));
  fx.settle(40);
  QCOMPARE(w->txt_lab_in[1]->text(), before);
  QVERIFY(!w->opt_on_off[1]->isChecked());
  QVERIFY(!fx.ps().send_enable);  // left as it was
}

QTEST_MAIN(TestLabels)
#include "test_labels.moc"
