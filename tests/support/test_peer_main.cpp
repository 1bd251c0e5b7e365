// test-peer: the tests' scriptable eD2K peer as a program, for the demo and for trying the
// daemon by hand. Serves one file until SIGINT or SIGTERM and prints what it received; a
// sparse file (a large test file) is held as its data extents only.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TestPeer.h"

namespace {

void PrintUsage(const char* program) {
  std::printf(
      "Usage: %s --file PATH [--port N] [--address A] [--name NAME] [--compressed] [--packed]\n"
      "          [--queue-rank N --accept-delay MS] [--no-large-files]\n"
      "Serves PATH to eD2K peers on A:N (default 127.0.0.1:4662) and prints its file hash.\n"
      "--compressed sends blocks packed, --packed sends extended packets 0xD4-packed,\n"
      "--queue-rank queues each downloader before granting the upload after the delay,\n"
      "--no-large-files leaves the large-file bit out of the hello answer.\n",
      program);
}

// A file with holes (a sparse test file of several GiB) is served from its data extents,
// zeros elsewhere, rather than read whole into memory. False for a file without holes.
bool ReadSparse(const std::string& path, tarn::test::TestPeer::Settings& settings) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const off_t size = lseek(fd, 0, SEEK_END);
  std::vector<tarn::test::TestPeer::Extent> extents;
  off_t held = 0;
  for (off_t at = lseek(fd, 0, SEEK_DATA); at >= 0 && at < size;) {
    const off_t hole = lseek(fd, at, SEEK_HOLE);
    if (hole <= at) break;
    tarn::test::TestPeer::Extent extent;
    extent.offset = static_cast<uint64_t>(at);
    extent.bytes.resize(static_cast<size_t>(hole - at));
    if (pread(fd, extent.bytes.data(), extent.bytes.size(), at) != hole - at) break;
    held += hole - at;
    extents.push_back(std::move(extent));
    at = lseek(fd, hole, SEEK_DATA);
  }
  close(fd);
  if (size <= 0 || held >= size) return false;
  settings.sparseSize = static_cast<uint64_t>(size);
  settings.extents = std::move(extents);
  return true;
}

std::string Hex(const std::array<uint8_t, 16>& bytes) {
  std::string text;
  char digits[3];
  for (uint8_t byte : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", byte);
    text += digits;
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  tarn::test::TestPeer::Settings settings;
  settings.port = 4662;
  std::string path;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--port" && hasValue) {
      settings.port = static_cast<uint16_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (option == "--address" && hasValue) {
      settings.address = argv[++i];
    } else if (option == "--file" && hasValue) {
      path = argv[++i];
    } else if (option == "--name" && hasValue) {
      settings.name = argv[++i];
    } else if (option == "--compressed") {
      settings.compressed = true;
    } else if (option == "--no-large-files") {
      settings.largeFiles = false;
    } else if (option == "--packed") {
      settings.packExtended = true;
    } else if (option == "--queue-rank" && hasValue) {
      settings.queueRank = static_cast<uint16_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (option == "--accept-delay" && hasValue) {
      settings.acceptDelay = std::chrono::milliseconds(std::strtoul(argv[++i], nullptr, 10));
    } else {
      PrintUsage(argv[0]);
      return option == "--help" || option == "-h" ? 0 : 2;
    }
  }
  std::ifstream in(path, std::ios::binary);
  if (path.empty() || !in) {
    PrintUsage(argv[0]);
    return 2;
  }
  if (!ReadSparse(path, settings)) settings.content.assign(std::istreambuf_iterator<char>(in), {});
  const uint64_t size = settings.sparseSize != 0 ? settings.sparseSize : settings.content.size();
  if (settings.name == "file.bin") settings.name = path.substr(path.find_last_of('/') + 1);

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  tarn::test::TestPeer peer(settings);
  if (!peer.Start()) {
    std::fprintf(stderr, "%s: cannot listen on %s:%u\n", argv[0], settings.address.c_str(),
                 settings.port);
    return 1;
  }
  std::printf("test peer on %s:%u serving %s (%llu bytes), file hash %s\n",
              settings.address.c_str(), peer.Port(), settings.name.c_str(),
              static_cast<unsigned long long>(size), Hex(peer.FileHash()).c_str());
  std::fflush(stdout);

  int received = 0;
  sigwait(&signals, &received);
  for (const auto& packet : peer.Received())
    std::printf("0x%02X 0x%02X, %zu payload bytes\n", packet.protocol, packet.opcode,
                packet.payload.size());
  peer.Stop();
  return 0;
}
