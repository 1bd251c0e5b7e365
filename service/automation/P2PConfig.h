// The engine's configuration record as an automation object: reads and writes go straight to
// the record (the engine saves it when it stops; nothing restarts). Any thread.
#pragma once

#include <memory>

#include "service/automation/AutomationContext.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

class CP2PConfig : public IP2PConfig {
 public:
  explicit CP2PConfig(std::shared_ptr<SAutomationContext> context)
      : context_(std::move(context)) {}

  HRESULT get_UserName(std::string* value) override;
  HRESULT put_UserName(const std::string& value) override;
  HRESULT get_TCPPort(int16_t* value) override;
  HRESULT put_TCPPort(int16_t value) override;
  HRESULT get_UDPPort(int16_t* value) override;
  HRESULT put_UDPPort(int16_t value) override;
  HRESULT get_ConfigPath(std::string* value) override;
  HRESULT get_TempPath(std::string* value) override;
  HRESULT get_SharedPath(std::string* value) override;

 private:
  std::shared_ptr<SAutomationContext> context_;
};

}  // namespace OSTREL::COM
