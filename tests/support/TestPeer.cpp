#include "tests/support/TestPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstring>

#include "engine/base/ClientConfig.h"
#include "engine/hashing/AICHTree.h"
#include "engine/hashing/Digest.h"
#include "engine/protocol/PeerMessages.h"

namespace tarn::test {
namespace {

constexpr uint8_t kEd2k = 0xE3;
constexpr uint8_t kExtended = 0xC5;
constexpr uint8_t kPacked = 0xD4;
constexpr uint32_t kPartSize = 9728000;
constexpr uint32_t kMaxPacket = 2u * 1024 * 1024;
constexpr uint32_t kMaxRequestBlock = 184320;
// Files above this size are exchanged only in the 64-bit forms, with peers that take them.
constexpr uint64_t kMaxSmallFile = 4290048000u;
constexpr uint8_t kLargeFilesBit = 1u << 4;  // of the hello's tag 0xFE
constexpr uint8_t kCompressedPartWide = 0xA1;
constexpr uint8_t kSendingPartWide = 0xA2;
constexpr uint8_t kRequestPartsWide = 0xA3;

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Put64(std::vector<uint8_t>& out, uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
uint64_t ThreadCpuNanos() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}
uint32_t Get32(const std::vector<uint8_t>& in, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | in[at + i];
  return value;
}
uint64_t Get64(const std::vector<uint8_t>& in, size_t at) {
  return uint64_t{Get32(in, at + 4)} << 32 | Get32(in, at);
}
// The downloader's hello sets the large-file bit of its second misc-options word (tag 0xFE).
bool HelloTakesLargeFiles(const std::vector<uint8_t>& hello) {
  P2P::Protocol::_tagStructPeerIdentity identity;
  return P2P::Protocol::ReadHello(hello, false, identity) &&
         (identity.extraValues[2] & kLargeFilesBit) != 0;
}
std::array<uint8_t, 16> Md4(const uint8_t* data, size_t size) {
  const P2P::_tagUnionHash hash = P2P::HASH::MD4Of({data, size});
  std::array<uint8_t, 16> out{};
  std::memcpy(out.data(), hash.bytes.data(), out.size());
  return out;
}
std::vector<uint8_t> Deflate(std::span<const uint8_t> data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()),
                Z_BEST_SPEED) != Z_OK)
    return {};
  out.resize(size);
  return out;
}

}  // namespace

TestPeer::TestPeer(Settings settings)
    : settings_(std::move(settings)),
      content_(std::move(settings_.content)),
      size_(settings_.sparseSize != 0 ? settings_.sparseSize : content_.size()),
      extents_(std::move(settings_.extents)) {
  settings_.content.clear();
  settings_.extents.clear();
  if (settings_.aich && settings_.sparseSize == 0) BuildAichTree();
  HashParts();
}

bool TestPeer::IsLarge() const { return size_ > kMaxSmallFile; }

std::vector<uint8_t> TestPeer::Bytes(uint64_t start, uint64_t end) const {
  if (settings_.sparseSize == 0)
    return {content_.begin() + static_cast<ptrdiff_t>(start),
            content_.begin() + static_cast<ptrdiff_t>(end)};
  std::vector<uint8_t> bytes(end - start, 0);
  for (const Extent& extent : extents_) {
    const uint64_t from = std::max(start, extent.offset);
    const uint64_t to = std::min(end, extent.offset + extent.bytes.size());
    for (uint64_t at = from; at < to; ++at) bytes[at - start] = extent.bytes[at - extent.offset];
  }
  return bytes;
}

void TestPeer::HashParts() {
  if (size_ < kPartSize) {
    const std::vector<uint8_t> all = Bytes(0, size_);
    fileHash_ = Md4(all.data(), all.size());
    return;
  }
  // One hash per part and, for an exact multiple of the part size, the empty last part's. A
  // whole part of a sparse file that no extent touches is all zeros: hashed once.
  std::optional<std::array<uint8_t, 16>> zeroPart;
  for (uint64_t start = 0; start <= size_; start += kPartSize) {
    const uint64_t end = std::min<uint64_t>(start + kPartSize, size_);
    const bool untouched =
        settings_.sparseSize != 0 && end - start == kPartSize &&
        std::none_of(extents_.begin(), extents_.end(), [&](const Extent& extent) {
          return extent.offset < end && extent.offset + extent.bytes.size() > start;
        });
    if (untouched && zeroPart) {
      partHashes_.push_back(*zeroPart);
      continue;
    }
    const std::vector<uint8_t> part = Bytes(start, end);
    partHashes_.push_back(Md4(part.data(), part.size()));
    if (untouched) zeroPart = partHashes_.back();
  }
  std::vector<uint8_t> all;
  for (const auto& hash : partHashes_) all.insert(all.end(), hash.begin(), hash.end());
  fileHash_ = Md4(all.data(), all.size());
}

