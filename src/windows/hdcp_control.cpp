#include "windows/hdcp_control.h"

#include <QPushButton>
#include <QRadioButton>

#include "windows/frm_hdcp.h"

namespace quadrel {

FrmHdcp* HdcpControl::window() const { return window_.get(); }

HdcpControl::HdcpControl(const PanelContext& context) : Piece(context) {
  if (c_.cmd_hdcp) QObject::connect(c_.cmd_hdcp, &QPushButton::clicked, &ctx_, [this] { cmd_hdcp_Click(); });
  on_change(Aspect::HdcpInput, [this](int n) { rx_hpi(n); });
  on_change(Aspect::HdcpOutput, [this](int n) { rx_hpo(n); });
}

HdcpControl::~HdcpControl() = default;

void HdcpControl::cmd_hdcp_Click() {
  if (ps_.hdcp_open)
    unload();
  else
    Form_Load();
}

void HdcpControl::Form_Load() {
  window_.ensure([this] { return new FrmHdcp(&host_.window(), device_, ps_); }, [this] { Form_Unload(); });
  window_->reset();
  window_->set_loaded(true);
  ps_.hdcp_open = true;
  // Its lower edge at the height of the "HDCP" button, left edges aligned.
  const QRect outer = host_.window().frameGeometry();
  const int button_top = c_.cmd_hdcp ? c_.cmd_hdcp->mapTo(&host_.window(), QPoint(0, 0)).y() : 0;
  window_->move_outer(outer.left(), outer.top() + button_top - window_->outer_height());
  window_->show();
  window_->cmd_refresh_Click();
}

void HdcpControl::unload() {
  if (window_) window_->close();
}

void HdcpControl::Form_Unload() { ps_.hdcp_open = false; }

void HdcpControl::select(bool input, int n) {
  if (!ps_.hdcp_open) return;
  const std::optional<int>& value = (input ? device_.state().hdcp_in : device_.state().hdcp_out)[n - 1];
  set_quietly([&] {
    if (window_ && value) (input ? window_->opt_hdcp_in[n] : window_->opt_hdcp_out[n])[*value]->setChecked(true);
  });
}

}  // namespace quadrel
