// The three mirrors of the desktop side: the downloads (whose removals say, through the
// record's phase, whether a download completed), the shared files and the search results
// (emptied when a new search starts). The web page reads them; see MirroredList.h for the
// threads.
#pragma once

#include "shell/MirroredList.h"

namespace tarn::shell {

// What a mirror needs to know of its list; every item a list holds is listed.
template <typename RecordT, typename ListT, typename ItemT, typename SinkT,
          OSTREL::COM::HRESULT (OSTREL::COM::IP2PServiceManager::*kGetter)(std::shared_ptr<ListT>*)>
struct SMirrorTraitsT {
  using Record = RecordT;
  using List = ListT;
  using Item = ItemT;
  using Sink = SinkT;
  static OSTREL::COM::HRESULT GetList(OSTREL::COM::IP2PServiceManager& manager,
                                      std::shared_ptr<List>* list) {
    return (manager.*kGetter)(list);
  }
  static bool Listed(const Record&) { return true; }
};

// A download's record can tell of one that has left the list.
struct SDownloadMirrorTraits
    : SMirrorTraitsT<OSTREL::COM::SDownloadRecord, OSTREL::COM::IP2PDownloadFileList,
                     OSTREL::COM::IP2PDownloadFile, CFileEventSink,
                     &OSTREL::COM::IP2PServiceManager::get_DownloadFileList> {
  static bool Listed(const Record& record) {
    return record.phase == static_cast<uint32_t>(OSTREL::COM::EDownloadPhase::kListed);
  }
};
using SSharedFileMirrorTraits =
    SMirrorTraitsT<OSTREL::COM::SSharedFileRecord, OSTREL::COM::IP2PSharedFileList,
                   OSTREL::COM::IP2PSharedFile, CFileEventSink,
                   &OSTREL::COM::IP2PServiceManager::get_SharedFileList>;
using SSearchResultMirrorTraits =
    SMirrorTraitsT<OSTREL::COM::SSearchResultRecord, OSTREL::COM::IP2PSearchResultFileList,
                   OSTREL::COM::IP2PSearchResultFile, CResultEventSink,
                   &OSTREL::COM::IP2PServiceManager::get_SearchResultFileList>;

using CTARNDownloadFileList = CMirroredListT<SDownloadMirrorTraits>;
using CTARNSharedFileList = CMirroredListT<SSharedFileMirrorTraits>;
using CTARNSearchResultFileList = CMirroredListT<SSearchResultMirrorTraits>;

// Whether a removal the download mirror tells of was a completion.
inline bool IsCompletion(EMirrorChange change, const OSTREL::COM::SDownloadRecord* record) {
  return change == EMirrorChange::kRemoved && record != nullptr &&
         record->phase == static_cast<uint32_t>(OSTREL::COM::EDownloadPhase::kCompleted);
}

}  // namespace tarn::shell
