#include "engine/download/FreeSpace.h"

#include "platform/FileSystem.h"

namespace P2P::Shared::File::TransferFile {

std::optional<std::string> LackOfSpace(const std::filesystem::path& folder, uint64_t needed) {
  const std::optional<uint64_t> free = OSTREL::File::FileSystem().FreeSpace(folder);
  if (!free || *free >= needed) return std::nullopt;
  return "not enough free space in " + folder.string() + ": " + std::to_string(needed) +
         " bytes needed, " + std::to_string(*free) + " free";
}

}  // namespace P2P::Shared::File::TransferFile
