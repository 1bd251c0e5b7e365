#include "tests/support/TestIndexServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace tarn::test {
namespace {

constexpr uint8_t kEd2k = 0xE3;
constexpr uint32_t kMaxPacket = 2u * 1024 * 1024;

void Put32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}
void PutText(std::vector<uint8_t>& out, const std::string& text) {
  Put16(out, static_cast<uint16_t>(text.size()));
  out.insert(out.end(), text.begin(), text.end());
}
// A classic string tag named by a one-byte id.
void PutStringTag(std::vector<uint8_t>& out, uint8_t id, const std::string& text) {
  out.push_back(0x02);
  Put16(out, 1);
  out.push_back(id);
  PutText(out, text);
}
uint32_t Get32(const std::vector<uint8_t>& in, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | in[at + i];
  return value;
}

}  // namespace

const std::map<uint8_t, TestIndexServer::TcpHandler> TestIndexServer::kTcpHandlers = {
    {0x01, &TestIndexServer::OnLogin},
    {0x14, &TestIndexServer::OnGetServerList},
    {0x15, &TestIndexServer::OnOfferFiles},
    {0x16, &TestIndexServer::OnSearch},
    {0x21, &TestIndexServer::OnQueryMore},
    {0x19, &TestIndexServer::OnGetSources},
};

const std::map<uint8_t, TestIndexServer::UdpHandler> TestIndexServer::kUdpHandlers = {
    {0x96, &TestIndexServer::OnUdpStatus},
    {0xA2, &TestIndexServer::OnUdpDescription},
    {0xA0, &TestIndexServer::OnUdpServerList},
    {0xA4, &TestIndexServer::OnUdpServerList},
    {0x92, &TestIndexServer::OnUdpSearch},
    {0x98, &TestIndexServer::OnUdpSearch},
};

TestIndexServer::TestIndexServer() : TestIndexServer(Settings{}) {}
TestIndexServer::TestIndexServer(Settings settings) : settings_(std::move(settings)) {
  // No connection has a negative descriptor, so nobody's own offer and no hang-up matches.
  for (const auto& [hash, endpoint] : settings_.fixedSources)
    sources_[hash].push_back({endpoint, -2});
}
TestIndexServer::~TestIndexServer() { Stop(); }

uint32_t TestIndexServer::Address() const {
  in_addr parsed{};
  inet_pton(AF_INET, SettingsCopy().address.c_str(), &parsed);
  return parsed.s_addr;
}

std::string TestIndexServer::AddressText() const { return SettingsCopy().address; }

TestIndexServer::Settings TestIndexServer::SettingsCopy() const {
  std::lock_guard guard(lock_);
  return settings_;
}

void TestIndexServer::Update(const std::function<void(Settings&)>& change) {
  std::lock_guard guard(lock_);
  change(settings_);
}

