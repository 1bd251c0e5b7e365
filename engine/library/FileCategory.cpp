#include "engine/library/FileCategory.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>

namespace P2P::Shared::File {
namespace {

struct CExtension {
  std::string_view extension;  // lower case, dot included
  EFileCategory category;
};

constexpr EFileCategory A = kCategoryAudio, V = kCategoryVideo, I = kCategoryImage,
                        P = kCategoryProgram, D = kCategoryDocument, R = kCategoryArchive,
                        S = kCategoryDiskImage;

// Sorted by extension for binary search.
constexpr std::array<CExtension, 143> kExtensions = {{
    {".669", A},  {".7z", R},  {".aac", A},  {".ace", R},   {".aif", A},  {".aiff", A},
    {".amf", A},  {".ams", A}, {".ape", A},  {".arj", R},   {".asf", V},  {".au", A},
    {".avi", V},  {".bat", P}, {".bin", S},  {".bmp", I},   {".bwa", S},  {".bwi", S},
    {".bws", S},  {".bwt", S}, {".bz2", R},  {".cab", R},   {".ccd", S},  {".chm", D},
    {".cmd", P},  {".com", P}, {".css", D},  {".cue", S},   {".dbm", A},  {".dcx", I},
    {".divx", V}, {".diz", D}, {".dmf", A},  {".dmg", S},   {".dmz", S},  {".doc", D},
    {".dot", D},  {".dsm", A}, {".emf", I},  {".exe", P},   {".far", A},  {".flac", A},
    {".gif", I},  {".gz", R},  {".hlp", D},  {".hqx", R},   {".htm", D},  {".html", D},
    {".ico", I},  {".img", S}, {".iso", S},  {".it", A},    {".jpeg", I}, {".jpg", I},
    {".lha", R},  {".m1v", V}, {".m2v", V},  {".mdf", S},   {".mdl", A},  {".mds", S},
    {".med", A},  {".mid", A}, {".midi", A}, {".mkv", V},   {".mod", A},  {".mol", A},
    {".mov", V},  {".mp1", A}, {".mp1v", V}, {".mp2", A},   {".mp2v", V}, {".mp3", A},
    {".mp4", A},  {".mpa", A}, {".mpc", A},  {".mpe", V},   {".mpeg", V}, {".mpg", V},
    {".mpp", A},  {".mps", V}, {".mpv", V},  {".mpv1", V},  {".mpv2", V}, {".msi", R},
    {".mtm", A},  {".nfo", D}, {".nrg", S},  {".nst", A},   {".ogg", A},  {".ogm", V},
    {".okt", A},  {".pct", I}, {".pcx", I},  {".pdf", D},   {".pic", I},  {".pict", I},
    {".png", I},  {".pps", D}, {".ppt", D},  {".ps", D},    {".psd", I},  {".psm", A},
    {".psp", I},  {".ptm", A}, {".qt", V},   {".ra", A},    {".ram", V},  {".rar", R},
    {".rm", V},   {".rmi", A}, {".rtf", D},  {".rv", V},    {".rv9", V},  {".s3m", A},
    {".sea", R},  {".sit", R}, {".stm", A},  {".sub", S},   {".tar", R},  {".tga", I},
    {".tgz", R},  {".tif", I}, {".tiff", I}, {".toast", S}, {".ts", V},   {".txt", D},
    {".uc2", R},  {".ult", A}, {".umx", A},  {".vivo", V},  {".vob", V},  {".wav", A},
    {".wma", A},  {".wmf", I}, {".wmv", V},  {".wow", A},   {".wri", D},  {".xif", I},
    {".xls", D},  {".xlt", D}, {".xm", A},   {".xvid", V},  {".zip", R},
}};

constexpr bool ExtensionLess(const CExtension& a, const CExtension& b) {
  return a.extension < b.extension;
}
static_assert(std::ranges::is_sorted(kExtensions, ExtensionLess));
static_assert(std::ranges::adjacent_find(kExtensions, [](const auto& a, const auto& b) {
                return a.extension == b.extension;
              }) == kExtensions.end());

constexpr std::array<std::string_view, 8> kTypeWords = {"",    "Audio", "Video", "Image",
                                                        "Pro", "Doc",   "Arc",   "Iso"};

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return AsciiLower(x) == AsciiLower(y);
         });
}

}  // namespace

EFileCategory CategoryFromTypeWord(std::string_view word) {
  for (size_t i = 1; i < kTypeWords.size(); ++i)
    if (EqualsIgnoringCase(word, kTypeWords[i])) return static_cast<EFileCategory>(i);
  return kCategoryNone;
}

std::string_view CategoryTypeWord(int category) {
  if (category < 0 || static_cast<size_t>(category) >= kTypeWords.size()) return {};
  return kTypeWords[static_cast<size_t>(category)];
}

EFileCategory CategoryFromFileName(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return kCategoryNone;
  std::string extension(fileName.substr(dot));
  std::transform(extension.begin(), extension.end(), extension.begin(), AsciiLower);
  const CExtension key{extension, kCategoryNone};
  const auto found = std::lower_bound(kExtensions.begin(), kExtensions.end(), key, ExtensionLess);
  if (found == kExtensions.end() || found->extension != extension) return kCategoryNone;
  return found->category;
}

}  // namespace P2P::Shared::File
