// An in-process byte link for exchange tests: records what is sent and feeds replies back later.
#pragma once

#include <QTimer>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "link/core/link_io.h"

namespace quadrel::test {

class FakeLink : public ByteLink {
 public:
  bool open = true;
  std::size_t stuck_output = 0;          // bytes that never drain (a dead port)
  std::vector<std::string> sent;         // every write, as written
  // Answers a written line (terminator included); empty: silent.
  std::function<std::string(const std::string&)> responder;
  int reply_delay_ms = 1;

  bool is_open() const override { return open; }
  bool write(std::string_view bytes) override {
    sent.emplace_back(bytes);
    if (responder) {
      const std::string reply = responder(std::string(bytes));
      if (!reply.empty()) deliver(reply, reply_delay_ms);
    }
    return true;
  }
  std::size_t bytes_to_write() const override { return stuck_output; }
  std::size_t bytes_available() const override { return inbound_.size(); }
  std::string read_all() override { return std::exchange(inbound_, {}); }
  void close() override { open = false; }

  // Bytes arriving from the device after ms milliseconds, as one read.
  void deliver(const std::string& bytes, int ms = 0) {
    QTimer::singleShot(ms, [this, bytes] {
      inbound_ += bytes;
      if (on_ready_read) on_ready_read();
    });
  }

 private:
  std::string inbound_;
};

class RecordingConsole : public Console {
 public:
  void append(std::string_view text) override {
    text_ += text;
    history_ += text;
  }
  void clear() override { text_.clear(); ++clears; }
  const std::string& text() const { return text_; }
  // Everything ever appended, clears or not.
  const std::string& history() const { return history_; }
  int clears = 0;
 private:
  std::string text_;
  std::string history_;
};

}  // namespace quadrel::test
