// What the page's server needs of the daemon: copies of the three lists to show, and the
// calls behind the menus, the search band, the paste field and the property sheets. The
// desktop side implements it over its list copies and its bus client; tests implement it in
// memory. Every method may be called from any of the server's threads.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "service/automation/HResult.h"
#include "shell/ui/FolderColumns.h"
#include "shell/ui/ItemDetails.h"
#include "shell/ui/SearchBand.h"

namespace tarn::shell::ui {

template <typename Record>
using Snapshot = std::shared_ptr<const std::vector<Record>>;

// The status bar: the server session, our id, the server's counts, the transfer rates.
struct SStatusBar {
  bool connected = false;
  std::string serverName{}, serverAddress{};
  bool lowId = false;
  uint32_t users = 0, files = 0;
  uint64_t uploadRate = 0, downloadRate = 0;
};

enum class ESearchState { kIdle, kSearching, kDone };

// The answer to a pasted or dropped link.
struct SLinkOutcome {
  bool accepted = false;
  std::string message{};  // what to tell the user either way
};

enum class EDownloadVerb { kPause, kStop, kResume, kCancel };

class IUiData {
 public:
  virtual ~IUiData() = default;

  // The lists as last known, each held by key; empty while the daemon is unreachable.
  virtual Snapshot<SDownloadRecord> Downloads() = 0;
  virtual Snapshot<SSharedFileRecord> SharedFiles() = 0;
  virtual Snapshot<SSearchResultRecord> Results() = 0;
  virtual bool DaemonReachable() = 0;
  virtual SStatusBar Status() = 0;
  virtual ESearchState SearchState() = 0;

  // Live reads and calls through the daemon.
  virtual std::optional<SItemDetails> Details(EFolder folder, uint32_t key) = 0;
  virtual OSTREL::COM::HRESULT Verb(uint32_t downloadKey, EDownloadVerb verb) = 0;
  virtual OSTREL::COM::HRESULT Download(uint32_t resultKey) = 0;
  virtual OSTREL::COM::HRESULT Rename(EFolder folder, uint32_t key, const std::string& name) = 0;
  virtual OSTREL::COM::HRESULT Search(const SSearchTerms& terms) = 0;
  virtual SLinkOutcome AddLink(const std::string& link) = 0;
  // Opens a shared file with the desktop's program for its type; false when it cannot.
  virtual bool OpenSharedFile(uint32_t key) = 0;
  // The user's answer to a completion prompt the page showed for the file at `fullPath`:
  // `never` turns the prompts off, `open` shows the folder the file is in. Whether a folder
  // was shown.
  virtual bool AnswerCompletion(const std::string& fullPath, bool open, bool never) = 0;
};

}  // namespace tarn::shell::ui
