#include "windows/hdcp_control.h"

#include <QPushButton>
#include <QRadioButton>

#include "windows/frm_hdcp.h"

namespace quadrel {

FrmHdcp* HdcpControl::window() const { return window_.get(); }

HdcpControl::HdcpControl(FrmMain& main) : Piece(main) {
  if (c_.cmd_hdcp)
    QObject::connect(c_.cmd_hdcp, &QPushButton::clicked, &ctx_, [this] { cmd_hdcp_Click(); });
  on_reply(code::HPI, [this] { rx_hpi(); });
  on_reply(code::HPO, [this] { rx_hpo(); });
}

HdcpControl::~HdcpControl() = default;

void HdcpControl::cmd_hdcp_Click() {
  if (ps_.hdcp_open) {
    if (window_) window_->close();
    return;
  }
  Form_Load();
}

void HdcpControl::Form_Load() {
  window_.ensure([this] { return new FrmHdcp(main_); }, [this] { Form_Unload(); });
  window_->reset();
  window_->set_loaded(true);
  ps_.hdcp_open = true;
  // Its lower edge at the height of the "HDCP" button, left edges aligned.
  const QRect outer = main_.frameGeometry();
  const int button_top = c_.cmd_hdcp ? c_.cmd_hdcp->mapTo(&main_, QPoint(0, 0)).y() : 0;
  window_->move_outer(outer.left(), outer.top() + button_top - window_->outer_height());
  window_->show();
  window_->cmd_refresh_Click();
}

void HdcpControl::Form_Unload() { ps_.hdcp_open = false; }

void HdcpControl::hdcp_refresh() {
  for (const std::string_view code : {code::HPI, code::HPO}) {
    for (int n = 1; n <= 4; ++n) {
      link_.tx_cmd(cmd::query_channel(code, n));
      if (!rx_flag()) return;
    }
  }
}

void HdcpControl::hdcp_in_out_set(const std::string& hdcp_str) { link_.tx_cmd(hdcp_str); }

void HdcpControl::select(bool input, std::optional<reading::Indexed> setting) {
  set_quietly([&] {
    if (window_ && setting) {
      auto& options = input ? window_->opt_hdcp_in[setting->index] : window_->opt_hdcp_out[setting->index];
      options[setting->value]->setChecked(true);
    }
  });
}

void HdcpControl::rx_hpi() {
  const std::string line = reply();
  if (!ps_.hdcp_open) return;
  select(true, reading::hdcp(line));
}

void HdcpControl::rx_hpo() {
  const std::string line = reply();
  if (!ps_.hdcp_open) return;
  select(false, reading::hdcp(line));
}

}  // namespace quadrel
