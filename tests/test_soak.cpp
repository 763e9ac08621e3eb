// A long run of exchanges through the real window: memory stays flat and the console bounded.
#include <QPlainTextEdit>
#include <QTest>

#include "panel_fixture.h"
#include "process_stats.h"

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
      fx.main().tx_cmd(commands[i % 8]);
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
};

QTEST_MAIN(SoakTest)
#include "test_soak.moc"
