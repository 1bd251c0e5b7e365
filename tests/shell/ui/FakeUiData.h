// Test double of the page's data: lists set by the test, calls recorded. Thread-safe.
#pragma once

#include <mutex>
#include <vector>

#include "shell/ui/UiData.h"

namespace tarn::shell::ui {

class CFakeUiData final : public IUiData {
 public:
  Snapshot<SDownloadRecord> Downloads() override { return Locked(downloads); }
  Snapshot<SSharedFileRecord> SharedFiles() override { return Locked(shared); }
  Snapshot<SSearchResultRecord> Results() override { return Locked(results); }
  bool DaemonReachable() override { return true; }
  SStatusBar Status() override { return {}; }
  ESearchState SearchState() override { return ESearchState::kIdle; }

  std::optional<SItemDetails> Details(EFolder, uint32_t key) override {
    if (key == 404) return std::nullopt;
    SItemDetails d;
    d.key = key;
    d.name = "item " + std::to_string(key);
    return d;
  }
  OSTREL::COM::HRESULT Verb(uint32_t key, EDownloadVerb verb) override {
    Record("verb " + std::to_string(key) + " " + std::to_string(static_cast<int>(verb)));
    return OSTREL::COM::S_OK;
  }
  OSTREL::COM::HRESULT Download(uint32_t key) override {
    Record("download " + std::to_string(key));
    return OSTREL::COM::S_OK;
  }
  OSTREL::COM::HRESULT Rename(EFolder, uint32_t key, const std::string& name) override {
    Record("rename " + std::to_string(key) + " " + name);
    return OSTREL::COM::S_OK;
  }
  OSTREL::COM::HRESULT Search(const SSearchTerms& t) override {
    Record("search " + t.keyword + "|" + t.fileType + "|" +
           (t.minSize ? std::to_string(*t.minSize) : "-") + "|" +
           (t.maxSize ? std::to_string(*t.maxSize) : "-"));
    return OSTREL::COM::S_OK;
  }
  SLinkOutcome AddLink(const std::string& link) override {
    Record("link " + link);
    return {true, "ok"};
  }
  bool OpenSharedFile(uint32_t key) override {
    Record("open " + std::to_string(key));
    return true;
  }
  bool AnswerCompletion(const std::string& fullPath, bool open, bool never) override {
    Record("completion " + fullPath + (open ? " open" : "") + (never ? " never" : ""));
    return open;
  }

  std::vector<std::string> Calls() {
    std::lock_guard guard(lock_);
    return calls_;
  }

  // Under the lock: the server's threads read the lists.
  void SetDownloads(std::vector<SDownloadRecord> records) { Set(downloads, std::move(records)); }
  void SetShared(std::vector<SSharedFileRecord> records) { Set(shared, std::move(records)); }
  void SetResults(std::vector<SSearchResultRecord> records) { Set(results, std::move(records)); }

 private:
  template <typename Record>
  void Set(std::vector<Record>& list, std::vector<Record> records) {
    std::lock_guard guard(lock_);
    list = std::move(records);
  }
  std::vector<SDownloadRecord> downloads;
  std::vector<SSharedFileRecord> shared;
  std::vector<SSearchResultRecord> results;

  template <typename Record>
  Snapshot<Record> Locked(const std::vector<Record>& records) {
    std::lock_guard guard(lock_);
    return std::make_shared<const std::vector<Record>>(records);
  }
  void Record(std::string call) {
    std::lock_guard guard(lock_);
    calls_.push_back(std::move(call));
  }
  std::mutex lock_;
  std::vector<std::string> calls_;
};

}  // namespace tarn::shell::ui
