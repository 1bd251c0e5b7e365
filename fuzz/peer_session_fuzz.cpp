// The peer session's dispatcher fed arbitrary packets of every opcode, from a source of a real
// download of a two-part file, then from a source of a 5 GiB one (asked and sent in the 64-bit
// block forms). Input: a sequence of records, each a protocol selector byte (even: 0xE3, odd:
// 0xC5), an opcode, a u16 payload length and that many payload bytes. The downloads' file
// hashes are sixteen 0x11 and sixteen 0x22 bytes, so seeds can name them. The session is built
// from a context of its own over a connection that keeps what is sent to it in memory.
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <span>

#include "engine/download/DownloadFileData.h"
#include "engine/net/PeerSession.h"
#include "engine/peers/ClientList.h"
#include "engine/protocol/Packet.h"

namespace {

using namespace P2P;
using Shared::File::TransferFile::CTARNNetDownloadFileData;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTransferFilePtr;

// Takes every packet and forgets it; closed when the session closes it.
class CMemoryLink final : public ITARNNetPeerLink {
 public:
  bool IsOpen() const override { return open_; }
  uint32_t RemoteAddress() const override { return 0x0100007F; }
  bool Send(std::span<const uint8_t>) override { return open_; }
  size_t QueuedSendBytes() const override { return 0; }
  void Close() override { open_ = false; }
  void PauseReceiving(bool) override {}
  void SetIdleLimit(uint32_t) override {}
  bool Hold() override { return true; }
  void Unhold() override {}

 private:
  bool open_ = true;
};

// A download in a folder of its own.
struct SDownload {
  SDownload(const std::filesystem::path& folder, uint8_t hashByte, uint64_t size) {
    std::filesystem::create_directories(folder);
    Shared::_tagStructSharedFile record;
    record.hash.bytes.fill(hashByte);
    record.info.name = "fuzzed.bin";
    record.info.size = size;
    file = CTransferFilePtr(new CTARNNetTransferFile(record));
    data = CTARNNetDownloadFileData::Attach(file, nullptr);
    data->Create(folder.string(), nullptr);
  }
  ~SDownload() { data->Detach(); }
  CTransferFilePtr file;
  Shared::File::TransferFile::CDownloadFileDataPtr data;
};

struct SDownloadUnderTest {
  SDownloadUnderTest() {
    context.findFile = [this](const _tagUnionHash& hash) {
      for (const SDownload* download : {&small, &large})
        if (hash == download->file->GetHash()) return download->file;
      return CTransferFilePtr();
    };
    context.clients = &clients;
  }
  // Removed once the downloads in it are gone.
  struct STempFolder {
    ~STempFolder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tarn-peer-fuzz-" + std::to_string(getpid()));
  };
  STempFolder folder;
  SDownload small{folder.path / "small", 0x11, 9728000 + 5000};
  SDownload large{folder.path / "large", 0x22, uint64_t{5} << 30};
  _tagStructClientConfig own;
  Client::CTARNNetClientList clients;
  CPeerSessionContext context{own};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SDownloadUnderTest underTest;
  // The same packets from a source of each download.
  for (const SDownload* download : {&underTest.small, &underTest.large}) {
    Client::CClientPtr client = underTest.clients.CreateDownloadSource(download->file->GetHash(),
                                                                       0x0100007F, 4662, 0, 0);
    CMemoryLink link;
    CTARNNetPeerSession session(underTest.context, link, client);
    for (size_t at = 0; size - at >= 4 && link.IsOpen();) {
      const uint8_t protocol =
          data[at] % 2 == 0 ? Protocol::kProtocolEDonkey : Protocol::kProtocolExtended;
      const uint8_t opcode = data[at + 1];
      const size_t length = std::min<size_t>(data[at + 2] | data[at + 3] << 8, size - at - 4);
      session.Dispatch(opcode, protocol, std::span(data + at + 4, length));
      at += 4 + length;
    }
    session.End();
    underTest.clients.ClearAll();
  }
  return 0;
}
