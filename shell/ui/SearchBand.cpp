#include "shell/ui/SearchBand.h"

#include <charconv>
#include <limits>

namespace tarn::shell::ui {
namespace {

constexpr SFileTypeChoice kChoices[] = {
    {1021, "", "*.*"},       {1022, "Audio", ".wav"}, {1023, "Arc", ".cab"},
    {1024, "Video", ".wmv"}, {1025, "Image", ".bmp"}, {1026, "Iso", ".iso"},
    {1027, "Pro", ".exe"},   {1028, "Doc", ".doc"},
};

constexpr uint32_t kMegabyte = 1048576;

std::string CutToChars(const std::string& text, size_t maxChars) {
  size_t chars = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
    if (chars++ == maxChars) return text.substr(0, i);
  }
  return text;
}

// The typed number of megabytes in bytes; nothing when it is not an unsigned number.
std::optional<uint32_t> MegabytesToBytes(const std::string& text) {
  uint64_t megabytes = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, megabytes);
  if (text.empty() || error == std::errc::invalid_argument || stop != end) return std::nullopt;
  if (error == std::errc::result_out_of_range ||
      megabytes > std::numeric_limits<uint32_t>::max() / kMegabyte)
    return std::numeric_limits<uint32_t>::max();
  return static_cast<uint32_t>(megabytes * kMegabyte);
}

}  // namespace

std::span<const SFileTypeChoice> FileTypeChoices() { return kChoices; }

SSearchTerms TermsOf(const SSearchForm& form) {
  SSearchTerms terms;
  terms.keyword = CutToChars(form.keyword, kKeywordChars);
  if (form.typeIndex > 0 && form.typeIndex < static_cast<int>(std::size(kChoices)))
    terms.fileType = kChoices[form.typeIndex].typeWord;
  switch (form.sizeClass) {
    case ESizeClass::kAny:
      terms.minSize = 0, terms.maxSize = 0;
      break;
    case ESizeClass::kSmall:
      terms.minSize = 0, terms.maxSize = kMegabyte;
      break;
    case ESizeClass::kMedium:
      terms.minSize = 0, terms.maxSize = 100 * kMegabyte;
      break;
    case ESizeClass::kLarge:
      terms.minSize = 100 * kMegabyte, terms.maxSize = 0;
      break;
    case ESizeClass::kSpecified:
      if (const auto bytes = MegabytesToBytes(form.sizeMb)) {
        terms.minSize = form.atMost ? 0 : *bytes;
        terms.maxSize = form.atMost ? *bytes : 0;
      }
      break;
  }
  return terms;
}

OSTREL::COM::HRESULT Send(OSTREL::COM::IP2PSearchRequest& request, const SSearchTerms& terms) {
  request.put_Keyword(terms.keyword);
  request.put_FileType(terms.fileType);
  if (terms.minSize) request.put_MinSize(static_cast<int32_t>(*terms.minSize));
  if (terms.maxSize) request.put_MaxSize(static_cast<int32_t>(*terms.maxSize));
  return request.Search();
}

}  // namespace tarn::shell::ui
