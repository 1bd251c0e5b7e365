// A search result: a file object of the shared-file kind with its own record, whose client id
// and port name the client that offered it and whose source counts sum every answer merged
// into it. Reference counted; any thread (each field read and write takes the record's lock).
#pragma once

#include "engine/library/SharedFile.h"

namespace P2P::Shared::File::SearchResultFile {

using CTARNNetSearchResultFile = CTARNNetSharedFileT<0>;

}  // namespace P2P::Shared::File::SearchResultFile