TestPeer::~TestPeer() { Stop(); }

void TestPeer::BuildAichTree() {
  const auto size = static_cast<uint32_t>(content_.size());
  P2P::HASH::CTARNNetAICHTree tree(size);
  for (uint32_t part = 0; uint64_t{part} * kPartSize < size; ++part) {
    const uint32_t partEnd = std::min<uint32_t>(size, (part + 1) * kPartSize);
    for (uint32_t block = part * kPartSize; block < partEnd; block += kMaxRequestBlock) {
      const uint32_t length = std::min(kMaxRequestBlock, partEnd - block);
      if (!tree.SetRangeHash(block, length, P2P::HASH::SHA1Of({content_.data() + block, length})))
        return;
    }
  }
  if (!tree.ComputeAndVerify()) return;
  std::array<uint8_t, 20> root{};
  std::copy(tree.Root().hash.bytes.begin(), tree.Root().hash.bytes.end(), root.begin());
  aichRoot_ = root;
  for (uint32_t part = 0; uint64_t{part} * kPartSize < size; ++part) {
    std::vector<uint8_t> data;
    P2P::Protocol::CStreamWriter writer(data);
    if (!tree.CreateRecoveryData(part, writer)) data.clear();
    recovery_.push_back(std::move(data));
  }
}

bool TestPeer::Start() {
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  wakeFd_ = eventfd(0, EFD_CLOEXEC);
  if (listenFd_ < 0 || wakeFd_ < 0) return false;
  const int yes = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(settings_.port);
  if (inet_pton(AF_INET, settings_.address.c_str(), &address.sin_addr) != 1) return false;
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listenFd_, 16) != 0)
    return false;
  socklen_t length = sizeof address;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TestPeer::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    thread_.join();
  }
  for (Connection& connection : connectionList_) close(connection.fd);
  connectionList_.clear();
  if (listenFd_ >= 0) close(listenFd_);
  if (wakeFd_ >= 0) close(wakeFd_);
  listenFd_ = wakeFd_ = -1;
}

uint32_t TestPeer::Address() const {
  in_addr address{};
  inet_pton(AF_INET, settings_.address.c_str(), &address);
  return address.s_addr;
}

void TestPeer::Update(const std::function<void(Settings&)>& change) {
  std::lock_guard guard(lock_);
  change(settings_);
}

TestPeer::Settings TestPeer::SettingsCopy() const {
  std::lock_guard guard(lock_);
  return settings_;
}

std::vector<PeerPacket> TestPeer::Received() const {
  std::lock_guard guard(lock_);
  return received_;
}

size_t TestPeer::CountReceived(uint8_t protocol, uint8_t opcode) const {
  std::lock_guard guard(lock_);
  return static_cast<size_t>(std::count_if(received_.begin(), received_.end(), [&](const auto& p) {
    return p.protocol == protocol && p.opcode == opcode;
  }));
}

bool TestPeer::WaitForPacket(uint8_t protocol, uint8_t opcode, size_t count,
                             std::chrono::milliseconds deadline) const {
  std::unique_lock guard(lock_);
  return receivedCv_.wait_for(guard, deadline, [&] {
    return static_cast<size_t>(std::count_if(received_.begin(), received_.end(), [&](const auto& p) {
             return p.protocol == protocol && p.opcode == opcode;
           })) >= count;
  });
}

