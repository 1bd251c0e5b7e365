#include "engine/core/TARNNetClientModule.h"

#include "engine/core/ClientConfigStore.h"
#include "engine/core/Random.h"
#include "framework/Log.h"
#include "platform/Folders.h"

namespace P2P {

// The connection manager only keeps the server manager's address until Start.
CTARNNetClientModule::CTARNNetClientModule() : connectionManager_(config_, serverManager_) {}
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
bool CTARNNetClientModule::LoadServerList() {
  serverManager_.SetDefaultServer(config_.serverIp, config_.serverPort);
  // A missing or unreadable list is not fatal: the default server is asked for one.
  serverManager_.Start(config_.configPath);
  return true;
}
bool CTARNNetClientModule::CreateTransferFileList() { return true; }
bool CTARNNetClientModule::StartDownloadManager() { return true; }
bool CTARNNetClientModule::StartUploadManager() { return true; }
bool CTARNNetClientModule::StartConnectionManager() {
  connectionManager_.SetHooks(MakeServerSessionHooks());
  return connectionManager_.Start();
}

Protocol::SServerSessionHooks CTARNNetClientModule::MakeServerSessionHooks() {
  // Until the transfer-file list and the search manager exist nothing is offered, no
  // download wants sources, and found sources and results have nowhere to go.
  return {};
}

// Stop steps, in the reverse dependency order.
void CTARNNetClientModule::StopSearchManager() {}
void CTARNNetClientModule::StopConnectionManager() { connectionManager_.Stop(); }
void CTARNNetClientModule::StopDownloadManager() {}
void CTARNNetClientModule::StopUploadManager() {}
void CTARNNetClientModule::ReleaseTransferFileList() {}
void CTARNNetClientModule::SaveServerList() { serverManager_.Stop(); }
void CTARNNetClientModule::SaveClientCredits() {}

}  // namespace P2P
