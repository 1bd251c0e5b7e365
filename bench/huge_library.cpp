// Huge-library driver (run by hand, prints figures): 100,000 small files in 100 folders under
// /tmp, first start to a complete Shared.dat, second start to a finished scan, peak resident
// memory; then one 2 GB file hashed at full speed against `rhash --ed2k --aich` on the same
// file. Everything generated is removed afterwards.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine/files/FileHasher.h"
#include "engine/files/UploadFileManager.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

static double PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;
}

static double TimeStart(const fs::path& config, const fs::path& shared) {
  P2P::CTARNNetUploadFileManager manager;
  const auto started = Clock::now();
  manager.Start(config, shared, 0);
  while (!manager.List().HasScanned()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double seconds = Seconds(started);
  std::printf("  %zu files listed, %u hashed\n", manager.List().Count(),
              manager.GetProgress().filesHashed);
  manager.Stop();
  return seconds;
}

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
  const fs::path root = fs::path("/tmp") / ("tarn-bench-" + std::to_string(getpid()));
  const fs::path shared = root / "shared", config = root / "config";
  fs::create_directories(config);
  for (int i = 0; i < files; ++i) {
    const fs::path folder = shared / ("folder" + std::to_string(i % 100));
    if (i < 100) fs::create_directories(folder);
    std::ofstream(folder / ("file" + std::to_string(i) + ".txt"))
        << std::string(200 + i % 300, static_cast<char>('a' + i % 26)) << i;
  }
  std::printf("first start (hash %d files): %.2f s\n", files, TimeStart(config, shared));
  std::printf("second start (nothing changed): %.2f s\n", TimeStart(config, shared));
  std::printf("peak resident memory: %.1f MB\n", PeakMegabytes());

  const fs::path big = root / "big.bin";
  {
    std::ofstream out(big, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + i / 977);
    for (int mb = 0; mb < 2048; ++mb)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  std::system(("cat " + big.string() + " > /dev/null").c_str());  // both runs from the cache
  P2P::HASH::_tagStructHashingOptions options;
  options.pauseMilliseconds = 0;
  P2P::HASH::CTARNNetFileHasher hasher(options);
  P2P::_tagUnionHash hash;
  auto started = Clock::now();
  const bool hashed = hasher.HashFile(big, &hash, nullptr, nullptr);
  const double ours = Seconds(started);
  started = Clock::now();
  std::system(("rhash --ed2k --aich " + big.string() + " > /dev/null").c_str());
  const double rhash = Seconds(started);
  std::printf("2 GB file: ours %.2f s (%s), rhash %.2f s, ratio %.2f\n", ours,
              hashed ? "ok" : "FAILED", rhash, ours / rhash);
  fs::remove_all(root);
  return 0;
}
