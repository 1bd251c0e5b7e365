#include "platform/MediaEvents.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace OSTREL::Platform {

EMediaChange CLinkStateTracker::Apply(int index, uint32_t flags, bool deleted) {
  if (flags & IFF_LOOPBACK) return EMediaChange::kNone;
  const bool running = !deleted && (flags & IFF_RUNNING) != 0;
  const auto known = running_.find(index);
  const bool wasRunning = known != running_.end() && known->second;
  if (deleted)
    running_.erase(index);
  else
    running_[index] = running;
  if (running == wasRunning) return EMediaChange::kNone;
  return running ? EMediaChange::kConnect : EMediaChange::kDisconnect;
}

std::vector<EMediaChange> CLinkStateTracker::ApplyMessages(std::span<const uint8_t> bytes) {
  std::vector<EMediaChange> changes;
  size_t offset = 0;
  while (bytes.size() - offset >= sizeof(nlmsghdr)) {
    nlmsghdr header;
    std::memcpy(&header, bytes.data() + offset, sizeof header);
    if (header.nlmsg_len < sizeof(nlmsghdr) || header.nlmsg_len > bytes.size() - offset) break;
    const bool isLink = header.nlmsg_type == RTM_NEWLINK || header.nlmsg_type == RTM_DELLINK;
    if (isLink && header.nlmsg_len >= NLMSG_LENGTH(sizeof(ifinfomsg))) {
      ifinfomsg info;
      std::memcpy(&info, bytes.data() + offset + NLMSG_HDRLEN, sizeof info);
      const EMediaChange change =
          Apply(info.ifi_index, info.ifi_flags, header.nlmsg_type == RTM_DELLINK);
      if (change != EMediaChange::kNone) changes.push_back(change);
    }
    const size_t step = NLMSG_ALIGN(header.nlmsg_len);
    if (step > bytes.size() - offset) break;
    offset += step;
  }
  return changes;
}

CNetlinkMediaEvents::~CNetlinkMediaEvents() { Cancel(); }

bool CNetlinkMediaEvents::Subscribe(IMediaEventSink& sink) {
  Cancel();
  socket_ = socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
  if (socket_ < 0) return false;
  sockaddr_nl local{};
  local.nl_family = AF_NETLINK;
  local.nl_groups = RTMGRP_LINK;
  if (bind(socket_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || !stop_.IsValid()) {
    close(socket_);
    socket_ = -1;
    return false;
  }
  stop_.ResetEvent();
  thread_ = std::thread([this, &sink] { Run(sink); });
  return true;
}

void CNetlinkMediaEvents::Cancel() {
  if (thread_.joinable()) {
    stop_.Set();
    thread_.join();
  }
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
}

void CNetlinkMediaEvents::Run(IMediaEventSink& sink) {
  CLinkStateTracker tracker;
  std::vector<uint8_t> buffer(16384);
  pollfd fds[] = {{socket_, POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0) continue;
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const ssize_t received = recv(socket_, buffer.data(), buffer.size(), 0);
    if (received <= 0) continue;
    for (EMediaChange change :
         tracker.ApplyMessages(std::span(buffer.data(), static_cast<size_t>(received)))) {
      if (change == EMediaChange::kConnect)
        sink.OnMediaConnect();
      else
        sink.OnMediaDisconnect();
    }
  }
}

}  // namespace OSTREL::Platform
