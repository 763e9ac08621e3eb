// Builds every control of the main window at its place.
#pragma once

#include "ui/main_controls.h"

namespace quadrel {

// Creates the controls of the main window inside `form`, in their design-time
// state (captions, fonts, disabled and hidden controls), and fills `c`.
void build_main_layout(MainControls& c, QWidget* form);

}  // namespace quadrel
