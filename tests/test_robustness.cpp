// The window under a misbehaving device: silence, refusals, split, merged and
// garbled replies, lost connections, restarts, and a long run of random replies,
// clicks and keys. Afterwards the window is consistent and the next refresh works.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "panel/routing.h"
#include "expected_commands.h"
#include "panel_fixture.h"
#include "spin.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;
using quadrel::test::refresh_commands;

namespace {

// The sanitized build runs the simulator in this process and the window ten
// times slower: a tenth of each flood still outruns the handlers many times over.
constexpr int kFloodScale = quadrel::test::kSlowdown;

void set_faults(PanelFixture& fx, const std::function<void(corvane::Faults&)>& change) {
  corvane::Faults faults;
  change(faults);
  fx.sim().set_faults(faults);
}

// The longest the window took, over ten tries 30 ms apart, to run an event
// posted to it: how long a click would wait for an answer. -1 when one never ran.
qint64 slowest_answer_ms() {
  qint64 slowest = 0;
  for (int click = 0; click < 10; ++click) {
    QElapsedTimer clock;
    clock.start();
    bool answered = false;
    QTimer::singleShot(0, [&] { answered = true; });
    if (!QTest::qWaitFor([&] { return answered; }, 2000)) return -1;
    slowest = std::max(slowest, clock.elapsed());
    QTest::qWait(30);
  }
  return slowest;
}

// What must hold whatever the device did.
void verify_consistent(PanelFixture& fx) {
  MainControls& c = fx.c();
  for (int n = 1; n <= 4; ++n) {
    for (QScrollBar* slider : {c.hsr_bri[n], c.hsr_con[n], c.hsr_hue[n], c.hsr_sat[n]}) {
      QVERIFY2(slider->value() >= 0 && slider->value() <= 100, qPrintable(slider->objectName()));
      QCOMPARE(slider->maximum(), 100);
    }
  }
  for (QScrollBar* slider : {c.hsr_bezel_h, c.hsr_bezel_v}) {
    QVERIFY(slider->maximum() >= 0 && slider->maximum() <= 254);
    QVERIFY(slider->value() >= 0 && slider->value() <= slider->maximum());
  }
  QVERIFY(fx.model().sel_out() >= 1 && fx.model().sel_out() <= 4);
  QVERIFY(fx.model().disp_mode() == 1 || fx.model().disp_mode() == 2 || fx.model().disp_mode() == 3 || fx.model().disp_mode() == 5);
  // The mode buttons' own state (their frame follows the power reports).
  for (int m = 1; m <= 5; ++m)
    QVERIFY(c.cmd_mode[m]->isEnabledTo(c.fra_btn) || c.cbo_output->currentIndex() == 4 ||
            c.cbo_output->currentIndex() == 5);
  QVERIFY(c.cmd_refresh->isEnabled());
  QVERIFY(!fx.link().state().tx_busy);
  QVERIFY(!fx.link().waiting());
  QVERIFY(fx.link().state().con_lines <= 81);
  QVERIFY(c.cbo_output->currentIndex() < c.cbo_output->count());
  QVERIFY(c.cbo_aspect->currentIndex() < c.cbo_aspect->count());
}

// A well-behaved device again: the next refresh runs to its end.
void verify_next_refresh_works(PanelFixture& fx) {
  fx.sim().set_faults({});
  // What the last reply asked to read is read first.
  QVERIFY(fx.idle(10000));
  fx.settle(30);
  fx.clear_received();
  fx.full_refresh();
  const int mode = fx.device().state().mode;
  QCOMPARE(fx.received(), refresh_commands(mode, fx.ps().advanced_open));
  verify_consistent(fx);
}

}  // namespace

class RobustnessTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { QApplication::setApplicationName(QStringLiteral("Quadrel")); }

  void a_device_silent_for_each_code_in_turn() {
    PanelFixture fx({.advanced = true});
    fx.device().state().mode = 5;
    const QStringList codes{"VER", "VR2", "AUA", "AUB", "AUD", "AUE", "AUQ", "BEH", "BEV", "BEZ", "LCK",
                            "PWR", "RES", "MOD", "OUT", "INP", "ASP", "BRI", "CON", "HUE", "SAT"};
    for (const QString& code : codes) {
      set_faults(fx, [&](corvane::Faults& f) { f.silent.insert(code); });
      fx.clear_received();
      fx.full_refresh();
      QVERIFY2(!fx.received().isEmpty(), qPrintable(code));
      verify_consistent(fx);
      fx.sim().set_faults({});
    }
    verify_next_refresh_works(fx);
  }

  void a_device_that_refuses_everything() {
    PanelFixture fx({.advanced = true});
    fx.power_on();
    fx.clear_received();
    set_faults(fx, [](corvane::Faults& f) { f.err_all = true; });
    fx.full_refresh();
    // "ERR" counts as an answer: the whole sequence is sent, and nothing changes.
    QCOMPARE(fx.received(), refresh_commands(1, true));
    verify_consistent(fx);
    for (int m = 2; m <= 5; ++m) fx.click(fx.c().cmd_mode[m]);
    verify_consistent(fx);
    verify_next_refresh_works(fx);
  }

  void replies_in_single_bytes_merged_and_garbled_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<QString>("fault");
    for (const char* fault : {"split", "merge", "garbage", "pace"}) {
      QTest::addRow("serial %s", fault) << int(PanelFixture::Link::Serial) << QString(fault);
      QTest::addRow("ethernet %s", fault) << int(PanelFixture::Link::Ethernet) << QString(fault);
    }
  }
  void replies_in_single_bytes_merged_and_garbled() {
    QFETCH(int, link);
    QFETCH(QString, fault);
    PanelFixture fx({.link = PanelFixture::Link(link), .advanced = true});
    fx.device().state().mode = 2;
    set_faults(fx, [&](corvane::Faults& f) {
      f.split = fault == "split" ? 1 : 0;
      f.split_gap_ms = 1;
      f.merge = fault == "merge";
      f.garbage = fault == "garbage";
      f.pace = fault == "pace";
    });
    fx.full_refresh();
    verify_consistent(fx);
    if (fault != "merge") {
      // Merged replies each wait for the next one: the refresh stops at its first query.
      // Every reply is whole and in order: the refresh ran to its end.
      QCOMPARE(fx.received(), refresh_commands(2, true));
      QCOMPARE(fx.c().txt_ver->text(), QStringLiteral("1.23"));
      QCOMPARE(fx.model().disp_mode(), 2);
    }
    verify_next_refresh_works(fx);
  }

  void the_connection_dropped_or_ended_in_a_refresh_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("dropped") << "drop";
    QTest::newRow("EXT") << "ext";
    QTest::newRow("device restart") << "restart";
  }
  void the_connection_dropped_or_ended_in_a_refresh() {
    QFETCH(QString, how);
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .advanced = true});
    corvane::Faults faults;
    faults.restart_ms = 200;
    fx.sim().set_faults(faults);
    int replies = 0;
    QObject::connect(&fx.sim(), &corvane::SimServer::command_received, &fx.sim(), [&] {
      if (++replies == 10) {
        if (how == "drop") fx.sim().drop_connection();
        if (how == "ext") fx.sim().send_ext();
        if (how == "restart") fx.sim().restart();
      }
    });
    fx.full_refresh();
    QVERIFY(!fx.link().state().eth_connected);
    verify_consistent(fx);
    QObject::disconnect(&fx.sim(), nullptr, &fx.sim(), nullptr);
    fx.settle(300);
    QVERIFY(fx.connect_ethernet());
    fx.clear_messages();
    verify_next_refresh_works(fx);
    QVERIFY(fx.messages().isEmpty());
  }

  void a_device_restart_over_serial() {
    PanelFixture fx({.advanced = true});
    corvane::Faults faults;
    faults.restart_ms = 300;
    fx.sim().set_faults(faults);
    fx.full_refresh();
    fx.click(fx.c().cmd_fact_reset);
    QVERIFY(fx.c().cmd_fact_reset->isEnabled());
    fx.settle(350);
    verify_next_refresh_works(fx);
  }

  void a_flood_of_line_noise_leaves_the_window_answering_data() {
    QTest::addColumn<bool>("stream");
    QTest::newRow("16 MB burst") << false;
    QTest::newRow("10 MB per second") << true;
  }
  void a_flood_of_line_noise_leaves_the_window_answering() {
    QFETCH(bool, stream);
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    if (stream)
      set_faults(fx, [](corvane::Faults& f) { f.noise_rate = 10'000'000; });
    else
      fx.sim().flood(16 << 20);
    const qint64 slowest = slowest_answer_ms();
    QVERIFY2(slowest >= 0 && slowest < 200, qPrintable(QString::number(slowest)));
    // A line the device sends after the noise (a carriage return ends the
    // noise's last line) is handled once the noise before it has been read.
    fx.sim().set_faults({});
    fx.sim().send_garbage("\r");
    fx.sim().send_unsolicited(QStringLiteral("PWR001"));
    QVERIFY(fx.wait_for([&] { return fx.console().contains(QStringLiteral("PWR001")); }, 10000));
    verify_next_refresh_works(fx);
  }

  // The device reports on its own at 1 MB/s (about 143,000 valid lines a
  // second), or sends 16 MB of them at once: the window answers, a refresh in
  // the middle of it gets every answer, and the burst is over in moments.
  void a_flood_of_valid_lines_leaves_refresh_working_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<bool>("stream");
    for (const bool stream : {true, false}) {
      const char* what = stream ? "1 MB per second" : "16 MB burst";
      QTest::addRow("ethernet, %s", what) << int(PanelFixture::Link::Ethernet) << stream;
      QTest::addRow("serial, %s", what) << int(PanelFixture::Link::Serial) << stream;
    }
  }
  void a_flood_of_valid_lines_leaves_refresh_working() {
    QFETCH(int, link);
    QFETCH(bool, stream);
    PanelFixture fx({.link = PanelFixture::Link(link), .advanced = true});
    // What the device would say of itself anyway: the refresh reads the same.
    const QStringList lines{"PWR001", "MOD001", "OUT001", "INP001"};
    if (stream)
      set_faults(fx, [&](corvane::Faults& f) {
        f.line_rate = 1'000'000 / kFloodScale;
        f.stream = lines;
      });
    else
      fx.sim().flood_lines((16 << 20) / kFloodScale, lines);
    // The burst's last line, which the window handles once it has read the burst.
    if (!stream) fx.sim().send_unsolicited(QStringLiteral("LCK000"));
    const qint64 slowest = slowest_answer_ms();
    QVERIFY2(slowest >= 0 && slowest < 200, qPrintable(QString::number(slowest)));
    // A burst is over in moments: its newest line is handled.
    if (!stream) QVERIFY(fx.wait_for([&] { return fx.console().contains(QStringLiteral("LCK000")); }, 10000));
    int answered = 0;
    int exchanges = 0;
    const auto counting = QObject::connect(&fx.link(), &DeviceLink::exchange_ended,
                                           [&](const QString&, ExchangeOutcome outcome) {
                                             ++exchanges;
                                             answered += outcome == ExchangeOutcome::Answered;
                                           });
    fx.clear_received();
    QElapsedTimer refresh;
    refresh.start();
    fx.full_refresh();
    QObject::disconnect(counting);
    QCOMPARE(fx.received(), refresh_commands(1, true));
    QCOMPARE(answered, exchanges);
    QVERIFY2(refresh.elapsed() < 5000, qPrintable(QString::number(refresh.elapsed())));
    verify_consistent(fx);
    // Once the device is quiet again, its next line is handled at once.
    fx.sim().set_faults({});
    fx.settle(300);
    QVERIFY(fx.device_says(QStringLiteral("PWR000")));
    QCOMPARE(fx.model().pwr_state(), 0);
    fx.power_on();
    verify_next_refresh_works(fx);
  }

  void closing_ends_a_slow_refresh_at_once() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    set_faults(fx, [](corvane::Faults& f) { f.delay_ms = 1000; });
    const QString settings = fx.folder() + QStringLiteral("/corvane.ini");
    QFile::remove(settings);
    QElapsedTimer clock;
    QTimer::singleShot(100, [&] {
      clock.start();
      fx.main().close();
    });
    fx.full_refresh();
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(QFile::exists(settings));
    QCOMPARE(fx.received(), QStringList{"VER999"});
  }

  void get_ip_during_a_label_exchange_takes_nothing() {
    PanelFixture fx({.advanced = true});
    fx.device().state().labels[0] = "ABCDEFGHIJKL";  // a reply of 17 characters
    set_faults(fx, [](corvane::Faults& f) { f.delay_ms = 50; });
    QTimer::singleShot(10, [&] { fx.click(fx.c().cmd_get_ip); });
    awaited(fx.link().tx_cmd("LAI991"));
    QVERIFY(fx.model().answered());
    fx.settle(150);
    QCOMPARE(fx.received(), QStringList{"LAI991"});
    QVERIFY(fx.c().txt_get_ip->text().isEmpty());
    QCOMPARE(fx.link().state().getip_state, 254);
    verify_consistent(fx);
  }

  void random_replies_clicks_and_keys() {
    PanelFixture fx({.advanced = true});
    fx.full_refresh();
    fx.power_on();
    QRandomGenerator random(4242);
    const int events = qEnvironmentVariableIntValue("QUADREL_RANDOM_EVENTS") > 0
                           ? qEnvironmentVariableIntValue("QUADREL_RANDOM_EVENTS")
                           : 10000;
    // What the device may say on its own: every code, in and out of range, and noise.
    const QStringList codes{"ASP", "AUA", "AUB", "AUD", "AUE", "AUQ", "BEH", "BEV", "BEZ", "BRI", "CAL",
                            "CON", "HPI", "HPO", "HUE", "INP", "LAB", "LAI", "LCK", "MOD", "OUT", "PPO",
                            "PSW", "PSZ", "PWR", "RES", "RST", "SAT", "SAV", "VER", "VR2", "ERR", "MNX", "XYZ"};
    MainControls& c = fx.c();
    QList<QAbstractButton*> buttons;
    for (int m = 1; m <= 5; ++m) buttons << c.cmd_mode[m];
    for (int n = 1; n <= 4; ++n) buttons << c.cmd_out[n] << c.cmd_save[n] << c.cmd_recall[n];
    buttons << c.cmd_mute << c.cmd_lock << c.cmd_menu_up << c.cmd_menu_down << c.cmd_menu_left
            << c.cmd_menu_right << c.cmd_menu_ok << c.cmd_menu_exit << c.cmd_menu_menu << c.cmd_pic_refresh
            << c.cmd_pic_reset << c.cmd_ver << c.cmd_hdcp << c.cmd_keypad << c.cmd_get_ip << c.cmd_pwr;
    for (int i = 0; i <= 4; ++i) buttons << c.opt_audio[i];
    for (int i = 1; i <= 2; ++i) buttons << c.opt_da[i] << c.opt_db[i];
    for (int i = 1; i <= 4; ++i) buttons << c.opt_quad[i];
    buttons << c.opt_bezel_onoff[0] << c.opt_bezel_onoff[1];
    const QList<QScrollBar*> sliders{c.hsr_bri[1], c.hsr_con[2], c.hsr_hue[3], c.hsr_sat[4], c.hsr_bezel_h, c.hsr_bezel_v};
    const QList<int> keys{Qt::Key_1, Qt::Key_2, Qt::Key_3, Qt::Key_4, Qt::Key_5, Qt::Key_A, Qt::Key_S, Qt::Key_D,
                          Qt::Key_F, Qt::Key_J, Qt::Key_K, Qt::Key_L, Qt::Key_Semicolon, Qt::Key_Up,
                          Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_Home, Qt::Key_End, Qt::Key_PageUp,
                          Qt::Key_PageDown, Qt::Key_Clear, Qt::Key_G};

    for (int event = 0; event < events; ++event) {
      const int kind = random.bounded(100);
      if (kind < 55) {
        QString line = codes[random.bounded(codes.size())];
        const int form = random.bounded(4);
        if (form == 0) line += QString::number(random.bounded(1000)).rightJustified(3, '0');
        if (form == 1) line += QStringLiteral("00") + QString::number(random.bounded(10));
        if (form == 2) line += QStringLiteral("0") + QString::number(random.bounded(10)) + QString::number(random.bounded(10));
        if (form == 3) line += QString::number(random.bounded(100000));
        fx.sim().send_unsolicited(line);
        if (random.bounded(20) == 0) fx.sim().send_garbage();
        QTest::qWait(0);
      } else if (kind < 85) {
        QAbstractButton* button = buttons[random.bounded(buttons.size())];
        // Only what a user could reach: a slow button (a silent device) is no part of this run.
        if (button->isEnabled() && button->isVisibleTo(&fx.main())) button->click();
      } else if (kind < 93) {
        QScrollBar* slider = sliders[random.bounded(sliders.size())];
        if (slider->isEnabled()) slider->setValue(random.bounded(slider->maximum() + 1));
      } else {
        QWidget* keypad = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->windowTitle() == QStringLiteral("Keyboard") && w->isVisible()) keypad = w;
        if (keypad) QTest::keyClick(keypad, Qt::Key(keys[random.bounded(keys.size())]));
      }
      if (event % 500 == 0) {
        // At rest: the clicks' sequences and the reads they asked for are over.
        QVERIFY(fx.idle(10000));
        verify_consistent(fx);
        if (QTest::currentTestFailed()) return;
      }
    }
    fx.settle(50);
    QVERIFY(fx.idle(10000));
    verify_consistent(fx);
    fx.power_on();
    verify_next_refresh_works(fx);
  }
};

QTEST_MAIN(RobustnessTest)
#include "test_robustness.moc"

