// The desktop's type name of a file, from its name alone (the file need not exist): the
// freedesktop MIME database through GIO, "<EXT> File" when it knows nothing better, "File"
// without an extension. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace OSTREL::Platform {

std::string FileTypeName(std::string_view fileName);

}  // namespace OSTREL::Platform
