#include <unistd.h>

#include <cstdio>

#include "tests/service_bus/ApiBusFixture.h"
#include "tests/service_bus/ObjectHolder.h"

namespace tarn::test {

int HoldObjects() {
  auto client = CApiClient::ForSessionBus();
  if (!client) return 1;
  auto manager = client->ServiceManager();
  std::shared_ptr<IP2PDownloadFileList> downloads;
  std::shared_ptr<IP2PServerList> servers;
  std::shared_ptr<IP2PSearchRequest> request;
  if (manager->get_DownloadFileList(&downloads) != S_OK) return 1;
  if (manager->get_ServerList(&servers) != S_OK) return 1;
  if (manager->get_SearchRequest(&request) != S_OK) return 1;
  auto events = std::make_shared<EventRecorder>();
  uint32_t cookie = 0;
  if (downloads->Advise(events, &cookie) != S_OK) return 1;
  if (servers->Advise(events, &cookie) != S_OK) return 1;
  if (request->Advise(events, &cookie) != S_OK) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  while (true) client->Pump(std::chrono::seconds(1));
}

}  // namespace tarn::test
