// The metadata file kept beside each part file (nnnnn.tarn.dat): the file's hash, name, size,
// descriptive fields and the ranges still required, as an XML document laid out byte for byte
// like the other data files. Reading checks everything it takes from the disk: a file that is
// not such a document, has no usable hash or size, or holds ranges outside the file yields
// nothing. Pure functions; any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "engine/base/Hash.h"
#include "engine/library/SharedFileRecord.h"
#include "engine/transfer/BlockPartList.h"

namespace P2P::Shared::File::TransferFile {

inline constexpr std::string_view kDownloadMetadataRoot = "DownloadFile";

struct _tagStructDownloadMetadata {
  _tagUnionHash hash;
  _tagStructSharedFileInfo info;  // name, size and the descriptive fields
  CTARNNetRequireBlockPartList required;
};

std::string WriteDownloadMetadataText(const _tagStructDownloadMetadata& metadata);
std::optional<_tagStructDownloadMetadata> ReadDownloadMetadataText(std::string_view text);
// Nothing when the file is missing, larger than the metadata limit or unreadable as above.
std::optional<_tagStructDownloadMetadata> LoadDownloadMetadata(const std::filesystem::path& path);

}  // namespace P2P::Shared::File::TransferFile
