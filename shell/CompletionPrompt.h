// The "Download Completed" prompt: a listener of the download mirror that, once per download
// that completed (never per event), shows a desktop notification with the prompt's text and
// the actions "Open Shared Folder" (the file manager's ShowFolders, else xdg-open, on the
// folder the file went to) and "Do not show this again" (which sets "Download Complete Alert"
// to 0, as the prompt's check box did). "Download Complete Alert" = 0 means no prompt at all.
// Without a notification server nothing fails: the prompt goes to whoever asked to show it
// instead (the web page), whose answers come back through NeverAgain and OpenFolderOf. The
// notifications and their answers are handled on a bus worker of the prompt's own; the
// listener call only hands the record over. Any thread, except that `unshown` runs on the
// worker.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string_view>

#include "platform/Registry.h"
#include "service/automation/FileRecords.h"
#include "shell/BusWorker.h"
#include "shell/DesktopNotifier.h"
#include "shell/MirrorListener.h"

namespace tarn::shell {

inline constexpr std::string_view kDownloadCompleteAlert = "Download Complete Alert";

class CCompletionPrompt : public IMirrorListenerT<OSTREL::COM::SDownloadRecord> {
 public:
  // A wanted prompt that no notification server showed.
  using Unshown = std::function<void(const OSTREL::COM::SDownloadRecord& completed)>;

  // The setting is read from the registry in `registryFolder`.
  CCompletionPrompt(std::filesystem::path registryFolder, CBusWorker::Connect connect,
                    Unshown unshown = {});
  ~CCompletionPrompt() override;

  void OnMirrorChange(EMirrorChange change, const OSTREL::COM::SDownloadRecord* record) override;

  // Whether prompts are wanted ("Download Complete Alert" missing or not 0).
  bool Enabled();

  // The answers of a prompt shown elsewhere: "Do not show this again" (the setting becomes 0),
  // and "Open Shared Folder" on the folder that `fullPath` is in (false when nothing could
  // show it).
  void NeverAgain();
  bool OpenFolderOf(const std::filesystem::path& fullPath);

 private:
  void Show(const OSTREL::COM::SDownloadRecord& record);
  void OnAction(uint32_t id, const std::string& action);
  // Worker thread.
  void SetNever();
  bool OpenFolderOnWorker(const std::filesystem::path& folder);

  OSTREL::Platform::CRegistry registry_;  // worker thread only
  Unshown unshown_;
  CBusWorker worker_;
  // Worker thread only.
  std::unique_ptr<CDesktopNotifier> notifier_;
  std::map<uint32_t, std::filesystem::path> shown_;  // notification id -> folder to open
};

}  // namespace tarn::shell
