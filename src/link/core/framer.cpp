#include "link/core/framer.h"

namespace quadrel {

namespace {
constexpr int kReplyLength = 7;       // six characters and the carriage return
constexpr int kLabelLength = 17;      // "LAI", digit, 12 characters, carriage return
constexpr int kNetAnswerLength = 16;  // 15-character address and carriage return
}  // namespace

LineFramer::Step LineFramer::step(bool net_query_pending) {
  while (pending_pos_ < pending_.size()) {
    const char c = pending_[pending_pos_++];
    ++consumed_;
    // Line noise (a byte that is neither printable ASCII nor the terminator)
    // belongs to no reply: it is passed over and does not count.
    const auto byte = static_cast<unsigned char>(c);
    if (byte != '\r' && (byte < 0x20 || byte >= 0x7f)) continue;
    if (count_ < 32767) ++count_;
    buf_.push_back(c);
    const bool cr = c == '\r';
    const bool label = buf_.compare(0, 3, "LAI") == 0;
    if (net_query_pending && count_ == kNetAnswerLength) {
      line_had_cr_ = cr;
      pending_.erase(0, pending_pos_);
      pending_pos_ = 0;
      return Step::NetAnswer;
    }
    const bool complete =
        cr || (label ? count_ >= kLabelLength : (!net_query_pending && count_ >= kReplyLength));
    if (complete) {
      line_had_cr_ = cr;
      pending_.erase(0, pending_pos_);
      pending_pos_ = 0;
      return Step::Line;
    }
  }
  pending_.clear();
  pending_pos_ = 0;
  return Step::NeedMore;
}

}  // namespace quadrel
