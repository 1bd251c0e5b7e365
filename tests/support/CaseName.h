// Readable names for parameterised test cases: GoogleTest accepts only [A-Za-z0-9_], so a
// case's `name` (or any text that describes it) is sanitised to that, and every
// INSTANTIATE_TEST_SUITE_P names its cases with one of these generators instead of the default
// "/0", "/1" or a byte dump.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace tarn::test {

// `text` with every run of characters outside [A-Za-z0-9_] replaced by one '_' (none at either
// end), cut to `maxLength`; "Empty" when nothing is left.
inline std::string CaseName(std::string_view text, size_t maxLength = 60) {
  std::string name;
  bool gap = false;
  for (char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                       (c >= '0' && c <= '9') || c == '_';
    if (!plain) {
      gap = true;
      continue;
    }
    if (gap && !name.empty()) name += '_';
    gap = false;
    name += c;
    if (name.size() >= maxLength) break;
  }
  return name.empty() ? std::string("Empty") : name;
}

// Names each case by its table's `name` field.
struct NameField {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    return CaseName(info.param.name);
  }
};

// For tables whose case is its input text (an expression, a line): its position and the text, so
// two texts that sanitise alike still name distinct cases ("03_a_OR_b").
struct IndexAndText {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string index = std::to_string(info.index);
    if (index.size() < 2) index.insert(0, "0");
    return index + "_" + CaseName(TextOf(info.param));
  }

 private:
  template <typename Case>
  static std::string_view TextOf(const Case& param) {
    if constexpr (requires { param.input; })
      return param.input;
    else
      return param;
  }
};

}  // namespace tarn::test
