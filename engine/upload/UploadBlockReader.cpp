#include "engine/upload/UploadBlockReader.h"

#include "engine/hashing/HashConstants.h"
#include "engine/protocol/Limits.h"

namespace P2P::Shared::File::TransferFile {

std::string_view UploadReadName(EUploadRead result) {
  switch (result) {
    case EUploadRead::kOk:
      return "ok";
    case EUploadRead::kUnknownFile:
      return "unknown file";
    case EUploadRead::kBadRange:
      return "empty range";
    case EUploadRead::kOversize:
      return "oversize range";
    case EUploadRead::kOutsideFile:
      return "range outside the file";
    case EUploadRead::kNotVerified:
      return "unverified data";
    case EUploadRead::kReadFailed:
      return "read failed";
  }
  return "?";
}

bool CTARNNetUploadBlockReader::IsRangeServable(CTARNNetTransferFile& file, uint64_t start,
                                                uint64_t end) {
  if (start >= end || end > file.GetSize()) return false;
  if (file.Data()->IsFinished()) return true;
  OSTREL::Process::CLock guard(file.LockObject());
  const std::vector<uint8_t>& complete = file.CompletionBitmap();
  for (uint64_t part = start / HASH::kPartSize; part <= (end - 1) / HASH::kPartSize; ++part)
    if (part >= complete.size() || complete[part] == 0) return false;
  return true;
}

EUploadRead CTARNNetUploadBlockReader::Read(const _tagUnionHash& hash, uint64_t start, uint64_t end,
                                            _tagStructUploadBlock& block) const {
  if (end <= start) return EUploadRead::kBadRange;
  if (end - start > Protocol::kMaxUploadRequestLength) return EUploadRead::kOversize;
  const CTransferFilePtr file = lookup_ ? lookup_(hash) : CTransferFilePtr();
  if (!file || file->GetHash() != hash) return EUploadRead::kUnknownFile;
  if (end > file->GetSize()) return EUploadRead::kOutsideFile;
  if (!IsRangeServable(*file, start, end)) return EUploadRead::kNotVerified;

  std::vector<uint8_t> data;
  if (!file->Data()->ReadRange(start, end, data) || data.size() != end - start)
    return EUploadRead::kReadFailed;
  // Checked again after the read: a part found corrupt meanwhile must not go out.
  if (!IsRangeServable(*file, start, end)) return EUploadRead::kNotVerified;

  block.file = hash;
  block.start = start;
  block.end = end;
  block.data = std::move(data);
  block.category = CategoryFromFileName(file->GetName());
  block.fileSize = file->GetSize();
  return EUploadRead::kOk;
}

}  // namespace P2P::Shared::File::TransferFile
