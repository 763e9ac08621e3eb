// The front-panel key lock and the seven on-screen menu keys, against the simulated device.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include "panel/lock_menu.h"
#include "panel_fixture.h"
#include "ui/widgets.h"

using namespace quadrel;
using quadrel::test::PanelFixture;

namespace {
// Two distinguishable pictures for the lock button, whatever the shipped ones look like.
void write_lock_pictures(const QString& folder) {
  QDir(folder).mkpath(QStringLiteral("bmp"));
  for (const char* name : {"lock.bmp", "unlock.bmp"}) {
    QImage image(24, 24, QImage::Format_RGB32);
    image.fill(QString::fromLatin1(name) == QLatin1String("lock.bmp") ? Qt::red : Qt::green);
    const QString path = QDir(folder).filePath(QStringLiteral("bmp/") + QLatin1String(name));
    QFile::remove(path);
    QVERIFY(image.save(path, "BMP"));
  }
}

corvane::Faults silent(const QString& code) {
  corvane::Faults f;
  f.silent.insert(code);
  return f;
}
}  // namespace

class TestLockMenu : public QObject {
  Q_OBJECT
 private slots:
  void lock_follows_state_before_and_after_replies();
  void lock_without_replies_alternates();
  void lock_replies_choose_the_picture();
  void menu_keys_send_their_command_only();
};

void TestLockMenu::lock_follows_state_before_and_after_replies() {
  PanelFixture fx;
  write_lock_pictures(fx.folder());
  fx.device().state().key_lock = true;  // the panel does not know it yet
  fx.power_on();
  fx.clear_received();
  QCOMPARE(fx.model().lock_state(), 254);

  // Before any LCK reply a click always locks.
  fx.click(fx.c().cmd_lock);
  QCOMPARE(fx.received(), QStringList{"LCK001"});
  QCOMPARE(fx.model().lock_state(), 1);
  QCOMPARE(button_picture(fx.c().cmd_lock), QStringLiteral("lock.bmp"));

  // After the reply LCK001 a click unlocks; the reply LCK000 shows the open lock.
  fx.clear_received();
  fx.click(fx.c().cmd_lock);
  QCOMPARE(fx.received(), QStringList{"LCK000"});
  QCOMPARE(fx.model().lock_state(), 0);
  QCOMPARE(button_picture(fx.c().cmd_lock), QStringLiteral("unlock.bmp"));
  QVERIFY(!fx.device().state().key_lock);

  // After LCK000 a click locks again.
  fx.clear_received();
  fx.click(fx.c().cmd_lock);
  QCOMPARE(fx.received(), QStringList{"LCK001"});
  QCOMPARE(button_picture(fx.c().cmd_lock), QStringLiteral("lock.bmp"));
  QVERIFY(fx.device().state().key_lock);
}

void TestLockMenu::lock_without_replies_alternates() {
  PanelFixture fx;
  write_lock_pictures(fx.folder());
  fx.power_on();
  const QString before = button_picture(fx.c().cmd_lock);
  fx.sim().set_faults(silent(QStringLiteral("LCK")));
  fx.clear_received();

  fx.click(fx.c().cmd_lock);
  fx.click(fx.c().cmd_lock);
  QCOMPARE(fx.received(), (QStringList{"LCK001", "LCK000"}));
  // The state flipped with each click; the picture follows replies only.
  QCOMPARE(fx.model().lock_state(), 0);
  QCOMPARE(button_picture(fx.c().cmd_lock), before);
}

void TestLockMenu::lock_replies_choose_the_picture() {
  PanelFixture fx;
  write_lock_pictures(fx.folder());
  fx.power_on();
  fx.clear_received();

  // A digit other than 0 and 1 counts as locked and stays in the state.
  fx.sim().send_unsolicited(QStringLiteral("LCK005"));
  QVERIFY(fx.wait_for([&] { return fx.model().lock_state() == 5; }));
  QCOMPARE(button_picture(fx.c().cmd_lock), QStringLiteral("lock.bmp"));
  fx.click(fx.c().cmd_lock);
  QCOMPARE(fx.received(), QStringList{"LCK001"});

  fx.sim().send_unsolicited(QStringLiteral("LCK000"));
  QVERIFY(fx.wait_for([&] { return fx.model().lock_state() == 0; }));
  QCOMPARE(button_picture(fx.c().cmd_lock), QStringLiteral("unlock.bmp"));

  // A malformed reply changes nothing.
  fx.sim().send_unsolicited(QStringLiteral("LCK00x"));
  fx.settle(30);
  QCOMPARE(fx.model().lock_state(), 0);

  // A picture that cannot be read keeps the one shown.
  QVERIFY(QFile::remove(QDir(fx.folder()).filePath(QStringLiteral("bmp/lock.bmp"))));
  fx.sim().send_unsolicited(QStringLiteral("LCK001"));
  QVERIFY(fx.wait_for([&] { return fx.model().lock_state() == 1; }));
  QCOMPARE(button_picture(fx.c().cmd_lock), QStringLiteral("unlock.bmp"));
}

void TestLockMenu::menu_keys_send_their_command_only() {
  PanelFixture fx;
  fx.power_on();
  fx.clear_received();
  const MainControls& c = fx.c();
  const QList<QPushButton*> keys{c.cmd_menu_menu, c.cmd_menu_exit, c.cmd_menu_ok,  c.cmd_menu_up,
                                 c.cmd_menu_down, c.cmd_menu_left, c.cmd_menu_right};
  for (QPushButton* key : keys) fx.click(key);
  for (QPushButton* key : keys) fx.click(key);
  const QStringList once{"MNX001", "MNE001", "MNO001", "MNU001", "MND001", "MNL001", "MNR001"};
  QCOMPARE(fx.received(), once + once);
  // Each reply ends its exchange and touches nothing.
  QVERIFY(fx.link().state().rx_flag);
  QCOMPARE(fx.model().lock_state(), 254);
  QVERIFY(fx.console().contains(QStringLiteral("MNR001>")));
  QVERIFY(fx.messages().isEmpty());
}

QTEST_MAIN(TestLockMenu)
#include "test_lock_menu.moc"
