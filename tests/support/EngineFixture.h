// The one fixture of whole-engine tests: a sandbox for the folders and the registry, helpers
// that seed the registry before the engine starts, the process-wide engine root started on
// demand without the host's firewall or media events, and stopped however the test ends (in
// TearDown and again in the destructor, so a failed assertion never hands a running engine to
// the next test). Waits poll a condition against a deadline rather than sleeping.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "engine/core/ClientConfigStore.h"
#include "engine/core/TARNNetClientModule.h"
#include "platform/Registry.h"
#include "platform/RegistryValue.h"
#include "tests/support/Sandbox.h"
#include "tests/support/TestIndexServer.h"
#include "tests/support/WaitUntil.h"

namespace tarn::test {

class EngineFixture : public ::testing::Test {
 protected:
  using Module = P2P::CTARNNetClientModule;
  using PayloadTest = std::function<bool(std::span<const uint8_t> payload)>;
  static constexpr std::chrono::milliseconds kDeadline = std::chrono::seconds(5);

  EngineFixture();
  ~EngineFixture() override;
  void TearDown() override { StopEngine(); }

  // The engine's registry, in the sandbox. Seed it before StartEngine.
  OSTREL::Platform::CRegistry Registry() const;
  // Sets a value under HKEY_LOCAL_MACHINE (the test fails when it cannot) / reads one back.
  void Store(const std::string& key, const char* name, OSTREL::Platform::CRegValue value) const;
  std::optional<OSTREL::Platform::CRegValue> Stored(const std::string& key,
                                                    const char* name) const;
  // The product key and its "Connections" sub-key.
  static std::string ProductKey() { return P2P::kProductKey; }
  static std::string ConnectionsKey();
  // Points the engine at `server` ("Server IP" and "Server Port").
  void UseServer(const TestIndexServer& server) const;
  // Hashes shared files without the default pause.
  void HashWithoutPause() const;

  // Creates and starts the engine root (null, with a failure, when it does not start).
  Module* StartEngine();
  // Stops the running engine root, if any; safe to call at any time, more than once.
  static void StopEngine();
  static Module* Engine() { return Module::PeekInstance(); }

  template <typename Condition>
  static bool WaitFor(Condition condition, std::chrono::milliseconds deadline = kDeadline) {
    return WaitUntil(condition, deadline);
  }
  // Until the engine is logged in to its server.
  static bool WaitForLogin(std::chrono::milliseconds deadline = kDeadline);
  // Until `server` has received a packet of `opcode` (over UDP when `udp`) whose payload passes
  // `test` (any payload when none).
  static bool WaitForPacket(const TestIndexServer& server, uint8_t opcode, bool udp,
                            const PayloadTest& test = {},
                            std::chrono::milliseconds deadline = kDeadline);

  Sandbox sandbox_;
};

// True when `payload` holds `part` somewhere.
bool Holds(std::span<const uint8_t> payload, std::span<const uint8_t> part);

}  // namespace tarn::test
