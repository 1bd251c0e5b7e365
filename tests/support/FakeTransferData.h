// What a test attaches to a transfer file it serves without a disk: ranges are read by a
// function the test gives, and the file is complete or a download in progress as the test
// says. Any thread, as far as the read function allows.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "engine/transfer/TransferFileData.h"

namespace tarn::test {

class FakeTransferData final : public P2P::Shared::File::TransferFile::ITARNNetTransferFileData {
 public:
  using Read = std::function<bool(uint64_t start, uint64_t end, std::vector<uint8_t>& data)>;

  FakeTransferData(Read read, bool finished) : read_(std::move(read)), finished_(finished) {}

  bool ReadRange(uint64_t start, uint64_t end, std::vector<uint8_t>& data) override {
    return read_(start, end, data);
  }
  bool IsFinished() const override { return finished_; }

 private:
  Read read_;
  bool finished_;
};

}  // namespace tarn::test
