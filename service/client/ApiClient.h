// A client of tarnsvc's automation API: one bus connection, the service manager as an
// IP2PServiceManager, and every object it hands out as the C++ interface of its kind, so
// client code is the same against the in-process objects. Releasing the last reference on a
// remote object releases it in the service. Events are delivered to advised sinks while the
// client pumps its connection. One thread at a time: the calls, Pump and the destruction of
// remote objects must not overlap.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include <sdbus-c++/sdbus-c++.h>

#include "service/automation/P2PConnection.h"
#include "service/automation/P2PInterfaces.h"

namespace OSTREL::COM {

inline constexpr HRESULT RPC_E_DISCONNECTED = static_cast<HRESULT>(0x80010108u);
inline const sdbus::ObjectPath kNoObjectPath{"/"};

class CApiClient {
 public:
  static constexpr const char* kDefaultDestination = "com.ostrel.TarnSvc";

  // Over an open connection (a private bus in tests); the session bus by default.
  explicit CApiClient(std::unique_ptr<sdbus::IConnection> connection,
                      std::string destination = kDefaultDestination);
  static std::unique_ptr<CApiClient> ForSessionBus();
  // The bus the daemon is on: the session bus, or the system bus of a system-wide daemon
  // (TARN_BUS=system, as its unit sets). Null without that bus.
  static std::unique_ptr<CApiClient> ForDaemon();
  static bool DaemonOnSystemBus();
  ~CApiClient();
  CApiClient(const CApiClient&) = delete;
  CApiClient& operator=(const CApiClient&) = delete;

  // The service's one service manager (the service is started on demand by the bus).
  std::shared_ptr<IP2PServiceManager> ServiceManager();
  // The server connection interface of the same object.
  std::shared_ptr<IP2PConnection> ServerConnection();

  // Handles what arrived (signals to the advised sinks) for at most `timeout`; returns early
  // once `done` holds (checked after every message).
  bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
  void Pump(std::chrono::milliseconds timeout) {
    PumpUntil([] { return false; }, timeout);
  }

  sdbus::IConnection& Connection() { return *connection_; }
  const std::string& Destination() const { return destination_; }
  std::string UniqueName() const { return connection_->getUniqueName(); }
  // The unique name that owns the destination now; empty when none does (or the bus failed).
  std::string NameOwner();

  // A remote object of interface `Interface` at `path`; null for "/".
  template <typename Interface>
  std::shared_ptr<Interface> Wrap(const sdbus::ObjectPath& path);

 private:
  std::unique_ptr<sdbus::IConnection> connection_;
  std::string destination_;
};

// What a failed bus call means to the caller: E_ACCESSDENIED when the bus's policy refused
// it, E_NOTIMPL for a method the service does not have (an older daemon, without the 64-bit
// methods), RPC_E_DISCONNECTED for anything else (no service, a broken connection).
inline HRESULT BusFailure(const sdbus::Error& error) {
  if (error.getName() == "org.freedesktop.DBus.Error.AccessDenied") return E_ACCESSDENIED;
  if (error.getName() == "org.freedesktop.DBus.Error.UnknownMethod") return E_NOTIMPL;
  return RPC_E_DISCONNECTED;
}

// The 64-bit form of a call, or its 32-bit form where the service has only that.
template <typename WideFn, typename NarrowFn>
HRESULT CallWide(WideFn wide, NarrowFn narrow) {
  const HRESULT hr = Call(wide);
  return hr == E_NOTIMPL ? Call(narrow) : hr;
}

// A method call's HRESULT, or the BusFailure when the call did not go through.
template <typename CallFn>
HRESULT Call(CallFn call) {
  try {
    return call();
  } catch (const sdbus::Error& error) {
    return BusFailure(error);
  }
}

// Milliseconds until an absolute CLOCK_MONOTONIC deadline in microseconds (as a connection's
// poll data gives it), at most one second; -1 for none.
int BusPollTimeout(uint64_t deadlineUsec);

inline sdbus::Variant VariantOf(const OptionalText& text) {
  return text ? sdbus::Variant(*text) : sdbus::Variant(int32_t{0});
}

}  // namespace OSTREL::COM
