#include "link/core/framer.h"

#include "link/core/catalogue.h"
#include "link/core/parameters.h"

namespace quadrel {

namespace {
constexpr std::size_t kReplyLength = 7;       // six characters and the carriage return
constexpr std::size_t kLabelLength = 17;      // "LAI", digit, 12 characters, carriage return
constexpr std::size_t kNetAnswerLength = 16;  // 15-character address and carriage return
constexpr std::size_t kCompactAt = 64 * 1024; // consumed bytes worth moving the rest for

bool is_label(const std::string& buf) { return buf.size() >= 3 && buf.compare(0, 3, "LAI") == 0; }
}  // namespace

void LineFramer::push(std::string_view bytes) {
  if (pending_pos_ == pending_.size()) {
    pending_.clear();
    pending_pos_ = 0;
  } else if (pending_pos_ >= kCompactAt && pending_pos_ * 2 >= pending_.size()) {
    // The consumed front goes once it outweighs the rest: each byte moves at
    // most a few times, however the input is cut.
    pending_.erase(0, pending_pos_);
    pending_pos_ = 0;
  }
  if (bytes.size() >= kMaxPending) {
    dropped_ += pending_size() + bytes.size() - kMaxPending;
    pending_.assign(bytes.substr(bytes.size() - kMaxPending));
    pending_pos_ = 0;
    return;
  }
  const std::size_t over = pending_size() + bytes.size();
  if (over > kMaxPending) {
    dropped_ += over - kMaxPending;
    pending_pos_ += over - kMaxPending;
  }
  pending_.append(bytes);
}

LineFramer::Step LineFramer::step(bool net_query_pending) {
  const char* const data = pending_.data();
  const std::size_t size = pending_.size();
  std::size_t pos = pending_pos_;
  // Whether the line is a reply (starts with a code) is settled at its third
  // character; before that only a carriage return can end it.
  // (Only asked while a network query is pending: nothing else depends on it.)
  bool reply_line = net_query_pending && buf_.size() >= 3 &&
                    is_reply_code(std::string_view(buf_).substr(0, 3));
  std::size_t limit = is_label(buf_) ? kLabelLength : kReplyLength;
  Step result = Step::NeedMore;
  while (pos < size) {
    const auto byte = static_cast<unsigned char>(data[pos++]);
    if (byte == '\r') {
      buf_.push_back('\r');
      line_had_cr_ = true;
      result = net_query_pending && !reply_line && buf_.size() == kNetAnswerLength ? Step::NetAnswer
                                                                                      : Step::Line;
      break;
    }
    // Line noise belongs to no reply: it is passed over and does not count.
    if (byte < 0x20 || byte >= 0x7f) continue;
    buf_.push_back(static_cast<char>(byte));
    const std::size_t n = buf_.size();
    if (n == 3) {
      if (is_label(buf_)) limit = kLabelLength;
      if (net_query_pending) reply_line = is_reply_code(buf_);
    }
    if (net_query_pending && !reply_line) {
      if (n == kNetAnswerLength) {
        line_had_cr_ = false;
        result = Step::NetAnswer;
        break;
      }
    } else if (n >= limit) {
      line_had_cr_ = false;
      result = Step::Line;
      break;
    }
  }
  consumed_ += pos - pending_pos_;
  pending_pos_ = pos;
  if (pending_pos_ == size) {
    pending_.clear();
    pending_pos_ = 0;
  }
  return result;
}

}  // namespace quadrel
