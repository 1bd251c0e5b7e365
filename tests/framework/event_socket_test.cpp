#include "framework/EventSocketImpl.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/LoopbackPair.h"
#include "tests/support/ManualClock.h"
#include "tests/support/WaitUntil.h"

namespace OSTREL::Network::Socket {
namespace {

using tarn::test::kLoopbackAddress;
using tarn::test::WaitUntil;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// Records which handlers ran, in order, with their error codes.
class Recorder {
 public:
  void Note(const std::string& what) {
    std::lock_guard guard(lock_);
    calls_.push_back(what);
  }
  std::vector<std::string> Calls() const {
    std::lock_guard guard(lock_);
    return calls_;
  }
  bool Saw(const std::string& what) const {
    const auto calls = Calls();
    return std::find(calls.begin(), calls.end(), what) != calls.end();
  }

 private:
  mutable std::mutex lock_;
  std::vector<std::string> calls_;
};

// A connecter with its own thread that records its handlers and keeps what it received.
template <typename Traits = CConnecterTraits, uint32_t Timeout = kNoTimeout>
class TestSocket : public CEventSocketImpl<TestSocket<Traits, Timeout>, Timeout, Traits> {
 public:
  using Base = CEventSocketImpl<TestSocket<Traits, Timeout>, Timeout, Traits>;
  ~TestSocket() override { Base::Close(true); }

  std::string Received() const {
    std::lock_guard guard(dataLock_);
    return received_;
  }

  Recorder record;
  std::function<void(TestSocket&)> onReceive;  // replaces the buffered receive when set
  std::function<void(TestSocket&)> onAccept;
  std::function<void(TestSocket&)> onConnect;

 protected:
  void OnReceive(int error) override {
    record.Note("read");
    if (onReceive) onReceive(*this);
    else Base::OnReceive(error);
  }
  void OnSend(int error) override {
    record.Note("write");
    Base::OnSend(error);
  }
  void OnConnect(int) override {
    record.Note("connect");
    if (onConnect) onConnect(*this);
  }
  void OnClose(int) override { record.Note("close"); }
  void OnAccept(int) override {
    record.Note("accept");
    if (onAccept) onAccept(*this);
  }
  void OnError(int error) override { record.Note("error " + std::to_string(error)); }
  size_t OnReceiveData(std::span<const uint8_t> pending) override {
    std::lock_guard guard(dataLock_);
    received_.append(reinterpret_cast<const char*>(pending.data()), pending.size());
    return pending.size();
  }

 private:
  mutable std::mutex dataLock_;
  std::string received_;
};

using Connecter = TestSocket<>;
using Listener = TestSocket<CListenerTraits>;

// --- dispatch -------------------------------------------------------------------------

class DispatchProbe : public CEventSocketBase {
 public:
  DispatchProbe() : CEventSocketBase(CConnecterTraits::kEvents) {}
  Recorder record;

 protected:
  void OnReceive(int e) override { record.Note("read " + std::to_string(e)); }
  void OnSend(int e) override { record.Note("write " + std::to_string(e)); }
  void OnConnect(int e) override { record.Note("connect " + std::to_string(e)); }
  void OnClose(int e) override { record.Note("close " + std::to_string(e)); }
  void OnAccept(int e) override { record.Note("accept " + std::to_string(e)); }
  void OnError(int e) override { record.Note("error " + std::to_string(e)); }
};

TEST(EventDispatchTest, HandlesEventsInTheFixedOrder) {
  DispatchProbe probe;
  CNetworkEvents events;
  events.Add(kFdClose);
  events.Add(kFdRead);
  events.Add(kFdOob);
  events.Add(kFdWrite);
  events.Add(kFdAccept);
  events.Add(kFdConnect);
  EXPECT_EQ(probe.DispatchNetworkEvents(events), 0);
  EXPECT_EQ(probe.record.Calls(),
            (std::vector<std::string>{"connect 0", "accept 0", "read 0", "write 0", "close 0"}));
}

TEST(EventDispatchTest, WouldBlockAndPendingAreNoErrors) {
  DispatchProbe probe;
  CNetworkEvents events;
  events.Add(kFdWrite, kWsaEWouldBlock);
  events.Add(kFdRead, kWsaIoPending);
  EXPECT_EQ(probe.DispatchNetworkEvents(events), 0);
  EXPECT_EQ(probe.record.Calls(), (std::vector<std::string>{"read 0", "write 0"}));
}

TEST(EventDispatchTest, RealErrorCallsOnErrorAndStopsTheRound) {
  DispatchProbe probe;
  CNetworkEvents events;
  events.Add(kFdConnect);
  events.Add(kFdRead, kWsaEConnReset);
  events.Add(kFdClose);
  EXPECT_EQ(probe.DispatchNetworkEvents(events), kWsaEConnReset);
  EXPECT_EQ(probe.record.Calls(), (std::vector<std::string>{"connect 0", "error 10054"}));
  EXPECT_EQ(probe.LastError(), kWsaEConnReset);

  DispatchProbe oob;  // an event without a handler is silent unless it carries an error
  CNetworkEvents quiet;
  quiet.Add(kFdOob);
  EXPECT_EQ(oob.DispatchNetworkEvents(quiet), 0);
  CNetworkEvents failing;
  failing.Add(kFdOob, kWsaENetDown);
  EXPECT_EQ(oob.DispatchNetworkEvents(failing), kWsaENetDown);
  EXPECT_EQ(oob.record.Calls(), (std::vector<std::string>{"error 10050"}));
}

// --- TCP over loopback ---------------------------------------------------------------

// Accepts connections into echoing connecters.
class EchoServer {
 public:
  EchoServer() {
    listener_.onAccept = [this](Listener& self) {
      int fd = -1;
      if (!self.Accept(fd)) return;
      auto peer = std::make_unique<Connecter>();
      peer->onReceive = [](Connecter& conn) {
        if (!conn.ReceiveIntoBuffer()) return;
        CReceiveBuffer& buffer = conn.ReceiveBuffer();
        conn.Send(buffer.Data());
        buffer.Consume(buffer.Size());
      };
      peer->Attach(fd);
      std::lock_guard guard(lock_);
      peers_.push_back(std::move(peer));
    };
    created_ = listener_.Create(0, SOCK_STREAM, 0, AF_INET, "127.0.0.1") && listener_.Listen();
  }
  ~EchoServer() {
    listener_.Close(true);
    std::lock_guard guard(lock_);
    peers_.clear();
  }
  bool IsValid() const { return created_; }
  uint16_t Port() const { return listener_.GetLocalPort(); }

