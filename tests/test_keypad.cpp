// The keyboard window: each key's action, keys dropped while the panel waits,
// the arrow pause, and opening and closing the window.
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "panel_fixture.h"
#include "ui/widgets.h"
#include "windows/frm_keypad.h"
#include "windows/keypad_control.h"

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
FrmKeypad* open_keypad(PanelFixture& fx) {
  if (!fx.ps().keypad_open) fx.click(fx.c().cmd_keypad);
  return fx.main().keypad().window();
}
}  // namespace

class TestKeypad : public QObject {
  Q_OBJECT
 private slots:
  void window_opens_above_main_and_toggles();
  void placed_where_it_covers_no_control_data();
  void placed_where_it_covers_no_control();
  void a_main_window_at_the_screens_top_keeps_its_controls();
  void key_acts_like_its_button();
  void keys_by_place_on_any_layout();
  void input_keys_follow_selected_output();
  void keys_work_while_button_frame_disabled();
  void keys_dropped_while_waiting();
  void arrow_pauses_after_exchange();
};

void TestKeypad::window_opens_above_main_and_toggles() {
  PanelFixture fx;
  fx.main().show();
  fx.main().move(200, 400);
  QVERIFY(QTest::qWaitForWindowExposed(&fx.main()));
  FrmKeypad* w = open_keypad(fx);
  QVERIFY(w);
  QVERIFY(fx.ps().keypad_open);
  QVERIFY(w->isVisible());
  QCOMPARE(w->windowTitle(), QStringLiteral("Keyboard"));
  QVERIFY(w->windowFlags().testFlag(Qt::Tool));
  QVERIFY(!w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
  QVERIFY(!w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  QCOMPARE(w->size(), QSize(twips(FrmKeypad::kClientWidth), twips(FrmKeypad::kClientHeight)));
  // Directly above the main window, left edges aligned.
  QCOMPARE(w->frameGeometry().left(), fx.main().frameGeometry().left());
  QCOMPARE(w->frameGeometry().bottom() + 1, fx.main().frameGeometry().top());
  // The legend's words are legible (the first design drew some 8 pixels high).
  QVERIFY(w->img_keypad);
  QVERIFY(FrmKeypad::legend_text_pixels() >= 12);
  QVERIFY(w->img_keypad->accessibleDescription().contains(QStringLiteral("Matrix")));
  QVERIFY(fx.received().isEmpty());

  // The button toggles; the close box clears the flag, so the next click opens it again.
  fx.click(fx.c().cmd_keypad);
  QVERIFY(!fx.ps().keypad_open);
  QVERIFY(!w->isVisible());
  fx.click(fx.c().cmd_keypad);
  QVERIFY(fx.ps().keypad_open);
  fx.main().keypad().window()->close();
  QVERIFY(!fx.ps().keypad_open);
  fx.click(fx.c().cmd_keypad);
  QVERIFY(fx.ps().keypad_open);
}

// Above the main window when there is room, elsewhere beside it when not;
// where every place covers a control, the one that covers the fewest.
void TestKeypad::placed_where_it_covers_no_control_data() {
  QTest::addColumn<QRect>("screen");
  QTest::addColumn<QRect>("owner");
  QTest::addColumn<QList<QRect>>("controls");
  QTest::addColumn<QPoint>("expected");
  // Rows of controls from the owner's top to its bottom.
  const QList<QRect> strip{QRect(110, 10, 600, 40), QRect(110, 130, 600, 40), QRect(110, 260, 600, 40)};
  QTest::newRow("room above") << QRect(0, 0, 1920, 1080) << QRect(100, 500, 852, 300) << strip << QPoint(100, 300);
  QTest::newRow("at the top: below") << QRect(0, 0, 1920, 1080) << QRect(100, 0, 852, 300) << strip
                                     << QPoint(100, 300);
  QTest::newRow("last row that fits below") << QRect(0, 0, 1920, 500) << QRect(100, 0, 852, 300) << strip
                                            << QPoint(100, 300);
  QTest::newRow("no room below: right") << QRect(0, 0, 1920, 499) << QRect(100, 0, 852, 300) << strip
                                        << QPoint(952, 0);
  // A screen the owner fills: over the fewest controls.
  const QList<QRect> rows{QRect(0, 0, 800, 40), QRect(0, 100, 800, 40), QRect(0, 200, 800, 40),
                          QRect(0, 420, 400, 40)};
  QTest::newRow("covered anyway") << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << rows << QPoint(0, 400);
}

void TestKeypad::placed_where_it_covers_no_control() {
  QFETCH(QRect, screen);
  QFETCH(QRect, owner);
  QFETCH(QList<QRect>, controls);
  QFETCH(QPoint, expected);
  const QSize size(530, 200);
  const QPoint wanted(owner.left(), owner.top() - size.height());
  QCOMPARE(ToolWindow::place_beside(screen, owner, size, wanted, controls), expected);
}

// The issue met by a user: a main window at the top of the screen had the
// keyboard window over its top row, the Keyboard button among it.
void TestKeypad::a_main_window_at_the_screens_top_keeps_its_controls() {
  PanelFixture fx;
  fx.main().show();
  const QRect screen = fx.main().screen()->availableGeometry();
  fx.main().move(screen.topLeft());
  QVERIFY(QTest::qWaitForWindowExposed(&fx.main()));
  fx.full_refresh();
  FrmKeypad* w = open_keypad(fx);
  QVERIFY(w);
  const QRect keypad = w->frameGeometry();
  QVERIFY(screen.contains(keypad));
  for (QWidget* control : {static_cast<QWidget*>(fx.c().cmd_refresh), static_cast<QWidget*>(fx.c().cmd_keypad),
                           static_cast<QWidget*>(fx.c().cmd_pwr), static_cast<QWidget*>(fx.c().cmd_mode[1])})
    QVERIFY2(!keypad.intersects(QRect(control->mapToGlobal(QPoint(0, 0)), control->size())),
             qPrintable(control->objectName()));
}

void TestKeypad::key_acts_like_its_button() {
  struct Row {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    const char* first;  // first command sent; empty: nothing
  };
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const Qt::KeyboardModifiers pad = Qt::KeypadModifier;
  const Qt::KeyboardModifiers shift = Qt::ShiftModifier;
  const Row rows[] = {
      // The keypad block, with Num Lock on (digits) and off (navigation keys).
      {"keypad 5", Qt::Key_5, pad, "MNO001"},
      {"keypad 5 no numlock", Qt::Key_Clear, pad, "MNO001"},
      {"keypad 9", Qt::Key_9, pad, "LCK001"},
      {"page up", Qt::Key_PageUp, none, "LCK001"},
      {"keypad 9 no numlock", Qt::Key_PageUp, pad, "LCK001"},
      {"keypad 3", Qt::Key_3, pad, "MNX001"},
      {"page down", Qt::Key_PageDown, none, "MNX001"},
      {"keypad 1", Qt::Key_1, pad, "MNE001"},
      {"end", Qt::Key_End, pad, "MNE001"},
      {"keypad 7", Qt::Key_7, pad, "AUD001"},
      {"home", Qt::Key_Home, none, "AUD001"},
      {"keypad 4", Qt::Key_4, pad, "MNL001"},
      {"left", Qt::Key_Left, none, "MNL001"},
      {"keypad 8", Qt::Key_8, pad, "MNU001"},
      {"up", Qt::Key_Up, pad, "MNU001"},
      {"keypad 6", Qt::Key_6, pad, "MNR001"},
      {"right", Qt::Key_Right, none, "MNR001"},
      {"keypad 2", Qt::Key_2, pad, "MND001"},
      {"down", Qt::Key_Down, none, "MND001"},
      // Keys without an action.
      {"G", Qt::Key_G, none, ""},
      {"6", Qt::Key_6, none, ""},
      {"9", Qt::Key_9, none, ""},
      {"keypad 0", Qt::Key_0, pad, ""},
      {"enter", Qt::Key_Return, none, ""},
      {"shift", Qt::Key_Shift, shift, ""},
      // Outputs; Shift changes nothing.
      {"A", Qt::Key_A, none, "OUT001"},
      {"shift A", Qt::Key_A, shift, "OUT001"},
      {"S", Qt::Key_S, none, "OUT002"},
      {"D", Qt::Key_D, none, "OUT003"},
      {"F", Qt::Key_F, none, "OUT004"},
      // Inputs on output A.
      {"J", Qt::Key_J, none, "INP001"},
      {"K", Qt::Key_K, none, "INP002"},
      {"L", Qt::Key_L, none, "INP003"},
      {";", Qt::Key_Semicolon, none, "INP004"},
      {"shift ;", Qt::Key_Colon, shift, "INP004"},
      // The main key row: modes (last, since they change the window).
      {"1", Qt::Key_1, none, "MOD001"},
      {"shift 3", Qt::Key_NumberSign, shift, "MOD003"},
      {"2", Qt::Key_2, none, "MOD002"},
      {"4", Qt::Key_4, none, "MOD004"},
      {"5", Qt::Key_5, none, "MOD005"},
      {"3", Qt::Key_3, none, "MOD003"},
  };
  PanelFixture fx;
  fx.power_on();
  FrmKeypad* w = open_keypad(fx);
  for (const Row& row : rows) {
    // Each row starts from the same state: nothing reported, output A selected.
    fx.model().forget_state();
    fx.clear_received();
    QTest::keyClick(w, Qt::Key(row.key), row.modifiers);
    fx.done();
    const QStringList sent = fx.received();
    const QString first = QLatin1String(row.first);
    const QByteArray what = QByteArray("key ") + row.name;
    if (first.isEmpty()) {
      QVERIFY2(sent.isEmpty(), what.constData());
      continue;
    }
    QVERIFY2(sent.value(0) == first, (what + " sent " + sent.join(',').toLatin1()).constData());
    if (first.startsWith(QLatin1String("OUT")))
      QVERIFY2(sent.value(1) == QLatin1String("INP999"), what.constData());
    else if (!first.startsWith(QLatin1String("MOD")))
      QVERIFY2(sent.size() == 1, what.constData());  // one command, as the button sends
  }
}

// With a native scan code the digits and letters are the keys at the places of
// a US layout's, whatever a French layout types there.
void TestKeypad::keys_by_place_on_any_layout() {
  struct Row {
    const char* name;
    int key;  // as a French layout reports it
    Qt::KeyboardModifiers modifiers;
    quint32 scan_code;  // X11 key code
    const char* first;
  };
  const Qt::KeyboardModifiers none = Qt::NoModifier;
  const Row rows[] = {
      {"A place (Q)", Qt::Key_Q, none, 38, "OUT001"},
      {"Q place (A)", Qt::Key_A, none, 24, ""},
      {"F place", Qt::Key_F, Qt::ShiftModifier, 41, "OUT004"},
      {"; place (M)", Qt::Key_M, none, 47, "INP004"},
      {"keypad 3", Qt::Key_3, Qt::KeypadModifier, 89, "MNX001"},
      {"down arrow", Qt::Key_Down, none, 116, "MND001"},
      {"6 place (-)", Qt::Key_Minus, none, 15, ""},
      {"1 place (&)", Qt::Key_Ampersand, none, 10, "MOD001"},
      {"2 place (é)", Qt::Key_Eacute, none, 11, "MOD002"},
      {"5 place with Shift (5)", Qt::Key_5, Qt::ShiftModifier, 14, "MOD005"},
  };
  PanelFixture fx;
  fx.power_on();
  FrmKeypad* w = open_keypad(fx);
  for (const Row& row : rows) {
    fx.model().forget_state();
    fx.clear_received();
    QKeyEvent press(QEvent::KeyPress, row.key, row.modifiers, row.scan_code, 0, 0);
    QCoreApplication::sendEvent(w, &press);
    fx.done();
    QVERIFY2(fx.received().value(0) == QLatin1String(row.first), row.name);
  }
}

void TestKeypad::input_keys_follow_selected_output() {
  PanelFixture fx;
  fx.power_on();
  FrmKeypad* w = open_keypad(fx);
  fx.clear_received();

  QTest::keyClick(w, Qt::Key_S);  // output B

  fx.done();
  QCOMPARE(fx.model().sel_out(), 2);
  QTest::keyClick(w, Qt::Key_K);
  fx.done();
  QCOMPARE(fx.received(), (QStringList{"OUT002", "INP999", "INP002"}));
  QCOMPARE(fx.device().state().inputs[1], 2);

  fx.clear_received();
  QTest::keyClick(w, Qt::Key_F);  // output D
  fx.done();
  QTest::keyClick(w, Qt::Key_J);
  fx.done();
  QCOMPARE(fx.received(), (QStringList{"OUT004", "INP999", "INP001"}));
  QCOMPARE(fx.device().state().inputs[3], 1);
}

void TestKeypad::keys_work_while_button_frame_disabled() {
  PanelFixture fx;
  fx.device().state().power_on = false;
  fx.power_on();  // reports standby: the button frame is disabled
  QVERIFY(!fx.c().fra_btn->isEnabled());
  FrmKeypad* w = open_keypad(fx);
  fx.clear_received();
  QTest::keyClick(w, Qt::Key_PageDown);
  fx.done();
  QTest::keyClick(w, Qt::Key_PageUp);
  fx.done();
  QCOMPARE(fx.received(), (QStringList{"MNX001", "LCK001"}));
}

void TestKeypad::keys_dropped_while_waiting() {
  PanelFixture fx;
  fx.power_on();
  FrmKeypad* w = open_keypad(fx);
  corvane::Faults f;
  f.silent = {QStringLiteral("MNX")};
  fx.sim().set_faults(f);
  fx.clear_received();

  // Keys pressed while the menu key's reply is awaited are dropped, not queued:
  // not even the lock or mute state that their handlers flip before sending changes.
  QTest::keyClick(w, Qt::Key_PageDown);
  QVERIFY(fx.model().waiting());
  QTest::keyClick(w, Qt::Key_PageUp);
  QTest::keyClick(w, Qt::Key_Home);
  QTest::keyClick(w, Qt::Key_3);
  fx.done();
  fx.settle(50);
  QCOMPARE(fx.received(), QStringList{"MNX001"});
  QCOMPARE(fx.model().lock_state(), 254);
  QCOMPARE(fx.model().audio_state(), 254);
  QVERIFY(fx.c().cmd_mode[1]->isEnabled());

  // Once the wait is over, keys act again.
  fx.sim().set_faults({});
  QTest::keyClick(w, Qt::Key_End);
  fx.done();
  QCOMPARE(fx.received(), (QStringList{"MNX001", "MNE001"}));
}

void TestKeypad::arrow_pauses_after_exchange() {
  PanelFixture fx;
  fx.power_on();
  FrmKeypad* w = open_keypad(fx);
  fx.clear_received();

  // A repeat of the held key that arrives in the pause after the exchange is dropped.
  QObject::connect(&fx.sim(), &corvane::SimServer::command_received, w, [&](const QString& line) {
    if (line == QLatin1String("MND001"))
      QTimer::singleShot(20, w, [w] { QTest::keyClick(w, Qt::Key_Down); });
  }, Qt::SingleShotConnection);
  QElapsedTimer clock;
  clock.start();
  QTest::keyClick(w, Qt::Key_Down);
  fx.done();
  QVERIFY(clock.elapsed() >= 50);
  fx.settle(20);
  QCOMPARE(fx.received(), QStringList{"MND001"});
  // Other keys have no pause.
  clock.restart();
  QTest::keyClick(w, Qt::Key_Clear);
  fx.done();
  QVERIFY(clock.elapsed() < 50);
}

QTEST_MAIN(TestKeypad)
#include "test_keypad.moc"
