// Cuts the device's byte stream into reply lines, in one pass over the bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quadrel {

// Bytes arrive in reads or chunks of any size; the framer keeps what has not
// been looked at yet as pending bytes and moves them into the reply buffer
// until a line is complete:
//  - at a carriage return;
//  - at 7 characters without one (a reply cut short), or at 17 for a buffer
//    that starts with "LAI" (a label may be longer);
//  - while a network-setting query is pending, at exactly 16 characters
//    (15 of the bare address and its carriage return), which is that query's
//    answer. A line that starts with a reply code is no address: it keeps the
//    ordinary rules, so a label reply is never cut into an "answer".
// Whatever follows a completed line stays pending for the next call, so every
// reply is seen exactly once and in the order it came. Bytes that cannot be
// part of a reply (control characters other than the carriage return, and
// anything outside 7-bit ASCII) are line noise and are passed over.
//
// Every byte is looked at once: the work is linear in the input, whatever the
// reads look like. A line never exceeds 17 characters. Pending bytes are capped
// at kMaxPending: when a flood brings more, the oldest are dropped and counted
// (take_dropped), so the newest bytes, where the next reply is, survive.
class LineFramer {
 public:
  enum class Step {
    NeedMore,   // pending is empty; the buffer holds a partial line (or nothing)
    Line,       // the buffer holds a complete reply line, terminator included
    NetAnswer,  // the buffer holds the 16 characters of a network answer
  };

  static constexpr std::size_t kMaxPending = std::size_t{1} << 20;

  void push(std::string_view bytes);
  bool has_pending() const { return pending_pos_ < pending_.size(); }
  std::size_t pending_size() const { return pending_.size() - pending_pos_; }

  // Moves pending bytes into the buffer until a line completes or nothing is left.
  Step step(bool net_query_pending);

  // Whether the line just completed ended with its carriage return.
  bool line_had_cr() const { return line_had_cr_; }
  // Bytes moved into the buffer by step() since the last call of this.
  std::size_t take_consumed() { std::size_t n = consumed_; consumed_ = 0; return n; }
  // Pending bytes dropped by the cap since the last call of this.
  std::size_t take_dropped() { std::size_t n = dropped_; dropped_ = 0; return n; }

  // The reply buffer and its count, as the link state exposes them.
  std::string& buf() { return buf_; }
  const std::string& buf() const { return buf_; }
  int count() const { return static_cast<int>(buf_.size()); }

  // Empties the reply buffer (not the pending bytes).
  void clear_line() { buf_.clear(); line_had_cr_ = false; }
  // Drops everything, pending bytes included (a port reopened).
  void reset() {
    clear_line();
    pending_.clear();
    pending_pos_ = 0;
    consumed_ = 0;
    dropped_ = 0;
  }

 private:
  std::string pending_;
  std::size_t pending_pos_ = 0;
  std::string buf_;
  bool line_had_cr_ = false;
  std::size_t consumed_ = 0;
  std::size_t dropped_ = 0;
};

}  // namespace quadrel
