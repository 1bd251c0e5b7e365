#include "service/client/RemoteConnection.h"

#include "service/client/ApiClient.h"

namespace OSTREL::COM {

HRESULT CRemoteConnection::GetConnectionState(SConnectionState* state) {
  if (state == nullptr) return E_POINTER;
  return Call([&] {
    HRESULT hr = S_OK;
    std::tie(hr, state->connected, state->address, state->name, state->clientId, state->lowId,
             state->users, state->files) = glue_->GetConnectionState();
    return hr;
  });
}

HRESULT CRemoteConnection::AddServer(const std::string& address) {
  return Call([&] { return glue_->AddServer(address); });
}

HRESULT CRemoteConnection::RemoveServer(const std::string& address) {
  return Call([&] { return glue_->RemoveServer(address); });
}

HRESULT CRemoteConnection::ConnectServer(const std::string& address) {
  return Call([&] { return glue_->ConnectServer(address); });
}

HRESULT CRemoteConnection::GetTransferTotals(STransferTotals* totals) {
  if (totals == nullptr) return E_POINTER;
  return Call([&] {
    HRESULT hr = S_OK;
    std::tie(hr, totals->uploaded, totals->downloaded, totals->uploadRate, totals->downloadRate) =
        glue_->GetTransferTotals();
    return hr;
  });
}

HRESULT CRemoteConnection::GetUploadQueue(std::vector<SUploadQueueEntry>* entries) {
  if (entries == nullptr) return E_POINTER;
  entries->clear();
  return Call([&] {
    auto [hr, wire] = glue_->GetUploadQueue();
    for (const auto& item : wire) {
      SUploadQueueEntry& entry = entries->emplace_back();
      std::tie(entry.userHash, entry.address, entry.fileHash, entry.fileName, entry.uploading,
               entry.rank, entry.seconds, entry.sentBytes, entry.creditModifier) = item;
    }
    return hr;
  });
}

}  // namespace OSTREL::COM
