// The info tip a folder shows when the pointer rests on an item: name, hash, further names,
// size, sources and the media values, and for a download its speed. Pure function; any
// thread.
#pragma once

#include <string>

#include "shell/ui/ItemDetails.h"

namespace tarn::shell::ui {

std::string InfoTip(const SItemDetails& item);

}  // namespace tarn::shell::ui
