// The offer record: one file with its tags as offers to a server and search answers carry it
// (hash, client id, port, tag count, tags). Reading takes either tag form and checks every
// count and length, since records arrive from the network. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "engine/library/SharedFileRecord.h"
#include "engine/protocol/Stream.h"
#include "engine/protocol/Tag.h"

namespace P2P::Shared::File {

struct _tagStructOfferOptions {
  bool compactTags = false;   // the compact tag form (server capability)
  bool mediaTagsById = true;  // media tags by numeric id, else by name
};

// Writes one record with the record's client id and port; a record without a type or format
// is offered with those of its name's extension. Nothing is written on failure.
bool WriteOfferRecord(Protocol::CStreamWriter& writer, const _tagStructSharedFile& record,
                      const _tagStructOfferOptions& options);

// Reads one record; a name is made safe to use as a file name (an absent one stays empty). On
// failure (as OfferRecordFromTags refuses) the stream is left where it was.
std::optional<_tagStructSharedFile> ReadOfferRecord(Protocol::CStreamReader& reader);

// The record a server's offer or answer describes, from tags already read: each known tag
// mapped to its field, unknown ones skipped, the name made safe as ReadOfferRecord does. The
// size is the size tag's low 32 bits with the high ones of tag 0x3A; nothing when it is above
// the largest file size.
std::optional<_tagStructSharedFile> OfferRecordFromTags(
    const _tagUnionHash& hash, uint32_t clientId, uint16_t port,
    std::span<const Protocol::_tagStructTag> tags);

// A uint32 count, then that many records; fails (stream unmoved) on a count the remaining
// bytes cannot hold, above the cap, or on the first bad record.
std::optional<std::vector<_tagStructSharedFile>> ReadOfferList(Protocol::CStreamReader& reader);

}  // namespace P2P::Shared::File