 private:
  Listener listener_;
  std::mutex lock_;
  std::vector<std::unique_ptr<Connecter>> peers_;
  bool created_ = false;
};

TEST(EventSocketTest, ConnectsAndEchoesOverLoopback) {
  EchoServer server;
  ASSERT_TRUE(server.IsValid());
  Connecter client;
  ASSERT_TRUE(client.Create(0, SOCK_STREAM));
  ASSERT_TRUE(client.Connect("127.0.0.1", server.Port()));
  // Queued while the connect is under way, sent by the write event that follows it.
  ASSERT_TRUE(client.Send(Bytes("hello ")));
  ASSERT_TRUE(WaitUntil([&] { return client.record.Saw("connect"); }));
  ASSERT_TRUE(client.Send(Bytes("world")));
  EXPECT_TRUE(WaitUntil([&] { return client.Received() == "hello world"; })) << client.Received();
  const auto calls = client.record.Calls();
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls[0], "connect");
  EXPECT_EQ(calls[1], "write");
  EXPECT_FALSE(client.record.Saw("error 10035"));
}

TEST(EventSocketTest, RefusedConnectReportsConnRefusedAndEndsTheThread) {
  tarn::test::RefusingPort refusing;
  Connecter client;
  ASSERT_TRUE(client.Create(0, SOCK_STREAM));
  ASSERT_TRUE(client.Connect(kLoopbackAddress, refusing.Port()));
  ASSERT_TRUE(WaitUntil([&] { return client.record.Saw("error 10061"); }));
  EXPECT_FALSE(client.record.Saw("connect"));
  EXPECT_EQ(client.LastError(), kWsaEConnRefused);
  EXPECT_TRUE(WaitUntil([&] { return !client.IsThreadRunning(); }));
}

TEST(EventSocketTest, UnsentRestIsKeptAndFlushedWhenThePeerReads) {
  tarn::test::LoopbackPair pair;
  ASSERT_TRUE(pair.IsValid());
  Connecter sender;
  ASSERT_TRUE(sender.Attach(pair.TakeClient()));
  std::string payload(8 * 1024 * 1024, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i * 7 + i / 4096);
  ASSERT_TRUE(sender.Send(Bytes(payload)));
  EXPECT_GT(sender.QueuedSendBytes(), 0u);  // the peer has not read: the kernel is full
  EXPECT_EQ(tarn::test::ReadExactly(pair.Server(), payload.size()), payload);
  EXPECT_TRUE(WaitUntil([&] { return sender.QueuedSendBytes() == 0; }));
  EXPECT_TRUE(sender.record.Saw("write"));
}

TEST(EventSocketTest, OrderlyCloseComesAfterTheLastData) {
  tarn::test::LoopbackPair pair;
  ASSERT_TRUE(pair.IsValid());
  Connecter receiver;
  ASSERT_TRUE(receiver.Attach(pair.TakeClient()));
  const std::string payload(200000, 'x');
  ASSERT_TRUE(tarn::test::WriteAll(pair.Server(), payload));
  close(pair.TakeServer());
  ASSERT_TRUE(WaitUntil([&] { return receiver.record.Saw("close"); }));
  EXPECT_EQ(receiver.Received().size(), payload.size());
  EXPECT_EQ(receiver.record.Calls().back(), "close");
  EXPECT_TRUE(receiver.IsThreadRunning());  // an orderly close is no error: the owner closes
}

TEST(EventSocketTest, ResetIsARealErrorThatEndsTheThread) {
  tarn::test::LoopbackPair pair;
  ASSERT_TRUE(pair.IsValid());
  Connecter receiver;
  ASSERT_TRUE(receiver.Attach(pair.TakeClient()));
  tarn::test::CloseWithReset(pair.TakeServer());
  ASSERT_TRUE(WaitUntil([&] { return receiver.record.Saw("error 10054"); }));
  EXPECT_FALSE(receiver.record.Saw("close"));
  EXPECT_TRUE(WaitUntil([&] { return !receiver.IsThreadRunning(); }));
}

TEST(EventSocketTest, CloseFromItsOwnThreadDoesNotWaitForItself) {
  tarn::test::LoopbackPair pair;
  ASSERT_TRUE(pair.IsValid());
  Connecter receiver;
  std::atomic<bool> wasSocketThread{false};
  receiver.onReceive = [&](Connecter& self) {
    wasSocketThread = self.IsSocketThread();
    self.Close(true);
  };
  ASSERT_TRUE(receiver.Attach(pair.TakeClient()));
  ASSERT_TRUE(tarn::test::WriteAll(pair.Server(), "bye"));
  ASSERT_TRUE(WaitUntil([&] { return !receiver.IsThreadRunning(); }));
  EXPECT_TRUE(wasSocketThread);
  EXPECT_FALSE(receiver.IsOpen());
  // The abortive close reaches the peer as a reset.
  char byte;
  EXPECT_LT(recv(pair.Server(), &byte, 1, 0), 1);
  // The object can be used again from another thread.
  EXPECT_TRUE(receiver.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  EXPECT_TRUE(receiver.IsThreadRunning());
}

TEST(EventSocketTest, CloseFromAnotherThreadJoinsTheIdleThread) {
  Connecter socket;
  ASSERT_TRUE(socket.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  ASSERT_TRUE(socket.IsThreadRunning());
  socket.Close(false);
  EXPECT_FALSE(socket.IsThreadRunning());
  EXPECT_FALSE(socket.IsOpen());
  EXPECT_FALSE(socket.Send(Bytes("x")));
}

TEST(EventSocketTest, BindingATakenPortFailsWithAddressInUse) {
  Connecter first, second;
  ASSERT_TRUE(first.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  EXPECT_FALSE(second.Create(first.GetLocalPort(), SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  EXPECT_EQ(second.LastError(), kWsaEAddrInUse);
  EXPECT_FALSE(second.IsThreadRunning());
}

TEST(EventSocketTest, DatagramsCarryTheSenderForTheReply) {
  Connecter asker, answerer;
  std::atomic<uint16_t> askerPortSeen{0};
  answerer.onReceive = [&](Connecter& self) {
    uint8_t buffer[1500];
    size_t got = 0;
    sockaddr_in from{};
    if (!self.ReceiveFrom(buffer, got, from)) return;
    askerPortSeen = ntohs(from.sin_port);
    std::string reply = "re:" + std::string(reinterpret_cast<char*>(buffer), got);
    self.SendTo(Bytes(reply), from);
  };
  std::mutex replyLock;
  std::string reply;
  asker.onReceive = [&](Connecter& self) {
    uint8_t buffer[1500];
    size_t got = 0;
    sockaddr_in from{};
    if (!self.ReceiveFrom(buffer, got, from)) return;
    std::lock_guard guard(replyLock);
    reply.assign(reinterpret_cast<char*>(buffer), got);
  };
  ASSERT_TRUE(answerer.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  ASSERT_TRUE(asker.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  ASSERT_TRUE(asker.SendTo(Bytes("ping"), kLoopbackAddress, answerer.GetLocalPort()));
  ASSERT_TRUE(WaitUntil([&] {
    std::lock_guard guard(replyLock);
    return reply == "re:ping";
  }));
  EXPECT_EQ(askerPortSeen.load(), asker.GetLocalPort());
}

TEST(EventSocketTest, IdleTimeOutOnTheTickSourceEndsTheThread) {
  tarn::test::ManualClock clock;
  TestSocket<CConnecterTraits, 5000> socket;
  ASSERT_TRUE(socket.Create(0, SOCK_DGRAM, IPPROTO_UDP, AF_INET, "127.0.0.1"));
  ASSERT_TRUE(WaitUntil([&] { return socket.record.Saw("write"); }));  // the first write event
  clock.Advance(4999);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_TRUE(socket.IsThreadRunning());
  clock.Advance(1);
  ASSERT_TRUE(WaitUntil([&] { return !socket.IsThreadRunning(); }));
  EXPECT_TRUE(socket.record.Saw("error 10060"));
}

}  // namespace
}  // namespace OSTREL::Network::Socket
