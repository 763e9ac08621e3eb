// Long runs through the real window: memory stays flat and the console bounded.
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTest>

#include "panel_fixture.h"
#include "process_stats.h"
#include "await_task.h"

using quadrel::test::awaited;

using namespace quadrel;
using quadrel::test::PanelFixture;
using quadrel::test::rss_kib;


#if defined(__SANITIZE_ADDRESS__)
// The address sanitizer holds freed memory back in its quarantine: the
// resident size says nothing about the program then.
constexpr bool kMemoryIsMeaningful = false;
#else
constexpr bool kMemoryIsMeaningful = true;
#endif

class SoakTest : public QObject {
  Q_OBJECT
 private slots:
  void hundred_thousand_exchanges() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet});
    QVERIFY(fx.link().state().eth_connected);
    const int total = qEnvironmentVariableIntValue("QUADREL_SOAK_EXCHANGES") > 0
                          ? qEnvironmentVariableIntValue("QUADREL_SOAK_EXCHANGES")
                          : 100000;
    const char* commands[] = {"MOD999", "OUT999", "INP999", "LCK999", "PWR999", "AUD999", "VER999", "RES999"};
    long after_warmup = 0;
    int answered = 0;
    for (int i = 0; i < total; ++i) {
      awaited(fx.link().tx_cmd(commands[i % 8]));
      if (fx.link().state().rx_flag) ++answered;
      if (i == total / 10) after_warmup = rss_kib();
      if (i % 1000 == 0) fx.sim().clear_log();
    }
    const long at_end = rss_kib();
    QCOMPARE(answered, total);
    QVERIFY(fx.link().state().con_lines <= 81);
    QVERIFY(fx.console().size() < 81 * 20);
    qInfo("resident memory: %ld KiB after %d exchanges, %ld KiB after %d", after_warmup, total / 10, at_end, total);
    if (kMemoryIsMeaningful) QVERIFY2(at_end - after_warmup < 8 * 1024, "resident memory grew during the run");
  }

  // The device switches modes and outputs on its own; the shown window
  // repaints buttons in new colours each time, and colours come back.
  void colour_changes_in_the_shown_window() {
    PanelFixture fx({.link = PanelFixture::Link::Ethernet, .show = true});
    const LinkState& st = fx.link().state();
    const char* changes[] = {"OUT002", "MOD005", "OUT003", "MOD003", "OUT004", "MOD002", "OUT001", "MOD001"};
    const int total = 2000;
    const int warmup = 16;  // every colour shown twice
    long after_warmup = 0;
    for (int i = 0; i < total; ++i) {
      const int lines = st.con_lines;
      fx.sim().send_unsolicited(QString::fromLatin1(changes[i % 8]));
      QVERIFY(fx.wait_for([&] { return st.con_lines != lines; }));
      QCoreApplication::processEvents();  // the repaint
      // A mode change is followed by the reads of what the mode shows; the
      // simulator's own record of them is no memory of the window's.
      if (i % 100 == 0) fx.sim().clear_log();
      if (i == warmup) after_warmup = rss_kib();
    }
    const long growth = rss_kib() - after_warmup;
    qInfo("resident memory grew by %ld KiB over %d colour changes", growth, total - warmup);
    if (kMemoryIsMeaningful) QVERIFY2(growth < 1024, "colour changes kept memory");
  }
};

QTEST_MAIN(SoakTest)
#include "test_soak.moc"

