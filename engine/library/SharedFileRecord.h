// The record every file object of the engine carries (shared files, downloads, search
// results): the file hash, the offering client and the descriptive fields that offers and
// search answers transport. Plain values; the object that owns a record guards it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "engine/base/Hash.h"
#include "engine/protocol/Limits.h"

namespace P2P::Shared {

struct _tagStructSharedFileInfo {
  std::string name;          // file name without folder
  std::string targetFolder;  // where a download is to be completed
  std::string fullPathName;  // full path on disk
  std::string otherName;     // search results: a later, different name for the same hash
  uint64_t size = 0;
  int64_t creationTime = 0;   // FILETIME: 100-ns ticks since 1601-01-01 UTC
  int64_t lastWriteTime = 0;  // FILETIME
  std::string format;
  uint32_t tag5Value = 0;
  uint32_t sourceCount = 0;
  uint32_t secondCount = 0;
  std::string type;
  uint32_t mediaBitrate = 0;
  std::string mediaAlbum;
  std::string mediaArtist;
  std::string mediaTitle;
  std::string mediaCodec;
  uint32_t mediaLengthValue = 0;
  std::string mediaLength;

  bool operator==(const _tagStructSharedFileInfo&) const = default;
};

struct _tagStructSharedFile {
  _tagUnionHash hash;
  uint32_t id = 0;        // engine-local key of the file object
  uint32_t clientId = 0;  // the offering client (search results)
  uint16_t port = 0;
  _tagStructSharedFileInfo info;

  bool operator==(const _tagStructSharedFile&) const = default;
};

// A name from a peer or a data file made safe to use as one path component: separators,
// control characters and bytes that are not part of valid UTF-8 become '_', "", "." and ".."
// become "_", and a name longer than `maxBytes` is cut (at a character boundary) before its
// extension, which is kept when it is short.
std::string SafeFileName(std::string_view name, size_t maxBytes = Protocol::kMaxFileNameBytes);

// Splits "movie.part.avi" into "movie.part" and ".avi"; a name without a dot (or only a
// leading one) has no extension.
std::pair<std::string, std::string> SplitExtension(std::string_view name);

// `name` with "(counter)" before its extension, the base shortened so the result still fits
// in one file name.
std::string NumberedFileName(std::string_view name, uint32_t counter);

// Names compared as the engine compares file names: ASCII letters without regard to case.
bool FileNameEquals(std::string_view a, std::string_view b);

}  // namespace P2P::Shared