std::vector<uint8_t> TestPeer::Packet(uint8_t protocol, uint8_t opcode,
                                      const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out{protocol};
  Put32(out, static_cast<uint32_t>(payload.size() + 1));
  out.push_back(opcode);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<uint8_t> TestPeer::PackedPacket(uint8_t opcode, const std::vector<uint8_t>& payload) {
  return Packet(kPacked, opcode, Deflate(payload));
}

void TestPeer::Run() {
  while (!stop_) {
    std::vector<pollfd> fds = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    for (const Connection& connection : connectionList_) fds.push_back({connection.fd, POLLIN, 0});
    if (poll(fds.data(), fds.size(), 20) < 0) continue;
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) AcceptConnection();
    std::vector<int> closed;
    for (size_t i = 2; i < fds.size(); ++i) {
      auto connection = std::find_if(connectionList_.begin(), connectionList_.end(),
                                     [&](const Connection& c) { return c.fd == fds[i].fd; });
      if (connection == connectionList_.end()) continue;
      if (fds[i].revents && !ReadConnection(*connection)) closed.push_back(connection->fd);
    }
    // A granted upload after the queue wait.
    const auto now = std::chrono::steady_clock::now();
    for (Connection& connection : connectionList_)
      if (connection.acceptPending && now >= connection.acceptAt) {
        connection.acceptPending = false;
        if (!SendTo(connection, Packet(kEd2k, P2P::Protocol::kOpAcceptUploadRequest, {})))
          closed.push_back(connection.fd);
      }
    for (int fd : closed) {
      close(fd);
      std::erase_if(connectionList_, [fd](const Connection& c) { return c.fd == fd; });
    }
  }
}

void TestPeer::AcceptConnection() {
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  ++connections_;
  Connection connection;
  connection.fd = fd;
  connection.silent = SettingsCopy().misbehave == Misbehaviour::kSilent;
  connectionList_.push_back(std::move(connection));
}

bool TestPeer::ReadConnection(Connection& connection) {
  uint8_t chunk[65536];
  const ssize_t got = recv(connection.fd, chunk, sizeof chunk, 0);
  if (got <= 0) return false;
  connection.buffer.insert(connection.buffer.end(), chunk, chunk + got);
  const Settings settings = SettingsCopy();
  while (connection.buffer.size() >= 6) {
    const uint32_t length = Get32(connection.buffer, 1);
    if (length == 0 || length > kMaxPacket) return false;
    if (connection.buffer.size() < 5 + size_t{length}) break;
    PeerPacket packet;
    packet.protocol = connection.buffer[0];
    packet.opcode = connection.buffer[5];
    packet.payload.assign(connection.buffer.begin() + 6, connection.buffer.begin() + 5 + length);
    connection.buffer.erase(connection.buffer.begin(), connection.buffer.begin() + 5 + length);
    {
      std::lock_guard guard(lock_);
      received_.push_back(packet);
    }
    receivedCv_.notify_all();
    if (connection.silent) continue;
    if (!Handle(connection, packet, settings)) return false;
  }
  return true;
}

bool TestPeer::Handle(Connection& connection, const PeerPacket& packet, const Settings& settings) {
  using namespace P2P::Protocol;
  const auto& payload = packet.payload;
  // A large file is not offered to a downloader that does not take large files.
  const bool namesOurFile = payload.size() >= 16 &&
                            std::equal(fileHash_.begin(), fileHash_.end(), payload.begin()) &&
                            (!IsLarge() || connection.takesLargeFiles);
  std::vector<uint8_t> answer(fileHash_.begin(), fileHash_.end());
  if (packet.protocol == kEd2k) {
    switch (packet.opcode) {
      case kOpPeerHello:
        connection.takesLargeFiles = HelloTakesLargeFiles(payload);
        return SendTo(connection, Packet(kEd2k, kOpHelloAnswer, HelloAnswer(settings)));
      case kOpRequestFileName:
        if (!namesOurFile) return SendTo(connection, Packet(kEd2k, kOpFileNotFound, answer));
        Put16(answer, static_cast<uint16_t>(settings.name.size()));
        answer.insert(answer.end(), settings.name.begin(), settings.name.end());
        return SendTo(connection, Packet(kEd2k, kOpFileNameAnswer, answer));
      case kOpSetRequestedFile:
        if (!namesOurFile) return SendTo(connection, Packet(kEd2k, kOpFileNotFound, answer));
        return SendTo(connection, Packet(kEd2k, kOpFileStatus, FileStatus(settings)));
      case kOpHashSetRequest:
        if (!namesOurFile) return true;
        return SendTo(connection, Packet(kEd2k, kOpHashSetAnswer, HashSet(settings)));
      case kOpStartUploadRequest:
        if (settings.queueRank == 0)
          return SendTo(connection, Packet(kEd2k, kOpAcceptUploadRequest, {}));
        {
          std::vector<uint8_t> rank;
          Put16(rank, settings.queueRank);
          rank.resize(12, 0);
          connection.acceptPending = true;
          connection.acceptAt = std::chrono::steady_clock::now() + settings.acceptDelay;
          return SendExtended(connection, kOpQueueRank, rank, settings);
        }
      case kOpRequestParts:
        return ServeRequest(connection, packet, settings, false);
      case kOpCancelTransfer:
      case kOpEndOfDownload:
        connection.sent.Clear();  // the slot ends
        return true;
      default:
        return true;
    }
  }
  if (packet.protocol != kExtended) return true;
  switch (packet.opcode) {
    case kRequestPartsWide:
      return ServeRequest(connection, packet, settings, true);
    case kOpPublicIpRequest: {
      std::vector<uint8_t> address;
      Put32(address, 0x0100007F);  // 127.0.0.1 as peers see us on loopback
      return SendExtended(connection, kOpPublicIpAnswer, address, settings);
    }
    case kOpAichFileHashRequest: {
      const auto root = settings.aichRoot ? settings.aichRoot : aichRoot_;
      if (!namesOurFile || !root) return true;
      answer.insert(answer.end(), root->begin(), root->end());
      return SendExtended(connection, kOpAichFileHashAnswer, answer, settings);
    }
    case kOpAichRequest: {
      // Hash, u16 part, the root asked about: answered with that part's recovery data.
      if (!namesOurFile || payload.size() < 16 + 2 + 20 || !aichRoot_) return true;
      const uint16_t part = static_cast<uint16_t>(payload[16] | payload[17] << 8);
      if (part >= recovery_.size() || recovery_[part].empty() ||
          !std::equal(aichRoot_->begin(), aichRoot_->end(), payload.begin() + 18))
        return true;
      answer.insert(answer.end(), payload.begin() + 16, payload.begin() + 38);
      answer.insert(answer.end(), recovery_[part].begin(), recovery_[part].end());
      return SendExtended(connection, kOpAichAnswer, answer, settings);
    }
    default:
      return true;
  }
}

