#include "windows/label_control.h"

#include <QLineEdit>
#include <QRadioButton>

#include "windows/frm_label.h"

namespace quadrel {

FrmLabel* LabelControl::window() const { return window_.get(); }

LabelControl::LabelControl(const PanelContext& context) : Piece(context) {
  on_change(Aspect::LabelsShown, [this](int) { rx_lab(); });
  on_change(Aspect::Label, [this](int input) { rx_lai(input); });
}

LabelControl::~LabelControl() = default;

void LabelControl::Form_Load() {
  window_.ensure([this] { return new FrmLabel(&host_.window(), device_, ps_, host_); },
                 [this] { Form_Unload(); });
  window_->reset();
  window_->set_loaded(true);
  ps_.label_open = true;
  // Above the main window, right edges aligned.
  const QRect outer = host_.window().frameGeometry();
  window_->move_outer(outer.left() + outer.width() - window_->outer_width(),
                      outer.top() - window_->outer_height());
  window_->show();
  window_->cmd_refresh_Click();
}

void LabelControl::unload() {
  if (window_) window_->close();
  ps_.label_open = false;
}

void LabelControl::Form_Unload() { ps_.label_open = false; }

void LabelControl::rx_lab() {
  if (!ps_.label_open) return;
  const auto& shown = device_.state().labels_on;
  set_quietly([&] {
    if (window_ && shown) window_->opt_on_off[*shown ? 1 : 0]->setChecked(true);
  });
}

void LabelControl::rx_lai(int input) {
  if (!ps_.label_open) return;
  const auto& label = device_.state().labels[input - 1];
  set_quietly([&] {
    if (window_ && label) window_->txt_lab_in[input]->setText(QString::fromLatin1(*label));
  });
}

}  // namespace quadrel
