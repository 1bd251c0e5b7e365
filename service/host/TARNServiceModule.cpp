#include "service/host/TARNServiceModule.h"

#include "engine/core/TARNNetClientModule.h"
#include "service/dbus/ApiBus.h"
#include "service/dbus/EngineRootAccess.h"

namespace OSTREL::Process {

CTARNServiceModule::CTARNServiceModule() = default;
CTARNServiceModule::~CTARNServiceModule() = default;

P2P::CTARNNetClientModule* CTARNServiceModule::GetEngine() {
  return P2P::CTARNNetClientModule::GetInstance(&lock_);
}

int CTARNServiceModule::RunMessageLoop(CMessageLoop& loop) {
  P2P::CTARNNetClientModule* engine = GetEngine();
  if (engine == nullptr) {
    LogError("the engine failed to start");
    return 1;
  }
  // The name is taken only once the engine runs, so an activating call never meets a
  // missing engine.
  std::unique_ptr<COM::CApiBus> api;
  if (!PublishApi(*engine, api)) {
    engine->Stop();
    return 1;
  }
  ReportStarted();
  const int code = loop.Run();
  ReportStopping();
  api.reset();
  engine->Stop();
  return code;
}

bool CTARNServiceModule::PublishApi(P2P::CTARNNetClientModule& engine,
                                    std::unique_ptr<COM::CApiBus>& api) {
  const char* bus = UsesSystemBus() ? "the system bus" : "the session bus";
  std::unique_ptr<sdbus::IConnection> connection;
  try {
    connection = UsesSystemBus() ? sdbus::createSystemBusConnection()
                                 : sdbus::createSessionBusConnection();
  } catch (const sdbus::Error& error) {
    LogWarning("no message bus, the automation API is off: ", error.getMessage());
    return true;
  }
  api = std::make_unique<COM::CApiBus>(std::move(connection), this);
  if (!api->Start(COM::AccessTo(engine), std::string(kBusName))) {
    LogError("cannot take the name ", kBusName, " on ", bus,
             " (another tarnsvc answers as it, or the bus's policy forbids it); stopping");
    api.reset();
    return false;
  }
  return true;
}

}  // namespace OSTREL::Process
