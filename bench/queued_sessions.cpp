// Queued-sessions driver (run by hand, prints figures): one serving engine holds N concurrent
// peer sessions (10000 by default, the first argument), each with the hello exchanged, the
// shared file asked for by name and the session waiting in the upload queue. The clients run
// in a child process, so the parent's resident memory is the engine's alone. Prints resident
// memory (VmRSS), heap in use and thread count at each step (engine started, N connections
// accepted, N hellos, file requests and queue ranks answered), then the engine's CPU while
// the N sessions sit idle for ten seconds. Goals: under 300 MB and 5 % of one core at 10000.
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "engine/net/ServedSessionRegistry.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/protocol/PeerMessages.h"
#include "tests/support/LoopbackPair.h"
#include "tests/support/RawPeerClient.h"
#include "tests/support/ServingEngine.h"

using Clock = std::chrono::steady_clock;

namespace {

double StatusMegabytes(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
  return 0;
}

int Threads() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("Threads:", 0) == 0) return std::atoi(line.c_str() + 8);
  return 0;
}

// CPU seconds of the whole process so far (every thread).
double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Both ends of N connections live in the two processes: each needs N descriptors and more.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
}

double HeapMegabytes() { return static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0); }

void Report(const char* step, size_t sessions) {
  std::printf("%-28s sessions %5zu  VmRSS %7.1f MB  heap in use %7.1f MB  threads %4d\n", step,
              sessions, StatusMegabytes("VmRSS:"), HeapMegabytes(), Threads());
  std::fflush(stdout);
}

std::string LoadAverage() {
  std::ifstream loadavg("/proc/loadavg");
  std::string one, five, fifteen;
  loadavg >> one >> five >> fifteen;
  return one + " " + five + " " + fifteen + "\n";
}

bool ReadByte(int fd, char& byte) { return read(fd, &byte, 1) == 1; }

P2P::_tagUnionHash User(uint32_t n) {
  P2P::_tagUnionHash hash;
  hash.bytes.fill(0x44);
  std::memcpy(hash.bytes.data() + 4, &n, sizeof n);
  return hash;
}

// The child: connects `count` clients, then on each says hello, asks for the file by name and
// asks to upload; tells the parent after each step and holds the connections until the parent
// closes its pipe.
int RunClients(uint32_t count, int fromParent, int toParent) {
  uint16_t port = 0;
  if (read(fromParent, &port, sizeof port) != sizeof port) return 1;
  P2P::_tagUnionHash file;
  if (read(fromParent, file.bytes.data(), 16) != 16) return 1;
  std::vector<std::unique_ptr<tarn::test::RawPeerClient>> clients;
  for (uint32_t n = 0; n < count; ++n) {
    clients.push_back(std::make_unique<tarn::test::RawPeerClient>(User(n)));
    if (!clients.back()->Connect(port)) return 2;
  }
  char step = 'c';
  if (write(toParent, &step, 1) != 1 || !ReadByte(fromParent, step)) return 3;
  using namespace P2P::Protocol;
  const std::vector<uint8_t> name =
      BuildPeerPacket(kProtocolEDonkey, kOpRequestFileName, file.bytes);
  const std::vector<uint8_t> chosen =
      BuildPeerPacket(kProtocolEDonkey, kOpSetRequestedFile, file.bytes);
  const std::vector<uint8_t> ask =
      BuildPeerPacket(kProtocolEDonkey, kOpStartUploadRequest, file.bytes);
  for (auto& client : clients) {
    std::vector<uint8_t> bytes = client->HelloPacket();
    for (const auto* packet : {&name, &chosen, &ask})
      bytes.insert(bytes.end(), packet->begin(), packet->end());
    if (!tarn::test::WriteAll(client->Fd(), std::string(bytes.begin(), bytes.end()))) return 4;
  }
  uint32_t ranked = 0, granted = 0, named = 0;
  for (auto& client : clients) {
    for (auto packet = client->Read(); packet.opcode != 0; packet = client->Read()) {
      if (packet.opcode == kOpFileNameAnswer) ++named;
      if (packet.opcode == kOpQueueRank) {
        ++ranked;
        break;
      }
      if (packet.opcode == kOpAcceptUploadRequest) {
        ++granted;
        break;
      }
    }
  }
  std::printf("clients: %u told the file's name, %u queued with a rank, %u given a slot\n", named,
              ranked, granted);
  std::fflush(stdout);
  step = 'q';
  if (write(toParent, &step, 1) != 1) return 5;
  ReadByte(fromParent, step);  // end of file: the parent is done
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const uint32_t count = argc > 1 ? static_cast<uint32_t>(std::atoi(argv[1])) : 10000;
  RaiseDescriptorLimit();
  int down[2], up[2];
  if (pipe(down) != 0 || pipe(up) != 0) return 1;
  // Forked before the engine starts any thread.
  const pid_t child = fork();
  if (child == 0) {
    close(down[1]);
    close(up[0]);
    _exit(RunClients(count, down[0], up[1]));
  }
  close(down[0]);
  close(up[1]);

  Report("before the engine", 0);
  tarn::test::ServingEngine engine;
  tarn::test::ServingEngine::Options options;
  options.maxConnections = count + 100;
  options.scheduler.maxQueue = count;
  options.passMs = 1000;
  if (!engine.Start(options)) return 2;
  Report("engine started", 0);
  const uint16_t port = engine.Port();
  if (write(down[1], &port, sizeof port) != sizeof port) return 3;
  if (write(down[1], engine.FileHash().bytes.data(), 16) != 16) return 3;

  const auto start = Clock::now();
  char step = 0;
  if (!ReadByte(up[0], step)) return 4;
  while (engine.Sessions().ObjectCount() < count && Clock::now() - start < std::chrono::seconds(60))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  Report("connections accepted", engine.Sessions().ObjectCount());
  const auto helloStart = Clock::now();
  if (write(down[1], &step, 1) != 1 || !ReadByte(up[0], step)) return 5;
  const double helloSeconds = std::chrono::duration<double>(Clock::now() - helloStart).count();
  malloc_trim(0);
  Report("hello exchanged, queued", engine.Sessions().ObjectCount());
  std::printf(
      "queue %zu, slots in use %zu, served sessions %zu, client records %zu; "
      "hellos and ranks in %.2f s\n",
      engine.Service().Scheduler().QueueLength(), engine.Service().Scheduler().SlotsInUse(),
      engine.Context()->served.Size(), engine.Clients().Size(), helloSeconds);
  std::printf("peak VmHWM %.1f MB; per session object %zu bytes, client record %zu bytes\n",
              StatusMegabytes("VmHWM:"), sizeof(P2P::CTARNNetC2CTCPConnecterT),
              sizeof(P2P::Client::CTARNNetClient));
  // Idle: the sessions stay open and quiet, below the 30-second idle time-out.
  const double cpuBefore = ProcessCpuSeconds();
  const auto idleStart = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double idleSeconds = std::chrono::duration<double>(Clock::now() - idleStart).count();
  const double idleCpu = ProcessCpuSeconds() - cpuBefore;
  Report("after 10 s idle", engine.Sessions().ObjectCount());
  std::printf("idle CPU: %.3f s in %.1f s, %.2f %% of one core (goal: under 5 %%); load average %s",
              idleCpu, idleSeconds, 100.0 * idleCpu / idleSeconds, LoadAverage().c_str());
  close(down[1]);
  int status = 0;
  waitpid(child, &status, 0);
  engine.Stop();
  return WIFEXITED(status) ? WEXITSTATUS(status) : 9;
}
