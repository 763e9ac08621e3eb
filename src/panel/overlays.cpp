#include "panel/overlays.h"

#include "shell/widgets.h"
#include "windows/label_control.h"
#include "windows/pip_control.h"

namespace quadrel {

Overlays::Overlays(FrmMain& main) : Piece(main) {
  if (c_.lab_pip)
    QObject::connect(c_.lab_pip, &ClickLabel::clicked, &ctx_, [this] { lab_pip_Click(); });
  if (c_.lab_lab_input)
    QObject::connect(c_.lab_lab_input, &ClickLabel::clicked, &ctx_, [this] { lab_lab_input_Click(); });
}

void Overlays::busy(ClickLabel* label, ShapeWidget* shape) {
  // The label takes no further clicks until its window is open or closed.
  if (shape) shape->set_fill(colour::busy_red);
  if (label) label->setEnabled(false);
  link_.pump_once();
}

void Overlays::idle(ClickLabel* label, ShapeWidget* shape) {
  if (label) label->setEnabled(true);
  if (shape) shape->set_fill(colour::indicator_grey);
  link_.pump_once();
}

void Overlays::lab_pip_Click() {
  busy(c_.lab_pip, c_.sha_pip);
  if (ps_.pip_open)
    main_.pip().unload();
  else
    main_.pip().Form_Load();
  idle(c_.lab_pip, c_.sha_pip);
}

void Overlays::lab_lab_input_Click() {
  busy(c_.lab_lab_input, c_.sha_lab_in);
  if (ps_.label_open)
    main_.labels().unload();
  else
    main_.labels().Form_Load();
  idle(c_.lab_lab_input, c_.sha_lab_in);
}

}  // namespace quadrel
