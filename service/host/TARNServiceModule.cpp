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
  auto api = PublishApi(*engine);
  ReportStarted();
  const int code = loop.Run();
  ReportStopping();
  api.reset();
  engine->Stop();
  return code;
}

std::unique_ptr<COM::CApiBus> CTARNServiceModule::PublishApi(P2P::CTARNNetClientModule& engine) {
  std::unique_ptr<sdbus::IConnection> connection;
  try {
    connection = UsesSystemBus() ? sdbus::createSystemBusConnection()
                                 : sdbus::createSessionBusConnection();
  } catch (const sdbus::Error& error) {
    LogWarning("no message bus, the automation API is off: ", error.getMessage());
    return nullptr;
  }
  auto api = std::make_unique<COM::CApiBus>(std::move(connection), this);
  if (!api->Start(COM::AccessTo(engine), std::string(kBusName))) {
    LogWarning("the automation API could not take ", kBusName);
    return nullptr;
  }
  return api;
}

}  // namespace OSTREL::Process
