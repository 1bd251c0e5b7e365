// The descriptive fields of a shared-file record (format, type and media) as the two files that
// store records hold them, the shared-file list and a download's metadata: optional elements in
// one order, named alike in both but for format and type. Pure functions; any thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "engine/library/SharedFileRecord.h"

namespace P2P::Shared::File {

enum class ERecordFile { kSharedList, kDownloadMetadata };

// Calls `write(element, text)` for each field that is set, in the files' order.
void ForEachSetDescription(const _tagStructSharedFileInfo& info, ERecordFile file,
                           const std::function<void(std::string_view, const std::string&)>& write);

enum class EDescriptionRead { kNotDescription, kRead, kBadNumber };

// Takes element `name` (compared as file names are) into `info` when it is a descriptive field;
// a number that does not parse leaves its field as it was.
EDescriptionRead ReadDescription(_tagStructSharedFileInfo& info, ERecordFile file,
                                 std::string_view name, std::string_view text);

}  // namespace P2P::Shared::File
