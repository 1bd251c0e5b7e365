// The three mirrors of the desktop side: the downloads (whose removals say, through the
// record's phase, whether a download completed), the shared files and the search results
// (emptied when a new search starts). The web page reads them; see MirroredList.h for the
// threads.
#pragma once

#include "shell/MirroredList.h"

namespace tarn::shell {

struct SDownloadMirrorTraits {
  using Record = OSTREL::COM::SDownloadRecord;
  using List = OSTREL::COM::IP2PDownloadFileList;
  using Item = OSTREL::COM::IP2PDownloadFile;
  using Sink = CFileEventSink;
  static OSTREL::COM::HRESULT GetList(OSTREL::COM::IP2PServiceManager& manager,
                                      std::shared_ptr<List>* list) {
    return manager.get_DownloadFileList(list);
  }
  static bool Listed(const Record& record) {
    return record.phase == static_cast<uint32_t>(OSTREL::COM::EDownloadPhase::kListed);
  }
};

struct SSharedFileMirrorTraits {
  using Record = OSTREL::COM::SSharedFileRecord;
  using List = OSTREL::COM::IP2PSharedFileList;
  using Item = OSTREL::COM::IP2PSharedFile;
  using Sink = CFileEventSink;
  static OSTREL::COM::HRESULT GetList(OSTREL::COM::IP2PServiceManager& manager,
                                      std::shared_ptr<List>* list) {
    return manager.get_SharedFileList(list);
  }
  static bool Listed(const Record&) { return true; }
};

struct SSearchResultMirrorTraits {
  using Record = OSTREL::COM::SSearchResultRecord;
  using List = OSTREL::COM::IP2PSearchResultFileList;
  using Item = OSTREL::COM::IP2PSearchResultFile;
  using Sink = CResultEventSink;
  static OSTREL::COM::HRESULT GetList(OSTREL::COM::IP2PServiceManager& manager,
                                      std::shared_ptr<List>* list) {
    return manager.get_SearchResultFileList(list);
  }
  static bool Listed(const Record&) { return true; }
};

using CTARNDownloadFileList = CMirroredListT<SDownloadMirrorTraits>;
using CTARNSharedFileList = CMirroredListT<SSharedFileMirrorTraits>;
using CTARNSearchResultFileList = CMirroredListT<SSearchResultMirrorTraits>;

// Whether a removal the download mirror tells of was a completion.
inline bool IsCompletion(EMirrorChange change, const OSTREL::COM::SDownloadRecord* record) {
  return change == EMirrorChange::kRemoved && record != nullptr &&
         record->phase == static_cast<uint32_t>(OSTREL::COM::EDownloadPhase::kCompleted);
}

}  // namespace tarn::shell
