#include "service/dbus/ExportedObjects.h"

namespace OSTREL::COM {

std::tuple<int32_t, bool, std::string, std::string, uint32_t, bool, uint32_t, uint32_t>
CExportedServiceManager::GetConnectionState() {
  Bus().Touch(Caller());
  SConnectionState state;
  const HRESULT hr = serverConnection_->GetConnectionState(&state);
  return {hr, state.connected, state.address, state.name, state.clientId, state.lowId,
          state.users, state.files};
}

int32_t CExportedServiceManager::AddServer(const std::string& address) {
  Bus().Touch(Caller());
  return serverConnection_->AddServer(address);
}

int32_t CExportedServiceManager::RemoveServer(const std::string& address) {
  Bus().Touch(Caller());
  return serverConnection_->RemoveServer(address);
}

int32_t CExportedServiceManager::ConnectServer(const std::string& address) {
  Bus().Touch(Caller());
  return serverConnection_->ConnectServer(address);
}

std::tuple<int32_t, uint64_t, uint64_t, uint64_t, uint64_t>
CExportedServiceManager::GetTransferTotals() {
  Bus().Touch(Caller());
  STransferTotals totals;
  const HRESULT hr = serverConnection_->GetTransferTotals(&totals);
  return {hr, totals.uploaded, totals.downloaded, totals.uploadRate, totals.downloadRate};
}

std::tuple<int32_t, std::vector<sdbus::Struct<std::string, std::string, std::string, std::string,
                                              bool, uint32_t, uint32_t, uint64_t, double>>>
CExportedServiceManager::GetUploadQueue() {
  Bus().Touch(Caller());
  std::vector<SUploadQueueEntry> entries;
  const HRESULT hr = serverConnection_->GetUploadQueue(&entries);
  std::vector<sdbus::Struct<std::string, std::string, std::string, std::string, bool, uint32_t,
                            uint32_t, uint64_t, double>>
      wire;
  wire.reserve(entries.size());
  for (const SUploadQueueEntry& e : entries)
    wire.emplace_back(e.userHash, e.address, e.fileHash, e.fileName, e.uploading, e.rank,
                      e.seconds, e.sentBytes, e.creditModifier);
  return {hr, std::move(wire)};
}

}  // namespace OSTREL::COM
