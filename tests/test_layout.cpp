// The main window's controls as they are created: names, grouping, captions,
// design-time state, accessible names and the pictures with their fallbacks.
#include <QAccessible>
#include <QComboBox>
#include <QWheelEvent>
#include <functional>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QtTest>
#include <memory>

#include "panel/status_line.h"
#include "panel_fixture.h"
#include "windows/frm_pip.h"
#include "windows/pip_control.h"
#include "ui/widgets.h"

using namespace quadrel;
using namespace quadrel::test;

namespace {

// A program folder with settings for Ethernet (so no serial port is touched)
// and the pictures given.
class Folder {
 public:
  explicit Folder(bool with_pictures) {
    write_file(dir_.path(), QStringLiteral("corvane.ini"), "1\r\n1\r\n#FALSE#\r\n\"127.0.0.1\"\r\n");
    QFile::copy(source_dir() + QStringLiteral("/data/output_reso.txt"), path(QStringLiteral("output_reso.txt")));
    QDir(dir_.path()).mkpath(QStringLiteral("bmp"));
    if (with_pictures) {
      const QDir from(source_dir() + QStringLiteral("/bmp"));
      for (const QString& name : from.entryList({QStringLiteral("*.bmp")}, QDir::Files))
        QFile::copy(from.filePath(name), path(QStringLiteral("bmp/") + name));
    }
  }
  QString path(const QString& name) const { return QDir(dir_.path()).filePath(name); }
  QString folder() const { return dir_.path(); }
  std::unique_ptr<FrmMain> open() {
    FrmMainOptions options;
    options.program_folder = dir_.path();
    options.notifier = &notifier;
    options.show = false;
    return std::make_unique<FrmMain>(options);
  }
  CapturingNotifier notifier;

 private:
  QTemporaryDir dir_;
};

QRect twip_rect(int left, int top, int width, int height) {
  return QRect(twips(left), twips(top), twips(width), twips(height));
}

}  // namespace

class TestLayout : public QObject {
  Q_OBJECT

