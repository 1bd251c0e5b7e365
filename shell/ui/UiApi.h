// The page's data interface: each request of the page (a folder's rows in the order chosen,
// a menu, an info tip, a property sheet, a search, a verb, a pasted link, the completion
// prompts) answered as JSON, computed here so the page only shows what it gets. Parameters
// come parsed from the address or the form; the HTTP server in front has already admitted
// the request. Thread-safe.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>

#include "framework/CriticalSection.h"
#include "platform/Registry.h"
#include "shell/ui/EventHub.h"
#include "shell/ui/UiData.h"
#include "shell/ui/ViewState.h"

namespace tarn::shell::ui {

using Parameters = std::multimap<std::string, std::string>;

struct SApiAnswer {
  int status = 200;
  std::string json{};
};

class CUiApi {
 public:
  CUiApi(IUiData& data, CEventHub& hub, OSTREL::Platform::CRegistry& registry);

  // GET requests: no change of state.
  SApiAnswer Tree();
  SApiAnswer Band();
  SApiAnswer Folder(const Parameters& p);
  SApiAnswer Menu(const Parameters& p);
  SApiAnswer Tip(const Parameters& p);
  SApiAnswer Properties(const Parameters& p);
  SApiAnswer ViewState(const Parameters& p);
  SApiAnswer Prompts();
  // The event stream's message: every counter, the status bar, the search state.
  std::string StateJson();

  // POST requests.
  SApiAnswer RunVerb(const Parameters& p);
  SApiAnswer Rename(const Parameters& p);
  SApiAnswer Search(const Parameters& p);
  SApiAnswer AddLink(const Parameters& p);
  SApiAnswer SaveViewState(const Parameters& p);
  SApiAnswer AnswerPrompt(const Parameters& p);

  // A download completed and no desktop notification showed it: the page asks the user.
  void QueueCompletionPrompt(const SDownloadRecord& completed);

 private:
  struct SPrompt {
    uint64_t id;
    std::string fileName, fullPath;
  };
  // The order of a folder's rows for one snapshot and sort, reused while neither changes.
  struct SSortCache {
    const void* snapshot = nullptr;
    int column = -1;
    bool descending = false;
    std::shared_ptr<const std::vector<uint32_t>> order{};
  };

  template <typename Record>
  SApiAnswer ListFolder(EFolder folder, const Snapshot<Record>& records, const Parameters& p);
  std::shared_ptr<const std::vector<uint32_t>> OrderOf(
      EFolder folder, const void* snapshot, int column, bool descending,
      const std::function<std::vector<uint32_t>()>& sort);

  IUiData& data_;
  CEventHub& hub_;
  OSTREL::Platform::CRegistry& registry_;
  CViewStates viewStates_;
  OSTREL::Process::CMutex lock_;
  std::map<EFolder, SSortCache> sortCache_ GUARDED_BY(lock_);
  std::deque<SPrompt> prompts_ GUARDED_BY(lock_);
  uint64_t nextPromptId_ GUARDED_BY(lock_) = 1;
};

}  // namespace tarn::shell::ui
