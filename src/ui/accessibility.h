// What assistive tools are told about the panel beyond each control's own name.
#pragma once

class QWidget;

namespace quadrel {

// Leaves a widget that carries no meaning out of the accessibility tree (a
// label that is never seen). Shapes are left out without being marked: they
// only colour what the label or button on them says.
void leave_out_of_accessibility(QWidget* w);

// Installs, once per program, the rule that leaves such widgets out of the
// tree that assistive tools walk.
void install_accessibility_rules();

}  // namespace quadrel
