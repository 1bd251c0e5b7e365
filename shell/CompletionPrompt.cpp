#include "shell/CompletionPrompt.h"

#include "shell/DesktopRegistration.h"
#include "shell/FolderOpener.h"
#include "shell/Mirrors.h"
#include "shell/ShellStrings.h"

namespace tarn::shell {
namespace {

using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;

constexpr const char* kOpenAction = "open-shared-folder";
constexpr const char* kNeverAction = "never";

}  // namespace

CCompletionPrompt::CCompletionPrompt(std::filesystem::path registryFolder,
                                     CBusWorker::Connect connect, Unshown unshown)
    : registry_(std::move(registryFolder)),
      unshown_(std::move(unshown)),
      worker_(std::move(connect)) {}

CCompletionPrompt::~CCompletionPrompt() {
  worker_.Stop([this] {
    notifier_.reset();
    shown_.clear();
  });
}

void CCompletionPrompt::OnMirrorChange(EMirrorChange change,
                                       const OSTREL::COM::SDownloadRecord* record) {
  if (!IsCompletion(change, record)) return;
  worker_.Post([this, completed = *record] { Show(completed); });
}

bool CCompletionPrompt::Enabled() {
  auto read = [this] {
    const auto value =
        registry_.QueryValue(RegRoot::kLocalMachine, kShellKey, kDownloadCompleteAlert);
    const auto number = value ? value->AsDword() : std::nullopt;
    return !number || *number != 0;
  };
  return worker_.OnWorker() ? read() : worker_.Call(read);
}

void CCompletionPrompt::NeverAgain() {
  worker_.Call([this] { SetNever(); });
}

bool CCompletionPrompt::OpenFolderOf(const std::filesystem::path& fullPath) {
  return worker_.Call(
      [this, folder = fullPath.parent_path()] { return OpenFolderOnWorker(folder); });
}

void CCompletionPrompt::SetNever() {
  registry_.SetValue(RegRoot::kLocalMachine, kShellKey, kDownloadCompleteAlert,
                     CRegValue::Dword(0));
}

bool CCompletionPrompt::OpenFolderOnWorker(const std::filesystem::path& folder) {
  auto* client = worker_.Client();
  return !folder.empty() && client != nullptr && OpenFolder(client->Connection(), folder);
}

void CCompletionPrompt::Show(const OSTREL::COM::SDownloadRecord& record) {
  if (!Enabled()) return;
  auto* client = worker_.Client();
  if (client == nullptr) {
    if (unshown_) unshown_(record);
    return;
  }
  if (!notifier_) {
    notifier_ = std::make_unique<CDesktopNotifier>(
        client->Connection(),
        [this](uint32_t id, const std::string& action) { OnAction(id, action); },
        [this](uint32_t id) { shown_.erase(id); });
  }
  // The default action (a click on the notification) opens the folder too: the prompt's
  // question has one answer that does something.
  const auto id = notifier_->Notify({std::string(ShellString(kStrDownloadCompletedTitle)),
                                     FormatShellString(kStrDownloadCompletedMessage, record.name),
                                     {{"default", std::string(ShellString(kStrOpenSharedFolder))},
                                      {kOpenAction, std::string(ShellString(kStrOpenSharedFolder))},
                                      {kNeverAction, std::string(ShellString(kStrDoNotShowAgain))}},
                                     -1});
  if (id) {
    shown_[*id] = std::filesystem::path(record.fullPath).parent_path();
  } else if (unshown_) {
    unshown_(record);
  }
}

void CCompletionPrompt::OnAction(uint32_t id, const std::string& action) {
  const auto shown = shown_.find(id);
  if (shown == shown_.end()) return;
  if (action == kNeverAction) {
    SetNever();
  } else if (action == kOpenAction || action == "default") {
    OpenFolderOnWorker(shown->second);
  }
  shown_.erase(shown);
}

}  // namespace tarn::shell
