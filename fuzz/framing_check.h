// Feeds a byte stream, cut into reads of random sizes, through the line framer
// and the reply readers, and checks that nothing is lost, doubled or malformed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/core/catalogue.h"
#include "link/core/parameters.h"
#include "link/core/framer.h"

namespace quadrel::fuzz {

inline void require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "framing check failed: %s\n", what);
    std::abort();
  }
}

// The first bytes steer the run: read sizes and when a network query is pending.
inline void check_framing(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return;
  const std::uint8_t steer_sizes = data[0];
  const std::uint8_t steer_net = data[1];
  const std::string input(reinterpret_cast<const char*>(data + 2), size - 2);

  LineFramer framer;
  std::string lines;  // every completed line, concatenated
  std::size_t pos = 0;
  unsigned step_no = 0;
  bool net = false;
  while (pos < input.size()) {
    const std::size_t read = 1 + (steer_sizes + step_no * 7) % 23;
    const std::string chunk = input.substr(pos, read);
    pos += chunk.size();
    framer.push(chunk);
    for (;;) {
      // A network query starts or ends between lines, never inside one.
      if (framer.buf().empty()) net = ((steer_net >> (step_no % 8)) & 1) != 0;
      ++step_no;
      const std::size_t before = framer.pending_size();
      const LineFramer::Step step = framer.step(net);
      require(framer.pending_size() <= before, "pending grew");
      if (step == LineFramer::Step::NeedMore) {
        require(!framer.has_pending(), "stopped with bytes pending");
        break;
      }
      const std::string line = framer.buf();
      require(!line.empty(), "empty line");
      const bool cr = line.back() == '\r';
      require(cr == framer.line_had_cr(), "terminator flag");
      require(static_cast<int>(line.size()) == framer.count(), "count differs from buffer");
      const bool reply_line = is_reply_code(reply::code_of(line));
      if (step == LineFramer::Step::NetAnswer) {
        require(line.size() == 16 && !reply_line, "network answer is not 16 characters of an address");
      } else if (!cr) {
        const bool label = line.compare(0, 3, "LAI") == 0;
        require((!net || reply_line) && line.size() == (label ? 17u : 7u),
                "line closed without its terminator at the wrong length");
      }
      require(line.size() <= 17, "line too long");
      require(line.find('\r') == std::string::npos || line.find('\r') == line.size() - 1,
              "terminator inside a line");
      // The readers never fail on whatever a line holds.
      std::string body = line.substr(0, line.size() - 1);
      (void)reply::code_of(body);
      const int d = reply::last_digit(body);
      require(d >= -1 && d <= 9, "last digit");
      const int v3 = reply::last_digits(body, 3);
      require(v3 >= -1 && v3 <= 999, "last three digits");
      (void)reply::digit_at(body, 5);
      require(reply::label_text(body).size() <= 12, "label longer than 12");
      (void)reply::version_text(body);
      require(reply::version2_text(body).size() <= 3, "second version field");
      lines += line;
      framer.clear_line();
    }
  }
  // Conservation: what was framed plus the partial line is exactly the input
  // without its line noise.
  std::string kept;
  for (char c : input) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '\r' || (byte >= 0x20 && byte < 0x7f)) kept.push_back(c);
  }
  require(lines + framer.buf() == kept, "bytes lost or doubled");
}

}  // namespace quadrel::fuzz
