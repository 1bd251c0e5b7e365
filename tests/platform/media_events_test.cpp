#include <gtest/gtest.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/MediaEvents.h"

namespace OSTREL::Platform {
namespace {

using Change = EMediaChange;

TEST(LinkStateTrackerTest, RunningFlagChangesOfRealInterfacesAreMediaEvents) {
  const struct {
    int index;
    uint32_t flags;
    bool deleted;
    Change expected;
  } steps[] = {
      {1, IFF_UP | IFF_RUNNING | IFF_LOOPBACK, false, Change::kNone},  // loopback never counts
      {2, IFF_UP, false, Change::kNone},                               // up, no carrier
      {2, IFF_UP | IFF_RUNNING, false, Change::kConnect},
      {2, IFF_UP | IFF_RUNNING | IFF_PROMISC, false, Change::kNone},  // other flags only
      {3, IFF_UP | IFF_RUNNING, false, Change::kConnect},
      {2, IFF_UP, false, Change::kDisconnect},
      {3, IFF_UP | IFF_RUNNING, true, Change::kDisconnect},  // removed while running
      {3, IFF_UP | IFF_RUNNING, true, Change::kNone},
  };
  CLinkStateTracker tracker;
  for (const auto& step : steps)
    EXPECT_EQ(tracker.Apply(step.index, step.flags, step.deleted), step.expected) << step.index;
}

std::vector<uint8_t> LinkMessage(uint16_t type, int index, uint32_t flags, uint32_t length = 0) {
  std::vector<uint8_t> bytes(NLMSG_SPACE(sizeof(ifinfomsg)));
  nlmsghdr header{};
  header.nlmsg_len = length ? length : NLMSG_LENGTH(sizeof(ifinfomsg));
  header.nlmsg_type = type;
  ifinfomsg info{};
  info.ifi_index = index;
  info.ifi_flags = flags;
  std::memcpy(bytes.data(), &header, sizeof header);
  std::memcpy(bytes.data() + NLMSG_HDRLEN, &info, sizeof info);
  return bytes;
}

TEST(LinkStateTrackerTest, ReadsMessagesBackToBackAndStopsAtABadLength) {
  std::vector<uint8_t> buffer;
  for (const auto& message :
       {LinkMessage(RTM_NEWLINK, 4, IFF_RUNNING), LinkMessage(RTM_NEWADDR, 4, 0),
        LinkMessage(RTM_DELLINK, 4, IFF_RUNNING), LinkMessage(RTM_NEWLINK, 5, IFF_RUNNING, 4000)})
    buffer.insert(buffer.end(), message.begin(), message.end());
  buffer.push_back(0x42);  // a torn tail
  CLinkStateTracker tracker;
  EXPECT_EQ(tracker.ApplyMessages(buffer),
            (std::vector<Change>{Change::kConnect, Change::kDisconnect}));
}

struct CountingSink : IMediaEventSink {
  std::atomic<int> connects{0}, disconnects{0};
  void OnMediaConnect() override { ++connects; }
  void OnMediaDisconnect() override { ++disconnects; }
};

bool WaitFor(const std::atomic<int>& counter, int value) {
  for (int i = 0; i < 250 && counter < value; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return counter >= value;
}

// In a network namespace of its own: a veth pair coming up is a connect, its peer going down a
// disconnect of the other end.
TEST(NetlinkMediaEventsTest, AVethPairInAPrivateNamespaceRaisesBothEvents) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (unshare(CLONE_NEWNET) != 0) _exit(77);
    CountingSink sink;
    CNetlinkMediaEvents events;
    if (!events.Subscribe(sink)) _exit(2);
    if (std::system("ip link add tarn0 type veth peer name tarn1 && ip link set tarn1 up && "
                    "ip link set tarn0 up") != 0)
      _exit(77);
    if (!WaitFor(sink.connects, 1)) _exit(3);
    if (std::system("ip link set tarn1 down") != 0) _exit(4);
    if (!WaitFor(sink.disconnects, 1)) _exit(5);
    events.Cancel();
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no private network namespace here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace OSTREL::Platform
