// Reads tags until one fails; every tag that can be written back must read back the same.
#include "engine/protocol/Tag.h"

using namespace P2P::Protocol;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CStreamReader stream({data, size});
  _tagStructTag tag;
  while (tag.ReadTag(stream)) {
    for (bool compact : {false, true}) {
      std::vector<uint8_t> bytes;
      CStreamWriter writer(bytes);
      if (!tag.WriteTag(writer, compact)) continue;
      CStreamReader again(bytes);
      _tagStructTag copy;
      if (!copy.ReadTag(again) || !again.AtEnd() || copy.value.index() != tag.value.index())
        __builtin_trap();
    }
  }
  return 0;
}
