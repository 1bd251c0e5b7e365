// Reads the Block elements under a document's root into a still-required list, writes the
// list back and reads it again: the same ranges, each with start < end.
#include <string_view>

#include "engine/transfer/BlockPartList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace P2P::Shared::File::TransferFile;
  OSTREL::File::CXmlDocument document;
  if (!document.LoadText({reinterpret_cast<const char*>(data), size})) return 0;
  CTARNNetRequireBlockPartList list;
  list.ReadBlocks(document.Root());
  for (const _tagStructBlockPart& part : list)
    if (part.start >= part.end) __builtin_trap();
  OSTREL::File::CXmlDocument written("List");
  list.WriteBlocks(written.Root());
  OSTREL::File::CXmlDocument reread;
  if (!reread.LoadText(written.ToText())) __builtin_trap();
  CTARNNetRequireBlockPartList again;
  again.ReadBlocks(reread.Root());
  if (again.Size() != list.Size()) __builtin_trap();
  for (size_t i = 0; i < list.Size(); ++i)
    if (!(again[i] == list[i])) __builtin_trap();
  return 0;
}
