// Test fixture for the automation API on a private session bus (the suite runs under
// dbus-run-session): a started engine root on a sandbox whose default server is a loopback
// test index server, the API published on the bus, and one client with the service manager.
// Also a sink that records every event as a line. One test thread.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "service/automation/ConnectionPoint.h"
#include "service/client/ApiClient.h"
#include "service/dbus/ApiBus.h"
#include "service/dbus/EngineRootAccess.h"
#include "service/host/ServerLock.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"

namespace tarn::test {

using namespace OSTREL::COM;

class CountingLock : public OSTREL::Process::IServerLock {
 public:
  void Lock() override { ++count; }
  void Unlock() override { --count; }
  std::atomic<int> count{0};
};

// Every event as "<name> <key>", in arrival order.
class EventRecorder : public _IP2PServerListEvents,
                      public _IP2PFileListEvents,
                      public _IP2PSearchResultFileListEvents,
                      public _IP2PSearchRequestEvents {
 public:
  void OnServerAdded(uint32_t key) override { Note("OnServerAdded", key); }
  void OnServerChanged(uint32_t key) override { Note("OnServerChanged", key); }
  void OnServerRemoved(uint32_t key) override { Note("OnServerRemoved", key); }
  void OnFileAdded(uint32_t key) override { Note("OnFileAdded", key); }
  void OnFileChanged(uint32_t key) override { Note("OnFileChanged", key); }
  void OnFileRemoved(uint32_t key) override { Note("OnFileRemoved", key); }
  void OnResultsCleared() override { lines.push_back("OnResultsCleared"); }
  void OnResultAdded(uint32_t key) override { Note("OnResultAdded", key); }
  void OnResultChanged(uint32_t key) override { Note("OnResultChanged", key); }
  void OnSearchStarted() override { lines.push_back("OnSearchStarted"); }
  void OnSearchNotify() override { lines.push_back("OnSearchNotify"); }

  bool Has(const std::string& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
  bool HasPrefix(const std::string& prefix) const {
    for (const auto& l : lines)
      if (l.rfind(prefix, 0) == 0) return true;
    return false;
  }

  std::vector<std::string> lines;

 private:
  void Note(const char* name, uint32_t key) { lines.push_back(std::string(name) + " " + std::to_string(key)); }
};

class ApiBusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start());
    OSTREL::Platform::CRegistry registry(sandbox_ / "config");
    ASSERT_TRUE(registry.SetValue(OSTREL::Platform::RegRoot::kLocalMachine, P2P::kProductKey,
                                  "Server Port",
                                  OSTREL::Platform::CRegValue::Dword(server_.Port())));
    ASSERT_TRUE(registry.SetValue(OSTREL::Platform::RegRoot::kLocalMachine, P2P::kProductKey,
                                  "Hashing Pause", OSTREL::Platform::CRegValue::Dword(0)));
    module_ = P2P::CTARNNetClientModule::GetInstance();
    ASSERT_NE(module_, nullptr);
    bus_ = std::make_unique<CApiBus>(sdbus::createSessionBusConnection(), &lock_);
    ASSERT_TRUE(bus_->Start(AccessTo(*module_), CApiClient::kDefaultDestination));
    client_ = std::make_unique<CApiClient>(sdbus::createSessionBusConnection());
    manager_ = client_->ServiceManager();
  }

  void TearDown() override {
    manager_.reset();
    client_.reset();
    if (bus_) bus_->Stop();
    bus_.reset();
    if (module_ != nullptr) module_->Stop();
  }

  // Pumps the client until `done` or five seconds passed.
  bool PumpUntil(const std::function<bool()>& done,
                 std::chrono::milliseconds deadline = std::chrono::seconds(5)) {
    return client_->PumpUntil(done, deadline);
  }

  Sandbox sandbox_;
  TestIndexServer server_;
  CountingLock lock_;
  P2P::CTARNNetClientModule* module_ = nullptr;
  std::unique_ptr<CApiBus> bus_;
  std::unique_ptr<CApiClient> client_;
  std::shared_ptr<IP2PServiceManager> manager_;
};

}  // namespace tarn::test
