// Network-medium events: a non-loopback interface that gains IFF_RUNNING is a media connect,
// one that loses it (or disappears while running) a media disconnect. The netlink source
// listens on rtnetlink (RTMGRP_LINK) on a thread of its own and calls the sink there; tests
// drive the sink directly or feed netlink bytes to the link-state tracker.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "framework/Event.h"

namespace OSTREL::Platform {

class IMediaEventSink {
 public:
  virtual ~IMediaEventSink() = default;
  virtual void OnMediaConnect() = 0;
  virtual void OnMediaDisconnect() = 0;
};

class IMediaEventSource {
 public:
  virtual ~IMediaEventSource() = default;
  // Starts delivering events to `sink` until Cancel; false when the source is unavailable.
  virtual bool Subscribe(IMediaEventSink& sink) = 0;
  // Waits until no sink call is running; none follows.
  virtual void Cancel() = 0;
};

enum class EMediaChange { kNone, kConnect, kDisconnect };

// Remembers which interfaces run, so each netlink link message becomes at most one change.
// Not synchronised: the netlink thread owns it.
class CLinkStateTracker {
 public:
  // One link message: interface index, its flags, and whether it was deleted.
  EMediaChange Apply(int index, uint32_t flags, bool deleted);
  // Every link message of a netlink receive buffer, in order; malformed tails are ignored.
  std::vector<EMediaChange> ApplyMessages(std::span<const uint8_t> bytes);

 private:
  std::map<int, bool> running_;
};

class CNetlinkMediaEvents : public IMediaEventSource {
 public:
  CNetlinkMediaEvents() = default;
  ~CNetlinkMediaEvents() override;

  bool Subscribe(IMediaEventSink& sink) override;
  void Cancel() override;

 private:
  void Run(IMediaEventSink& sink);

  int socket_ = -1;
  Process::CEvent stop_{Process::CEvent::Reset::kManual};
  std::thread thread_;
};

}  // namespace OSTREL::Platform
