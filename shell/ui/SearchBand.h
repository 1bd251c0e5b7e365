// The search band's form and what it sends: the keyword, the "Look in" type and the size
// class become the terms of one search request, set and sent in the order the band always
// made its calls. Pure functions, plus Send, which calls the request on the caller's thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "service/automation/P2PInterfaces.h"

namespace tarn::shell::ui {

// The size options in the band's order.
enum class ESizeClass { kAny, kSmall, kMedium, kLarge, kSpecified };

struct SFileTypeChoice {
  int textId;
  const char* typeWord;  // what is sent; empty for "All Files"
  const char* iconOf;    // the sample extension whose icon the entry shows
};

// "All Files" first (chosen at start), then the seven types.
std::span<const SFileTypeChoice> FileTypeChoices();

struct SSearchForm {
  std::string keyword{};
  int typeIndex = 0;  // into FileTypeChoices(); out of range reads as "All Files"
  ESizeClass sizeClass = ESizeClass::kAny;
  bool atMost = false;   // with kSpecified: "at most" rather than "at least"
  std::string sizeMb{};  // with kSpecified: the number typed
};

struct SSearchTerms {
  std::string keyword{};
  std::string fileType{};
  // Absent: the form does not change that limit (a size that is not a number).
  std::optional<uint32_t> minSize, maxSize;
};

inline constexpr size_t kKeywordChars = 260;

// The terms the form stands for. The keyword is cut to 260 characters; a specified size
// past what 32 bits hold is held at the largest size rather than wrapped to a small one.
SSearchTerms TermsOf(const SSearchForm& form);

// Sets the terms on `request` and starts the search; the request's answer to Search.
OSTREL::COM::HRESULT Send(OSTREL::COM::IP2PSearchRequest& request, const SSearchTerms& terms);

}  // namespace tarn::shell::ui
