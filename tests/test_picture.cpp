// The picture sliders, their replies and the picture refresh, against the simulated device.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWindow>

#include "panel/picture.h"
#include "panel_fixture.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {

// The lines the device has received, for failure messages.
QByteArray log_of(PanelFixture& fx) { return fx.received().join(QLatin1Char(',')).toLatin1(); }

// The device reports its mode: the window is laid out for it.
void enter_mode(PanelFixture& fx, int device_mode) {
  fx.device().state().mode = device_mode;
  awaited(fx.link().tx_cmd("MOD999"));
  // Another mode than the window knew: what it shows is read, as after any mode change.
  awaited(fx.model().run_follow_ups());
  fx.clear_received();
}

}  // namespace

class PictureTest : public QObject {
  Q_OBJECT

 private slots:
  void slider_commands_carry_the_row_in_each_mode_data() {
    QTest::addColumn<int>("device_mode");
    QTest::addColumn<QString>("adjustment");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("command");
    QTest::newRow("matrix bri row 1") << 1 << "bri" << 1 << 5 << "BRI005";
    QTest::newRow("matrix con row 1 at 100") << 1 << "con" << 1 << 100 << "CON100";
    QTest::newRow("dual pop con row 2") << 2 << "con" << 2 << 50 << "CON250";
    QTest::newRow("tv wall hue row 3") << 3 << "hue" << 3 << 42 << "HUE442";
    QTest::newRow("dual pip bri row 4") << 4 << "bri" << 4 << 1 << "BRI601";
    QTest::newRow("quad sat row 4 at 100") << 5 << "sat" << 4 << 100 << "SAT700";
    QTest::newRow("quad sat row 1") << 5 << "sat" << 1 << 7 << "SAT007";
  }
  void slider_commands_carry_the_row_in_each_mode() {
    QFETCH(int, device_mode);
    QFETCH(QString, adjustment);
    QFETCH(int, row);
    QFETCH(int, value);
    QFETCH(QString, command);

    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    enter_mode(fx, device_mode);
    auto& c = fx.c();
    QScrollBar* slider = adjustment == "bri"   ? c.hsr_bri[row]
                         : adjustment == "con" ? c.hsr_con[row]
                         : adjustment == "hue" ? c.hsr_hue[row]
                                               : c.hsr_sat[row];
    QLineEdit* box = adjustment == "bri"   ? c.txt_bri[row]
                     : adjustment == "con" ? c.txt_con[row]
                     : adjustment == "hue" ? c.txt_hue[row]
                                           : c.txt_sat[row];
    fx.clear_messages();

    fx.move(slider, value);
    QCOMPARE(box->text(), QString::number(value));
    QVERIFY2(fx.received_exactly({command}), log_of(fx));
    // Sent without waiting: the command is not in the console, the device's echo is.
    QVERIFY2(fx.wait_for([&] { return fx.console().contains(command); }), qPrintable(fx.console()));
    QVERIFY(!fx.console().contains(command + ">"));
    fx.settle(30);
    // The device's echo of the value moved nothing else and sent nothing more.
    QCOMPARE(fx.received(), QStringList{command});
    QCOMPARE(slider->value(), value);
    QCOMPARE(box->text(), QString::number(value));
    QVERIFY(fx.ps().send_enable);
    QVERIFY(fx.messages().isEmpty());
  }

  void replies_set_the_row_they_name_and_send_nothing() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    enter_mode(fx, 3);
    QVERIFY(fx.device_says("HUE650"));
    QCOMPARE(c.txt_hue[4]->text(), QString("50"));
    QCOMPARE(c.hsr_hue[4]->value(), 50);
    QVERIFY(fx.device_says("CON275"));
    QCOMPARE(c.txt_con[2]->text(), QString("75"));
    QCOMPARE(c.hsr_con[2]->value(), 75);
    QVERIFY(fx.device_says("SAT600"));
    QCOMPARE(c.txt_sat[4]->text(), QString("0"));
    QCOMPARE(c.hsr_sat[4]->value(), 0);

