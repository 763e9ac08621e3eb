// The main window at its two heights: pictures of it for a look by eye, and
// checks that every group lies inside the window and every caption fits.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStyle>
#include <QtTest>

#include "panel/serial_control.h"
#include "panel/status_line.h"
#include "panel_fixture.h"
#include "ui/control_kinds.h"
#include "ui/widgets.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using namespace quadrel::test;

class TestScreenshots : public QObject {
  Q_OBJECT

 private:
  static QString shots_dir() {
    const QString dir = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../screenshots"));
    QDir().mkpath(dir);
    return dir;
  }

  // At a scale factor above 1 (QT_SCALE_FACTOR) the file is named "...@2x.png".
  static void save(QWidget& w, QString name) {
    const QPixmap shot = w.grab();
    QVERIFY(!shot.isNull());
    const qreal scale = w.devicePixelRatioF();
    QCOMPARE(shot.size(), w.size() * scale);  // drawn at the screen's density
    if (scale > 1) name.replace(QStringLiteral(".png"), QStringLiteral("@%1x.png").arg(scale));
    QVERIFY(shot.save(QDir(shots_dir()).filePath(name)));
  }

  // Every shown control that starts above `limit` (window pixels) ends inside the window.
  static void check_inside(QWidget& form, int limit) {
    const QRect client = form.rect();
    for (QWidget* w : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (w->isWindow() || w->isHidden() || w->y() >= limit) continue;
      QVERIFY2(client.contains(w->geometry()), qPrintable(w->objectName()));
    }
  }

