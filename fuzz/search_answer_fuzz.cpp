// Reads the input as a TCP search answer (count, records, more flag) and as a UDP datagram of
// search-answer packets, adding every record to a result list as the server sessions do.
#include "engine/library/OfferRecord.h"
#include "engine/protocol/C2SUDPDispatcher.h"
#include "engine/protocol/RecvUDPPacket.h"
#include "engine/search/SearchResultFileList.h"

namespace {

using P2P::Shared::File::SearchResultFile::CTARNNetSearchResultFileList;

void Add(CTARNNetSearchResultFileList& list, const P2P::Protocol::SOfferRecord& record) {
  if (const auto result = P2P::Shared::File::OfferRecordFromTags(record.hash, record.clientId,
                                                                 record.port, record.tags))
    list.AddFromRecord(*result);
}

struct ResultSocket : P2P::Protocol::ITARNNetC2SUDPEventDispatcher {
  CTARNNetSearchResultFileList& list;
  explicit ResultSocket(CTARNNetSearchResultFileList& results) : list(results) {}
  void OnServerStatus(uint32_t, uint16_t, const P2P::Protocol::SServerStatusAnswer&) override {}
  void OnGlobalFoundSources(uint32_t, uint16_t, const P2P::Protocol::SFoundSources&) override {}
  void OnServerList(uint32_t, uint16_t, const std::vector<P2P::Protocol::SAddressPort>&) override {}
  void OnServerDescription(uint32_t, uint16_t, const P2P::Protocol::SServerDescription&) override {}
  void OnGlobalSearchResult(uint32_t, uint16_t, const P2P::Protocol::SOfferRecord& r) override {
    Add(list, r);
  }
  size_t Dispatch(uint8_t opcode, uint8_t, std::span<const uint8_t> payload,
                  const P2P::Protocol::SUdpSender& sender) {
    return P2P::Protocol::DispatchServerUdpPacket(*this, opcode, payload, sender);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CTARNNetSearchResultFileList list;
  list.BeginSearch("a e", 1);  // words and the Audio category both filter
  if (const auto answer = P2P::Protocol::ParseSearchResults({data, size}))
    for (const auto& record : answer->records) Add(list, record);
  ResultSocket socket(list);
  P2P::Protocol::CTARNNetRecvUDPPacket<ResultSocket>(socket, {0x0100007F, 4661})
      .ParseDatagram({data, size});
  return 0;
}
