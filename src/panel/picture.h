// Brightness, contrast, hue and saturation sliders per channel.
#pragma once

#include <QObject>
#include <array>
#include <string_view>

#include "shell/piece.h"

class QLineEdit;
class QScrollBar;

namespace quadrel {

class Picture : public Piece {
 public:
  explicit Picture(FrmMain& main);

  void hsr_bri_Change(int index) { slider_change(bri(), index); }
  void hsr_con_Change(int index) { slider_change(con(), index); }
  void hsr_hue_Change(int index) { slider_change(hue(), index); }
  void hsr_sat_Change(int index) { slider_change(sat(), index); }
  void cmd_pic_refresh_Click();
  void cmd_pic_reset_Click();
  void rx_bri() { apply_reply(bri()); }
  void rx_con() { apply_reply(con()); }
  void rx_hue() { apply_reply(hue()); }
  void rx_sat() { apply_reply(sat()); }

  // Highest value of a row (sliders run from 0).
  static constexpr int kRowMax = 100;

 private:
  // One adjustment: its code and its four rows (index 1..4).
  struct Adjustment {
    std::string_view code;
    std::array<QScrollBar*, 5>& sliders;
    std::array<QLineEdit*, 5>& boxes;
  };
  Adjustment bri() { return {code::BRI, c_.hsr_bri, c_.txt_bri}; }
  Adjustment con() { return {code::CON, c_.hsr_con, c_.txt_con}; }
  Adjustment hue() { return {code::HUE, c_.hsr_hue, c_.txt_hue}; }
  Adjustment sat() { return {code::SAT, c_.hsr_sat, c_.txt_sat}; }

  void connect_row_sliders(std::array<QScrollBar*, 5>& sliders, void (Picture::*change)(int));
  void slider_change(const Adjustment& adj, int index);
  void apply_reply(const Adjustment& adj);

  QObject ctx_;  // connections made for this piece end with it
};

}  // namespace quadrel
