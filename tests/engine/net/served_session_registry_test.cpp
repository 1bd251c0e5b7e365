#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/net/ServedSessionRegistry.h"

namespace P2P {
namespace {

using Client::_tagStructSchedulerEvents;
using Client::_tagStructUploadRequester;

_tagStructSchedulerEvents CallBacksTo(std::initializer_list<uint32_t> addresses) {
  _tagStructSchedulerEvents events;
  for (const uint32_t address : addresses) {
    _tagStructUploadRequester waiter;
    waiter.address = address;
    events.callBacks.push_back(waiter);
  }
  return events;
}

// A call back that fails at once frees its slot for the next waiter, whose call back arrives
// from inside the first. A queue of thousands of unreachable waiters must run them in turn,
// in the order they were given, instead of nesting one call in the next until the stack ends.
TEST(ServedSessionRegistryTest, CallBacksFromInsideACallBackRunInTurnNotNested) {
  constexpr uint32_t kWaiters = 200000;
  CServedSessionRegistry registry;
  std::vector<uint32_t> called;
  int depth = 0;
  int deepest = 0;
  registry.SetCallBack([&](const _tagStructUploadRequester& waiter) {
    deepest = std::max(deepest, ++depth);
    called.push_back(waiter.address);
    // Each failed call gives the slot to the next waiter, and the first also to a second.
    if (waiter.address == 0)
      registry.Deliver(CallBacksTo({2, 3}));
    else if (waiter.address + 2 < kWaiters && waiter.address >= 2)
      registry.Deliver(CallBacksTo({waiter.address + 2}));
    --depth;
  });
  registry.Deliver(CallBacksTo({0, 1}));

  EXPECT_EQ(deepest, 1);
  ASSERT_EQ(called.size(), kWaiters);
  for (uint32_t i = 0; i < kWaiters; ++i) ASSERT_EQ(called[i], i) << i;
}

}  // namespace
}  // namespace P2P
