#include "shell/ui/ProductInfo.h"

namespace tarn::shell::ui {

std::vector<SField> AboutFields() {
  return {{"Product:", "TARN"},
          {"Version:", "0.1"},
          {"Network:", "eD2K"},
          {"Parts:", "tarnsvc (the daemon), tarnshell (links, desktop and this page)"}};
}

}  // namespace tarn::shell::ui
