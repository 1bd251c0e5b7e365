#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>
#include <vector>

#include "framework/SocketBuffer.h"
#include "framework/SocketError.h"

namespace OSTREL::Network::Socket {
namespace {

TEST(SocketErrorTest, TranslatesErrnoToWinsockNumbers) {
  const struct {
    int errnoValue;
    int expected;
  } cases[] = {
      {0, 0},
      {EAGAIN, kWsaEWouldBlock},
      {EINPROGRESS, kWsaEWouldBlock},
      {ENETDOWN, kWsaENetDown},
      {ECONNRESET, kWsaEConnReset},
      {EPIPE, kWsaEConnReset},
      {ECONNREFUSED, kWsaEConnRefused},
      {EHOSTUNREACH, kWsaEHostUnreach},
      {ENETUNREACH, kWsaENetUnreach},
      {EADDRINUSE, kWsaEAddrInUse},
      {ETIMEDOUT, kWsaETimedOut},
      {ENOTCONN, kWsaENotConn},
      {ECONNABORTED, kWsaEConnAborted},
      {99999, kWsaEInval},  // unknown numbers stay real errors
  };
  for (const auto& c : cases)
    EXPECT_EQ(CSocketError::FromErrno(c.errnoValue), c.expected) << "errno " << c.errnoValue;
}

TEST(SocketErrorTest, OnlyNoErrorPendingAndWouldBlockAreNotReal) {
  EXPECT_FALSE(CSocketError::IsRealError(0));
  EXPECT_FALSE(CSocketError::IsRealError(kWsaIoPending));
  EXPECT_FALSE(CSocketError::IsRealError(kWsaEWouldBlock));
  for (int code : {kWsaEConnReset, kWsaEConnRefused, kWsaENetDown, kWsaEInProgress, -1})
    EXPECT_TRUE(CSocketError::IsRealError(code)) << code;
}

void Fill(CReceiveBuffer& buffer, size_t count) {
  const std::span<uint8_t> tail = buffer.PrepareReceive();
  ASSERT_GE(tail.size(), count);
  std::iota(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(count), uint8_t(buffer.Size()));
  buffer.Commit(count);
}

TEST(ReceiveBufferTest, GrowsByOneStepOnlyWhenTheFreeTailIsSmall) {
  CReceiveBuffer buffer;
  EXPECT_EQ(buffer.PrepareReceive().size(), 4096u);
  Fill(buffer, 3000);  // 1096 free: not under a quarter of 4096
  EXPECT_EQ(buffer.PrepareReceive().size(), 1096u);
  EXPECT_EQ(buffer.Capacity(), 4096u);
  Fill(buffer, 100);  // 996 free < 1024: grows by 4096
  EXPECT_EQ(buffer.PrepareReceive().size(), 996u + 4096u);
  EXPECT_EQ(buffer.Capacity(), 8192u);
}

TEST(ReceiveBufferTest, LargeCapacityGrowsWhenFreeIsUnder4096) {
  CReceiveBuffer buffer;
  while (buffer.Capacity() < 64 * 1024) Fill(buffer, buffer.PrepareReceive().size());
  const size_t capacity = buffer.Capacity();
  buffer.Consume(capacity - 5000);  // 5000 left, free > 4095: no growth
  Fill(buffer, buffer.PrepareReceive().size() - 4095);
  EXPECT_EQ(buffer.PrepareReceive().size(), 4095u + 4096u);  // 4095 free: one more step
  EXPECT_EQ(buffer.Capacity(), capacity + 4096u);
}

TEST(ReceiveBufferTest, ConsumeKeepsThePartialRemainderAtTheFront) {
  CReceiveBuffer buffer;
  Fill(buffer, 10);
  buffer.Consume(4);
  ASSERT_EQ(buffer.Size(), 6u);
  EXPECT_EQ(std::vector<uint8_t>(buffer.Data().begin(), buffer.Data().end()),
            (std::vector<uint8_t>{4, 5, 6, 7, 8, 9}));
  buffer.Consume(100);
  EXPECT_EQ(buffer.Size(), 0u);
}

TEST(ReceiveBufferTest, StopsGrowingAtItsLimit) {
  CReceiveBuffer buffer(8192);
  Fill(buffer, 4096);
  Fill(buffer, 4096);
  EXPECT_TRUE(buffer.PrepareReceive().empty());
  EXPECT_EQ(buffer.Capacity(), 8192u);
}

TEST(SendBufferTest, ConsumeDropsOnlyWhatWasSent) {
  CSendBuffer buffer;
  const uint8_t first[] = {1, 2, 3};
  const uint8_t second[] = {4, 5};
  buffer.Append(first);
  buffer.Append(second);
  buffer.Consume(2);
  EXPECT_EQ(std::vector<uint8_t>(buffer.Data().begin(), buffer.Data().end()),
            (std::vector<uint8_t>{3, 4, 5}));
}

}  // namespace
}  // namespace OSTREL::Network::Socket
