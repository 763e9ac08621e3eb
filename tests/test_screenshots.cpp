// The main window at its two heights: pictures of it for a look by eye, and
// checks that every group lies inside the window and every caption fits.
#include <QAbstractButton>
#include <QApplication>
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
#include <QStyle>
#include <QtTest>

#include "panel_fixture.h"
#include "shell/widgets.h"

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
      const int text = QFontMetrics(b->font()).horizontalAdvance(b->text());
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
    // The map is the last row of the small size; the picture groups lie below it.
    QVERIFY(form.height() >= fx.c().fra_btn->geometry().bottom() + 1);
    QVERIFY(form.height() < fx.c().fra_pic->y());
    check_inside(form, fx.c().fra_pic->y());
    save(form, QStringLiteral("main_small.png"));
  }

  void advanced_size_shows_the_groups_down_to_the_version_boxes() {
    PanelFixture fx({.link = PanelFixture::Link::Serial, .advanced = true, .show = true});
    fx.settle(50);
    QWidget& form = fx.main();
    QVERIFY(form.height() >= fx.c().txt_ver->geometry().bottom() + 1);
    QVERIFY(form.height() <= fx.c().txt_cmd->y());
    check_inside(form, fx.c().txt_cmd->y());
    check_captions(form);
    save(form, QStringLiteral("main_advanced.png"));

    // After a full refresh the groups are enabled and the map painted.
    fx.full_refresh();
    fx.settle(100);
    save(form, QStringLiteral("main_advanced_refreshed.png"));
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
