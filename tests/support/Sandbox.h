// Test fixture: a fresh folder per test under the system temp folder, removed afterwards.
// It also points TARN_CONFIG_DIR, XDG_DATA_HOME and XDG_CONFIG_HOME into itself, so nothing
// a test runs touches the user's real configuration.
#pragma once

#include <filesystem>
#include <string>

namespace tarn::test {

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path operator/(const std::string& relative) const { return root_ / relative; }

  void WriteFile(const std::filesystem::path& relative, const std::string& content) const;
  std::string ReadFile(const std::filesystem::path& relative) const;

 private:
  std::filesystem::path root_;
};

}  // namespace tarn::test
