// A header that reaches past its layer in each spelling the build refuses.
#pragma once

#include "../shell/layout.h"
#include "panel/../shell/layout.h"
#  include <../ui/piece.h>
