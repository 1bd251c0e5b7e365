#include "platform/FileTypeName.h"

#include <gio/gio.h>

#include <cctype>

namespace OSTREL::Platform {
namespace {

std::string FallbackName(std::string_view fileName) {
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || dot + 1 == fileName.size()) return "File";
  std::string extension(fileName.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return extension + " File";
}

}  // namespace

std::string FileTypeName(std::string_view fileName) {
  const std::string name(fileName);
  gboolean uncertain = FALSE;
  gchar* type = g_content_type_guess(name.c_str(), nullptr, 0, &uncertain);
  std::string description;
  if (type != nullptr && !uncertain) {
    if (gchar* text = g_content_type_get_description(type)) {
      description = text;
      g_free(text);
    }
  }
  g_free(type);
  return description.empty() ? FallbackName(fileName) : description;
}

}  // namespace OSTREL::Platform
