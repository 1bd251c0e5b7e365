// The owner of every peer TCP session: the multiplexer that waits on their sockets (one
// thread for as many as epoll allows) and sweeps the idle ones once a second. Any thread may add or remove sessions.
#pragma once

#include "framework/WaitMultipleSocketsManager.h"

namespace P2P {

class CTARNNetC2CManager : public OSTREL::Network::Socket::CWaitMultipleSocketsManagerImpl {};

}  // namespace P2P
