#include "service/host/TARNServiceModule.h"

#include "engine/core/TARNNetClientModule.h"

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
  ReportStarted();
  const int code = loop.Run();
  ReportStopping();
  engine->Stop();
  return code;
}

}  // namespace OSTREL::Process
