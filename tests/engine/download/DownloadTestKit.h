// Helpers for the download tests: a file record for some content, the part hashes a peer
// would send, and a stand-in for a peer session that asks for blocks and hands them in
// through the transfer file's accept-data operation.
#pragma once

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "engine/download/DownloadEventHandler.h"
#include "engine/transfer/TransferFile.h"
#include "tests/engine/hashing/HashReference.h"

namespace P2P::test {

using Shared::File::TransferFile::_tagStructReceivedData;
using Shared::File::TransferFile::_tagStructRequestRecord;
using Shared::File::TransferFile::CTARNNetTransferBlock;
using Shared::File::TransferFile::CTARNNetTransferFile;

inline Shared::_tagStructSharedFile RecordFor(const std::vector<uint8_t>& content,
                                              const std::string& name) {
  Shared::_tagStructSharedFile record;
  const auto hash = tarn::test::RefFileHash(content);
  std::memcpy(record.hash.bytes.data(), hash.data(), hash.size());
  record.info.name = name;
  record.info.size = static_cast<uint32_t>(content.size());
  return record;
}

// What the hash-set answer of a peer puts into the download (multi-part files only).
inline void GivePartHashes(CTARNNetTransferFile& file, const std::vector<uint8_t>& content) {
  if (content.size() < tarn::test::kRefPartSize) return;
  auto& list = file.HashSet().HashList();
  list.Clear();
  for (const auto& part : tarn::test::RefPartHashes(content)) {
    _tagUnionHash hash;
    std::memcpy(hash.bytes.data(), part.data(), part.size());
    list.Add(hash);
  }
}

// One request for up to three blocks from a source holding every part, answered with
// `content` (or with `corrupt` applied to each block first). Returns the blocks handed in.
template <typename Corrupt>
int AnswerOneRequest(CTARNNetTransferFile& file, const std::vector<uint8_t>& content,
                     Corrupt corrupt) {
  std::vector<uint8_t> everyPart(file.PartCount(), 1);
  _tagStructRequestRecord request;
  const uint32_t chosen = file.Data()->ChooseBlocks(everyPart, request, 3);
  for (uint32_t i = 0; i < chosen; ++i) {
    const uint32_t start = request.start[i], end = request.end[i];
    std::vector<uint8_t> data(content.begin() + start, content.begin() + end);
    corrupt(start, data);
    CTARNNetTransferBlock block(start, end);
    block.AppendPlain(start, data);
    file.Data()->AcceptData(_tagStructReceivedData{&block, end - start});
  }
  return static_cast<int>(chosen);
}

inline int AnswerOneRequest(CTARNNetTransferFile& file, const std::vector<uint8_t>& content) {
  return AnswerOneRequest(file, content, [](uint32_t, std::vector<uint8_t>&) {});
}

// Requests and answers until nothing more is asked for (or `maxRequests` were answered).
inline void DownloadAll(CTARNNetTransferFile& file, const std::vector<uint8_t>& content,
                        int maxRequests = 1 << 20) {
  for (int i = 0; i < maxRequests && !file.Data()->IsFinished(); ++i)
    if (AnswerOneRequest(file, content) == 0) break;
}

// Every download event as a line, in arrival order.
class CDownloadEventLog : public ITARNNetP2PDownloadEventHandler {
 public:
  void OnDownloadAdded(const Shared::_tagStructSharedFile& f) override {
    Note("added " + f.info.name);
  }
  void OnDownloadChanged(const Shared::_tagStructSharedFile& f) override {
    Note("changed " + f.info.name);
  }
  void OnDownloadProgress(const Shared::_tagStructSharedFile& f, uint64_t, uint64_t) override {
    Note("progress " + f.info.name);
  }
  void OnDownloadCompleted(const Shared::_tagStructSharedFile& f) override {
    Note("completed " + f.info.name);
  }
  void OnDownloadRemoved(const Shared::_tagStructSharedFile& f) override {
    Note("removed " + f.info.name);
  }
  void OnDownloadNotice(uint32_t value) override { Note("notice " + std::to_string(value)); }

  std::vector<std::string> Lines() const {
    std::lock_guard guard(lock_);
    return lines_;
  }

 private:
  void Note(std::string line) {
    std::lock_guard guard(lock_);
    lines_.push_back(std::move(line));
  }
  mutable std::mutex lock_;
  std::vector<std::string> lines_;
};

}  // namespace P2P::test
