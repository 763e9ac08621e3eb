#include "windows/pip_control.h"

#include <QComboBox>
#include <QPushButton>

#include "ui/control_kinds.h"
#include "ui/widgets.h"
#include "windows/frm_pip.h"

namespace quadrel {

FrmPip* PipControl::window() const { return window_.get(); }

PipControl::PipControl(const PanelContext& context) : Piece(context) {
  on_change(Aspect::PipCorner, [this](int pip) { rx_ppo(pip); });
  on_change(Aspect::PipSize, [this](int pip) { rx_psz(pip); });
}

PipControl::~PipControl() = default;

void PipControl::Form_Load() {
  window_.ensure([this] { return new FrmPip(&host_.window(), device_, ps_); }, [this] { Form_Unload(); });
  window_->set_loaded(true);
  ps_.pip_open = true;
  // Its lower edge on the main window's upper edge.
  const QRect outer = host_.window().frameGeometry();
  window_->move_outer(outer.left() + twips(kLeftOffset), outer.top() - window_->outer_height());
  window_->reset();
  window_->show();
  window_->cmd_refresh_Click();
}

void PipControl::unload() {
  if (window_) window_->close();
  ps_.pip_open = false;
}

void PipControl::Form_Unload() { ps_.pip_open = false; }

void PipControl::rx_ppo(int pip) {
  if (!ps_.pip_open) return;
  const auto& corner = device_.state().pip_corner[pip - 1];
  ps_.send_enable = false;
  if (window_ && corner) {
    auto& buttons = pip == 1 ? window_->cmd_a_pos : window_->cmd_b_pos;
    for (int n = 0; n < 4; ++n) show_current(buttons[n], n == *corner);
  }
  ps_.send_enable = true;
}

void PipControl::rx_psz(int pip) {
  if (!ps_.pip_open) return;
  const auto& size = device_.state().pip_size[pip - 1];
  set_quietly([&] {
    if (window_ && size) (pip == 1 ? window_->cbo_a_size : window_->cbo_b_size)->setCurrentIndex(*size);
  });
}

}  // namespace quadrel
