// Brightness, contrast, hue and saturation sliders per channel.
#pragma once

#include <array>

#include "ui/piece.h"

class QLineEdit;
class QScrollBar;

namespace quadrel {

class Picture : public Piece {
 public:
  explicit Picture(const PanelContext& context);

  void hsr_bri_Change(int index) { slider_change(Adjustment::Brightness, index); }
  void hsr_con_Change(int index) { slider_change(Adjustment::Contrast, index); }
  void hsr_hue_Change(int index) { slider_change(Adjustment::Hue, index); }
  void hsr_sat_Change(int index) { slider_change(Adjustment::Saturation, index); }
  void cmd_pic_refresh_Click();
  void cmd_pic_reset_Click();

  // Highest value of a row (sliders run from 0).
  static constexpr int kRowMax = kPictureMax;

 private:
  // One adjustment's four rows (index 1..4).
  struct Row {
    std::array<QScrollBar*, 5>& sliders;
    std::array<QLineEdit*, 5>& boxes;
  };
  Row row_of(Adjustment adjustment);

  QCoro::Task<> slider_change(Adjustment adjustment, int index);
  // Shows a row's value as the device reported it (`show_value` with sending off).
  void show_value(Adjustment adjustment, int row);
  void show(Adjustment adjustment, int row);
};

}  // namespace quadrel
