// Base of the main window's pieces: what each one shares with the others.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "link/core/catalogue.h"
#include "link/core/device_state.h"
#include "link/device_link.h"
#include "shell/frm_main.h"
#include "shell/main_controls.h"
#include "shell/panel_state.h"

namespace quadrel {

// A piece owns the handlers of one concern (routing, picture, presets, ...).
// It works on the window's controls and state through narrow references and
// installs its reply handlers in the link's table.
class Piece {
 public:
  virtual ~Piece() = default;
  Piece(const Piece&) = delete;
  Piece& operator=(const Piece&) = delete;

 protected:
  explicit Piece(FrmMain& main)
      : main_(main), c_(main.controls()), ps_(main.state()), link_(main.link()) {}

  // A copy of the reply line being handled (its terminator removed).
  std::string reply() const { return link_.rx_buf(); }
  bool rx_flag() const { return link_.state().rx_flag; }
  void on_reply(std::string_view code, std::function<void()> handler) {
    link_.table().set(code, std::move(handler));
  }
  // How a reply handler sets controls: with sending off, so the change events
  // it raises send nothing, and pending events handled once before it is on again.
  template <class Set>
  void set_quietly(Set set) {
    ps_.send_enable = false;
    set();
    link_.pump_once();
    ps_.send_enable = true;
  }

  FrmMain& main_;
  MainControls& c_;
  PanelState& ps_;
  DeviceLink& link_;
};

}  // namespace quadrel
