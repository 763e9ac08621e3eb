// The speaker button and the audio option groups, against the simulated device.
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "panel/audio.h"
#include "panel_fixture.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {

QByteArray log_of(PanelFixture& fx) { return fx.received().join(QLatin1Char(',')).toLatin1(); }

// The index of the checked option of a group, -1 when none is.
template <std::size_t N>
int checked(const std::array<QRadioButton*, N>& group) {
  for (std::size_t i = 0; i < N; ++i)
    if (group[i] && group[i]->isChecked()) return static_cast<int>(i);
  return -1;
}

}  // namespace

class AudioTest : public QObject {
  Q_OBJECT

 private slots:
  void speaker_button_flips_with_the_replies() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();
    QCOMPARE(fx.model().audio_state(), 254);

    fx.click(c.cmd_mute);  // not yet known: asks for audio on
    QCOMPARE(fx.received(), QStringList{"AUD001"});
    QCOMPARE(fx.model().audio_state(), 1);
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_on.bmp"));

    fx.click(c.cmd_mute);
    QCOMPARE(fx.received(), (QStringList{"AUD001", "AUD000"}));
    QCOMPARE(fx.model().audio_state(), 0);
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_off.bmp"));
    QVERIFY(!fx.device().state().audio_on);

    fx.click(c.cmd_mute);
    QCOMPARE(fx.received().last(), QString("AUD001"));
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_on.bmp"));
    QVERIFY(fx.device().state().audio_on);

    // The device's own report decides what the next click asks for.
    fx.clear_received();
    QVERIFY(fx.device_says("AUD000"));
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_off.bmp"));
    fx.click(c.cmd_mute);
    QCOMPARE(fx.received(), QStringList{"AUD001"});
    // Any digit but 0 is on: the next click mutes.
    QVERIFY(fx.device_says("AUD005"));
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_on.bmp"));
    QCOMPARE(fx.model().audio_state(), 1);
    fx.click(c.cmd_mute);
    QCOMPARE(fx.received(), (QStringList{"AUD001", "AUD000"}));

    // Not a digit: nothing changes.
    QVERIFY(fx.device_says("AUDxyz"));
    QCOMPARE(fx.model().audio_state(), 0);
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_off.bmp"));
  }

  void speaker_button_sends_even_while_replies_are_applied() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    fx.ps().send_enable = false;
    fx.click(fx.c().cmd_mute);
    fx.ps().send_enable = true;
    QCOMPARE(fx.received(), QStringList{"AUD001"});
  }

  void option_clicks_send_their_index() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    // A mode reported from the front panel: what the new mode shows is read, not counted here.
    QStringList sent;
    auto report_mode = [&](const QString& line) {
      sent += fx.received();
      QVERIFY(fx.device_says(line));
      awaited(fx.model().run_follow_ups());
      fx.clear_received();
    };
    fx.click(c.opt_audio[4]);
    fx.click(c.opt_audio[0]);
    report_mode("MOD002");  // the dual audio choices are live in a dual mode
    fx.click(c.opt_db[2]);
    fx.click(c.opt_da[2]);
    fx.click(c.opt_da[1]);
    report_mode("MOD005");  // and the quad ones in Quad
    fx.click(c.opt_quad[3]);
    sent += fx.received();
    fx.clear_received();
    QCOMPARE(sent, (QStringList{"AUE004", "AUE000", "AUB002", "AUA002", "AUA001", "AUQ003"}));
    const auto& dev = fx.device().state();
    QCOMPARE(dev.audio_edid, 0);
    QCOMPARE(dev.audio_a, 1);
    QCOMPARE(dev.audio_b, 2);
    QCOMPARE(dev.audio_quad, 3);
    QCOMPARE(checked(c.opt_audio), 0);
    QCOMPARE(checked(c.opt_db), 2);
    QCOMPARE(checked(c.opt_quad), 3);

    // Clicked while a reply is being applied: shown, not sent.
    fx.ps().send_enable = false;
    fx.click(c.opt_quad[1]);
    fx.ps().send_enable = true;
    fx.settle(30);
    QCOMPARE(fx.received(), QStringList{});
    QCOMPARE(checked(c.opt_quad), 1);
  }

  void option_replies_select_and_send_nothing() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();

    QVERIFY(fx.device_says("AUE003"));
    QCOMPARE(checked(c.opt_audio), 3);  // "Bitstream"
    QCOMPARE(c.opt_audio[3]->text(), QString("Bitstream"));
    QVERIFY(fx.device_says("AUQ002"));
    QCOMPARE(checked(c.opt_quad), 2);
    QVERIFY(fx.device_says("AUA002"));
    QCOMPARE(checked(c.opt_da), 2);
    QVERIFY(fx.device_says("AUB001"));
    QCOMPARE(checked(c.opt_db), 1);
    QVERIFY(fx.device_says("AUE000"));
    QCOMPARE(checked(c.opt_audio), 0);

    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QVERIFY(fx.ps().send_enable);
  }

  void replies_naming_no_option_are_ignored() {
    PanelFixture fx;
    fx.power_on();
    fx.clear_received();
    auto& c = fx.c();
    QVERIFY(fx.device_says("AUE001"));
    QVERIFY(fx.device_says("AUA001"));
    QVERIFY(fx.device_says("AUB002"));
    QVERIFY(fx.device_says("AUQ004"));

    for (const char* line : {"AUE005", "AUE009", "AUA000", "AUA003", "AUB009", "AUQ000",
                                "AUQ005", "AUQ", "AUEx"})
      QVERIFY(fx.device_says(line));
    QCOMPARE(checked(c.opt_audio), 1);
    QCOMPARE(checked(c.opt_da), 1);
    QCOMPARE(checked(c.opt_db), 2);
    QCOMPARE(checked(c.opt_quad), 4);

    fx.settle(30);
    QVERIFY2(fx.received().isEmpty(), log_of(fx));
    QVERIFY(fx.ps().send_enable);
  }

  void a_refresh_brings_every_audio_setting_in_line() {
    PanelFixture fx;
    auto& dev = fx.device().state();
    dev.audio_on = false;
    dev.audio_edid = 4;
    dev.audio_a = 2;
    dev.audio_b = 2;
    dev.audio_quad = 3;
    fx.full_refresh();
    auto& c = fx.c();
    QCOMPARE(fx.model().audio_state(), 0);
    QCOMPARE(button_picture(c.cmd_mute), QString("speaker_off.bmp"));
    QCOMPARE(checked(c.opt_audio), 4);
    QCOMPARE(checked(c.opt_da), 2);
    QCOMPARE(checked(c.opt_db), 2);
    QCOMPARE(checked(c.opt_quad), 3);
    for (const char* setting : {"AUE", "AUA", "AUB", "AUQ"})
      QCOMPARE(fx.received().count(QString(setting) + "999"), 1);
    QVERIFY(!fx.received().contains("AUE004"));
  }
};

QTEST_MAIN(AudioTest)
#include "test_audio.moc"

