// Loads a ServerInfo.dat image, then writes the list out and loads it again: nothing is lost.
#include <string_view>

#include "engine/servers/ServerInfoFile.h"
#include "engine/servers/ServerManager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  P2P::CTARNNetServerManager manager;
  manager.LoadText({reinterpret_cast<const char*>(data), size});
  std::vector<P2P::Remote::Server::_tagStructServerInfo> entries;
  for (size_t i = 1; i <= manager.Count(); ++i) entries.push_back(*manager.At(i));
  OSTREL::File::CXmlDocument document(P2P::Remote::Server::kServerInfoRoot);
  P2P::Remote::Server::WriteServerInfoDocument(entries, document);
  P2P::CTARNNetServerManager reloaded;
  reloaded.LoadText(document.ToText());
  if (reloaded.Count() != manager.Count()) __builtin_trap();
  return 0;
}
