// End to end: the real window drives corvane-sim, a separate process, over TCP
// loopback and over its pseudo-terminal opened as a serial port. The command
// sequences are read from the simulator's own log.
#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include "capturing_notifier.h"
#include "expected_commands.h"
#include "panel_fixture.h"
#include "panel/routing.h"
#include "shell/frm_main.h"
#include "ui/widgets.h"
#include "sim_process.h"
#include "windows/keypad_control.h"

using namespace quadrel;
using quadrel::test::CapturingNotifier;
using quadrel::test::SimProcess;
using namespace quadrel::test;


class EndToEndTest : public QObject {
  Q_OBJECT

  struct Rig {
    QTemporaryDir dir;
    SimProcess sim;
    CapturingNotifier notifier;
    std::unique_ptr<FrmMain> main;
    bool tcp = false;

    bool start(bool over_tcp, const QStringList& sim_setup = {}) {
      tcp = over_tcp;
      if (!sim.start(dir.filePath("corvane.tty"), {"--restart-ms", "300"})) return false;
      for (const QString& line : sim_setup) sim.command(line);
      prepare_program_folder(dir.path(), dir.filePath("corvane.tty"), tcp ? 1 : 0, true,
                             QStringLiteral("127.0.0.1:%1").arg(sim.port()));
      FrmMainOptions options;
      options.program_folder = dir.path();
      options.notifier = &notifier;
      options.show = false;
      main = std::make_unique<FrmMain>(options);
      if (tcp && !connect()) return false;
      sim.clear_log();
      return tcp ? main->link().state().eth_connected : main->link().state().serial_open;
    }
    bool connect() {
      main->controls().cmd_conn_eth->click();
      return QTest::qWaitFor([this] { return main->link().state().eth_connected; }, 3000) && idle();
    }
    MainControls& c() { return main->controls(); }
    // What a click asked of the device has ended, the reads that follow it included.
    bool idle() {
      return QTest::qWaitFor([this] { return !main->device().busy(); }, 10000);
    }
    void click(QAbstractButton* button) {
      button->click();
      QVERIFY(idle());
    }
    void refresh() {
      click(c().cmd_refresh);
      sim.clear_log();
    }
  };

  static void compare_window_with_device(Rig& rig) {
    const auto s = rig.sim.state();
    MainControls& c = rig.c();
    const Device& device = rig.main->device();
    const int mode = s.value("mode").toInt();
    QCOMPARE(device.disp_mode(), mode == 4 ? 2 : mode);
    for (int m = 1; m <= 5; ++m)
      QCOMPARE(back_color(c.cmd_mode[m]) == colour::highlight_blue, m == mode);
    QCOMPARE(c.cbo_output->currentIndex(), s.value("resolution").toInt() - 1);
    QCOMPARE(c.cbo_aspect->currentIndex(), s.value("aspect").toInt());
    QCOMPARE(device.sel_out(), s.value("channel").toInt());
    for (int ch = 1; ch <= 4; ++ch) {
      if (mode == 3 && ch > 1) break;
      const int input = s.value(QStringLiteral("input%1").arg(ch)).toInt();
      for (int in = 1; in <= 4; ++in)
        QCOMPARE(c.sha_out_in[ch][in]->fill() == colour::routed_green, in == input);
    }
    const int rows = mode == 1 ? 1 : 4;
    for (int n = 1; n <= rows; ++n) {
      QCOMPARE(c.hsr_bri[n]->value(), s.value(QStringLiteral("bri%1").arg(n)).toInt());
      QCOMPARE(c.hsr_con[n]->value(), s.value(QStringLiteral("con%1").arg(n)).toInt());
      QCOMPARE(c.hsr_hue[n]->value(), s.value(QStringLiteral("hue%1").arg(n)).toInt());
      QCOMPARE(c.hsr_sat[n]->value(), s.value(QStringLiteral("sat%1").arg(n)).toInt());
      QCOMPARE(c.txt_bri[n]->text(), s.value(QStringLiteral("bri%1").arg(n)));
    }
    QVERIFY(c.opt_audio[s.value("audio_edid").toInt()]->isChecked());
    QVERIFY(c.opt_da[s.value("audio_a").toInt()]->isChecked());
    QVERIFY(c.opt_db[s.value("audio_b").toInt()]->isChecked());
    QVERIFY(c.opt_quad[s.value("audio_quad").toInt()]->isChecked());
    QVERIFY(c.opt_bezel_onoff[s.value("bezel_on").toInt()]->isChecked());
    QCOMPARE(c.hsr_bezel_h->value(), s.value("bezel_h").toInt());
    QCOMPARE(c.hsr_bezel_v->value(), s.value("bezel_v").toInt());
    QCOMPARE(c.hsr_bezel_h->maximum(), s.value("bezel_h_limit").toInt());
    QCOMPARE(c.hsr_bezel_v->maximum(), s.value("bezel_v_limit").toInt());
    QCOMPARE(device.lock_state(), s.value("key_lock").toInt());
    QCOMPARE(device.audio_state(), s.value("audio_on").toInt());
    QCOMPARE(device.pwr_state(), s.value("power").toInt());
    QCOMPARE(c.txt_ver->text(), QStringLiteral("1.23"));
  }

