// The device state the window mirrors, shared by the panel pieces.
#pragma once

namespace quadrel {

// Written by the reply handlers and read by the pieces that interpret later
// replies. Values the device has not reported yet hold 254.
struct PanelState {
  bool send_enable = false;       // setting handlers act only while true
  int disp_mode = 1;              // 1 Matrix, 2 Dual PoP or Dual PiP, 3 TV Wall, 5 Quad
  int dual_kind = 0;              // 1 after a Dual PoP report, 2 after a Dual PiP report
  int sel_out = 1;                // current output channel 1..4
  int pwr_state = 254;            // 1 on, 0 standby
  int audio_state = 254;          // 1 on, 0 off
  int lock_state = 254;           // 1 locked, 0 unlocked
  int com_port = 1;               // serial port number 1..9
  bool advanced_open = false;     // the window is in its tall size
  bool bezel_limit_query = false; // a bezel limit query is outstanding
  bool keypad_open = false;
  bool hdcp_open = false;
  bool label_open = false;
  bool pip_open = false;
};

}  // namespace quadrel
