// Downloads one file from the in-process test peer on loopback and prints the rate and the
// CPU seconds per GB that the downloading side used (the process's CPU time less the serving
// peer's thread). Usage: peer_download [megabytes, default 1024] [folder, default /tmp].
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "engine/download/DownloadFileManager.h"
#include "engine/net/TARNNetC2CManager.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/peers/ClientList.h"
#include "engine/transfer/TransferFileList.h"
#include "tests/support/TestPeer.h"

namespace {

double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::vector<uint8_t> Content(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (size_t i = 0; i < size; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (size_t j = 0; j < 8 && i + j < size; ++j) bytes[i + j] = static_cast<uint8_t>(state >> (8 * j));
  }
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  using namespace P2P;
  const size_t megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 1024;
  const fs::path root = fs::path(argc > 2 ? argv[2] : "/tmp") / "tarn-peer-download-bench";
  fs::remove_all(root);
  fs::create_directories(root / "temp");
  fs::create_directories(root / "shared");

  tarn::test::TestPeer::Settings settings;
  settings.content = Content(megabytes * 1024 * 1024);
  settings.name = "bench.bin";
  tarn::test::TestPeer peer(settings);
  if (!peer.Start()) return 1;
  Shared::_tagStructSharedFile record;
  const auto hash = peer.FileHash();
  std::copy(hash.begin(), hash.end(), record.hash.bytes.begin());
  record.info.name = "bench.bin";
  record.info.size = static_cast<uint32_t>(megabytes * 1024 * 1024);

  _tagStructClientConfig own;
  own.userHash.bytes.fill(0x42);
  own.capabilities = kCapabilityWord;
  Client::CTARNNetClientList clients;
  CPeerSessionContext context(own);
  context.findFile = [](const _tagUnionHash& hash) {
    auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance();
    return files != nullptr ? files->FindByHash(hash)
                            : Shared::File::TransferFile::CTransferFilePtr();
  };
  context.clients = &clients;
  CTARNNetC2CManager sessions;
  CTARNNetDownloadFileManager downloads;
  Shared::File::TransferFile::SDownloadHooks hooks;
  hooks.sourceAdded = [&](const Shared::File::TransferFile::CTransferFilePtr& file,
                          const Remote::Peer::_tagStructPeer& source) {
    clients.CreateDownloadSource(file->GetHash(), source.clientId, source.port,
                                 source.serverAddress, source.serverPort);
  };
  clients.SetConnectHook([&](const Client::CClientPtr& client, bool callback) {
    auto* session = new CTARNNetC2CTCPConnecterT(context, client);
    session->AddRef();
    const bool connecting = session->ConnectTo(sessions, callback);
    session->Release();
    return connecting;
  });
  downloads.SetHooks(hooks);
  if (!sessions.Start() || !downloads.Start(root / "temp", root / "shared")) return 1;
  auto file = downloads.AddDownload(record);
  if (!file) return 1;

  const double cpuBefore = ProcessCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  downloads.AddSource(record.hash, peer.Address(), peer.Port(), 0, 0);
  while (!fs::exists(root / "shared" / "bench.bin")) {
    if (std::chrono::steady_clock::now() - start > std::chrono::minutes(10)) return 2;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = ProcessCpuSeconds() - cpuBefore - peer.CpuSeconds();
  const double gigabytes = static_cast<double>(megabytes) / 1024.0;
  std::printf("%zu MB in %.2f s: %.1f MB/s; downloading side %.2f CPU s (%.2f CPU s per GB)\n",
              megabytes, seconds, static_cast<double>(megabytes) / seconds, cpu, cpu / gigabytes);
  sessions.Stop();
  clients.ClearAll();
  downloads.Stop();
  if (auto* files = Shared::File::TransferFile::CTARNNetTransferFileList::PeekInstance())
    files->Clear();
  peer.Stop();
  fs::remove_all(root);
  return 0;
}