bool TestIndexServer::Bind(uint16_t port) {
  const uint32_t address = Address();
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_addr.s_addr = address;
  local.sin_port = htons(port);
  listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (bind(listenFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      listen(listenFd_, 8) != 0) {
    close(listenFd_);
    listenFd_ = -1;
    return false;
  }
  socklen_t length = sizeof local;
  getsockname(listenFd_, reinterpret_cast<sockaddr*>(&local), &length);
  port_ = ntohs(local.sin_port);
  udpFd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  local.sin_port = htons(static_cast<uint16_t>(port_ + 4));
  if (bind(udpFd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(udpFd_);
    close(listenFd_);
    udpFd_ = listenFd_ = -1;
    return false;
  }
  return true;
}

bool TestIndexServer::Start() {
  const uint16_t wanted = SettingsCopy().port;
  bool bound = false;
  for (int attempt = 0; attempt < 50 && !bound; ++attempt) bound = Bind(wanted);
  if (!bound) return false;
  wakeFd_ = eventfd(0, EFD_CLOEXEC);
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TestIndexServer::Stop() {
  if (!thread_.joinable()) return;
  stop_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] auto written = write(wakeFd_, &one, sizeof one);
  thread_.join();
  std::lock_guard guard(lock_);
  for (Client& client : clients_) close(client.fd);
  clients_.clear();
  for (int* fd : {&listenFd_, &udpFd_, &wakeFd_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
}

void TestIndexServer::Run() {
  while (!stop_) {
    std::vector<pollfd> fds = {{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}, {udpFd_, POLLIN, 0}};
    {
      std::lock_guard guard(lock_);
      for (const Client& client : clients_) fds.push_back({client.fd, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 200) <= 0) continue;
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) AcceptClient();
    if (fds[2].revents & POLLIN) ReadDatagram();
    std::lock_guard guard(lock_);
    for (size_t i = 3; i < fds.size(); ++i) {
      if (!fds[i].revents) continue;
      auto client = std::find_if(clients_.begin(), clients_.end(),
                                 [&](const Client& c) { return c.fd == fds[i].fd; });
      if (client == clients_.end() || ReadClient(*client)) continue;
      ForgetSources(client->fd);
      close(client->fd);
      clients_.erase(client);
    }
  }
}

void TestIndexServer::AcceptClient() {
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return;
  std::lock_guard guard(lock_);
  Client client;
  client.fd = fd;
  clients_.push_back(std::move(client));
}

bool TestIndexServer::ReadClient(Client& client) {
  uint8_t chunk[65536];
  const ssize_t got = recv(client.fd, chunk, sizeof chunk, 0);
  if (got <= 0) return false;
  client.buffer.insert(client.buffer.end(), chunk, chunk + got);
  while (client.buffer.size() >= 6) {
    const uint32_t length = Get32(client.buffer, 1);
    if (length == 0 || length > kMaxPacket) return false;
    if (client.buffer.size() < 5 + size_t{length}) break;
    ReceivedPacket packet;
    packet.protocol = client.buffer[0];
    packet.opcode = client.buffer[5];
    packet.payload.assign(client.buffer.begin() + 6, client.buffer.begin() + 5 + length);
    client.buffer.erase(client.buffer.begin(), client.buffer.begin() + 5 + length);
    Record(packet);
    const auto handler = kTcpHandlers.find(packet.opcode);
    if (packet.protocol == kEd2k && handler != kTcpHandlers.end())
      (this->*handler->second)(client, packet);
  }
  return true;
}

void TestIndexServer::ReadDatagram() {
  uint8_t datagram[65536];
  sockaddr_in from{};
  socklen_t length = sizeof from;
  const ssize_t got =
      recvfrom(udpFd_, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &length);
  if (got < 2) return;
  ReceivedPacket packet;
  packet.udp = true;
  packet.protocol = datagram[0];
  packet.opcode = datagram[1];
  packet.payload.assign(datagram + 2, datagram + got);
  packet.fromPort = ntohs(from.sin_port);
  lastUdpPort_ = packet.fromPort;
  Record(packet);
  const auto handler = kUdpHandlers.find(packet.opcode);
  if (packet.protocol == kEd2k && handler != kUdpHandlers.end())
    (this->*handler->second)(packet, from.sin_addr.s_addr);
}

void TestIndexServer::Record(const ReceivedPacket& packet) {
  {
    std::lock_guard guard(lock_);
    received_.push_back(packet);
  }
  receivedCv_.notify_all();
}

std::vector<uint8_t> TestIndexServer::TcpPacket(uint8_t opcode,
                                                const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out{kEd2k};
  Put32(out, static_cast<uint32_t>(payload.size() + 1));
  out.push_back(opcode);
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

std::vector<uint8_t> TestIndexServer::UdpPacket(uint8_t opcode,
                                                const std::vector<uint8_t>& payload) {
  std::vector<uint8_t> out{kEd2k, opcode};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

void TestIndexServer::SendTo(Client& client, const std::vector<uint8_t>& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(client.fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void TestIndexServer::SendUdp(uint32_t toAddress, uint16_t toPort,
                              const std::vector<uint8_t>& bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = toAddress;
  to.sin_port = htons(toPort);
  sendto(udpFd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
}

std::vector<uint8_t> TestIndexServer::ServerListPayload(const Settings& settings) const {
  std::vector<uint8_t> payload{static_cast<uint8_t>(settings.serverList.size())};
  for (const IndexServerEntry& entry : settings.serverList) {
    Put32(payload, entry.address);
    Put16(payload, entry.port);
  }
  return payload;
}

std::vector<uint8_t> TestIndexServer::IdentPayload(const Settings& settings) const {
  std::vector<uint8_t> payload(16, 0xAB);
  Put32(payload, Address());
  Put16(payload, port_);
  Put32(payload, 2);
  PutStringTag(payload, 0x01, settings.name);
  PutStringTag(payload, 0x0B, settings.description);
  return payload;
}

void TestIndexServer::OnLogin(Client& client, const ReceivedPacket& packet) {
  const Settings settings = settings_;  // the caller holds the lock
  if (!settings.answerLogin) return;
  // The id is an address in wire order: its last octet is the highest byte.
  const uint32_t loginId =
      settings.distinctLoginIds ? settings.loginId + (logins_++ << 24) : settings.loginId;
  client.endpoint.address = loginId;
  if (packet.payload.size() >= 22)
    client.endpoint.port = static_cast<uint16_t>(packet.payload[20] | packet.payload[21] << 8);
  for (const std::string& message : settings.loginMessages) {
    std::vector<uint8_t> payload;
    PutText(payload, message);
    SendTo(client, TcpPacket(0x38, payload));
  }
  std::vector<uint8_t> id;
  Put32(id, loginId);
  Put32(id, settings.tcpFlags);
  SendTo(client, TcpPacket(0x40, id));
  std::vector<uint8_t> status;
  Put32(status, settings.users);
  Put32(status, settings.files);
  SendTo(client, TcpPacket(0x34, status));
}

void TestIndexServer::OnGetServerList(Client& client, const ReceivedPacket&) {
  SendTo(client, TcpPacket(0x32, ServerListPayload(settings_)));
  SendTo(client, TcpPacket(0x41, IdentPayload(settings_)));
}

void TestIndexServer::OnUdpStatus(const ReceivedPacket& packet, uint32_t fromAddress) {
  const Settings settings = SettingsCopy();
  if (!settings.answerUdp || packet.payload.size() < 4) return;
  std::vector<uint8_t> payload;
  Put32(payload, Get32(packet.payload, 0));  // the challenge comes back
  for (uint32_t value : {settings.users, settings.files, settings.users * 2, settings.files * 2,
                         settings.files * 3, settings.udpFlags, uint32_t{1}})
    Put32(payload, value);
  SendUdp(fromAddress, packet.fromPort, UdpPacket(0x97, payload));
}

void TestIndexServer::OnUdpDescription(const ReceivedPacket& packet, uint32_t fromAddress) {
  const Settings settings = SettingsCopy();
  if (!settings.answerUdp) return;
  std::vector<uint8_t> payload;
  if (settings.taggedDescription && packet.payload.size() >= 4) {
    Put32(payload, Get32(packet.payload, 0));
    Put32(payload, 2);
    PutStringTag(payload, 0x01, settings.name);
    PutStringTag(payload, 0x0B, settings.description);
  } else {
    PutText(payload, settings.name);
    PutText(payload, settings.description);
  }
  SendUdp(fromAddress, packet.fromPort, UdpPacket(0xA3, payload));
}

void TestIndexServer::OnUdpServerList(const ReceivedPacket& packet, uint32_t fromAddress) {
  const Settings settings = SettingsCopy();
  if (!settings.answerUdp) return;
  SendUdp(fromAddress, packet.fromPort, UdpPacket(0xA1, ServerListPayload(settings)));
}

void TestIndexServer::AddFile(const IndexedFile& file) {
  std::lock_guard guard(lock_);
  index_.Add(file);
}

size_t TestIndexServer::IndexedFileCount() const {
  std::lock_guard guard(lock_);
  return index_.Count();
}

// The handlers of the TCP side run with the lock held.
void TestIndexServer::OnOfferFiles(Client& client, const ReceivedPacket& packet) {
  const auto files = ReadOfferedFiles(packet.payload);
  if (!files) return;
  for (IndexedFile file : *files) {
    // Clients of a server with compression mark their files complete or not in place of
    // their address; the server puts in the address it knows them by.
    if (file.clientId == 0xFBFBFBFBu || file.clientId == 0xFCFCFCFCu) {
      file.clientId = client.endpoint.address;
      file.port = client.endpoint.port;
    }
    index_.Add(file);
    auto& offered = sources_[file.hash];
    const bool known = std::any_of(offered.begin(), offered.end(), [&client](const auto& held) {
      return held.offeredBy == client.fd;
    });
    if (!known && file.port != 0) offered.push_back({{file.clientId, file.port}, client.fd});
  }
}

// A client gone is no source any more; its descriptor number may come back for another one.
void TestIndexServer::ForgetSources(int fd) {
  for (auto entry = sources_.begin(); entry != sources_.end();) {
    std::erase_if(entry->second, [fd](const OfferedSource& source) { return source.offeredBy == fd; });
    entry = entry->second.empty() ? sources_.erase(entry) : std::next(entry);
  }
}

// Answers each entry of a source request with the clients that offered the file, matched by
// hash. An entry is the hash and the 32-bit size, or for a large file the hash, a 32-bit zero
// and the 64-bit size.
void TestIndexServer::OnGetSources(Client& client, const ReceivedPacket& packet) {
  const std::vector<uint8_t>& in = packet.payload;
  for (size_t at = 0; at + 20 <= in.size();) {
    std::array<uint8_t, 16> hash{};
    std::copy_n(in.begin() + static_cast<std::ptrdiff_t>(at), hash.size(), hash.begin());
    const bool large = Get32(in, at + 16) == 0;
    at += large ? 28 : 20;
    if (at > in.size()) return;
    AnswerSources(client, hash);
  }
}

void TestIndexServer::AnswerSources(Client& client, const std::array<uint8_t, 16>& hash) {
  const auto found = sources_.find(hash);
  if (found == sources_.end()) return;
  std::vector<uint8_t> entries;
  uint8_t count = 0;
  for (const OfferedSource& source : found->second) {
    if (source.offeredBy == client.fd || count == 255) continue;
    Put32(entries, source.endpoint.address);
    Put16(entries, source.endpoint.port);
    ++count;
  }
  if (count == 0) return;
  std::vector<uint8_t> payload(hash.begin(), hash.end());
  payload.push_back(count);
  payload.insert(payload.end(), entries.begin(), entries.end());
  SendTo(client, TcpPacket(0x42, payload));
}

void TestIndexServer::OnSearch(Client& client, const ReceivedPacket& packet) {
  if (!settings_.answerSearches) return;
  auto found = index_.Search(packet.payload);
  client.pendingResults = found ? std::move(*found) : std::vector<IndexedFile>();
  SendResultBatch(client);
}

void TestIndexServer::OnQueryMore(Client& client, const ReceivedPacket&) {
  if (!client.pendingResults.empty()) SendResultBatch(client);
}

void TestIndexServer::SendResultBatch(Client& client) {
  std::vector<IndexedFile>& pending = client.pendingResults;
  const size_t limit = settings_.resultsPerAnswer;
  const size_t count = limit == 0 ? pending.size() : std::min(limit, pending.size());
  const std::span<const IndexedFile> batch(pending.data(), count);
  const bool more = count < pending.size();
  SendTo(client, TcpPacket(0x33, SearchAnswerPayload(batch, more)));
  pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(count));
}

void TestIndexServer::OnUdpSearch(const ReceivedPacket& packet, uint32_t fromAddress) {
  std::optional<std::vector<IndexedFile>> found;
  size_t perDatagram = 1;
  {
    std::lock_guard guard(lock_);
    if (!settings_.answerSearches) return;
    found = index_.Search(packet.payload);
    perDatagram = settings_.answersPerDatagram;
  }
  if (!found) return;
  for (const std::vector<uint8_t>& datagram : GlobalSearchDatagrams(*found, perDatagram))
    SendUdp(fromAddress, packet.fromPort, datagram);
}

void TestIndexServer::SendRaw(const std::vector<uint8_t>& bytes) {
  std::lock_guard guard(lock_);
  for (Client& client : clients_) SendTo(client, bytes);
}

void TestIndexServer::SendServerMessage(const std::string& text) {
  std::vector<uint8_t> payload;
  PutText(payload, text);
  SendRaw(TcpPacket(0x38, payload));
}

void TestIndexServer::SendPacket(uint8_t opcode, const std::vector<uint8_t>& payload) {
  SendRaw(TcpPacket(opcode, payload));
}

void TestIndexServer::SendDatagram(uint16_t toPort, uint8_t opcode,
                                   const std::vector<uint8_t>& payload) {
  in_addr loopback{};
  inet_pton(AF_INET, "127.0.0.1", &loopback);
  SendUdp(loopback.s_addr, toPort, UdpPacket(opcode, payload));
}

void TestIndexServer::DropClients() {
  std::lock_guard guard(lock_);
  for (Client& client : clients_) {
    const linger hard{1, 0};
    setsockopt(client.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    ForgetSources(client.fd);
    close(client.fd);
  }
  clients_.clear();
}

size_t TestIndexServer::ClientCount() const {
  std::lock_guard guard(lock_);
  return clients_.size();
}

std::vector<ReceivedPacket> TestIndexServer::Received() const {
  std::lock_guard guard(lock_);
  return received_;
}

size_t TestIndexServer::CountReceived(uint8_t opcode, bool udp) const {
  std::lock_guard guard(lock_);
  return std::count_if(received_.begin(), received_.end(), [&](const ReceivedPacket& packet) {
    return packet.opcode == opcode && packet.udp == udp;
  });
}

bool TestIndexServer::WaitForPackets(uint8_t opcode, bool udp, size_t count,
                                     std::chrono::milliseconds deadline) const {
  std::unique_lock guard(lock_);
  return receivedCv_.wait_for(guard, deadline, [&] {
    return static_cast<size_t>(
               std::count_if(received_.begin(), received_.end(), [&](const ReceivedPacket& p) {
                 return p.opcode == opcode && p.udp == udp;
               })) >= count;
  });
}

void TestIndexServer::ClearReceived() {
  std::lock_guard guard(lock_);
  received_.clear();
}

std::vector<ReceivedPacket> TestIndexServer::TakeReceived() {
  std::vector<ReceivedPacket> taken;
  std::lock_guard guard(lock_);
  taken.swap(received_);
  return taken;
}

}  // namespace tarn::test
