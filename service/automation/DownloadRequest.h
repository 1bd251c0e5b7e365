// Checks and builds what a client hands over to start a download: a hash of exactly 32
// hexadecimal digits, a size from 1 to the largest downloadable file, an optional target
// folder, and a name that survives cleaning. Anything else is refused with E_INVALIDARG
// before the engine sees it. Any thread.
#pragma once

#include <cstdint>
#include <string>

#include "engine/library/SharedFileRecord.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {
struct SAutomationContext;
}

namespace OSTREL::COM {

inline constexpr const char* kDefaultDownloadName = "New File";

// The size of the 32-bit slot: its unsigned value, up to the largest file of the 32-bit forms.
HRESULT BuildDownloadRecord(const std::string* hash, int32_t size, const OptionalText& folder,
                            const OptionalText& name, P2P::Shared::_tagStructSharedFile& record);
// The whole size, up to the largest file the network exchanges (256 GiB).
HRESULT BuildLargeDownloadRecord(const std::string* hash, uint64_t size, const OptionalText& folder,
                                 const OptionalText& name,
                                 P2P::Shared::_tagStructSharedFile& record);

// Sets the folder and name a client gave on a record it picked (a search result); the name,
// when given, must survive cleaning.
HRESULT ApplyDownloadTarget(const OptionalText& folder, const OptionalText& name,
                            P2P::Shared::_tagStructSharedFile& record);

// Approves the record's target folder and hands the record to the engine: S_OK when the
// download started, S_FALSE when the engine declined it (already downloading or shared, or
// the part files could not be made), STG_E_MEDIUMFULL with `reason` (may be null) when the
// temp folder's disk cannot hold the file.
HRESULT StartDownload(SAutomationContext& context, P2P::Shared::_tagStructSharedFile& record,
                      std::string* reason);

}  // namespace OSTREL::COM