 private slots:
  void full_refresh_brings_the_window_into_the_device_state_data() {
    QTest::addColumn<bool>("tcp");
    QTest::addColumn<int>("mode");
    QTest::newRow("tcp, quad") << true << 5;
    QTest::newRow("serial, quad") << false << 5;
    QTest::newRow("tcp, matrix") << true << 1;
    QTest::newRow("serial, tv wall") << false << 3;
  }
  void full_refresh_brings_the_window_into_the_device_state() {
    QFETCH(bool, tcp);
    QFETCH(int, mode);
    Rig rig;
    const QStringList setup{QStringLiteral("panel MOD00%1").arg(mode), "panel OUT002", "panel INP004",
                            "panel RES008", "panel ASP003", "panel AUE003", "panel AUQ002", "panel AUB002",
                            "panel BEZ001", "panel BEH017", "panel LCK001",
                            mode == 1 ? "panel BRI033" : "panel BRI433", mode == 1 ? "panel SAT071" : "panel SAT671"};
    QVERIFY(rig.start(tcp, setup));
    rig.click(rig.c().cmd_refresh);
    QCOMPARE(rig.sim.log(), refresh_commands(mode, true));
    compare_window_with_device(rig);
    QVERIFY(rig.notifier.texts.isEmpty());
  }

  void each_mode_change_data() {
    QTest::addColumn<bool>("tcp");
    QTest::newRow("tcp") << true;
    QTest::newRow("serial") << false;
  }
  void each_mode_change() {
    QFETCH(bool, tcp);
    Rig rig;
    QVERIFY(rig.start(tcp));
    rig.refresh();
    for (int mode : {2, 3, 4, 5, 1}) {
      rig.click(rig.c().cmd_mode[mode]);
      const QStringList expected = QStringList{QStringLiteral("MOD00%1").arg(mode)} + mode_change_queries(mode);
      QCOMPARE(rig.sim.log(), expected);
      rig.sim.clear_log();
      QCOMPARE(rig.sim.state().value("mode").toInt(), mode);
      for (int m = 1; m <= 5; ++m) QVERIFY(rig.c().cmd_mode[m]->isEnabled());
    }
  }

