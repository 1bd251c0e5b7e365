#include "tests/support/Sandbox.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <system_error>

namespace tarn::test {

Sandbox::Sandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tarn-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  root_ = pattern;
  std::filesystem::create_directories(root_ / "config");
  std::filesystem::create_directories(root_ / "data");
  setenv("TARN_CONFIG_DIR", (root_ / "config").c_str(), 1);
  setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
  // Desktop programs a test runs (xdg-mime) write the user's defaults here.
  setenv("XDG_CONFIG_HOME", (root_ / "xdg-config").c_str(), 1);
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

void Sandbox::WriteFile(const std::filesystem::path& relative, const std::string& content) const {
  const auto path = root_ / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

std::string Sandbox::ReadFile(const std::filesystem::path& relative) const {
  std::ifstream in(root_ / relative, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace tarn::test
