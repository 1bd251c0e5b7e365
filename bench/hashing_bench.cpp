// File hashing throughput at full speed over a file in the page cache (1 GiB by default;
// TARN_BENCH_FILE_MB sets the size, TARN_BENCH_DIR the folder, /tmp otherwise). Also times a
// read-only pass and each digest alone over the same reads, to split the CPU cost, and runs
// `rhash --ed2k --aich` on the same file for comparison when it is installed.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/hashing/Digest.h"
#include "engine/hashing/FileHasher.h"
#include "engine/hashing/HashConstants.h"

namespace {

using namespace P2P::HASH;

class CBenchFile {
 public:
  CBenchFile() {
    const char* dir = std::getenv("TARN_BENCH_DIR");
    const char* megabytes = std::getenv("TARN_BENCH_FILE_MB");
    path_ = std::filesystem::path(dir ? dir : "/tmp") /
            ("tarn-hashing-bench-" + std::to_string(::getpid()));
    size_ = uint64_t{megabytes ? std::strtoul(megabytes, nullptr, 10) : 1024} << 20;
    Write();
    ForEachChunk([](std::span<const uint8_t>) {});  // warm the page cache
  }
  ~CBenchFile() { std::filesystem::remove(path_); }

  static CBenchFile& Get() {
    static CBenchFile file;
    return file;
  }
  const std::filesystem::path& Path() const { return path_; }
  uint64_t Size() const { return size_; }

  template <typename Consumer>
  void ForEachChunk(Consumer consume) const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    std::vector<uint8_t> buffer(kHashingReadSize);
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;)
      consume(std::span<const uint8_t>(buffer.data(), static_cast<size_t>(got)));
    ::close(fd);
  }

 private:
  void Write() const {
    std::ofstream out(path_, std::ios::binary);
    std::vector<uint64_t> block(1 << 17);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (uint64_t written = 0; written < size_; written += block.size() * 8) {
      for (auto& word : block) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        word = state;
      }
      out.write(reinterpret_cast<const char*>(block.data()),
                static_cast<std::streamsize>(block.size() * 8));
    }
  }

  std::filesystem::path path_;
  uint64_t size_;
};

void Finish(benchmark::State& state) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * CBenchFile::Get().Size()));
}

void BM_HashFileOnePass(benchmark::State& state) {
  CBenchFile::Get();  // created and cached outside the timing
  _tagStructHashingOptions options;
  options.pauseMilliseconds = 0;
  CTARNNetFileHasher hasher(options);
  for (auto _ : state) {
    CTARNNetFileHashSet hashSet;
    P2P::_tagUnionHash fileHash;
    if (!hasher.HashFile(CBenchFile::Get().Path(), hashSet, fileHash))
      state.SkipWithError("failed");
    benchmark::DoNotOptimize(fileHash);
  }
  Finish(state);
}

void BM_ReadOnly(benchmark::State& state) {
  CBenchFile::Get();  // created and cached outside the timing
  for (auto _ : state) {
    uint64_t sum = 0;
    CBenchFile::Get().ForEachChunk([&](std::span<const uint8_t> chunk) { sum += chunk[0]; });
    benchmark::DoNotOptimize(sum);
  }
  Finish(state);
}

void BM_ReadAndMD4(benchmark::State& state) {
  CBenchFile::Get();  // created and cached outside the timing
  for (auto _ : state) {
    CMD4Digest md4;
    CBenchFile::Get().ForEachChunk([&](std::span<const uint8_t> chunk) { md4.Update(chunk); });
    benchmark::DoNotOptimize(md4.Final());
  }
  Finish(state);
}

void BM_ReadAndSHA1(benchmark::State& state) {
  CBenchFile::Get();  // created and cached outside the timing
  for (auto _ : state) {
    CSHA1Digest sha1;
    CBenchFile::Get().ForEachChunk([&](std::span<const uint8_t> chunk) { sha1.Update(chunk); });
    benchmark::DoNotOptimize(sha1.Final());
  }
  Finish(state);
}

// The same work by an independent command-line hasher, timed around the child process.
void BM_ExternalRhash(benchmark::State& state) {
  CBenchFile::Get();  // created and cached outside the timing
  if (std::system("command -v rhash >/dev/null 2>&1") != 0) {
    state.SkipWithError("rhash missing");
    return;
  }
  const std::string command =
      "rhash --ed2k --aich '" + CBenchFile::Get().Path().string() + "' >/dev/null";
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("rhash failed");
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  Finish(state);
}

std::string CpuModel() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  for (std::string line; std::getline(cpuinfo, line);)
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

const bool kContext = [] {
  benchmark::AddCustomContext("cpu_model", CpuModel());
  return true;
}();

BENCHMARK(BM_HashFileOnePass)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ExternalRhash)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_ReadOnly)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadAndMD4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ReadAndSHA1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
