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

namespace OSTREL::Process {

class CTARNServiceModule : public CServiceModuleT<CTARNServiceModule, 100> {
 public:
  CTARNServiceModule();
  ~CTARNServiceModule() override;

  int RunMessageLoop(CMessageLoop& loop) override;

 private:
  P2P::CTARNNetClientModule* GetEngine();

  // Guards the creation of the engine root.
  CCriticalSection lock_;
};

}  // namespace OSTREL::Process
