// Bezel correction: on/off, the two sliders and their device limits.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <string_view>

#include "shell/piece.h"

class QLineEdit;
class QScrollBar;

namespace quadrel {

class Bezel : public Piece {
 public:
  explicit Bezel(FrmMain& main);

  void opt_bezel_onoff_Click(int index);
  void hsr_bezel_h_Change();
  void hsr_bezel_v_Change();
  void rx_beh();
  void rx_bev();
  void rx_bez();

  // Sends the limit query of a correction ("BEH998", "BEV998") and marks its
  // code: the next reply of that code is the slider's maximum, not its value,
  // also when it comes after the exchange gave up waiting. The mark ends with
  // that reply, after kLimitWaitMs, or with forget_limits(); a refused or lost
  // query leaves none. `rx_flag` tells the outcome, as after `tx_cmd`.
  void query_limit(std::string_view code);
  // Ends every mark: the next replies are values (a refresh reads them anew).
  void forget_limits();
  // Whether a limit of this code ("BEH", "BEV") is still awaited.
  bool limit_pending(std::string_view code) const;

  // Largest correction the protocol carries; larger reply values are not applied.
  static constexpr int kMaxCorrection = 254;
  // How long an unanswered limit query keeps its mark.
  static constexpr int kLimitWaitMs = 3000;

 private:
  void slider_change(std::string_view code, QScrollBar* slider, QLineEdit* box);
  void apply_reply(int which, QScrollBar* slider, QLineEdit* box);
  bool awaiting(int which) const;
  void end_limit(int which);

  // Per correction (0 horizontal, 1 vertical): until when its limit is awaited.
  QDeadlineTimer limit_until_[2];
  bool limit_marked_[2] = {false, false};
  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
