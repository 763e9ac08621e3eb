#include "windows/label_control.h"

#include <QLineEdit>
#include <QRadioButton>

#include "windows/frm_label.h"

namespace quadrel {

FrmLabel* LabelControl::window() const { return window_.get(); }

LabelControl::LabelControl(FrmMain& main) : Piece(main) {
  on_reply(code::LAB, [this] { rx_lab(); });
  on_reply(code::LAI, [this] { rx_lai(); });
}

LabelControl::~LabelControl() = default;

void LabelControl::Form_Load() {
  window_.ensure([this] { return new FrmLabel(main_); }, [this] { Form_Unload(); });
  window_->reset();
  window_->set_loaded(true);
  ps_.label_open = true;
  // Above the main window, right edges aligned.
  const QRect outer = main_.frameGeometry();
  window_->move_outer(outer.left() + outer.width() - window_->outer_width(),
                      outer.top() - window_->outer_height());
  window_->show();
  link_.pump_once();
  if (window_) window_->cmd_refresh_Click();
}

void LabelControl::unload() {
  if (window_) window_->close();
  ps_.label_open = false;
}

void LabelControl::Form_Unload() { ps_.label_open = false; }

void LabelControl::label_in_refresh() {
  link_.tx_cmd(cmd::query(code::LAB));
  for (int k = 1; k <= 4 && rx_flag(); ++k) link_.tx_cmd(cmd::query_channel(code::LAI, k));
}

void LabelControl::label_in_set(const std::string& lab_in_str) { link_.tx_cmd(lab_in_str); }

void LabelControl::rx_lab() {
  const std::string line = reply();
  if (!ps_.label_open) return;
  const auto v = reading::labels_on(line);
  set_quietly([&] {
    if (window_ && v) window_->opt_on_off[*v]->setChecked(true);
  });
}

void LabelControl::rx_lai() {
  const std::string line = reply();
  if (!ps_.label_open) return;
  const auto label = reading::label(line);
  set_quietly([&] {
    if (window_ && label)
      window_->txt_lab_in[label->input]->setText(QString::fromLatin1(label->text));
  });
}

}  // namespace quadrel
