// The peer session's dispatcher fed arbitrary packets of every opcode, against a real
// download of a two-part file. Input: a sequence of records, each a protocol selector byte
// (even: 0xE3, odd: 0xC5), an opcode, a u16 payload length and that many payload bytes. The
// download's file hash is sixteen 0x11 bytes, so seeds can name it.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <span>

#include "engine/download/DownloadFileData.h"
#include "engine/net/TARNNetC2CTCPConnecter.h"
#include "engine/peers/ClientList.h"
#include "engine/protocol/Packet.h"
#include "engine/transfer/TransferFileList.h"

namespace {

using namespace P2P;
using Shared::File::TransferFile::CTARNNetDownloadFileData;
using Shared::File::TransferFile::CTARNNetTransferFile;
using Shared::File::TransferFile::CTARNNetTransferFileList;

struct SDownloadUnderTest {
  SDownloadUnderTest() {
    folder = std::filesystem::temp_directory_path() / ("tarn-peer-fuzz-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    Shared::_tagStructSharedFile record;
    record.hash.bytes.fill(0x11);
    record.info.name = "fuzzed.bin";
    record.info.size = 9728000 + 5000;
    file = Shared::File::TransferFile::CTransferFilePtr(new CTARNNetTransferFile(record));
    download = CTARNNetDownloadFileData::Attach(file, nullptr);
    download->Create(folder.string(), nullptr);
    CTARNNetTransferFileList::GetInstance()->Add(file);
  }
  ~SDownloadUnderTest() {
    if (auto* files = CTARNNetTransferFileList::PeekInstance()) files->Remove(file.Get());
    download->Detach();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
  }
  std::filesystem::path folder;
  Shared::File::TransferFile::CTransferFilePtr file;
  Shared::File::TransferFile::CDownloadFileDataPtr download;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static SDownloadUnderTest underTest;
  static _tagStructClientConfig own;
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, ends) != 0) return 0;
  Client::CTARNNetClientList clients;
  Client::CClientPtr client =
      clients.CreateDownloadSource(underTest.file->GetHash(), 0x0100007F, 4662, 0, 0);
  auto* session = new CTARNNetC2CTCPConnecterT(own, client, &clients);
  session->AddRef();
  if (session->AttachAccepted(ends[0])) {
    uint8_t sink[65536];
    for (size_t at = 0; size - at >= 4 && session->IsOpen();) {
      const uint8_t protocol = data[at] % 2 == 0 ? Protocol::kProtocolEDonkey
                                                 : Protocol::kProtocolExtended;
      const uint8_t opcode = data[at + 1];
      const size_t length = std::min<size_t>(data[at + 2] | data[at + 3] << 8, size - at - 4);
      session->Dispatch(opcode, protocol, std::span(data + at + 4, length));
      at += 4 + length;
      while (read(ends[1], sink, sizeof sink) > 0) {
      }
    }
  }
  session->Release();
  close(ends[1]);
  clients.ClearAll();
  return 0;
}