bool TestPeer::ServeRequest(Connection& connection, const PeerPacket& packet,
                            const Settings& settings, bool wide) {
  const size_t width = wide ? 8 : 4;
  if (packet.payload.size() < 16 + 6 * width || settings.misbehave == Misbehaviour::kIgnoreRequests)
    return true;
  // A file it does not offer this downloader is not served either.
  if (IsLarge() && !connection.takesLargeFiles) return true;
  std::array<uint64_t, 3> starts{}, ends{};
  for (size_t i = 0; i < 3; ++i) {
    starts[i] =
        wide ? Get64(packet.payload, 16 + width * i) : Get32(packet.payload, 16 + width * i);
    ends[i] = wide ? Get64(packet.payload, 16 + width * (3 + i))
                   : Get32(packet.payload, 16 + width * (3 + i));
  }
  for (size_t i = 0; i < 3; ++i) {
    if (starts[i] >= ends[i]) continue;
    if (ends[i] - starts[i] > kMaxRequestBlock || !HoldsRange(settings, starts[i], ends[i]))
      return SendTo(connection, Packet(kEd2k, P2P::Protocol::kOpOutOfPartRequests, {}));
    uint64_t start = starts[i], end = ends[i];
    if (settings.misbehave == Misbehaviour::kOutsideRequest &&
        misbehaved_ < settings.misbehaveBlocks) {
      ++misbehaved_;
      // The same length further on: a range no pair of the request covers.
      const uint64_t shift = std::min<uint64_t>(kMaxRequestBlock * 3, size_ - end);
      if (shift == 0) continue;
      start += shift;
      end += shift;
    }
    if (start != starts[i]) {
      if (!SendBlock(connection, start, end, settings)) return false;
      continue;
    }
    for (const auto& [from, to] : connection.sent.TakeNew(start, end))
      if (!SendBlock(connection, from, to, settings)) return false;
  }
  return true;
}

