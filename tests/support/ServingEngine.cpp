#include "tests/support/ServingEngine.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>

#include "engine/base/IdentityKey.h"
#include "engine/hashing/HashConstants.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "framework/CriticalSection.h"
#include "tests/support/FakeTransferData.h"

namespace tarn::test {

using P2P::Shared::File::TransferFile::CTARNNetTransferFile;
using P2P::Shared::File::TransferFile::CTransferFilePtr;

bool ServingEngine::ReadPattern(uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
  const auto& parts = options_.verifiedParts;
  for (uint32_t part = start / P2P::HASH::kPartSize;
       !parts.empty() && start < end && part <= (end - 1) / P2P::HASH::kPartSize; ++part)
    if (part >= parts.size() || parts[part] == 0) unverifiedReads_ += end - start;
  data.resize(end - start);
  for (uint32_t i = start; i < end; ++i) data[i - start] = ByteAt(i);
  return true;
}

bool ServingEngine::Start(const Options& options) {
  options_ = options;
  own_.userHash.bytes.fill(0xE7);
  own_.userName = "serving";
  own_.capabilities = 1u << 16;  // secure identification version 1
  own_.maxConnections = options.maxConnections;
  own_.uploadSlots = options.scheduler.slots;
  own_.maxQueue = options.scheduler.maxQueue;
  own_.maxUploadKiB = options.maxUploadKiB;

  hash_.bytes.fill(0x5A);
  hash_.bytes[0] = 0x01;
  file_ = CTransferFilePtr(new CTARNNetTransferFile());
  file_->SetHash(hash_);
  file_->SetName("served.bin");
  file_->SetSize(options.fileSize);
  file_->AttachData(std::make_shared<FakeTransferData>(
      [this](uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
        return ReadPattern(start, end, data);
      },
      options.verifiedParts.empty()));
  if (!options.verifiedParts.empty()) {
    OSTREL::Process::CLock guard(file_->LockObject());
    file_->CompletionBitmap() = options.verifiedParts;
  }

  credits_ = std::make_unique<P2P::Credit::CTARNNetClientCreditList>();
  static const std::string key = P2P::GenerateIdentityKey().value_or("");
  if (!credits_->SetPrivateKey({reinterpret_cast<const uint8_t*>(key.data()), key.size()}))
    return false;
  auto findFile = [this](const P2P::_tagUnionHash& wanted) {
    return wanted == hash_ ? file_ : CTransferFilePtr();
  };
  context_ = std::make_unique<P2P::CPeerSessionContext>(own_);
  service_ = std::make_unique<P2P::CTARNNetUploadService>(findFile, P2P::CreditHooksOf(*credits_),
                                                          options.scheduler);
  service_->ApplyConfig(own_);
  service_->SetResumeHook([this] { context_->served.ResumeWaiting(); });
  context_->identity = credits_.get();
  context_->uploads = service_.get();
  context_->findFile = findFile;
  context_->clients = &clients_;
  // Waiters without a session are called back for their slot, as the engine root does.
  clients_.SetConnectHook([this](const P2P::Client::CClientPtr& client, bool callback) {
    auto* session = new P2P::CTARNNetC2CTCPConnecterT(*context_, client);
    session->AddRef();
    const bool connecting = session->ConnectTo(manager_, callback);
    session->Release();
    return connecting;
  });
  context_->served.SetCallBack([this](const P2P::Client::_tagStructUploadRequester& waiter) {
    if (!clients_.CallForSlot(waiter.address, waiter.tcpPort, waiter.userHash, waiter.fileHash))
      context_->served.Deliver(service_->OnSessionClosed(waiter.userHash));
  });
  started_ = true;
  if (options.udp) {
    if (!udp_.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1")) return false;
    udp_.SetUploadService(service_.get());
    own_.udpPort = udp_.GetLocalPort();
    own_.capabilities |= 4u << 24;  // UDP version 4
  }
  if (!manager_.Start()) return false;
  if (!listener_.Create(0, SOCK_STREAM, 0, AF_INET, "127.0.0.1") || !listener_.Listen(512))
    return false;
  port_ = listener_.GetLocalPort();
  listener_.SetSessionOwner(context_.get(), &manager_);
  if (options.passMs > 0)
    pass_ = std::thread([this] {
      while (!stopping_.load()) {
        Pass();
        std::this_thread::sleep_for(std::chrono::milliseconds(options_.passMs));
      }
    });
  return true;
}

void ServingEngine::Pass() {
  context_->served.Deliver(service_->Tick());
  context_->served.ResumeWaiting();
}

void ServingEngine::Stop() {
  if (!started_) return;
  started_ = false;
  stopping_.store(true);
  if (pass_.joinable()) pass_.join();
  listener_.SetSessionOwner(nullptr, nullptr);
  listener_.Close(true);
  udp_.SetUploadService(nullptr);
  udp_.Close(true);
  manager_.Stop();
  clients_.SetConnectHook(nullptr);
  clients_.ClearAll();
  service_.reset();
  context_.reset();
  file_->AttachData(nullptr);
  file_ = CTransferFilePtr();
}

}  // namespace tarn::test
