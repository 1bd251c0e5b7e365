// Where a client may have a download written. The daemon writes as its own user, so a client
// that could name any folder could have it create files anywhere that user may: only the
// shared and temp folders and the folders the owner lists in the configuration ("Download
// Folders"), each with the folders below it, are taken. Any thread.
#pragma once

#include <string>

#include "engine/library/SharedFileRecord.h"
#include "service/automation/HResult.h"

namespace P2P {
struct _tagStructClientConfig;
}

namespace OSTREL::COM {

// Checks the record's target folder, when it has one: the record then names it without
// symbolic links or "..". E_ACCESSDENIED for a folder outside the allowed ones, E_INVALIDARG
// for a relative path or one that cannot be made a writable folder; the record is unchanged
// then. Nothing is made on the disk.
HRESULT ApproveDownloadFolder(const P2P::_tagStructClientConfig& config,
                              P2P::Shared::_tagStructSharedFile& record);

}  // namespace OSTREL::COM
