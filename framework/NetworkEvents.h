// Network events in the Winsock numbering (FD_READ = 1 ... FD_CLOSE = 32) with one error code
// per event, and the event sets a socket asks for. Plain values, usable from any thread.
#pragma once

#include <bit>
#include <cstdint>

namespace OSTREL::Network::Socket {

inline constexpr uint32_t kFdRead = 0x01;
inline constexpr uint32_t kFdWrite = 0x02;
inline constexpr uint32_t kFdOob = 0x04;
inline constexpr uint32_t kFdAccept = 0x08;
inline constexpr uint32_t kFdConnect = 0x10;
inline constexpr uint32_t kFdClose = 0x20;
inline constexpr uint32_t kFdQos = 0x40;
inline constexpr uint32_t kFdGroupQos = 0x80;
inline constexpr uint32_t kFdRoutingInterfaceChange = 0x100;
inline constexpr uint32_t kFdAddressListChange = 0x200;
inline constexpr int kFdMaxEvents = 10;

// The order in which the events of one wake-up are handled: a connect before the data that
// may arrive with it, the close after the last data.
inline constexpr uint32_t kFdDispatchOrder[kFdMaxEvents] = {
    kFdConnect, kFdAccept, kFdRead, kFdWrite, kFdOob, kFdQos, kFdGroupQos,
    kFdRoutingInterfaceChange, kFdAddressListChange, kFdClose};

struct CNetworkEvents {
  uint32_t events = 0;
  int errors[kFdMaxEvents] = {};

  void Add(uint32_t bit, int error = 0) {
    events |= bit;
    errors[std::countr_zero(bit)] = error;
  }
  bool Has(uint32_t bit) const { return (events & bit) != 0; }
  int ErrorOf(uint32_t bit) const { return errors[std::countr_zero(bit)]; }
};

// M: the set of events a socket asks for.
template <uint32_t M>
struct CSocketTraits {
  static constexpr uint32_t kEvents = M;
};

// Connecters and datagram sockets: read, write, out-of-band, connect, close.
using CConnecterTraits = CSocketTraits<kFdRead | kFdWrite | kFdOob | kFdConnect | kFdClose>;
// The listener: accept and close.
using CListenerTraits = CSocketTraits<kFdAccept | kFdClose>;
static_assert(CConnecterTraits::kEvents == 55 && CListenerTraits::kEvents == 40);

// An idle time-out that never ends the wait.
inline constexpr uint32_t kNoTimeout = 0xFFFFFFFFu;

}  // namespace OSTREL::Network::Socket
