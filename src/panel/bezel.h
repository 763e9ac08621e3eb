// Bezel correction: on/off, the two sliders and their device limits.
#pragma once

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

  // Largest correction the protocol carries; larger reply values are not applied.
  static constexpr int kMaxCorrection = 254;

 private:
  void slider_change(std::string_view code, QScrollBar* slider, QLineEdit* box);
  void apply_reply(QScrollBar* slider, QLineEdit* box);

  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
