// The connection events of the engine: a handler interface for whoever wants to hear about
// the server session (the API layer), and the advisor the server TCP session reports to (the
// connection manager, which acts on each event before fanning it out). Events arrive on the
// thread that caused them: the server session's socket thread or the connection manager's.
#pragma once

#include "engine/base/EventAdvisor.h"
#include "engine/servers/ServerInfo.h"

namespace P2P {

class ITARNNetP2PConnectionEventHandler {
 public:
  virtual ~ITARNNetP2PConnectionEventHandler() = default;
  virtual void OnConnecting(const Remote::Server::_tagStructServerInfo* server) = 0;
  virtual void OnConnected(const Remote::Server::_tagStructServerInfo* server) = 0;
  // `error` is the socket error that ended the session, 0 for an orderly end.
  virtual void OnDisconnected(const Remote::Server::_tagStructServerInfo* server, int error) = 0;
};

class ITARNNetP2PConnectionEventAdvisor
    : public ITARNNetP2PEventAdvisorT<ITARNNetP2PConnectionEventHandler> {
 public:
  virtual void Connecting(const Remote::Server::_tagStructServerInfo* server) = 0;
  virtual void Connected(const Remote::Server::_tagStructServerInfo* server) = 0;
  virtual void Disconnected(const Remote::Server::_tagStructServerInfo* server, int error) = 0;
};

}  // namespace P2P