    enter_mode(fx, 1);
    QVERIFY(fx.device_says("BRI100"));
    QCOMPARE(c.txt_bri[1]->text(), QString("100"));
    QCOMPARE(c.hsr_bri[1]->value(), 100);
    for (int n = 2; n <= 4; ++n) QCOMPARE(c.txt_bri[n]->text(), QString());
    // The value it already has: only the box is written (to the same digits).
    QVERIFY(fx.device_says("BRI100"));
    QCOMPARE(c.txt_bri[1]->text(), QString("100"));

    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QVERIFY(fx.ps().send_enable);
  }

  void replies_outside_a_rows_range_are_ignored() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    enter_mode(fx, 1);
    QVERIFY(fx.device_says("BRI040"));
    for (const char* line : {"BRI101", "BRI150", "BRI999", "BRI5x0", "BRI"})
      QVERIFY(fx.device_says(line));
    QCOMPARE(c.hsr_bri[1]->value(), 40);
    QCOMPARE(c.txt_bri[1]->text(), QString("40"));

    enter_mode(fx, 5);
    QVERIFY(fx.device_says("CON233"));
    // A remainder above 100, a row beyond D, a broken value.
    for (const char* line : {"CON350", "CON101", "CON800", "CON950", "CON2-1"})
      QVERIFY(fx.device_says(line));
    for (int n = 1; n <= 4; ++n) {
      QVERIFY(c.hsr_con[n]->value() >= 0 && c.hsr_con[n]->value() <= 100);
      QCOMPARE(c.hsr_con[n]->value(), n == 2 ? 33 : 50);  // the others as read with the mode
    }
    QCOMPARE(c.txt_con[2]->text(), QString("33"));

    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QVERIFY(fx.ps().send_enable);
  }

  void a_slider_moved_while_a_reply_is_applied_sends_nothing() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    enter_mode(fx, 1);
    auto& c = fx.c();
    QVERIFY(fx.device_says("CON020"));

    // The user releases the contrast slider just as a brightness reply is
    // being applied (the handler has sending switched off).
    bool moved = false;
    bool enable_seen = true;
    QObject::connect(c.txt_bri[1], &QLineEdit::textChanged, c.txt_bri[1], [&] {
      if (moved) return;
      moved = true;
      enable_seen = fx.ps().send_enable;
      fx.move(c.hsr_con[1], 33);
    });
    QVERIFY(fx.device_says("BRI070"));
    QVERIFY(moved);
    QVERIFY(!enable_seen);
    QCOMPARE(c.hsr_bri[1]->value(), 70);
    QCOMPARE(c.hsr_con[1]->value(), 33);       // the slider keeps its new place
    QCOMPARE(c.txt_con[1]->text(), QString("20"));  // the box its old text
    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QCOMPARE(fx.device().state().picture[0].contrast, 50);

    // Once the reply is applied, sliders send again.
    QVERIFY(fx.ps().send_enable);
    fx.move(c.hsr_con[1], 34);
    QVERIFY2(fx.received_exactly({"CON034"}), log_of(fx));
    QCOMPARE(c.txt_con[1]->text(), QString("34"));
  }

  void refresh_in_matrix_reads_the_whole_picture() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    enter_mode(fx, 1);
    fx.device().state().picture[0] = {11, 22, 33, 44};

    fx.click(fx.c().cmd_pic_refresh);
    QCOMPARE(fx.received(), (QStringList{"BRI999", "CON999", "HUE999", "SAT999"}));
    auto& c = fx.c();
    QCOMPARE(c.hsr_bri[1]->value(), 11);
    QCOMPARE(c.hsr_con[1]->value(), 22);
    QCOMPARE(c.hsr_hue[1]->value(), 33);
    QCOMPARE(c.hsr_sat[1]->value(), 44);
    QCOMPARE(c.txt_sat[1]->text(), QString("44"));
    fx.settle(30);
    QCOMPARE(fx.received().size(), 4);
  }

  void refresh_per_channel_reads_sixteen_values() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    enter_mode(fx, 5);
    for (int n = 0; n < 4; ++n)
      fx.device().state().picture[n] = {10 + n, 20 + n, 30 + n, 90 + n};

    fx.click(fx.c().cmd_pic_refresh);
    QStringList expected;
    for (int n = 1; n <= 4; ++n)
      for (const char* code : {"BRI", "CON", "HUE", "SAT"})
        expected << QLatin1String(code) + QStringLiteral("99") + QString::number(n);
    QCOMPARE(fx.received(), expected);
    auto& c = fx.c();
    for (int n = 1; n <= 4; ++n) {
      QCOMPARE(c.hsr_bri[n]->value(), 9 + n);
      QCOMPARE(c.hsr_con[n]->value(), 19 + n);
      QCOMPARE(c.hsr_hue[n]->value(), 29 + n);
      QCOMPARE(c.hsr_sat[n]->value(), 89 + n);
      QCOMPARE(c.txt_hue[n]->text(), QString::number(29 + n));
    }
    fx.settle(30);
    QCOMPARE(fx.received().size(), 16);
  }

  void refresh_stops_at_an_unanswered_query() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    enter_mode(fx, 2);
    corvane::Faults faults;
    faults.silent = {"CON"};
    fx.sim().set_faults(faults);

    fx.click(fx.c().cmd_pic_refresh);
    QCOMPARE(fx.received(), (QStringList{"BRI991", "CON991"}));
  }

  void an_unanswered_saturation_query_does_not_stop_the_refresh() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    enter_mode(fx, 2);
    // "SAT991" and "BRI992" go unanswered.
    QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(),
                     [&](const QString& line) {
                       if (line != "SAT991") return;
                       corvane::Faults faults;
                       faults.silent = {"SAT", "BRI"};
                       fx.sim().set_faults(faults);
                     });

    fx.click(fx.c().cmd_pic_refresh);
    QCOMPARE(fx.received(), (QStringList{"BRI991", "CON991", "HUE991", "SAT991", "BRI992"}));
  }

  void reset_sets_the_live_rows_to_fifty() {
    for (int mode : {1, 5}) {
      PanelFixture fx;
      fx.power_on();
      fx.clear_received();
      enter_mode(fx, mode);
      auto& c = fx.c();
      QVERIFY(fx.device_says("BRI010"));

      fx.click(c.cmd_pic_reset);
      QCOMPARE(fx.received(), QStringList{"RST002"});
      const int rows = mode == 1 ? 1 : 4;
      for (int n = 1; n <= 4; ++n) {
        const bool live = n <= rows;
        QCOMPARE(c.hsr_bri[n]->value(), live ? 50 : 0);
        QCOMPARE(c.hsr_sat[n]->value(), live ? 50 : 0);
        QCOMPARE(c.txt_con[n]->text(), live ? QString("50") : QString());
      }
      fx.settle(30);
      QCOMPARE(fx.received(), QStringList{"RST002"});
      QVERIFY(fx.ps().send_enable);
    }
  }

  void a_slider_on_a_closed_link_shows_the_message_and_sends_nothing() {
    PanelFixture fx({.link = PanelFixture::Link::None});
    auto& c = fx.c();
    fx.move(c.hsr_hue[1], 12);
    QCOMPARE(fx.messages(), QStringList{"RS232 port is disconnected !"});
    QCOMPARE(c.txt_hue[1]->text(), QString("12"));
    fx.settle(30);
    QVERIFY(fx.received().isEmpty());

    fx.clear_messages();
    awaited(fx.model().picture_refresh());
    QCOMPARE(fx.messages(), QStringList{"RS232 port is disconnected !"});
    QVERIFY(fx.received().isEmpty());
  }

  // One click on a slider's arrow while the port is closed, as the window
  // system delivers it (a window under a box gets no mouse events): one
  // message, shown once the button is up and read for longer than the arrow's
  // repeat delay; nothing repeats after it, the slider is back where the
  // device holds it, and nothing is sent later. Run in a real window too.
  void a_click_on_a_closed_link_is_told_once_data() {
    QTest::addColumn<QString>("slider_name");
    QTest::newRow("brightness") << "hsr_bri(1)";
    QTest::newRow("bezel") << "hsr_bezel_h";
  }
  void a_click_on_a_closed_link_is_told_once() {
    QFETCH(QString, slider_name);
    PanelFixture fx({.advanced = true, .show = true, .message_boxes = true});
    auto& c = fx.c();
    fx.device().state().mode = 3;  // the bezel frame is live in the TV Wall
    fx.device().state().bezel_h = 30;
    fx.device().state().bezel_on = true;
    fx.device().state().picture[0].brightness = 30;
    fx.full_refresh();
    auto* slider = fx.main().findChild<QScrollBar*>(slider_name);
    QVERIFY(slider && slider->isEnabled());
    QCOMPARE(slider->value(), 30);
    fx.click(c.cmd_disconn);
    fx.clear_received();
    QWindow* window = fx.main().windowHandle();
    QVERIFY(QTest::qWaitForWindowExposed(window));

    QStringList shown;
    QElapsedTimer up;  // how long the box has been read
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return up.invalidate();
      if (!up.isValid()) return up.start();
      if (up.elapsed() < 800) return;
      shown << box->text();
      box->accept();
    });
    reader.start(10);
    const QPoint arrow = slider->mapTo(&fx.main(), QPoint(slider->width() - 4, slider->height() / 2));
    QTest::mousePress(window, Qt::LeftButton, {}, arrow);
    QVERIFY(!QApplication::activeModalWidget());  // not inside the press
    QTest::qWait(100);
    QVERIFY(!QApplication::activeModalWidget());  // nor while the button is held
    QTest::mouseRelease(window, Qt::LeftButton, {}, arrow);
    QVERIFY(fx.wait_for([&] { return !shown.isEmpty(); }, 3000));
    fx.settle(1500);
    QCOMPARE(shown, QStringList{"RS232 port is disconnected !"});
    QCOMPARE(slider->value(), 30);

    // Connected again, a report of the device moves the slider and sends nothing.
    fx.click(c.cmd_conn);
    QVERIFY(fx.device_says(slider_name == "hsr_bezel_h" ? "BEH031" : "BRI031"));
    QCOMPARE(slider->value(), 31);
    fx.settle(300);
    QCOMPARE(fx.received(), QStringList{});
    QCOMPARE(shown.size(), 1);
  }
};

QTEST_MAIN(PictureTest)
#include "test_picture.moc"

