// Reads the data a peer asked us for, and only data we may give: a byte range [start, end) of
// a shared file, or of a download in progress as long as every part the range touches has
// been verified. Anything else (an unknown hash, an empty, reversed or oversize range, a range
// past the end of the file, unverified data, a failed read) comes back as a typed refusal, so
// no byte outside verified data is ever sent. Files are found through an injected look-up (the
// transfer-file list in the engine). Any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/base/Hash.h"
#include "engine/library/FileCategory.h"
#include "engine/transfer/TransferFile.h"

namespace P2P::Shared::File::TransferFile {

enum class EUploadRead {
  kOk,
  kUnknownFile,
  kBadRange,     // empty or reversed
  kOversize,     // longer than one request may ask for
  kOutsideFile,  // ends past the end of the file
  kNotVerified,  // touches a part of a download that is not verified
  kReadFailed,   // the file could not give every byte
};

std::string_view UploadReadName(EUploadRead result);

// One block ready to go out.
struct _tagStructUploadBlock {
  _tagUnionHash file;
  uint64_t start = 0;
  uint64_t end = 0;
  std::vector<uint8_t> data;
  EFileCategory category = kCategoryNone;  // decides whether packing is worth trying
  uint64_t fileSize = 0;  // above kMaxSmallFileSize the block goes out in the 64-bit forms
};

class CTARNNetUploadBlockReader {
 public:
  using FileLookup = std::function<CTransferFilePtr(const _tagUnionHash&)>;

  explicit CTARNNetUploadBlockReader(FileLookup lookup) : lookup_(std::move(lookup)) {}

  EUploadRead Read(const _tagUnionHash& file, uint64_t start, uint64_t end,
                   _tagStructUploadBlock& block) const;

  // Every part that [start, end) touches is complete and verified in `file`.
  static bool IsRangeServable(CTARNNetTransferFile& file, uint64_t start, uint64_t end);

 private:
  FileLookup lookup_;
};

}  // namespace P2P::Shared::File::TransferFile
