// The automation API over a real bus: the round trip of a simple getter; reading the names of
// 10000 shared files through the list and item objects (the yardstick); what `tarn shared`
// does for 10000 files, one bulk call for every row and the table drawn from them; reading
// their records in one call; and the desktop side's mirror loading them (under one second).
// Run under dbus-run-session:
//   dbus-run-session -- build/bench/api_bench
#include <benchmark/benchmark.h>

#include <memory>

#include "cli/Listings.h"
#include "engine/upload/UploadFileManager.h"
#include "service/client/ApiClient.h"
#include "service/dbus/ApiBus.h"
#include "shell/Mirrors.h"

namespace {

using namespace OSTREL::COM;
using P2P::Shared::File::TransferFile::CTARNNetTransferFile;
using P2P::Shared::File::TransferFile::CTransferFilePtr;

constexpr const char* kBenchBusName = "com.ostrel.TarnSvc.Bench";

// A published API over an upload manager holding `files` shared files, and one client.
struct BenchService {
  explicit BenchService(size_t files) {
    for (size_t i = 0; i < files; ++i) {
      P2P::Shared::_tagStructSharedFile record;
      record.hash.bytes[0] = static_cast<uint8_t>(i);
      record.hash.bytes[1] = static_cast<uint8_t>(i >> 8);
      record.info.name = "file " + std::to_string(i) + ".bin";
      record.info.size = 1000;
      uploads.List().Add(CTransferFilePtr(new CTARNNetTransferFile(record)));
    }
    auto parts = std::make_shared<SEngineParts>();
    parts->uploads = &uploads;
    bus = std::make_unique<CApiBus>(sdbus::createSessionBusConnection(), nullptr);
    bus->Start(parts, kBenchBusName);
    client = std::make_unique<CApiClient>(sdbus::createSessionBusConnection(), kBenchBusName);
    manager = client->ServiceManager();
  }
  ~BenchService() {
    manager.reset();
    client.reset();
    bus->Stop();
    uploads.List().Clear();
  }

  P2P::CTARNNetUploadFileManager uploads;
  std::unique_ptr<CApiBus> bus;
  std::unique_ptr<CApiClient> client;
  std::shared_ptr<IP2PServiceManager> manager;
};

void BM_GetterRoundTrip(benchmark::State& state) {
  BenchService service(1);
  std::shared_ptr<IP2PSharedFileList> list;
  service.manager->get_SharedFileList(&list);
  for (auto _ : state) {
    int32_t count = 0;
    benchmark::DoNotOptimize(list->get_Count(&count));
  }
}
BENCHMARK(BM_GetterRoundTrip);

void BM_ReadTenThousandSharedFiles(benchmark::State& state) {
  BenchService service(10000);
  std::shared_ptr<IP2PSharedFileList> list;
  service.manager->get_SharedFileList(&list);
  for (auto _ : state) {
    int32_t count = 0;
    list->get_Count(&count);
    for (int32_t i = 1; i <= count; ++i) {
      std::shared_ptr<IP2PSharedFile> file;
      list->get_Item(i, &file);
      std::string name;
      file->get_Name(&name);
      benchmark::DoNotOptimize(name);
    }
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ReadTenThousandSharedFiles)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ListTenThousandSharedFilesAtOnce(benchmark::State& state) {
  BenchService service(10000);
  std::shared_ptr<IP2PSharedFileList> list;
  service.manager->get_SharedFileList(&list);
  for (auto _ : state) {
    std::vector<tarn::cli::SSharedRow> rows;
    if (!Succeeded(tarn::cli::ListShared(*list, rows)) || rows.size() != 10000)
      state.SkipWithError("the bulk call did not list every file");
    benchmark::DoNotOptimize(tarn::cli::SharedTable(rows, 120));
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_ListTenThousandSharedFilesAtOnce)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RecordsOfTenThousandSharedFiles(benchmark::State& state) {
  BenchService service(10000);
  std::shared_ptr<IP2PSharedFileList> list;
  service.manager->get_SharedFileList(&list);
  auto* records = dynamic_cast<IP2PSharedFileRecords*>(list.get());
  for (auto _ : state) {
    std::vector<SSharedFileRecord> all;
    records->GetRecords(&all);
    benchmark::DoNotOptimize(all);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_RecordsOfTenThousandSharedFiles)->Unit(benchmark::kMillisecond)->Iterations(5);

// From nothing to a sorted mirror of the 10000 files, its bus client and worker included.
void BM_MirrorLoadsTenThousandSharedFiles(benchmark::State& state) {
  BenchService service(10000);
  for (auto _ : state) {
    tarn::shell::CTARNSharedFileList mirror([] {
      return std::make_unique<CApiClient>(sdbus::createSessionBusConnection(), kBenchBusName);
    });
    mirror.Start();
    if (mirror.Count() != 10000) state.SkipWithError("the mirror did not load every file");
    state.PauseTiming();
    mirror.Stop();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_MirrorLoadsTenThousandSharedFiles)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
