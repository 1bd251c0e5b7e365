// The AICH.dat store: one File element per hashed shared file, holding its hash and the
// stored nodes of its AICH tree (the root and the leaves, with their ids). Saving replaces the
// file's earlier element. Saving and hashing share one process-wide lock, so the file is
// written by one thread at a time. Any thread.
#pragma once

#include <filesystem>
#include <string_view>

#include "engine/base/Hash.h"
#include "engine/hashing/AICHTree.h"
#include "framework/CriticalSection.h"

namespace P2P::HASH {

inline constexpr std::string_view kAICHFileName = "AICH.dat";
inline constexpr std::string_view kAICHRoot = "AICHList";

// The lock under which files are hashed and AICH.dat is written when the engine root gives
// none of its own.
OSTREL::Process::CCriticalSection& HashingLock();

// Adds (or replaces) the tree of `fileHash` in AICH.dat in `folder`, under `lock`. An existing
// file that cannot be loaded is left alone and nothing is saved.
bool SaveAICHTree(const std::filesystem::path& folder, const _tagUnionHash& fileHash,
                  const CTARNNetAICHTree& tree,
                  OSTREL::Process::CCriticalSection& lock = HashingLock());

}  // namespace P2P::HASH
