// What every automation object shares: the engine it reads, the hub its events come from and
// the executor its events are delivered on. Held by shared pointer, so the last object to go
// keeps it alive. Any thread.
#pragma once

#include <memory>

#include "service/automation/EngineAccess.h"
#include "service/automation/EngineEventHub.h"
#include "service/automation/EventExecutor.h"

namespace OSTREL::COM {

struct SAutomationContext {
  std::shared_ptr<IEngineAccess> engine;
  std::shared_ptr<CEngineEventHub> hub;
  std::shared_ptr<IEventExecutor> executor;

  static std::shared_ptr<SAutomationContext> Make(std::shared_ptr<IEngineAccess> engine,
                                                  std::shared_ptr<IEventExecutor> executor) {
    auto context = std::make_shared<SAutomationContext>();
    context->engine = std::move(engine);
    context->hub = CEngineEventHub::Create(context->engine);
    context->executor = std::move(executor);
    context->hub->Attach();
    return context;
  }
};

}  // namespace OSTREL::COM
