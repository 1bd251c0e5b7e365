// The host of a daemon that runs either under systemd (the service mode, chosen when the
// registration says so and NOTIFY_SOCKET is set) or as a plain local server started by hand
// or by D-Bus activation, which ends when its last client has left. It also registers and
// unregisters itself from the command line. `T` is the program's own module; it overrides
// RunMessageLoop. One instance per process, driven from the main thread; Lock and Unlock may
// be called from any thread.
#pragma once

#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "engine/protocol/Limits.h"
#include "framework/Log.h"
#include "framework/MessageLoop.h"
#include "platform/Folders.h"
#include "platform/Registry.h"
#include "platform/RegistryKey.h"
#include "service/host/ClassIdentities.h"
#include "service/host/CommandLine.h"
#include "service/host/ServerLock.h"
#include "service/host/ServiceNotifier.h"
#include "service/host/ServiceRegistration.h"

namespace OSTREL::Process {

template <typename T, int kServiceNameResource>
class CServiceModuleT : public IServerLock {
 public:
  static constexpr int kNameResource = kServiceNameResource;

  CServiceModuleT() : serviceName_(kServiceName) {}
  ~CServiceModuleT() override = default;

  // The program entry: dispatches the command line and returns the process exit code.
  int Main(int argc, const char* const* argv) {
    Platform::CFolders::SetSystemServiceMode(UsesSystemBus());
    switch (ParseServiceSwitch(JoinArguments(argc, argv))) {
      case ServiceSwitch::kUnregServer: UnregisterServer(); return 0;
      case ServiceSwitch::kRegServer: return RegisterServer(true, false) ? 0 : 1;
      case ServiceSwitch::kService: return RegisterServer(true, true) ? 0 : 1;
      case ServiceSwitch::kLaunch: break;
    }
    return Launch();
  }

  bool RegisterServer(bool /*registerTypeLibrary: the XML ships with the program*/,
                      bool asService) {
    Platform::CRegistry registry(Platform::CFolders::RegistryFolder());
    CServiceRegistration registration(registry, RegistrationPaths());
    const bool ok = registration.Register(asService);
    if (!ok) LogError("registration incomplete");
    return ok;
  }

  // Removes what it can and always succeeds, as an uninstaller expects.
  bool UnregisterServer() {
    Platform::CRegistry registry(Platform::CFolders::RegistryFolder());
    CServiceRegistration registration(registry, RegistrationPaths());
    if (!registration.Unregister()) LogWarning("parts of the registration could not be removed");
    return true;
  }

  // An unregistered program runs as a local server: it must start from a build tree too.
  int Launch() {
    runningAsService_ = RegisteredAsService() && CServiceNotifier::UnderServiceManager();
    // Started by hand (the bus sets DBUS_STARTER_BUS_TYPE when it activates us), the daemon
    // holds a client lock of its own and runs until a signal, not just until the first
    // command-line client has come and gone.
    if (!runningAsService_ && std::getenv("DBUS_STARTER_BUS_TYPE") == nullptr) Lock();
    if (runningAsService_) {
      ServiceMain();
    } else {
      Run();
    }
    return exitCode_;
  }

  void ServiceMain() {
    CLog::UseJournal(true);
    CServiceNotifier::ReportStatus("Starting");
    Run();
    LogEvent("Service stopped");
  }

  void Run() {
    CMessageLoop loop;
    if (!loop.QuitOnTerminationSignals()) {
      LogError("cannot watch for termination signals");
      exitCode_ = 1;
      return;
    }
    loop_.store(&loop);
    exitCode_ = static_cast<T*>(this)->RunMessageLoop(loop);
    loop_.store(nullptr);
    if (!runningAsService_) LogEvent("Service stopped");
  }

  // The base step: announce, then loop until quit.
  virtual int RunMessageLoop(CMessageLoop& loop) {
    ReportStarted();
    const int code = loop.Run();
    ReportStopping();
    return code;
  }

  void LogEvent(std::string_view text) { LogInfo(text); }

  void Lock() override { lockCount_.fetch_add(1); }
  void Unlock() override {
    if (lockCount_.fetch_sub(1) == 1 && !runningAsService_) {
      if (CMessageLoop* loop = loop_.load()) loop->PostQuit();
    }
  }

  // The system unit sets TARN_BUS=system; everything else is a user instance.
  static bool UsesSystemBus() {
    const char* bus = std::getenv("TARN_BUS");
    return bus != nullptr && std::string_view(bus) == "system";
  }

  bool RunningAsService() const { return runningAsService_; }
  long LockCount() const { return lockCount_.load(); }
  const std::string& ServiceName() const { return serviceName_; }

 protected:
  void ReportStarted() {
    LogEvent("Service started");
    if (runningAsService_) CServiceNotifier::ReportReady("Running");
  }
  void ReportStopping() {
    if (runningAsService_) CServiceNotifier::ReportStopping("Stopping");
  }

  virtual SRegistrationPaths RegistrationPaths() const {
    return SRegistrationPaths::FromEnvironment();
  }

  bool RegisteredAsService() const {
    Platform::CRegistry registry(Platform::CFolders::RegistryFolder());
    const auto key = Platform::CRegKey::Open(registry, Platform::RegRoot::kClassesRoot,
                                             "AppID\\" + std::string(kAppId));
    return key &&
           key->QueryString("LocalService", P2P::Protocol::kMaxLocalServiceChars).has_value();
  }

  std::string serviceName_;
  bool runningAsService_ = true;
  std::atomic<long> lockCount_{0};
  std::atomic<CMessageLoop*> loop_{nullptr};
  int exitCode_ = 0;
};

}  // namespace OSTREL::Process