bool TestPeer::SendBlock(Connection& connection, uint64_t start, uint64_t end,
                         const Settings& settings) {
  std::vector<uint8_t> data = Bytes(start, end);
  // Every block of a large file goes in the 64-bit forms, whatever form asked for it.
  const bool wide = IsLarge();
  const auto putOffset = [wide](std::vector<uint8_t>& out, uint64_t value) {
    if (wide)
      Put64(out, value);
    else
      Put32(out, static_cast<uint32_t>(value));
  };
  if (settings.misbehave == Misbehaviour::kWrongData && misbehaved_ < settings.misbehaveBlocks) {
    ++misbehaved_;
    for (size_t i = 0; i < data.size(); i += 997) data[i] ^= 0x5A;
  }
  const bool cutShort =
      settings.misbehave == Misbehaviour::kDisconnectMidBlock && misbehaved_ == 0;
  ++blocksSent_;
  if (settings.misbehave == Misbehaviour::kZipBomb && misbehaved_ < settings.misbehaveBlocks) {
    ++misbehaved_;
    data.assign(16u * 1024 * 1024, 0);
  }
  if (settings.compressed || data.size() > end - start) {
    const std::vector<uint8_t> packed = Deflate(data);
    size_t limit = cutShort ? packed.size() / 2 : packed.size();
    for (size_t at = 0; at < limit; at += settings.packedSlice) {
      std::vector<uint8_t> payload(fileHash_.begin(), fileHash_.end());
      putOffset(payload, start);
      putOffset(payload, packed.size());
      const size_t slice = std::min(settings.packedSlice, packed.size() - at);
      payload.insert(payload.end(), packed.begin() + at, packed.begin() + at + slice);
      if (!SendExtended(connection, wide ? kCompressedPartWide : P2P::Protocol::kOpCompressedPart,
                        payload, settings))
        return false;
    }
  } else {
    size_t limit = cutShort ? data.size() / 2 : data.size();
    for (size_t at = 0; at < limit; at += settings.plainSlice) {
      const size_t slice = std::min(settings.plainSlice, data.size() - at);
      std::vector<uint8_t> payload(fileHash_.begin(), fileHash_.end());
      putOffset(payload, start + at);
      putOffset(payload, start + at + slice);
      payload.insert(payload.end(), data.begin() + at, data.begin() + at + slice);
      const bool sent =
          wide ? SendExtended(connection, kSendingPartWide, payload, settings)
               : SendTo(connection, Packet(kEd2k, P2P::Protocol::kOpSendingPart, payload));
      if (!sent) return false;
    }
  }
  cpuNanos_.store(ThreadCpuNanos());
  if (cutShort) {
    // An orderly close, so the half block already sent is read before the end.
    ++misbehaved_;
    return false;
  }
  return true;
}

bool TestPeer::SendTo(Connection& connection, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t now = send(connection.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (now <= 0) return false;
    sent += static_cast<size_t>(now);
  }
  return true;
}

bool TestPeer::SendExtended(Connection& connection, uint8_t opcode,
                            const std::vector<uint8_t>& payload, const Settings& settings) {
  return SendTo(connection, settings.packExtended ? PackedPacket(opcode, payload)
                                                  : Packet(kExtended, opcode, payload));
}

std::vector<uint8_t> TestPeer::HelloAnswer(const Settings& settings) const {
  P2P::_tagStructClientConfig own;
  own.userHash.bytes.fill(0x7E);
  own.userName = "test peer";
  own.clientId = Address();
  own.tcpPort = port_;
  own.ed2kVersion = 60;
  own.capabilities = settings.capabilities;
  own.helloTagValues = {0, 0, settings.largeFiles ? uint32_t{kLargeFilesBit} : 0u};
  return P2P::Protocol::BuildHelloPayload(own, true);
}

std::vector<uint8_t> TestPeer::FileStatus(const Settings& settings) const {
  std::vector<uint8_t> payload(fileHash_.begin(), fileHash_.end());
  const uint64_t size = size_;
  P2P::Protocol::CStreamWriter writer(payload);
  if (settings.misbehave == Misbehaviour::kBadPartCount) {
    const uint32_t count = P2P::Protocol::StatusPartCount(size) + 1;
    writer.WriteUInt16(static_cast<uint16_t>(count));
    writer.WriteBytes(std::vector<uint8_t>((count + 7) / 8, 0xFF));
    return payload;
  }
  P2P::Protocol::WritePartStatus(writer, size, settings.parts, settings.parts.empty());
  return payload;
}

std::vector<uint8_t> TestPeer::HashSet(const Settings& settings) const {
  std::vector<uint8_t> payload(fileHash_.begin(), fileHash_.end());
  Put16(payload, static_cast<uint16_t>(partHashes_.size()));
  for (size_t i = 0; i < partHashes_.size(); ++i) {
    std::array<uint8_t, 16> hash = partHashes_[i];
    if (i == 0 && settings.misbehave == Misbehaviour::kBadHashSet) hash[0] ^= 0xFF;
    payload.insert(payload.end(), hash.begin(), hash.end());
  }
  return payload;
}

bool TestPeer::HoldsRange(const Settings& settings, uint64_t start, uint64_t end) const {
  if (end > size_) return false;
  if (settings.parts.empty()) return true;
  const uint64_t part = start / kPartSize;
  return (end - 1) / kPartSize == part && part < settings.parts.size() && settings.parts[part];
}

}  // namespace tarn::test
