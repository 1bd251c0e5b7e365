// Reads any text as a link. A refusal's message is UTF-8 text (it may end up in a desktop
// notification); a file link that reads must format and read back alike, name included.
#include "engine/protocol/Ed2kLink.h"
#include "engine/protocol/TextCodec.h"

using namespace P2P::Protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SEd2kLink link;
  SLinkError error;
  if (!ReadEd2kLink({reinterpret_cast<const char*>(data), size}, link, error)) {
    if (!IsStrictUtf8(error.Message())) __builtin_trap();
    return 0;
  }
  if (link.kind != ELinkKind::kFile) return 0;
  SEd2kLink back;
  if (!ReadEd2kLink(FormatEd2kFileLink(link), back, error) || back.hash != link.hash ||
      back.size != link.size || back.name != link.name)
    __builtin_trap();
  return 0;
}
