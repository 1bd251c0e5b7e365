// The hash set answer (E3 0x52) for a file we have: its hash, a u16 count and the part hashes,
// floor(size / 9728000) + 1 of them for a multi-part file and none for a single-part one.
// Peers ask for it before downloading anything of a multi-part file. Any thread: the file's
// lock is taken while its hash list is read.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/transfer/TransferFile.h"

namespace P2P::Shared::File::TransferFile {

// The whole TCP packet; empty when the file does not hold its full hash set (a download that
// has not received it yet), so nothing wrong is ever claimed.
std::vector<uint8_t> BuildHashSetAnswer(CTARNNetTransferFile& file);

}  // namespace P2P::Shared::File::TransferFile
