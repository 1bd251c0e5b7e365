#include "tests/support/EngineFixture.h"

#include <algorithm>

#include "engine/core/TARNNetConnectionManager.h"

namespace tarn::test {

using OSTREL::Platform::CRegistry;
using OSTREL::Platform::CRegValue;
using OSTREL::Platform::RegRoot;

EngineFixture::EngineFixture() {
  // A test engine never asks the host's firewall to open ports nor listens to its links.
  const std::string host = ProductKey() + "\\" + P2P::kHostKey;
  Store(host, "Open Firewall Ports", CRegValue::Dword(0));
  Store(host, "Watch Network Links", CRegValue::Dword(0));
}

EngineFixture::~EngineFixture() { StopEngine(); }

CRegistry EngineFixture::Registry() const { return CRegistry(sandbox_ / "config"); }

void EngineFixture::Store(const std::string& key, const char* name, CRegValue value) const {
  EXPECT_TRUE(Registry().SetValue(RegRoot::kLocalMachine, key, name, std::move(value)))
      << key << "\\" << name;
}

std::optional<CRegValue> EngineFixture::Stored(const std::string& key, const char* name) const {
  return Registry().QueryValue(RegRoot::kLocalMachine, key, name);
}

std::string EngineFixture::ConnectionsKey() {
  return std::string(P2P::kProductKey) + "\\" + P2P::kConnectionsKey;
}

void EngineFixture::UseServer(const TestIndexServer& server) const {
  Store(ProductKey(), "Server IP", CRegValue::String(server.AddressText()));
  Store(ProductKey(), "Server Port", CRegValue::Dword(server.Port()));
}

void EngineFixture::HashWithoutPause() const {
  Store(ProductKey(), "Hashing Pause", CRegValue::Dword(0));
}

EngineFixture::Module* EngineFixture::StartEngine() {
  EXPECT_EQ(Engine(), nullptr) << "an engine root is already running";
  Module* module = Module::GetInstance();
  EXPECT_NE(module, nullptr) << "the engine root did not start";
  return module;
}

void EngineFixture::StopEngine() {
  if (Module* module = Engine()) module->Stop();
}

bool EngineFixture::WaitForLogin(std::chrono::milliseconds deadline) {
  return WaitUntil(
      [] {
        Module* module = Engine();
        return module != nullptr && module->GetConnectionManager().IsConnected();
      },
      deadline);
}

bool EngineFixture::WaitForPacket(const TestIndexServer& server, uint8_t opcode, bool udp,
                                  const PayloadTest& test, std::chrono::milliseconds deadline) {
  return WaitUntil(
      [&] {
        for (const auto& packet : server.Received())
          if (packet.udp == udp && packet.opcode == opcode && (!test || test(packet.payload)))
            return true;
        return false;
      },
      deadline);
}

bool Holds(std::span<const uint8_t> payload, std::span<const uint8_t> part) {
  return std::search(payload.begin(), payload.end(), part.begin(), part.end()) != payload.end();
}

}  // namespace tarn::test
