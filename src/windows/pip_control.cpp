#include "windows/pip_control.h"

#include <QComboBox>
#include <QPushButton>

#include "shell/control_kinds.h"
#include "shell/widgets.h"
#include "windows/frm_pip.h"

namespace quadrel {

FrmPip* PipControl::window() const { return window_.get(); }

PipControl::PipControl(FrmMain& main) : Piece(main) {
  on_reply(code::PPO, [this] { rx_ppo(); });
  on_reply(code::PSZ, [this] { rx_psz(); });
  on_reply(code::PSW, [this] { rx_psw(); });
}

PipControl::~PipControl() = default;

void PipControl::Form_Load() {
  window_.ensure([this] { return new FrmPip(main_); }, [this] { Form_Unload(); });
  window_->set_loaded(true);
  ps_.pip_open = true;
  // Its lower edge on the main window's upper edge.
  const QRect outer = main_.frameGeometry();
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

void PipControl::dual_pip_refresh() {
  for (const std::string_view code : {code::PPO, code::PSZ}) {
    for (int pip = 1; pip <= 2; ++pip) {
      link_.tx_cmd(cmd::query_channel(code, pip));
      if (!rx_flag()) return;
    }
  }
}

void PipControl::dual_pip_set(const std::string& pip_str) { link_.tx_cmd(pip_str); }

void PipControl::rx_ppo() {
  const std::string line = reply();
  if (!ps_.pip_open) return;
  ps_.send_enable = false;
  const auto corner = reading::pip_corner(line);
  if (window_ && corner) {
    auto& buttons = corner->index == 1 ? window_->cmd_a_pos : window_->cmd_b_pos;
    for (int n = 0; n < 4; ++n) show_current(buttons[n], n == corner->value);
  }
  ps_.send_enable = true;
}

void PipControl::rx_psz() {
  const std::string line = reply();
  if (!ps_.pip_open) return;
  const auto size = reading::pip_size(line);
  set_quietly([&] {
    if (window_ && size)
      (size->index == 1 ? window_->cbo_a_size : window_->cbo_b_size)->setCurrentIndex(size->value);
  });
}

void PipControl::rx_psw() {
  // The swap shows on the device only.
}

}  // namespace quadrel
