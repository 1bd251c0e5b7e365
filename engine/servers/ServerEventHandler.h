// The events of the server manager, received by the API layer. Handlers run on the thread that
// raised the event (a server session, the checker, or whoever added the server).
#pragma once

#include "engine/servers/ServerInfo.h"

namespace P2P {

class ITARNNetP2PServerEventHandler {
 public:
  virtual ~ITARNNetP2PServerEventHandler() = default;
  virtual void OnServerAdded(const Remote::Server::_tagStructServerInfo& server) = 0;
  virtual void OnServerChanged(const Remote::Server::_tagStructServerInfo& server) = 0;
  // Never raised while the engine runs: entries leave the list only between runs.
  virtual void OnServerRemoved(const Remote::Server::_tagStructServerInfo& server) = 0;
};

}  // namespace P2P
