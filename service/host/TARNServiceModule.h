// tarnsvc's own module: its message-loop step brings up the engine root, publishes the
// automation API on the bus, runs the loop, and takes both down in reverse order. Driven
// from the main thread.
#pragma once

#include <memory>

#include "framework/CriticalSection.h"
#include "service/host/ServiceModule.h"

namespace P2P {
class CTARNNetClientModule;
}
namespace OSTREL::COM {
class CApiBus;
}

namespace OSTREL::Process {

class CTARNServiceModule : public CServiceModuleT<CTARNServiceModule, 100> {
 public:
  CTARNServiceModule();
  ~CTARNServiceModule() override;

  int RunMessageLoop(CMessageLoop& loop) override;

 private:
  P2P::CTARNNetClientModule* GetEngine();
  // The automation API on the session bus (the system bus for the system service) into
  // `api`. Without a bus the engine runs on without it (null, true); false when the bus is
  // there but the name cannot be taken: another daemon answers as this one, so this one
  // must not run.
  bool PublishApi(P2P::CTARNNetClientModule& engine, std::unique_ptr<COM::CApiBus>& api);

  // Guards the creation of the engine root.
  CCriticalSection lock_;
};

}  // namespace OSTREL::Process
