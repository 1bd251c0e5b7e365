// Checks and builds what a client hands over to start a download: a hash of exactly 32
// hexadecimal digits, a size from 1 to the largest downloadable file, an optional target
// folder, and a name that survives cleaning. Anything else is refused with E_INVALIDARG
// before the engine sees it. Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "engine/library/SharedFileRecord.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

inline constexpr const char* kDefaultDownloadName = "New File";

HRESULT BuildDownloadRecord(const std::string* hash, int32_t size, const OptionalText& folder,
                            const OptionalText& name, P2P::Shared::_tagStructSharedFile& record);

// Sets the folder and name a client gave on a record it picked (a search result); the name,
// when given, must survive cleaning.
HRESULT ApplyDownloadTarget(const OptionalText& folder, const OptionalText& name,
                            P2P::Shared::_tagStructSharedFile& record);

}  // namespace OSTREL::COM
