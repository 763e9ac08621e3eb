// What the link core needs from the outside: a byte link, the console, message boxes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quadrel {

// One byte stream to the device: the serial port or the TCP client.
class ByteLink {
 public:
  virtual ~ByteLink() = default;
  virtual bool is_open() const = 0;
  // Queues bytes for sending; false when the link refused them.
  virtual bool write(std::string_view bytes) = 0;
  // Bytes queued but not yet handed to the device.
  virtual std::size_t bytes_to_write() const = 0;
  virtual std::size_t bytes_available() const = 0;
  virtual std::string read_all() = 0;
  virtual void close() = 0;

  // Set by the link core: called when bytes have arrived.
  std::function<void()> on_ready_read;
  // Set by the link core: called once when the link has failed for good (a
  // pulled adapter, an I/O error); the reason names the device and the error.
  std::function<void(const std::string& reason)> on_lost;
  // Set by the link core: called when queued bytes have been handed on.
  std::function<void()> on_written;
};

// The traffic console (`txt_cmd`): it only grows at its end until cleared.
class Console {
 public:
  virtual ~Console() = default;
  virtual void append(std::string_view text) = 0;
  virtual void clear() = 0;
};

enum class MessageIcon { None, Error, Warning };

// Modal message boxes with the program's title; tests capture them instead.
class Notifier {
 public:
  virtual ~Notifier() = default;
  virtual void message(const std::string& text, MessageIcon icon) = 0;
  // The same under a title of its own instead of the program's (a failed
  // serial port names the port); without a box there is no title to show.
  virtual void message_titled(const std::string& title, const std::string& text, MessageIcon icon) {
    (void)title;
    message(text, icon);
  }
  // Shows now what is still waiting to be shown, if anything waits.
  virtual void flush() {}
};

}  // namespace quadrel
