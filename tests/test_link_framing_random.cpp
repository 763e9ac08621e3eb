// Random byte streams through the line framer: nothing lost, doubled or malformed.
#include <QRandomGenerator>
#include <QTest>
#include <vector>

#include "../fuzz/framing_check.h"

class FramingRandomTest : public QObject {
  Q_OBJECT
 private slots:
  void random_streams_keep_every_byte() {
    QRandomGenerator random(20261207);
    const char alphabet[] = "MODOUTINPLAIERR0123456789\r\r\r\xff\x80 .";
    for (int run = 0; run < 20000; ++run) {
      std::vector<std::uint8_t> data(2 + random.bounded(200));
      for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = i < 2 || random.bounded(4) == 0
                      ? static_cast<std::uint8_t>(random.bounded(256))
                      : static_cast<std::uint8_t>(alphabet[random.bounded(int(sizeof alphabet) - 1)]);
      quadrel::fuzz::check_framing(data.data(), data.size());
    }
  }

  void a_flood_is_capped_and_the_reply_after_it_kept() {
    quadrel::LineFramer framer;
    framer.push(std::string(3 << 20, 'A'));  // printable noise, no carriage return
    framer.push("\rMOD003\r");
    QCOMPARE(framer.take_dropped(), std::size_t((2 << 20) + 8));
    std::string last;
    while (framer.step(false) == quadrel::LineFramer::Step::Line) {
      last = framer.buf();
      framer.clear_line();
    }
    QCOMPARE(last, std::string("MOD003\r"));
  }
};

QTEST_GUILESS_MAIN(FramingRandomTest)
#include "test_link_framing_random.moc"
