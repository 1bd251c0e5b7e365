// Huge-library driver (run by hand, prints figures): 100,000 small files in 100 folders under
// /tmp, first start to a complete Shared.dat, second start to a finished scan, the peak
// resident memory (VmHWM) of each; then, unless --no-big follows the file count, one 2 GB
// file hashed at full speed against `rhash --ed2k --aich` on the same file. Everything
// generated is removed afterwards.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "engine/hashing/FileHasher.h"
#include "engine/upload/UploadFileManager.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// User and system time of the whole process: the work done, whatever else runs on the machine.
static double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& time) { return time.tv_sec + time.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

static double StatusMegabytes(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
  return 0;
}

// VmHWM: the peak resident set since the start or the last ResetPeak.
static double PeakMegabytes() { return StatusMegabytes("VmHWM:"); }

static void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

static double TimeStart(const fs::path& config, const fs::path& shared) {
  std::printf("  before start: resident %.1f MB\n", StatusMegabytes("VmRSS:"));
  P2P::CTARNNetUploadFileManager manager;
  const auto started = Clock::now();
  const double cpuBefore = CpuSeconds();
  manager.Start(config, shared, 0);
  std::printf("  Shared.dat loaded: resident %.1f MB, peak %.1f MB\n", StatusMegabytes("VmRSS:"),
              StatusMegabytes("VmHWM:"));
  while (!manager.List().HasScanned()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  const double seconds = Seconds(started);
  std::printf("  %zu files listed, %u hashed, %.2f s of CPU\n", manager.List().Count(),
              manager.GetProgress().filesHashed, CpuSeconds() - cpuBefore);
  manager.Stop();
  return seconds;
}

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
  // TARN_BENCH_ROOT keeps the generated library between runs (creating 100,000 files takes
  // longer than hashing them); the data files are removed so that the first start is one.
  const char* kept = std::getenv("TARN_BENCH_ROOT");
  const fs::path root =
      kept != nullptr ? fs::path(kept) : fs::path("/tmp") / ("tarn-bench-" + std::to_string(getpid()));
  const fs::path shared = root / "shared", config = root / "config";
  const bool reuse = kept != nullptr && fs::exists(root / "complete");
  // With TARN_BENCH_SECOND_ONLY as well, the data files of the last run stay and only the
  // second start is timed (for profiling it alone).
  const bool secondOnly = reuse && std::getenv("TARN_BENCH_SECOND_ONLY") != nullptr &&
                          fs::exists(config / "Shared.dat");
  if (!secondOnly) fs::remove_all(config);
  fs::create_directories(config);
  for (int i = 0; i < files && !reuse; ++i) {
    const fs::path folder = shared / ("folder" + std::to_string(i % 100));
    if (i < 100) fs::create_directories(folder);
    std::ofstream(folder / ("file" + std::to_string(i) + ".txt"))
        << std::string(200 + i % 300, static_cast<char>('a' + i % 26)) << i;
  }
  if (kept != nullptr) std::ofstream(root / "complete") << files;
  const double first = secondOnly ? 0 : TimeStart(config, shared);
  std::printf("first start (hash %d files): %.2f s, %.0f files/s, peak %.1f MB\n", files, first,
              files / first, PeakMegabytes());
  double overallPeak = PeakMegabytes();
  ResetPeak();
  const double second = TimeStart(config, shared);
  std::printf("second start (nothing changed): %.2f s, %.0f files/s, peak %.1f MB\n", second,
              files / second, PeakMegabytes());
  overallPeak = std::max(overallPeak, PeakMegabytes());
  std::printf("peak resident memory (VmHWM, both starts): %.1f MB\n", overallPeak);

  if (argc > 2 && std::string(argv[2]) == "--no-big") {
    if (kept == nullptr) fs::remove_all(root);
    return 0;
  }
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
  if (kept == nullptr)
    fs::remove_all(root);
  else
    fs::remove(big);
  return 0;
}