  void routing_by_click_and_by_keyboard() {
    Rig rig;
    QVERIFY(rig.start(true));
    rig.refresh();
    rig.click(rig.c().cmd_out[2]);
    QTest::mouseClick(rig.c().lab_out_in[2][3], Qt::LeftButton);
    QVERIFY(rig.idle());
    QCOMPARE(rig.sim.log(), (QStringList{"OUT002", "INP999", "INP003"}));
    QCOMPARE(rig.sim.state().value("input2"), QStringLiteral("3"));
    QVERIFY(rig.c().sha_out_in[2][3]->fill() == colour::routed_green);
    rig.sim.clear_log();

    rig.click(rig.c().cmd_keypad);
    QWidget* keypad = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->windowTitle() == QStringLiteral("Keyboard") && w->isVisible()) keypad = w;
    QVERIFY(keypad);
    QTest::keyClick(keypad, Qt::Key_D);
    QVERIFY(rig.idle());
    QTest::keyClick(keypad, Qt::Key_K);
    QVERIFY(rig.idle());
    QCOMPARE(rig.sim.log(), (QStringList{"OUT003", "INP999", "INP002"}));
    QCOMPARE(rig.sim.state().value("input3"), QStringLiteral("2"));
  }

  void preset_save_and_recall() {
    Rig rig;
    QVERIFY(rig.start(false));
    rig.refresh();
    rig.click(rig.c().cmd_save[2]);
    rig.click(rig.c().cmd_out[1]);
    QTest::mouseClick(rig.c().lab_out_in[1][4], Qt::LeftButton);
    QVERIFY(rig.idle());
    rig.click(rig.c().cmd_recall[2]);
    const QStringList expected = QStringList{"SAV002", "OUT001", "INP999", "INP004", "CAL002"} + recall_queries(1);
    QCOMPARE(rig.sim.log(), expected);
    QCOMPARE(rig.sim.state().value("input1"), QStringLiteral("1"));
    QVERIFY(rig.c().sha_out_in[1][1]->fill() == colour::routed_green);
    QCOMPARE(back_color(rig.c().cmd_save[2]), colour::highlight_blue);
    QCOMPARE(back_color(rig.c().cmd_recall[2]), colour::highlight_blue);
  }

  void each_tool_window_opens_and_reads_the_device() {
    Rig rig;
    QVERIFY(rig.start(true, {"panel MOD004"}));
    rig.refresh();
    rig.click(rig.c().cmd_hdcp);
    QCOMPARE(rig.sim.log(), (QStringList{"HPI991", "HPI992", "HPI993", "HPI994", "HPO991", "HPO992", "HPO993", "HPO994"}));
    rig.sim.clear_log();
    QTest::mouseClick(rig.c().lab_lab_input, Qt::LeftButton);
    QVERIFY(rig.idle());
    QCOMPARE(rig.sim.log(), (QStringList{"LAB999", "LAI991", "LAI992", "LAI993", "LAI994"}));
    rig.sim.clear_log();
    QVERIFY(rig.c().lab_pip->isVisible() || !rig.c().lab_pip->isHidden());
    QTest::mouseClick(rig.c().lab_pip, Qt::LeftButton);
    QVERIFY(rig.idle());
    QCOMPARE(rig.sim.log(), (QStringList{"PPO991", "PPO992", "PSZ991", "PSZ992"}));
  }

  void factory_reset_over_tcp_and_reconnect() {
    Rig rig;
    QVERIFY(rig.start(true));
    rig.refresh();
    rig.click(rig.c().cmd_fact_reset);
    QCOMPARE(rig.sim.log(), QStringList{"RST001"});
    QCOMPARE(rig.notifier.texts.join("/"), QStringLiteral("Need to re-connect Ethernet after Corvane re-boots ready !"));
    QVERIFY(!rig.main->link().state().eth_connected);
    QVERIFY(!rig.c().img_start->isHidden());
    QVERIFY(rig.c().cmd_keypad->isHidden());
    QCOMPARE(back_color(rig.c().cmd_disconn_eth), colour::busy_red);
    // The device is back after its restart; the user connects again.
    QTest::qWait(400);
    QVERIFY(rig.connect());
    rig.sim.clear_log();
    rig.click(rig.c().cmd_refresh);
    QCOMPARE(rig.sim.log(), refresh_commands(1, true));
    QVERIFY(rig.c().img_start->isHidden());
  }
};

QTEST_MAIN(EndToEndTest)
#include "test_e2e.moc"
