#include "engine/core/TARNNetClientModule.h"

#include "engine/core/ClientConfigStore.h"
#include "engine/core/Random.h"
#include "framework/Log.h"
#include "platform/Folders.h"
#include "platform/RegistryKey.h"

namespace P2P {
namespace {

// Pause after each chunk and part while hashing shared files, unless the registry says
// otherwise.
constexpr uint32_t kDefaultHashingPauseMs = 10;

}  // namespace

CTARNNetClientModule::CTARNNetClientModule() = default;
CTARNNetClientModule::~CTARNNetClientModule() = default;

bool CTARNNetClientModule::Start() {
  CRandom::SeedWithTime();
  LoadConfig();
  // Each step brings up a manager the later ones depend on.
  if (!LoadClientCredits() || !LoadServerList() || !CreateTransferFileList() ||
      !StartDownloadManager() || !StartUploadManager() || !StartConnectionManager())
    return false;
  AddRef();
  return true;
}

bool CTARNNetClientModule::Stop() {
  StopSearchManager();
  StopConnectionManager();
  StopDownloadManager();
  StopUploadManager();
  ReleaseTransferFileList();
  SaveServerList();
  SaveClientCredits();
  SaveConfig();
  Release();  // the last reference: destroys the module
  return true;
}

bool CTARNNetClientModule::LoadConfig() {
  OSTREL::Process::CLock guard(lock_);
  if (!registry_)
    registry_ =
        std::make_unique<OSTREL::Platform::CRegistry>(OSTREL::Platform::CFolders::RegistryFolder());
  return CClientConfigStore(*registry_).Load(config_);
}

bool CTARNNetClientModule::SaveConfig() {
  OSTREL::Process::CLock guard(lock_);
  if (!registry_) return false;
  return CClientConfigStore(*registry_).Save(config_);
}

// Start steps. The managers are wired in here as they are built.
bool CTARNNetClientModule::LoadClientCredits() { return true; }
bool CTARNNetClientModule::LoadServerList() { return true; }
bool CTARNNetClientModule::CreateTransferFileList() {
  transferFileList_ = Shared::File::TransferFile::CTARNNetTransferFileList::GetInstance();
  return transferFileList_ != nullptr;
}
bool CTARNNetClientModule::StartDownloadManager() { return true; }
bool CTARNNetClientModule::StartUploadManager() {
  uint32_t pause = kDefaultHashingPauseMs;
  if (registry_) {
    using OSTREL::Platform::CRegKey;
    const auto product =
        CRegKey::Open(*registry_, OSTREL::Platform::RegRoot::kLocalMachine, kProductKey);
    if (product) pause = product->QueryDword("Hashing Pause").value_or(kDefaultHashingPauseMs);
  }
  uploadFileManager_.SetHashingLock(&lock_);
  return uploadFileManager_.Start(config_.configPath, config_.sharedPath, pause);
}
bool CTARNNetClientModule::StartConnectionManager() { return true; }

// Stop steps, in the reverse dependency order.
void CTARNNetClientModule::StopSearchManager() {}
void CTARNNetClientModule::StopConnectionManager() {}
void CTARNNetClientModule::StopDownloadManager() {}
void CTARNNetClientModule::StopUploadManager() { uploadFileManager_.Stop(); }
void CTARNNetClientModule::ReleaseTransferFileList() {
  if (transferFileList_ != nullptr) transferFileList_->Stop();  // the list's last reference
  transferFileList_ = nullptr;
}
void CTARNNetClientModule::SaveServerList() {}
void CTARNNetClientModule::SaveClientCredits() {}

}  // namespace P2P
