// The web page's server under load, for bench/ui_page.sh: 10,000 shared files and 200
// downloads held in memory (no daemon), and a thread that changes the lists EVENTS times a
// second, as a busy daemon's list events would. Prints the page's address, then serves until
// SIGINT or SIGTERM.
// Usage: ui_page_server PAGE_DIR [SHARED_FILES [EVENTS_PER_SECOND]]
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <thread>

#include "platform/Registry.h"
#include "shell/ui/UiServer.h"

namespace {

using namespace tarn::shell::ui;
using Clock = std::chrono::steady_clock;

std::atomic<bool> interrupted{false};
void OnInterrupt(int) { interrupted = true; }

class CSyntheticData final : public IUiData {
 public:
  CSyntheticData(uint32_t sharedFiles) {
    std::vector<SSharedFileRecord> shared;
    for (uint32_t key = 1; key <= sharedFiles; ++key) {
      SSharedFileRecord f;
      f.key = key;
      f.name = "library file " + std::to_string((key * 7919u) % 100000u) + ".mp3";
      f.hash = "0123456789ABCDEF0123456789ABCDEF";
      f.size = key * 4099u;
      f.typeName = key % 3 ? "MP3 audio" : "AVI video";
      f.lastWriteTime = "12/9/2026 5:26 PM";
      f.creationTime = "12/8/2026 1:00 AM";
      shared.push_back(std::move(f));
    }
    shared_ = std::make_shared<const std::vector<SSharedFileRecord>>(std::move(shared));
    for (uint32_t key = 1; key <= 200; ++key) {
      SDownloadRecord d;
      d.key = 100000 + key;
      d.name = "download " + std::to_string(key) + ".avi";
      d.size = 700000000;
      d.nodes = key % 17;
      downloads_.push_back(d);
    }
  }

  // One list event: a download moves on; every tenth, a shared file changes too.
  void Step(uint64_t n, CEventHub& hub) {
    std::lock_guard guard(lock_);
    SDownloadRecord& d = downloads_[n % downloads_.size()];
    d.completedSize = (d.completedSize + 184320) % d.size;
    d.speed = static_cast<uint32_t>(n % 500000);
    downloadSnapshot_.reset();
    hub.Touch(EChannel::kDownloads);
    if (n % 10 == 0) {
      auto shared = std::make_shared<std::vector<SSharedFileRecord>>(*shared_);
      (*shared)[n % shared->size()].lastWriteTime = "12/9/2026 " + std::to_string(n % 60) + " PM";
      shared_ = std::move(shared);
      hub.Touch(EChannel::kShared);
    }
  }

  Snapshot<SDownloadRecord> Downloads() override {
    std::lock_guard guard(lock_);
    if (!downloadSnapshot_)
      downloadSnapshot_ = std::make_shared<const std::vector<SDownloadRecord>>(downloads_);
    return downloadSnapshot_;
  }
  Snapshot<SSharedFileRecord> SharedFiles() override {
    std::lock_guard guard(lock_);
    return shared_;
  }
  Snapshot<SSearchResultRecord> Results() override {
    return std::make_shared<const std::vector<SSearchResultRecord>>();
  }
  bool DaemonReachable() override { return true; }
  SStatusBar Status() override { return {.connected = true, .serverName = "bench"}; }
  ESearchState SearchState() override { return ESearchState::kIdle; }
  std::optional<SItemDetails> Details(EFolder, uint32_t) override { return std::nullopt; }
  OSTREL::COM::HRESULT Verb(uint32_t, EDownloadVerb) override { return OSTREL::COM::S_OK; }
  OSTREL::COM::HRESULT Download(uint32_t) override { return OSTREL::COM::S_OK; }
  OSTREL::COM::HRESULT Rename(EFolder, uint32_t, const std::string&) override {
    return OSTREL::COM::S_OK;
  }
  OSTREL::COM::HRESULT Search(const SSearchTerms&) override { return OSTREL::COM::S_OK; }
  SLinkOutcome AddLink(const std::string&) override { return {}; }
  bool OpenSharedFile(uint32_t) override { return false; }
  bool AnswerCompletion(const std::string&, bool, bool) override { return false; }

 private:
  std::mutex lock_;
  Snapshot<SSharedFileRecord> shared_;
  std::vector<SDownloadRecord> downloads_;
  Snapshot<SDownloadRecord> downloadSnapshot_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: ui_page_server PAGE_DIR [SHARED_FILES [EVENTS_PER_SECOND]]\n";
    return 2;
  }
  const uint32_t files = argc > 2 ? static_cast<uint32_t>(std::stoul(argv[2])) : 10000;
  const uint32_t rate = argc > 3 ? static_cast<uint32_t>(std::stoul(argv[3])) : 1000;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  const auto scratch =
      std::filesystem::temp_directory_path() / ("tarn-ui-bench-" + std::to_string(getpid()));
  OSTREL::Platform::CRegistry registry(scratch);
  CSyntheticData data(files);
  CEventHub hub;
  CUiApi api(data, hub, registry);

  // The server's side of showing the folder: sorting it by name and writing its first rows.
  const auto sortStart = Clock::now();
  api.Folder({{"f", "shared"}, {"sort", "0"}, {"count", "100"}});
  const double sortMs = std::chrono::duration<double, std::milli>(Clock::now() - sortStart).count();
  std::printf(
      "server: %u shared files sorted by name and their first 100 rows written in %.1f ms\n", files,
      sortMs);

  CUiServer server(api, hub, {.port = 0, .pageFolder = argv[1]});
  std::string error;
  if (!server.Start(&error)) {
    std::cerr << error << "\n";
    return 1;
  }
  std::printf("address: %s\n", server.Address().c_str());
  std::fflush(stdout);

  uint64_t events = 0;
  const auto start = Clock::now();
  while (!interrupted) {
    // Paced to the rate: the events due by now, then a short sleep.
    const auto due =
        static_cast<uint64_t>(std::chrono::duration<double>(Clock::now() - start).count() * rate);
    for (; events < due; ++events) data.Step(events, hub);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::printf("events: %llu in %.1f s (%.0f a second)\n", static_cast<unsigned long long>(events),
              seconds, events / seconds);
  server.Stop();
  std::filesystem::remove_all(scratch);
  return 0;
}
