// What the about dialog and the about pages tell: the product, its version and its parts.
// Constant data; any thread.
#pragma once

#include <vector>

#include "shell/ui/PropertySheet.h"

namespace tarn::shell::ui {

std::vector<SField> AboutFields();

}  // namespace tarn::shell::ui
