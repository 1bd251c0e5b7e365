#include "service/automation/P2PConfig.h"

#include <mutex>

#include "engine/base/ClientConfig.h"
#include "framework/CriticalSection.h"

namespace OSTREL::COM {
namespace {

// Client calls arrive on several threads; their writes are serialised among themselves.
OSTREL::Process::CMutex configWriteLock;

template <typename T, typename Read>
HRESULT Answer(SAutomationContext& context, T* out, Read read) {
  if (out == nullptr) return E_POINTER;
  auto* config = context.engine->Config();
  if (config == nullptr) return E_FAIL;
  OSTREL::Process::CLock guard(configWriteLock);
  *out = read(*config);
  return S_OK;
}

template <typename Change>
HRESULT Store(SAutomationContext& context, Change change) {
  auto* config = context.engine->Config();
  if (config == nullptr) return E_FAIL;
  OSTREL::Process::CLock guard(configWriteLock);
  change(*config);
  return S_OK;
}

}  // namespace

using P2P::_tagStructClientConfig;

HRESULT CP2PConfig::get_UserName(std::string* value) {
  return Answer(*context_, value, [](const _tagStructClientConfig& c) { return c.userName; });
}
HRESULT CP2PConfig::put_UserName(const std::string& value) {
  // Peers and servers are given the name in every hello; a blank one tells them nothing.
  if (value.find_first_not_of(" \t") == std::string::npos) return E_INVALIDARG;
  return Store(*context_, [&](_tagStructClientConfig& c) { c.userName = value; });
}
HRESULT CP2PConfig::get_TCPPort(int16_t* value) {
  return Answer(*context_, value,
                [](const _tagStructClientConfig& c) { return static_cast<int16_t>(c.tcpPort); });
}
HRESULT CP2PConfig::put_TCPPort(int16_t value) {
  return Store(*context_, [&](_tagStructClientConfig& c) {
    if (c.tcpPort != static_cast<uint16_t>(value)) c.tcpPort = static_cast<uint16_t>(value);
  });
}
HRESULT CP2PConfig::get_UDPPort(int16_t* value) {
  return Answer(*context_, value,
                [](const _tagStructClientConfig& c) { return static_cast<int16_t>(c.udpPort); });
}
HRESULT CP2PConfig::put_UDPPort(int16_t value) {
  return Store(*context_, [&](_tagStructClientConfig& c) {
    if (c.udpPort != static_cast<uint16_t>(value)) c.udpPort = static_cast<uint16_t>(value);
  });
}
HRESULT CP2PConfig::get_ConfigPath(std::string* value) {
  return Answer(*context_, value, [](const _tagStructClientConfig& c) { return c.configPath; });
}
HRESULT CP2PConfig::get_TempPath(std::string* value) {
  return Answer(*context_, value, [](const _tagStructClientConfig& c) { return c.tempPath; });
}
HRESULT CP2PConfig::get_SharedPath(std::string* value) {
  return Answer(*context_, value, [](const _tagStructClientConfig& c) { return c.sharedPath; });
}

}  // namespace OSTREL::COM
