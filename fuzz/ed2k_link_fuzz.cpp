// Reads any text as a link; a file link that reads must format and read back alike.
#include "engine/protocol/Ed2kLink.h"

using namespace P2P::Protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SEd2kLink link;
  SLinkError error;
  if (!ReadEd2kLink({reinterpret_cast<const char*>(data), size}, link, error)) return 0;
  if (link.kind != ELinkKind::kFile) return 0;
  SEd2kLink back;
  if (!ReadEd2kLink(FormatEd2kFileLink(link), back, error) || back.hash != link.hash ||
      back.size != link.size)
    __builtin_trap();
  return 0;
}
