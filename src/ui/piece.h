// Base of the main window's pieces: the device they show and drive, and what
// they share of the window.
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <utility>
#include <vector>

#include "link/core/catalogue.h"
#include "link/core/device_state.h"
#include "link/core/link_io.h"
#include "link/device.h"
#include "ui/main_controls.h"
#include "ui/panel_host.h"
#include "ui/panel_state.h"

namespace quadrel {

// What every piece is given.
struct PanelContext {
  Device& device;
  MainControls& controls;
  PanelState& view;     // the view flags
  Notifier& notifier;   // message boxes
  PanelHost& host;
};

// A piece owns one concern of the window (routing, picture, presets, ...): it
// renders what the device reports and calls the device's operations. Pieces
// meet only through the device.
class Piece {
 public:
  virtual ~Piece() = default;
  Piece(const Piece&) = delete;
  Piece& operator=(const Piece&) = delete;

 protected:
  explicit Piece(const PanelContext& context)
      : device_(context.device),
        c_(context.controls),
        ps_(context.view),
        notifier_(context.notifier),
        host_(context.host) {}

  // Runs `render(index)` whenever the device reports `aspect`. A piece
  // listens once and hands each report to its own renderings.
  void on_change(Aspect aspect, std::function<void(int)> render) {
    if (renders_.empty())
      QObject::connect(&device_, &Device::changed, &ctx_, [this](Aspect a, int index) {
        for (const auto& [wanted, fn] : renders_)
          if (wanted == a) fn(index);
      });
    renders_.emplace_back(aspect, std::move(render));
  }

  // How a reply's rendering sets controls: with sending off, so the change
  // events it raises (at once, inside set()) send nothing.
  template <class Set>
  void set_quietly(Set set) {
    ps_.send_enable = false;
    set();
    ps_.send_enable = true;
  }

  // A handler that awaits the device holds one of these and looks at it
  // after each wait: the piece may have gone meanwhile (the window closed).
  QPointer<QObject> guard() { return &ctx_; }

  Device& device_;
  MainControls& c_;
  PanelState& ps_;
  Notifier& notifier_;
  PanelHost& host_;
  QObject ctx_;  // connections made for this piece end with it

 private:
  std::vector<std::pair<Aspect, std::function<void(int)>>> renders_;
};

}  // namespace quadrel