  // Every caption is drawn whole in its control.
  static void check_captions(QWidget& form) {
    for (QAbstractButton* b : form.findChildren<QAbstractButton*>()) {
      if (b->text().isEmpty()) continue;
      // The access key's marker is not drawn.
      const int text = QFontMetrics(b->font()).horizontalAdvance(QString(b->text()).remove(QLatin1Char('&')));
      int room = b->width() - 4;
      if (qobject_cast<QRadioButton*>(b))
        room = b->width() - b->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, b) - 6;
      QVERIFY2(text <= room, qPrintable(b->objectName()));
    }
    for (QLabel* l : form.findChildren<QLabel*>()) {
      if (l->text().isEmpty() || l->wordWrap() || l->objectName() == QLatin1String("Label2")) continue;
      const QSize text = QFontMetrics(l->font()).size(0, l->text());
      QVERIFY2(text.width() <= l->width() && text.height() <= l->height() + 2, qPrintable(l->objectName()));
    }
  }

 private slots:
  void small_size_shows_the_top_strip_whole() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .advanced = false, .show = true});
    fx.settle(50);
    QWidget& form = fx.main();
    // The map is the last row of the small size; the picture groups lie below
    // it, under the status line.
    const int status_top = fx.main().status_line().widget()->y();
    QVERIFY(status_top >= fx.c().fra_btn->geometry().bottom() + 1);
    QVERIFY(status_top < fx.c().fra_pic->y());
    check_inside(form, fx.c().fra_pic->y());
    save(form, QStringLiteral("main_small.png"));
  }

  void advanced_size_shows_the_groups_down_to_the_version_boxes() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .advanced = true, .show = true});
    fx.settle(50);
    QWidget& form = fx.main();
    const int status_top = fx.main().status_line().widget()->y();
    QVERIFY(status_top >= fx.c().txt_ver->geometry().bottom() + 1);
    QVERIFY(status_top <= fx.c().txt_cmd->y());
    check_inside(form, fx.c().txt_cmd->y());
    check_captions(form);
    save(form, QStringLiteral("main_advanced.png"));

    // After a full refresh the groups are enabled and the map painted.
    fx.full_refresh();
    fx.settle(100);
    save(form, QStringLiteral("main_advanced_refreshed.png"));
  }

  // The chosen resolution is read whole in the list's own place; the open
  // list is as wide as its entries.
  void resolution_entries_are_shown_whole() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .advanced = false, .show = true});
    fx.power_on();
    auto* list = qobject_cast<ChoiceList*>(fx.c().cbo_output);
    QVERIFY(list);
    QCOMPARE(list->geometry(), QRect(twips(9780), twips(1710), twips(1515), twips(375)));
    int longest = 0;
    for (int i = 0; i < list->count(); ++i) {
      list->setCurrentIndex(i);
      QCOMPARE(list->shown_text(), list->itemText(i));
      if (list->itemText(i).size() > list->itemText(longest).size()) longest = i;
    }
    list->setCurrentIndex(longest);
    save(*fx.c().fra_btn, QStringLiteral("resolution_chosen.png"));
    list->showPopup();
    QVERIFY(list->view()->width() >= list->fontMetrics().horizontalAdvance(list->itemText(longest)));
    save(*list->view()->window(), QStringLiteral("resolution_open.png"));
    list->hidePopup();
  }

  // The closed port list shows the port and the device's own name; the tip
  // gives the whole path.
  void serial_port_entries_are_read_in_the_closed_list() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .advanced = false, .show = true});
    QFile map(QDir(fx.folder()).filePath(QStringLiteral("com_ports.txt")));
    QVERIFY(map.open(QIODevice::WriteOnly | QIODevice::Truncate));
    map.write("COM1=/dev/ttyUSB0\nCOM2=/dev/ttyACM1\nCOM3=/dev/ttyS0\nCOM4=/dev/pts/12\n"
              "COM5=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0\n"
              "COM6=/home/op/quadrel/build/corvane-sim.tty\n");
    map.close();
    fx.main().serial_control().label_port_list();
    auto* list = qobject_cast<ChoiceList*>(fx.c().cbo_com);
    QVERIFY(list);
    for (int i = 0; i < 6; ++i) {
      list->setCurrentIndex(i);
      const QString shown = list->shown_text();
      // The port and the start of the device's name, at least; the short kernel names whole.
      QVERIFY2(shown.startsWith(QStringLiteral("COM%1: ").arg(i + 1)) && shown.size() >= 10, qPrintable(shown));
      if (i < 4) QCOMPARE(shown, list->itemText(i));
      QVERIFY(list->itemData(i, Qt::ToolTipRole).toString().startsWith(QStringLiteral("COM%1: /").arg(i + 1)));
    }
    list->setCurrentIndex(0);
    save(*fx.c().fra_rs232, QStringLiteral("port_chosen.png"));
    list->showPopup();
    save(*list->view()->window(), QStringLiteral("port_open.png"));
    list->hidePopup();
  }

  void ethernet_group_in_its_place() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .advanced = false, .connect = false, .show = true});
    fx.settle(20);
    QWidget& form = fx.main();
    // Both groups share one place in the interface frame.
    QCOMPARE(fx.c().cmd_conn_eth->geometry(), fx.c().cmd_conn->geometry());
    QCOMPARE(fx.c().cmd_disconn_eth->geometry(), fx.c().cmd_disconn->geometry());
    check_captions(form);
    save(form, QStringLiteral("main_small_ethernet.png"));
  }

  // Disabled text reads at 3:1 or more on the face it is drawn on, measured on
  // the drawn control: its commonest colour is the face, the text's core is
  // the pixel that differs most from it.
  void disabled_text_stays_legible_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QColor>("face");  // invalid: the face the window gives it
    QTest::addColumn<QString>("text");
    QTest::newRow("picture box") << "txt_bri(1)" << QColor() << "50";
    QTest::newRow("picture row caption") << "lab_con(2)" << QColor() << "";
    QTest::newRow("version digits") << "txt_ver" << QColor() << "1.23";
    QTest::newRow("map digit") << "lab_out_b_in(3)" << QColor() << "";
    QTest::newRow("channel button") << "cmd_out(4)" << QColor() << "";
    QTest::newRow("connecting, yellow") << "cmd_conn_eth" << colour::olive << "";
    QTest::newRow("connected, green") << "cmd_conn" << colour::routed_green << "";
    QTest::newRow("disconnected, red") << "cmd_disconn" << colour::busy_red << "";
    QTest::newRow("preset button") << "cmd_recall(1)" << QColor() << "";
  }
  void disabled_text_stays_legible() {
    QFETCH(QString, control);
    QFETCH(QColor, face);
    QFETCH(QString, text);
    PanelFixture fx({.link = PanelFixture::Link::None, .advanced = true, .show = true});
    auto* w = fx.main().findChild<QWidget*>(control);
    QVERIFY(w);
    if (auto* box = qobject_cast<QLineEdit*>(w)) box->setText(text);
    if (face.isValid()) set_back_color(w, face);
    w->show();
    w->setEnabled(false);
    const QImage image = w->grab().toImage();
    const QRect inner = image.rect().adjusted(4, 4, -4, -4);
    QHash<QRgb, int> count;
    for (int y = inner.top(); y <= inner.bottom(); ++y)
      for (int x = inner.left(); x <= inner.right(); ++x) ++count[image.pixel(x, y)];
    const QColor drawn_face(std::max_element(count.begin(), count.end()).key());
    double best = 1;
    for (auto it = count.begin(); it != count.end(); ++it)
      best = std::max(best, contrast_ratio(QColor(it.key()), drawn_face));
    QVERIFY2(best >= 3.0, qPrintable(QStringLiteral("%1:1 on %2").arg(best, 0, 'f', 2).arg(drawn_face.name())));
  }

  // The console lays its text out when it is painted, not at every append;
  // scrolled to its end it shows the last exchanges.
  void console_shows_the_traffic() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .show = true});
    for (int i = 0; i < 30; ++i) awaited(fx.link().tx_cmd("MOD999"));
    QPlainTextEdit* box = fx.c().txt_cmd;
    QScrollBar* bar = box->verticalScrollBar();
    QVERIFY(fx.wait_for([&] { return bar->isVisible() && bar->maximum() > 0; }, 500));
    bar->setValue(bar->maximum());
    const QImage shot = box->grab().toImage();
    const QImage last_lines = shot.copy(0, shot.height() / 2, shot.width(), shot.height() / 2);
    int ink = 0;
    for (int y = 0; y < last_lines.height(); ++y)
      for (int x = 0; x < last_lines.width(); ++x) ink += qGray(last_lines.pixel(x, y)) < 96;
    QVERIFY2(ink > 200, qPrintable(QString::number(ink)));
    QVERIFY(shot.save(QDir(shots_dir()).filePath(QStringLiteral("console.png"))));
  }

  void tool_windows() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .advanced = true, .show = true});
    fx.device().state().mode = 4;
    fx.full_refresh();
    auto shoot = [&](const QString& title, const QString& file) {
      QWidget* window = nullptr;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (w->windowTitle() == title && w->isVisible()) window = w;
      QVERIFY2(window, qPrintable(title));
      check_captions(*window);
      save(*window, file);
    };
    fx.click(fx.c().cmd_keypad);
    shoot(QStringLiteral("Keyboard"), QStringLiteral("keyboard.png"));
    fx.click(fx.c().cmd_hdcp);
    shoot(QStringLiteral("HDCP"), QStringLiteral("hdcp.png"));
    fx.click(fx.c().lab_lab_input);
    shoot(QStringLiteral("Input Labels"), QStringLiteral("input_labels.png"));
    fx.click(fx.c().lab_pip);
    shoot(QStringLiteral("DUAL PiP"), QStringLiteral("dual_pip.png"));
  }
};

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"

