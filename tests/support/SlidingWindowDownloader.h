// A downloader as the network's established clients ask: each block request names the next
// three ranges still owed and repeats those not yet whole, so a range is asked again while it
// is on its way. It runs over a RawPeerClient that holds an upload slot, counts every byte of
// every data packet that arrives, and keeps what went out twice. One thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <utility>
#include <vector>

#include "engine/base/Hash.h"
#include "tests/support/RawPeerClient.h"

namespace tarn::test {

class SlidingWindowDownloader {
 public:
  using Range = std::pair<uint32_t, uint32_t>;
  struct Result {
    bool whole = false;           // every asked byte arrived
    uint64_t wireBytes = 0;       // data packets, headers included
    uint64_t dataBytes = 0;       // their payload data
    uint64_t duplicateBytes = 0;  // data bytes that had arrived before
    size_t packets = 0;
    size_t requests = 0;
  };
  // Bytes of a plain data packet besides its data: header, hash, start and end.
  static constexpr uint64_t kPacketOverhead = 6 + 16 + 8;

  SlidingWindowDownloader(RawPeerClient& peer, const P2P::_tagUnionHash& file, uint32_t size)
      : peer_(peer), file_(file), have_(size, false) {}

  // Asks for `ranges` in order, three at a time, until all are whole or `deadline` passes;
  // then listens `linger` longer for anything sent twice.
  Result Run(const std::vector<Range>& ranges, std::chrono::milliseconds deadline,
             std::chrono::milliseconds linger = std::chrono::milliseconds(300));
  // [0, size) in 184320-byte blocks.
  static std::vector<Range> Blocks(uint32_t size);

 private:
  bool Whole(const Range& range) const;
  void Take(const RawPeerClient::Packet& packet, Result& result);
  void AskOwed(const std::vector<Range>& ranges, size_t& next, std::vector<Range>& owed,
               Result& result);

  RawPeerClient& peer_;
  P2P::_tagUnionHash file_;
  std::vector<bool> have_;
};

}  // namespace tarn::test
