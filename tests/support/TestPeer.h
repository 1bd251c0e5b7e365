// A scriptable eD2K peer for tests, the demo and trying things by hand: it listens on a
// loopback address and serves one file from the other side of the peer protocol. It answers
// the hello, the file request sequence (file name, file status, hash set), grants uploads
// (at once, or after a queue rank and a delay) and sends requested blocks as plain or packed
// data packets, optionally in 0xD4-packed extended packets; it answers the AICH file hash
// request when given a root hash. As the network's established senders do, it sends each
// range at most once in an upload slot: a range asked again while queued or after it went
// out is skipped, and one new only in part is trimmed to the new pieces. It can be told to
// misbehave: wrong data, data outside the request, a hash set that does not match, a bitmap
// with the wrong part count, a disconnect in the middle of a block, or silence. It records
// every packet it received. Like live clients it says in its hello answer that it takes files
// above 4,290,048,000 bytes (unless told not to); such a file, held as a few extents of data in
// zeros, it offers only to a downloader whose hello says the same, and serves every block of it
// in the 64-bit forms.
// Runs on a thread of its own; every method may be called from any thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/upload/ServedRangeBook.h"

namespace tarn::test {

struct PeerPacket {
  uint8_t protocol = 0;
  uint8_t opcode = 0;
  std::vector<uint8_t> payload;
};

class TestPeer {
 public:
  enum class Misbehaviour {
    kNone,
    kWrongData,           // flips bytes in the first `misbehaveBlocks` blocks sent
    kOutsideRequest,      // answers the first request with a range nobody asked for
    kBadHashSet,          // one part hash of the hash set is wrong
    kBadPartCount,        // the file status counts one part too many
    kDisconnectMidBlock,  // sends half of the first block, then closes the connection
    kSilent,              // accepts connections and never answers
    kZipBomb,             // the first block comes packed, inflating far past its length
    kIgnoreRequests,      // grants the upload but never answers a block request
  };

  // Data at an offset of a sparse file; the rest of the file is zeros.
  struct Extent {
    uint64_t offset = 0;
    std::vector<uint8_t> bytes;
  };

  struct Settings {
    std::string address = "127.0.0.1";
    uint16_t port = 0;  // 0: any free port
    std::vector<uint8_t> content;  // taken over at construction; Update cannot change it
    // Nonzero: the file is this long, zeros but for `extents` (then `content` is unused).
    uint64_t sparseSize = 0;
    std::vector<Extent> extents;
    bool largeFiles = true;  // announced in the hello answer, as live clients do
    std::string name = "file.bin";
    // One byte per data part, 1 = held; empty: the whole file.
    std::vector<uint8_t> parts;
    bool compressed = false;      // blocks as packed 0xC5 0x40 slices
    bool packExtended = false;    // extended packets go out 0xD4-packed
    size_t plainSlice = 10240;    // bytes per plain data packet
    size_t packedSlice = 8192;    // packed bytes per compressed data packet
    uint16_t queueRank = 0;       // nonzero: a queue rank first, the accept after the delay
    std::chrono::milliseconds acceptDelay{0};
    std::optional<std::array<uint8_t, 20>> aichRoot;  // answered as the AICH root when set
    bool aich = false;  // builds the AICH tree of `content`: root and recovery data answered
    uint32_t capabilities = 0;    // sent in the hello answer
    Misbehaviour misbehave = Misbehaviour::kNone;
    uint32_t misbehaveBlocks = 1;
  };

  explicit TestPeer(Settings settings);
  ~TestPeer();
  TestPeer(const TestPeer&) = delete;
  TestPeer& operator=(const TestPeer&) = delete;

  bool Start();
  void Stop();

  uint16_t Port() const { return port_; }
  uint32_t Address() const;  // wire order
  std::array<uint8_t, 16> FileHash() const { return fileHash_; }
  const std::vector<std::array<uint8_t, 16>>& PartHashes() const { return partHashes_; }
  // The AICH root of the file's tree, when `aich` built one.
  std::optional<std::array<uint8_t, 20>> AichRoot() const { return aichRoot_; }

  void Update(const std::function<void(Settings&)>& change);
  size_t Connections() const { return connections_.load(); }
  size_t BlocksSent() const { return blocksSent_.load(); }
  // CPU time the peer's thread had used when it last sent a block.
  double CpuSeconds() const { return static_cast<double>(cpuNanos_.load()) / 1e9; }
  std::vector<PeerPacket> Received() const;
  size_t CountReceived(uint8_t protocol, uint8_t opcode) const;
  bool WaitForPacket(uint8_t protocol, uint8_t opcode, size_t count = 1,
                     std::chrono::milliseconds deadline = std::chrono::seconds(5)) const;

  // Packet builders, public for tests that script a peer by hand.
  static std::vector<uint8_t> Packet(uint8_t protocol, uint8_t opcode,
                                     const std::vector<uint8_t>& payload);
  static std::vector<uint8_t> PackedPacket(uint8_t opcode, const std::vector<uint8_t>& payload);

 private:
  struct Connection {
    int fd = -1;
    std::vector<uint8_t> buffer;
    std::chrono::steady_clock::time_point acceptAt{};
    bool acceptPending = false;
    bool silent = false;
    bool takesLargeFiles = false;  // the downloader's hello said so
    // What went out in the current upload slot; cleared when a slot starts or ends.
    P2P::Shared::File::TransferFile::CTARNNetServedRangeBook sent{256};
  };

  void BuildAichTree();
  void Run();
  void AcceptConnection();
  bool ReadConnection(Connection& connection);
  bool Handle(Connection& connection, const PeerPacket& packet, const Settings& settings);
  bool ServeRequest(Connection& connection, const PeerPacket& packet, const Settings& settings,
                    bool wide);
  bool SendBlock(Connection& connection, uint64_t start, uint64_t end, const Settings& settings);
  // The file's bytes in [start, end).
  std::vector<uint8_t> Bytes(uint64_t start, uint64_t end) const;
  bool IsLarge() const;
  void HashParts();
  bool SendTo(Connection& connection, const std::vector<uint8_t>& bytes);
  bool SendExtended(Connection& connection, uint8_t opcode, const std::vector<uint8_t>& payload,
                    const Settings& settings);
  std::vector<uint8_t> HelloAnswer(const Settings& settings) const;
  std::vector<uint8_t> FileStatus(const Settings& settings) const;
  std::vector<uint8_t> HashSet(const Settings& settings) const;
  bool HoldsRange(const Settings& settings, uint64_t start, uint64_t end) const;
  Settings SettingsCopy() const;

  mutable std::mutex lock_;
  mutable std::condition_variable receivedCv_;
  Settings settings_;
  const std::vector<uint8_t> content_;
  const uint64_t size_;
  const std::vector<Extent> extents_;
  std::array<uint8_t, 16> fileHash_{};
  std::vector<std::array<uint8_t, 16>> partHashes_;  // the hash set (empty: single part)
  std::optional<std::array<uint8_t, 20>> aichRoot_;  // of the file's tree, when built
  std::vector<std::vector<uint8_t>> recovery_;       // AICH recovery data of each part
  std::vector<PeerPacket> received_;
  std::vector<Connection> connectionList_;
  std::atomic<size_t> connections_{0};
  std::atomic<size_t> blocksSent_{0};
  std::atomic<uint64_t> cpuNanos_{0};
  uint32_t misbehaved_ = 0;  // blocks or requests spoiled so far; the thread's own
  uint16_t port_ = 0;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace tarn::test
