// Random byte streams through the line framer: nothing lost, doubled or malformed.
#include <QRandomGenerator>
#include <QTest>
#include <string>
#include <vector>

#include "../fuzz/framing_check.h"

namespace {

using quadrel::LineFramer;
constexpr std::size_t kCap = LineFramer::kMaxPending;

// `bytes` of valid lines: "OLD001" first, "NEW001" last, "AUD000" between;
// `bytes` is a multiple of 7.
std::string lines_of(std::size_t bytes) {
  std::string text;
  text.reserve(bytes);
  text += "OLD001\r";
  while (text.size() + 7 < bytes) text += "AUD000\r";
  text += "NEW001\r";
  return text;
}

// Every line the framer gives, in order.
std::vector<std::string> drain(LineFramer& framer) {
  std::vector<std::string> lines;
  while (framer.step(false) == LineFramer::Step::Line) {
    lines.push_back(framer.buf());
    framer.clear_line();
  }
  return lines;
}

}  // namespace

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

  // The cap at its exact size: 1 MiB waiting is kept whole; past it the oldest
  // bytes go, counted, and the newest line (where the next reply is) stays.
  void the_cap_keeps_the_newest_mebibyte_data() {
    QTest::addColumn<std::size_t>("before");     // bytes of "X" pushed first, unread
    QTest::addColumn<std::size_t>("extra");      // bytes of "Y" in front of the lines, same push
    QTest::addColumn<bool>("split");             // the lines come in reads of 4 KiB
    QTest::addColumn<std::size_t>("dropped");
    QTest::addColumn<QString>("first");          // the first line out
    const std::size_t body = kCap - kCap % 7;    // whole lines, 1 MiB less 4 bytes
    const std::size_t fill = kCap - body;         // 4 bytes that bring it to 1 MiB exactly
    QTest::newRow("exactly 1 MiB, one read") << std::size_t{0} << fill << false << std::size_t{0} << "YYYYOLD";
    QTest::newRow("exactly 1 MiB, two reads") << fill << std::size_t{0} << false << std::size_t{0} << "XXXXOLD";
    QTest::newRow("exactly 1 MiB, many reads") << fill << std::size_t{0} << true << std::size_t{0} << "XXXXOLD";
    QTest::newRow("one byte more, one read") << std::size_t{0} << fill + 1 << false << std::size_t{1} << "YYYYOLD";
    QTest::newRow("one byte more, two reads") << fill + 1 << std::size_t{0} << false << std::size_t{1} << "XXXXOLD";
    QTest::newRow("one byte more, many reads") << fill + 1 << std::size_t{0} << true << std::size_t{1} << "XXXXOLD";
    QTest::newRow("a read larger than the cap") << std::size_t{100} << fill + 7 << false << std::size_t{107} << "YYYYOLD";
    QTest::newRow("six bytes more, many reads") << fill + 6 << std::size_t{0} << true << std::size_t{6} << "XXXXOLD";
  }
  void the_cap_keeps_the_newest_mebibyte() {
    QFETCH(std::size_t, before);
    QFETCH(std::size_t, extra);
    QFETCH(bool, split);
    QFETCH(std::size_t, dropped);
    QFETCH(QString, first);
    const std::string lines = lines_of(kCap - kCap % 7);
    LineFramer framer;
    framer.push(std::string(before, 'X'));
    const std::string read = std::string(extra, 'Y') + lines;
    if (split) {
      for (std::size_t at = 0; at < read.size(); at += 4096) framer.push(std::string_view(read).substr(at, 4096));
    } else {
      framer.push(read);
    }
    QCOMPARE(framer.take_dropped(), dropped);
    QCOMPARE(framer.take_dropped(), std::size_t{0});  // counted once
    QCOMPARE(framer.pending_size(), std::min(kCap, before + read.size()));
    const std::vector<std::string> out = drain(framer);
    // What was dropped is gone: the line that comes first is cut from the
    // newest bytes, and every whole line behind it comes out once.
    QCOMPARE(QString::fromStdString(out.front()), first);
    QCOMPARE(out.back(), std::string("NEW001\r"));
    QCOMPARE(out.size(), lines.size() / 7 + 1);
    QVERIFY(!framer.has_pending());
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
