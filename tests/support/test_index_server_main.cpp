// test-index-server: the tests' scriptable eD2K index server as a program, for the demo and
// for trying the daemon by hand. Serves until SIGINT or SIGTERM and prints what it receives.
#include <arpa/inet.h>
#include <signal.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/TestIndexServer.h"

namespace {

void PrintUsage(const char* program) {
  std::printf(
      "Usage: %s [--port N] [--address A] [--id N] [--distinct-ids] [--list A:P]...\n"
      "          [--source HASH@A:P]... [--silent-udp] [--no-large-files]\n"
      "Serves eD2K logins on A:N (TCP, default 127.0.0.1:4661) and status queries on N+4 (UDP).\n"
      "--id sets the client id given at login, --distinct-ids gives each login the next\n"
      "loopback address up from it, --list adds a server to the list it hands out,\n"
      "--source hands out A:P as a source of the file HASH (32 hex digits),\n"
      "--silent-udp leaves UDP queries unanswered, --name gives the server's name (any bytes,\n"
      "escape codes included, as a hostile server would), --no-large-files leaves flag 0x100\n"
      "(files above 4,290,048,000 bytes) out of the login answer.\n",
      program);
}

bool ParseEntry(const std::string& text, tarn::test::IndexServerEntry& entry) {
  const auto colon = text.rfind(':');
  if (colon == std::string::npos) return false;
  in_addr address{};
  if (inet_pton(AF_INET, text.substr(0, colon).c_str(), &address) != 1) return false;
  entry.address = address.s_addr;
  entry.port = static_cast<uint16_t>(std::strtoul(text.c_str() + colon + 1, nullptr, 10));
  return entry.port != 0;
}

bool ParseSource(const std::string& text, std::array<uint8_t, 16>& hash,
                 tarn::test::IndexServerEntry& entry) {
  const auto at = text.find('@');
  if (at != 32) return false;
  for (size_t i = 0; i < hash.size(); ++i) {
    char* end = nullptr;
    const std::string digits = text.substr(2 * i, 2);
    hash[i] = static_cast<uint8_t>(std::strtoul(digits.c_str(), &end, 16));
    if (end != digits.c_str() + 2) return false;
  }
  return ParseEntry(text.substr(at + 1), entry);
}

void PrintReceived(tarn::test::TestIndexServer& server) {
  const std::vector<tarn::test::ReceivedPacket> packets = server.TakeReceived();
  for (const auto& packet : packets)
    std::printf("%s 0x%02X, %zu payload bytes\n", packet.udp ? "udp" : "tcp", packet.opcode,
                packet.payload.size());
  if (!packets.empty()) std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  tarn::test::TestIndexServer::Settings settings;
  settings.port = 4661;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == "--port" && hasValue) {
      settings.port = static_cast<uint16_t>(std::strtoul(argv[++i], nullptr, 10));
    } else if (option == "--address" && hasValue) {
      settings.address = argv[++i];
    } else if (option == "--id" && hasValue) {
      settings.loginId = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 0));
    } else if (option == "--list" && hasValue) {
      tarn::test::IndexServerEntry entry;
      if (!ParseEntry(argv[++i], entry)) {
        std::fprintf(stderr, "%s: bad server %s\n", argv[0], argv[i]);
        return 2;
      }
      settings.serverList.push_back(entry);
    } else if (option == "--source" && hasValue) {
      std::array<uint8_t, 16> hash{};
      tarn::test::IndexServerEntry entry;
      if (!ParseSource(argv[++i], hash, entry)) {
        std::fprintf(stderr, "%s: bad source %s\n", argv[0], argv[i]);
        return 2;
      }
      settings.fixedSources.emplace_back(hash, entry);
    } else if (option == "--name" && hasValue) {
      settings.name = argv[++i];
    } else if (option == "--distinct-ids") {
      settings.distinctLoginIds = true;
    } else if (option == "--no-large-files") {
      settings.tcpFlags &= ~0x100u;
    } else if (option == "--silent-udp") {
      settings.answerUdp = false;
    } else if (option == "--help" || option == "-h") {
      PrintUsage(argv[0]);
      return 0;
    } else {
      PrintUsage(argv[0]);
      return 2;
    }
  }

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  tarn::test::TestIndexServer server(settings);
  if (!server.Start()) {
    std::fprintf(stderr, "%s: cannot listen on %s:%u\n", argv[0], settings.address.c_str(),
                 settings.port);
    return 1;
  }
  std::printf("test index server on %s:%u (UDP %u)\n", settings.address.c_str(), server.Port(),
              server.Port() + 4);
  std::fflush(stdout);

  // Packets are logged as they come, so a script can wait for one (an offer, say).
  const timespec logPeriod{0, 20'000'000};
  while (sigtimedwait(&signals, nullptr, &logPeriod) < 0) PrintReceived(server);
  server.Stop();
  PrintReceived(server);
  return 0;
}
