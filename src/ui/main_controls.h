// Every control of the main window, by the name the panel's handlers use.
#pragma once

#include <array>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTimer;
class QWidget;

namespace quadrel {

class ClickLabel;
class ShapeWidget;

// Indexed groups keep the window's indices: element 0 is unused where the
// group starts at 1 (`cmd_mode[1]` .. `cmd_mode[5]`), and an option group's
// index is the value sent on the wire.
struct MainControls {
  QWidget* frm_main = nullptr;

  // Top strip and the groups of the tall size.
  QPushButton* cmd_refresh = nullptr;
  QPushButton* cmd_keypad = nullptr;
  QLabel* Label2 = nullptr;
  QPushButton* cmd_pwr = nullptr;
  QPushButton* cmd_advance = nullptr;
  QGroupBox* fra_rs232 = nullptr;
  QGroupBox* fra_btn = nullptr;
  QGroupBox* fra_dual_a = nullptr;
  QGroupBox* fra_dual_b = nullptr;
  QGroupBox* fra_quad = nullptr;
  QGroupBox* fra_bezel = nullptr;
  QGroupBox* fra_pic = nullptr;
  QGroupBox* fra_audio = nullptr;
  QLabel* lab_aspect = nullptr;
  QPushButton* cmd_hdcp = nullptr;
  QComboBox* cbo_aspect = nullptr;
  QGroupBox* fra_recall_save = nullptr;
  QPushButton* cmd_get_ip = nullptr;
  QLabel* lab_inq_ip = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* txt_get_ip = nullptr;
  QLineEdit* txt_get_mask = nullptr;
  QLineEdit* txt_get_gate = nullptr;
  QPushButton* cmd_fact_reset = nullptr;
  QPushButton* cmd_ver = nullptr;
  QLineEdit* txt_ver = nullptr;
  QLineEdit* txt_ver2 = nullptr;
  QPlainTextEdit* txt_cmd = nullptr;
  QPushButton* cmd_clear = nullptr;
  QLabel* Image1 = nullptr;
  QTimer* tim_eth = nullptr;

  // "Control Interface".
  std::array<QRadioButton*, 2> opt_interface{};  // 0 RS-232, 1 Ethernet
  QPushButton* cmd_conn = nullptr;
  QPushButton* cmd_disconn = nullptr;
  QPushButton* cmd_conn_eth = nullptr;
  QPushButton* cmd_disconn_eth = nullptr;
  QComboBox* cbo_com = nullptr;
  QLabel* lab_rs232 = nullptr;
  QLabel* lab_ip = nullptr;
  QLineEdit* txt_ip = nullptr;
  QLabel* lab_eth_state = nullptr;

  // Modes, channels, menu keys and the output map (inside `fra_btn`).
  std::array<QPushButton*, 6> cmd_mode{};  // 1..5
  std::array<QPushButton*, 5> cmd_out{};   // 1..4
  QPushButton* cmd_mute = nullptr;
  QPushButton* cmd_menu_up = nullptr;
  QPushButton* cmd_lock = nullptr;
  QPushButton* cmd_menu_left = nullptr;
  QPushButton* cmd_menu_ok = nullptr;
  QPushButton* cmd_menu_right = nullptr;
  QPushButton* cmd_menu_exit = nullptr;
  QPushButton* cmd_menu_down = nullptr;
  QPushButton* cmd_menu_menu = nullptr;
  // Map cells: [channel 1..4][input 1..4]; channel 1..4 are the window's
  // `lab_out_a_in` .. `lab_out_d_in` and `sha_out_a_in` .. `sha_out_d_in`.
  std::array<std::array<ClickLabel*, 5>, 5> lab_out_in{};
  std::array<std::array<ShapeWidget*, 5>, 5> sha_out_in{};
  ClickLabel* lab_pip = nullptr;
  ShapeWidget* sha_pip = nullptr;
  ClickLabel* lab_lab_input = nullptr;
  ShapeWidget* sha_lab_in = nullptr;
  QLabel* lab_reso_out = nullptr;
  QComboBox* cbo_output = nullptr;
  QLabel* img_start = nullptr;

  // "Picture": rows 1..4 are outputs A..D.
  QGroupBox* fra_con = nullptr;
  QGroupBox* fra_bri = nullptr;
  QGroupBox* fra_sat = nullptr;
  QGroupBox* fra_hue = nullptr;
  QPushButton* cmd_pic_reset = nullptr;
  QPushButton* cmd_pic_refresh = nullptr;
  QLabel* lab_pic = nullptr;
  std::array<QLabel*, 5> lab_bri{}, lab_con{}, lab_sat{}, lab_hue{};
  std::array<QScrollBar*, 5> hsr_bri{}, hsr_con{}, hsr_sat{}, hsr_hue{};
  std::array<QLineEdit*, 5> txt_bri{}, txt_con{}, txt_sat{}, txt_hue{};

  // "Bezel Correction".
  std::array<QRadioButton*, 2> opt_bezel_onoff{};  // 0 Off, 1 On
  QLabel* lab_bezel_h = nullptr;
  QScrollBar* hsr_bezel_h = nullptr;
  QLineEdit* txt_bezel_h = nullptr;
  QLabel* lab_bezel_v = nullptr;
  QScrollBar* hsr_bezel_v = nullptr;
  QLineEdit* txt_bezel_v = nullptr;

  // Audio groups.
  std::array<QRadioButton*, 5> opt_audio{};  // 0..4: 2CH, 6CH, 8CH, Bitstream, HD
  std::array<QRadioButton*, 3> opt_da{};     // 1..2
  std::array<QRadioButton*, 3> opt_db{};     // 1..2
  std::array<QRadioButton*, 5> opt_quad{};   // 1..4

  // "Recall / Save".
  std::array<QPushButton*, 5> cmd_recall{};  // 1..4
  std::array<QPushButton*, 5> cmd_save{};    // 1..4
};

}  // namespace quadrel