 private slots:
  void every_control_is_named_once() {
    Folder folder(true);
    auto main = folder.open();
    QSet<QString> names;
    for (QWidget* w : main->findChildren<QWidget*>()) {
      if (w->isWindow() || w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
      QVERIFY2(!names.contains(w->objectName()), qPrintable(w->objectName()));
      names.insert(w->objectName());
    }
    for (const char* name : {"cmd_mode(2)", "cmd_out(4)", "lab_out_b_in(3)", "sha_out_d_in(4)", "hsr_bri(1)",
                             "txt_hue(4)", "lab_sat(2)", "opt_interface(0)", "opt_bezel_onoff(1)", "opt_audio(4)",
                             "opt_da(2)", "opt_db(1)", "opt_quad(3)", "cmd_recall(1)", "cmd_save(4)", "fra_con",
                             "lab_pip", "sha_lab_in", "img_start", "Image1", "Label1", "Label2", "Label3",
                             "txt_cmd", "cmd_clear", "cbo_output", "lab_reso_out"})
      QVERIFY2(names.contains(QString::fromLatin1(name)), name);
    QCOMPARE(main->controls().tim_eth->objectName(), QStringLiteral("tim_eth"));
  }

  void grouping_and_places() {
    Folder folder(true);
    auto main = folder.open();
    MainControls& c = main->controls();
    QCOMPARE(c.opt_interface[1]->parentWidget(), c.fra_rs232);
    QCOMPARE(c.txt_ip->parentWidget(), c.fra_rs232);
    QCOMPARE(c.cmd_mode[5]->parentWidget(), c.fra_btn);
    QCOMPARE(c.lab_out_in[4][4]->parentWidget(), c.fra_btn);
    QCOMPARE(c.img_start->parentWidget(), c.fra_btn);
    QCOMPARE(c.hsr_sat[3]->parentWidget(), c.fra_sat);
    QCOMPARE(c.fra_sat->parentWidget(), c.fra_pic);
    QCOMPARE(c.opt_bezel_onoff[0]->parentWidget(), c.fra_bezel);
    QCOMPARE(c.opt_audio[3]->parentWidget(), c.fra_audio);
    QCOMPARE(c.opt_quad[4]->parentWidget(), c.fra_quad);
    QCOMPARE(c.cmd_save[2]->parentWidget(), c.fra_recall_save);
    QCOMPARE(c.cbo_aspect->parentWidget(), main.get());

    QCOMPARE(c.cmd_refresh->geometry(), twip_rect(120, 60, 1155, 405));
    QCOMPARE(c.fra_btn->geometry(), twip_rect(1410, 90, 11325, 2115));
    QCOMPARE(c.cmd_mode[2]->geometry(), twip_rect(3720, 0, 1185, 435));
    QCOMPARE(c.cmd_out[3]->geometry(), twip_rect(5550, 510, 1365, 495));
    // The map: two by two under each output, labels 30 twips right and below their shapes.
    QCOMPARE(c.sha_out_in[2][1]->geometry(), twip_rect(4080, 1080, 585, 465));
    QCOMPARE(c.sha_out_in[2][4]->geometry(), twip_rect(4740, 1620, 585, 465));
    QCOMPARE(c.lab_out_in[4][3]->geometry(), twip_rect(7140, 1650, 525, 420));
    QCOMPARE(c.txt_bri[2]->geometry(), twip_rect(930, 750, 555, 375));
    QCOMPARE(c.lab_hue[4]->geometry(), twip_rect(60, 1710, 645, 375));
    QCOMPARE(c.txt_cmd->geometry(), twip_rect(150, 6600, 11835, 2445));
    // Alternative groups share one place.
    QCOMPARE(c.cmd_conn->geometry(), c.cmd_conn_eth->geometry());
    QCOMPARE(c.fra_quad->pos(), c.fra_dual_a->pos());
  }

  void captions_and_fonts() {
    Folder folder(true);
    auto main = folder.open();
    MainControls& c = main->controls();
    const QStringList modes = {"Matrix", "Dual PoP", "TV Wall", "Dual PiP", "Quad"};
    // The caption as it reads; an access key only underlines a letter.
    for (int i = 1; i <= 5; ++i) QCOMPARE(c.cmd_mode[i]->text().remove(QLatin1Char('&')), modes[i - 1]);
    QCOMPARE(c.cmd_out[2]->text(), QStringLiteral("B"));
    QCOMPARE(c.lab_pip->text(), QStringLiteral("  P"));
    QCOMPARE(c.lab_lab_input->text(), QStringLiteral("  L"));
    QCOMPARE(c.lab_aspect->text(), QStringLiteral("Aspect\nRatio"));
    QCOMPARE(c.lab_bri[3]->text(), QStringLiteral("Out C"));
    QCOMPARE(c.cmd_recall[4]->text(), QStringLiteral("Recall 4"));
    QCOMPARE(c.fra_recall_save->title(), QStringLiteral("Recall / Save"));
    QCOMPARE(c.fra_pic->title(), QStringLiteral("Picture"));
    QCOMPARE(c.cmd_clear->text(), QStringLiteral("清"));
    QCOMPARE(c.lab_rs232->text(), QStringLiteral("115200,8,N,1"));

    QCOMPARE(c.txt_ip->font().families().value(0), QStringLiteral("Courier New"));
    QVERIFY(c.txt_ip->font().families().contains(QStringLiteral("Liberation Mono")));
    QCOMPARE(c.cmd_refresh->font().families().value(0), QStringLiteral("Arial"));
    QCOMPARE(c.cmd_out[1]->font().families().value(0), QStringLiteral("Verdana"));
    QCOMPARE(c.lab_out_in[1][1]->font().families().value(0), QStringLiteral("Verdana"));
    QCOMPARE(c.cmd_clear->font().families().value(0), QStringLiteral("新細明體"));
    // The look-alike installed here is really used.
    QVERIFY(QFontInfo(c.txt_ip->font()).fixedPitch());
    QVERIFY(QFontMetrics(c.cmd_clear->font()).inFont(QChar(0x6E05)));
  }

  void design_time_state() {
    Folder folder(true);
    auto main = folder.open();
    MainControls& c = main->controls();
    for (QWidget* w : {(QWidget*)c.fra_btn, (QWidget*)c.fra_pic, (QWidget*)c.fra_bezel, (QWidget*)c.fra_audio,
                       (QWidget*)c.fra_dual_a, (QWidget*)c.fra_dual_b, (QWidget*)c.fra_quad,
                       (QWidget*)c.fra_recall_save, (QWidget*)c.cmd_hdcp, (QWidget*)c.cbo_aspect,
                       (QWidget*)c.cmd_disconn_eth})
      QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    for (QWidget* w : {(QWidget*)c.cmd_keypad, (QWidget*)c.lab_pip, (QWidget*)c.sha_pip, (QWidget*)c.lab_lab_input,
                       (QWidget*)c.sha_lab_in, (QWidget*)c.fra_quad, (QWidget*)c.lab_eth_state})
      QVERIFY2(w->isHidden(), qPrintable(w->objectName()));
    QVERIFY(!c.img_start->isHidden());
    QVERIFY(c.cmd_refresh->isEnabled());
    QVERIFY(c.cmd_fact_reset->isEnabled());

    for (int ch = 1; ch <= 4; ++ch) {
      for (int in = 1; in <= 4; ++in) {
        QCOMPARE(c.sha_out_in[ch][in]->fill(), colour::idle_grey);
        QCOMPARE(back_color(c.lab_out_in[ch][in]), ch == 1 && in == 1 ? colour::busy_red : colour::idle_grey);
      }
    }
    QCOMPARE(c.sha_pip->fill(), QColor(176, 176, 176));
    QCOMPARE(back_color(c.fra_con), QColor(176, 176, 176));
    QCOMPARE(back_color(c.txt_sat[1]), colour::idle_grey);
    QCOMPARE(back_color(c.txt_ver), colour::idle_grey);

    for (QScrollBar* s : {c.hsr_bri[1], c.hsr_con[2], c.hsr_sat[3], c.hsr_hue[4]}) {
      QCOMPARE(s->minimum(), 0);
      QCOMPARE(s->maximum(), 100);
      QCOMPARE(s->pageStep(), 10);
      QCOMPARE(s->singleStep(), 1);
      QVERIFY(!s->hasTracking());
    }
    QCOMPARE(c.hsr_bezel_h->maximum(), 254);
    QCOMPARE(c.hsr_bezel_v->pageStep(), 10);
    QVERIFY(c.txt_cmd->isReadOnly());
    QVERIFY(c.txt_ver->isReadOnly() && c.txt_ver2->isReadOnly());
    QCOMPARE(c.tim_eth->interval(), 7000);
    QVERIFY(!c.tim_eth->isActive());
  }

  void everything_says_what_it_is() {
    Folder folder(true);
    auto main = folder.open();
    MainControls& c = main->controls();
    for (QWidget* w : main->findChildren<QWidget*>()) {
      const bool needs_name = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                              qobject_cast<QComboBox*>(w) || qobject_cast<QScrollBar*>(w) ||
                              qobject_cast<QPlainTextEdit*>(w) || qobject_cast<QGroupBox*>(w);
      if (!needs_name || w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
      QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
    }
    QCOMPARE(c.txt_ip->accessibleName(), QStringLiteral("IP address"));
    QCOMPARE(c.hsr_bri[2]->accessibleName(), QStringLiteral("Brightness Out B"));
    QCOMPARE(c.cbo_output->accessibleName(), QStringLiteral("Output Resolution"));
    QCOMPARE(c.cbo_com->accessibleName(), QStringLiteral("Serial port"));
    QCOMPARE(c.txt_cmd->accessibleName(), QStringLiteral("Console"));
    QCOMPARE(c.txt_ver->accessibleName(), QStringLiteral("Firmware version"));
    QCOMPARE(c.cmd_pwr->accessibleName(), QStringLiteral("Power"));
    QCOMPARE(c.cmd_menu_up->accessibleName(), QStringLiteral("Menu up"));
    QCOMPARE(c.fra_bezel->accessibleName(), QStringLiteral("Bezel Correction"));
    QCOMPARE(c.cmd_save[1]->accessibleName(), QStringLiteral("Save 1"));
  }

  // Assistive tools find each list by its label, and no shape without meaning.
  void what_assistive_tools_are_told() {
    PanelFixture fx;
    MainControls& c = fx.c();
    fx.main().pip().Form_Load();
    FrmPip* pip = fx.main().pip().window();
    const std::pair<QWidget*, QLabel*> tied[] = {{c.cbo_output, c.lab_reso_out}, {c.cbo_aspect, c.lab_aspect},
                                                  {pip->cbo_a_size, pip->lab_a}, {pip->cbo_b_size, pip->lab_b}};
    for (const auto& [list, label] : tied) {
      QList<QObject*> labels;
      for (const auto& relation : QAccessible::queryAccessibleInterface(list)->relations(QAccessible::Label))
        labels << relation.first->object();
      QVERIFY2(labels.contains(label), qPrintable(list->objectName()));
    }

    int told = 0;
    std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
      ++told;
      if (QObject* o = node->object())
        QVERIFY2(!qobject_cast<ShapeWidget*>(o) && o != c.Label2, qPrintable(o->objectName()));
      for (int i = 0; i < node->childCount(); ++i) walk(node->child(i));
    };
    for (QWidget* window : {static_cast<QWidget*>(&fx.main()), static_cast<QWidget*>(pip)})
      walk(QAccessible::queryAccessibleInterface(window));
    QVERIFY(told > 100);  // the controls themselves are all there
  }

  // Alt and a letter press a button; no two buttons shown together share a
  // letter, and captions and names read as they did.
  void access_keys_do_not_clash_data() {
    QTest::addColumn<int>("iface");
    QTest::newRow("rs-232") << 0;
    QTest::newRow("ethernet") << 1;
  }
  void access_keys_do_not_clash() {
    QFETCH(int, iface);
    PanelFixture fx({.show = true});
    fx.click(fx.c().opt_interface[iface]);
    QMap<QChar, QString> keys;
    for (QAbstractButton* button : fx.main().findChildren<QAbstractButton*>()) {
      const QString text = button->text();
      const qsizetype at = text.indexOf(QLatin1Char('&'));
      if (at < 0 || !button->isVisibleTo(&fx.main())) continue;
      const QChar key = text.at(at + 1).toUpper();
      QVERIFY2(!keys.contains(key), qPrintable(button->objectName() + " and " + keys.value(key)));
      keys.insert(key, button->objectName());
      QCOMPARE(button->accessibleName(), QString(text).remove(QLatin1Char('&')));
    }
    QVERIFY(keys.size() >= 18);
    // Alt+Q chooses Quad.
    if (iface == 1) QVERIFY(fx.connect_ethernet());
    fx.power_on();
    fx.clear_received();
    fx.main().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&fx.main()));
    QTest::keyClick(&fx.main(), Qt::Key_Q, Qt::AltModifier);
    // The button shows itself pressed a moment before it acts.
    QVERIFY(fx.wait_for([&] { return fx.received().value(0) == QStringLiteral("MOD005"); }));
  }

  // Tab goes round every control that can be seen, and nothing else; the
  // map's cells and indicators are among them and act on Space.
  void the_keyboard_reaches_every_action() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .show = true});
    MainControls& c = fx.c();
    fx.device().state().mode = 4;
    fx.full_refresh();
    QVERIFY(QTest::qWaitForWindowExposed(&fx.main()));
    fx.main().activateWindow();
    c.cmd_refresh->setFocus();
    const int shown_bottom = fx.main().status_line().widget()->y();
    QSet<QWidget*> reached;
    for (int i = 0; i < 400; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* w = QApplication::focusWidget();
      QVERIFY(w);
      QVERIFY2(w->mapTo(&fx.main(), QPoint(0, 0)).y() < shown_bottom, qPrintable(w->objectName()));
      reached.insert(w);
    }
    for (QWidget* w : {static_cast<QWidget*>(c.lab_pip), static_cast<QWidget*>(c.lab_lab_input),
                       static_cast<QWidget*>(c.lab_out_in[4][3]), static_cast<QWidget*>(c.cmd_mode[5]),
                       static_cast<QWidget*>(c.cmd_keypad), static_cast<QWidget*>(c.cmd_pwr)})
      QVERIFY2(reached.contains(w), qPrintable(w->objectName()));
    QVERIFY(!reached.contains(c.txt_cmd) && !reached.contains(c.cmd_clear));
    QVERIFY(!reached.contains(c.hsr_bri[1]));  // below the small size

    // The cell of the current channel routes on Space; the indicator opens its window.
    fx.clear_received();
    QCOMPARE(fx.model().sel_out(), 4);  // the map refresh ends on output D
    c.lab_out_in[4][3]->setFocus();
    QTest::keyClick(c.lab_out_in[4][3], Qt::Key_Space);
    fx.done();
    QCOMPARE(fx.received(), QStringList{"INP003"});
    c.lab_lab_input->setFocus();
    QTest::keyClick(c.lab_lab_input, Qt::Key_Return);
    QVERIFY(fx.ps().label_open);
    QCOMPARE(QAccessible::queryAccessibleInterface(c.lab_pip)->role(), QAccessible::Button);
  }

  // The control with the focus shows it, sliders and the map's cells too.
  void the_focus_shows() {
    PanelFixture fx({.advanced = true, .show = true});
    fx.power_on();
    QVERIFY(QTest::qWaitForWindowExposed(&fx.main()));
    for (QWidget* w : {static_cast<QWidget*>(fx.c().hsr_bri[1]), static_cast<QWidget*>(fx.c().lab_out_in[1][1])}) {
      fx.c().cmd_refresh->setFocus();
      const QImage before = w->grab().toImage();
      w->setFocus();
      QVERIFY(w->hasFocus());
      QVERIFY2(w->grab().toImage() != before, qPrintable(w->objectName()));
    }
  }

  // Over a list or slider without the focus the wheel changes nothing and sends
  // nothing; with the focus it still works.
  void the_wheel_needs_the_focus_data() {
    QTest::addColumn<QString>("name");
    for (const char* name : {"cbo_output", "cbo_aspect", "cbo_com", "hsr_bri(2)", "cbo_a_size"})
      QTest::newRow(name) << name;
  }
  void the_wheel_needs_the_focus() {
    QFETCH(QString, name);
    PanelFixture fx({.show = true});
    fx.device().state().mode = 5;
    fx.full_refresh();
    QWidget* w = fx.main().findChild<QWidget*>(name);
    if (!w) {
      fx.main().pip().Form_Load();
      w = fx.main().pip().window()->findChild<QWidget*>(name);
    }
    QVERIFY(w && w->isEnabled());
    auto* list = qobject_cast<QComboBox*>(w);
    auto value = [&] { return list ? list->currentIndex() : qobject_cast<QScrollBar*>(w)->value(); };
    if (list && list->currentIndex() < 0) list->setCurrentIndex(0);
    const int before = value();
    auto turn = [&] {
      QWheelEvent wheel(QPointF(5, 5), w->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                        Qt::NoModifier, Qt::NoScrollPhase, false);
      QCoreApplication::sendEvent(w, &wheel);
      fx.settle(5);
    };
    fx.clear_received();
    fx.clear_messages();
    turn();
    QCOMPARE(value(), before);
    QCOMPARE(fx.received(), QStringList{});
    QCOMPARE(fx.messages(), QStringList{});

    w->window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w->window()));
    w->setFocus(Qt::TabFocusReason);
    QVERIFY(w->hasFocus());
    turn();
    QVERIFY(value() != before);
  }

  void design_time_pictures() {
    Folder folder(true);
    auto main = folder.open();
    MainControls& c = main->controls();
    QCOMPARE(button_picture(c.cmd_pwr), QStringLiteral("power.bmp"));
    QCOMPARE(button_picture(c.cmd_mute), QStringLiteral("speaker_on.bmp"));
    QCOMPARE(button_picture(c.cmd_lock), QStringLiteral("lock.bmp"));
    QCOMPARE(button_picture(c.cmd_menu_ok), QStringLiteral("menu_ok.bmp"));
    QVERIFY(c.cmd_menu_ok->text().isEmpty());
    QVERIFY(!c.cmd_menu_ok->icon().isNull());
    QVERIFY(!c.img_start->pixmap().isNull());
    QVERIFY(!c.Image1->pixmap().isNull());
    QCOMPARE(QImage(folder.path("bmp/keypad_legend.bmp")).size(), QSize(339, 96));
    for (const char* name : {"power_none.bmp", "power_on.bmp", "power_standby.bmp", "speaker_off.bmp",
                             "unlock.bmp", "refresh.bmp", "menu_up.bmp", "menu_down.bmp", "menu_left.bmp",
                             "menu_right.bmp", "menu_exit.bmp", "menu_menu.bmp"})
      QVERIFY2(!QImage(folder.path(QStringLiteral("bmp/") + QLatin1String(name))).isNull(), name);
  }

  void missing_or_broken_pictures_show_captions() {
    Folder folder(false);
    // One picture present but not a picture at all.
    write_file(folder.path(QStringLiteral("bmp")), QStringLiteral("menu_ok.bmp"), "BM not really");
    auto main = folder.open();
    MainControls& c = main->controls();
    QCOMPARE(c.cmd_menu_ok->text(), QStringLiteral("OK"));
    QCOMPARE(c.cmd_menu_exit->text(), QStringLiteral("Exit"));
    QCOMPARE(c.cmd_menu_menu->text(), QStringLiteral("Menu"));
    QCOMPARE(c.cmd_pwr->text(), QStringLiteral("Power"));
    QCOMPARE(c.cmd_mute->text(), QStringLiteral("Mute"));
    QCOMPARE(c.cmd_lock->text(), QStringLiteral("Lock"));
    QVERIFY(c.img_start->text().contains(QStringLiteral("Click Refresh to start")));
    QCOMPARE(c.Image1->text(), QStringLiteral("Quadrel"));
    QVERIFY(folder.notifier.texts.isEmpty());
    QVERIFY(main->state().send_enable);  // loading went through
  }
};

QTEST_MAIN(TestLayout)
#include "test_layout.moc"
