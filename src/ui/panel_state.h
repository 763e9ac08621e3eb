// The main window's own flags, shared by its pieces. What the device holds
// lives in the Device, never here.
#pragma once

namespace quadrel {

struct PanelState {
  bool send_enable = false;    // setting handlers act only while true
  int com_port = 1;            // serial port number 1..9 chosen in the list
  bool advanced_open = false;  // the window is in its tall size
  bool keypad_open = false;    // the tool windows are open
  bool hdcp_open = false;
  bool label_open = false;
  bool pip_open = false;
};

}  // namespace quadrel
