// A scriptable eD2K index server for tests, the demo and trying things by hand. It listens on
// a loopback address for TCP and, four ports up, for UDP; answers logins with an id of the
// test's choice, sends server messages, status, identity and server lists, answers UDP status
// and description requests (or stays silent), and records every packet it received so tests
// can assert on the bytes. It indexes the files its clients offer (or the test adds) and answers
// searches over TCP (in batches, with query-more) and UDP. Packet handling is a table per transport, one handler per opcode.
// Runs on a thread of its own; every method may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/TestSearchIndex.h"

namespace tarn::test {

struct ReceivedPacket {
  bool udp = false;
  uint8_t protocol = 0;
  uint8_t opcode = 0;
  std::vector<uint8_t> payload;
  uint16_t fromPort = 0;  // the sender's port (UDP)
};

struct IndexServerEntry {
  uint32_t address = 0;  // wire order
  uint16_t port = 0;
};

class TestIndexServer {
 public:
  struct Settings {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0: a free port whose UDP port (+4) is free too
    bool answerLogin = true;
    uint32_t loginId = 0x0A00007F;  // 127.0.0.10 read as an id: a high id
    // Each login its own id, the next loopback address up from `loginId` (127.0.0.10, .11,
    // ...): clients that share one address would pass for one source.
    bool distinctLoginIds = false;
    // Zlib, compact tags, Unicode and large files (0x100); 0x19 makes a server that takes
    // no file above 4,290,048,000 bytes.
    uint32_t tcpFlags = 0x119;
    std::vector<std::string> loginMessages;  // sent before the id
    bool answerUdp = true;
    bool taggedDescription = false;
    std::string name = "TARN test server";
    std::string description = "scriptable index server";
    uint32_t users = 7;
    uint32_t files = 1000;
    uint32_t udpFlags = 0;
    std::vector<IndexServerEntry> serverList;
    // Search answers: at most this many records per TCP answer (0: all), the rest after a
    // query-more; this many 0x99 packets to a UDP datagram.
    size_t resultsPerAnswer = 0;
    size_t answersPerDatagram = 3;
    bool answerSearches = true;
    // Sources handed out for a file although no logged-in client offered it, such as a test
    // peer that never logs in.
    std::vector<std::pair<std::array<uint8_t, 16>, IndexServerEntry>> fixedSources;
  };

  TestIndexServer();
  explicit TestIndexServer(Settings settings);
  ~TestIndexServer();
  TestIndexServer(const TestIndexServer&) = delete;
  TestIndexServer& operator=(const TestIndexServer&) = delete;

  bool Start();
  void Stop();

  uint16_t Port() const { return port_; }
  uint32_t Address() const;  // wire order
  std::string AddressText() const;

  // Seeds the index searches run against (as if a client had offered the file).
  void AddFile(const IndexedFile& file);
  size_t IndexedFileCount() const;

  // Changes what later answers carry.
  void Update(const std::function<void(Settings&)>& change);

  // Sends raw bytes, a server message or a whole packet to every connected client.
  void SendRaw(const std::vector<uint8_t>& bytes);
  void SendServerMessage(const std::string& text);
  void SendPacket(uint8_t opcode, const std::vector<uint8_t>& payload);
  // Sends a datagram from the UDP port to 127.0.0.1:`port` (a client's server socket).
  void SendDatagram(uint16_t toPort, uint8_t opcode, const std::vector<uint8_t>& payload);
  // Closes every client connection with a reset.
  void DropClients();
  size_t ClientCount() const;
  uint16_t LastUdpClientPort() const { return lastUdpPort_.load(); }

  std::vector<ReceivedPacket> Received() const;
  size_t CountReceived(uint8_t opcode, bool udp) const;
  // Waits (real time) until `count` packets with `opcode` arrived.
  bool WaitForPackets(uint8_t opcode, bool udp, size_t count = 1,
                      std::chrono::milliseconds deadline = std::chrono::seconds(5)) const;
  void ClearReceived();
  // The packets received since the last call (or the start), and forgets them.
  std::vector<ReceivedPacket> TakeReceived();

  // The packet builders the server uses, public for tests that script answers by hand.
  static std::vector<uint8_t> TcpPacket(uint8_t opcode, const std::vector<uint8_t>& payload);
  static std::vector<uint8_t> UdpPacket(uint8_t opcode, const std::vector<uint8_t>& payload);

 private:
  struct Client {
    int fd = -1;
    std::vector<uint8_t> buffer;
    std::vector<IndexedFile> pendingResults;  // for query-more
    IndexServerEntry endpoint;                // the id it was given and the port it listens on
  };
  using TcpHandler = void (TestIndexServer::*)(Client&, const ReceivedPacket&);
  using UdpHandler = void (TestIndexServer::*)(const ReceivedPacket&, uint32_t fromAddress);

  bool Bind(uint16_t port);
  void Run();
  void AcceptClient();
  bool ReadClient(Client& client);
  void ReadDatagram();
  void Record(const ReceivedPacket& packet);
  Settings SettingsCopy() const;

  void OnLogin(Client& client, const ReceivedPacket& packet);
  void OnGetServerList(Client& client, const ReceivedPacket& packet);
  void OnUdpStatus(const ReceivedPacket& packet, uint32_t fromAddress);
  void OnUdpDescription(const ReceivedPacket& packet, uint32_t fromAddress);
  void OnUdpServerList(const ReceivedPacket& packet, uint32_t fromAddress);
  void OnOfferFiles(Client& client, const ReceivedPacket& packet);
  void OnSearch(Client& client, const ReceivedPacket& packet);
  void OnQueryMore(Client& client, const ReceivedPacket& packet);
  void OnGetSources(Client& client, const ReceivedPacket& packet);
  void AnswerSources(Client& client, const std::array<uint8_t, 16>& hash);
  void ForgetSources(int fd);
  void SendResultBatch(Client& client);
  void OnUdpSearch(const ReceivedPacket& packet, uint32_t fromAddress);

  void SendTo(Client& client, const std::vector<uint8_t>& bytes);
  void SendUdp(uint32_t toAddress, uint16_t toPort, const std::vector<uint8_t>& bytes);
  std::vector<uint8_t> ServerListPayload(const Settings& settings) const;
  std::vector<uint8_t> IdentPayload(const Settings& settings) const;

  static const std::map<uint8_t, TcpHandler> kTcpHandlers;
  static const std::map<uint8_t, UdpHandler> kUdpHandlers;

  mutable std::recursive_mutex lock_;
  mutable std::condition_variable_any receivedCv_;
  Settings settings_;
  TestSearchIndex index_;
  // Every client that offered a file, by file hash: the index keeps only the latest offer.
  struct OfferedSource {
    IndexServerEntry endpoint;
    int offeredBy = -1;  // the offering connection, left out of its own source answers
  };
  std::map<std::array<uint8_t, 16>, std::vector<OfferedSource>> sources_;
  std::vector<ReceivedPacket> received_;
  std::vector<Client> clients_;
  uint16_t port_ = 0;
  int listenFd_ = -1;
  int udpFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<uint16_t> lastUdpPort_{0};
  uint32_t logins_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarn::test
