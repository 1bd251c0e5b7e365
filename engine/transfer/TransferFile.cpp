#include "engine/transfer/TransferFile.h"

#include <cstring>
#include <memory>

namespace P2P::Shared::File::TransferFile {

const _tagStructTransferCallbacks* CTARNNetTransferFile::Intern(
    const _tagStructTransferCallbacks& table) {
  static std::mutex lock;
  static std::vector<std::unique_ptr<const _tagStructTransferCallbacks>> tables;
  std::lock_guard guard(lock);
  // The table is function pointers only: equal bytes are equal tables.
  for (const auto& held : tables)
    if (std::memcmp(held.get(), &table, sizeof table) == 0) return held.get();
  tables.push_back(std::make_unique<const _tagStructTransferCallbacks>(table));
  return tables.back().get();
}

void CTARNNetTransferFile::Attach(const _tagStructTransferCallbacks& callbacks, void* userData) {
  const _tagStructTransferCallbacks* table = Intern(callbacks);
  std::lock_guard guard(FieldLockFor(this));
  callbacks_ = table;
  userData_ = userData;
}

void* CTARNNetTransferFile::GetUserData() const {
  std::lock_guard guard(FieldLockFor(this));
  return userData_;
}

void CTARNNetTransferFile::SetUserData(void* userData) {
  std::lock_guard guard(FieldLockFor(this));
  userData_ = userData;
}

CTARNNetTransferFile::CBoundTable CTARNNetTransferFile::Table() const {
  std::lock_guard guard(FieldLockFor(this));
  return CBoundTable(*callbacks_, userData_);
}

bool CTARNNetTransferFile::Create(const std::string& path, OSTREL::Process::CEvent* stopEvent) {
  const auto [table, user] = Table();
  return table.create != nullptr ? table.create(user, path, stopEvent) : false;
}

bool CTARNNetTransferFile::Restore(const std::string& path) {
  const auto [table, user] = Table();
  return table.restore != nullptr ? table.restore(user, path) : false;
}

bool CTARNNetTransferFile::Save() {
  const auto [table, user] = Table();
  return table.save != nullptr ? table.save(user) : false;
}

bool CTARNNetTransferFile::ReadRange(uint32_t start, uint32_t end, std::vector<uint8_t>& data) {
  const auto [table, user] = Table();
  return table.readRange != nullptr ? table.readRange(user, start, end, data) : false;
}

bool CTARNNetTransferFile::AcceptData(const _tagStructReceivedData& data) {
  const auto [table, user] = Table();
  return table.acceptData != nullptr ? table.acceptData(user, data) : false;
}

bool CTARNNetTransferFile::SetPath(const std::string& fullPath) {
  const auto [table, user] = Table();
  return table.setPath != nullptr ? table.setPath(user, fullPath) : false;
}

bool CTARNNetTransferFile::Reserved54() {
  const auto [table, user] = Table();
  return table.reserved54 != nullptr ? table.reserved54(user) : false;
}

bool CTARNNetTransferFile::IsFinished() {
  const auto [table, user] = Table();
  return table.isFinished != nullptr ? table.isFinished(user) : true;
}

bool CTARNNetTransferFile::MoveTo(const std::string& path) {
  const auto [table, user] = Table();
  return table.moveTo != nullptr ? table.moveTo(user, path) : false;
}

bool CTARNNetTransferFile::IsStopped() {
  const auto [table, user] = Table();
  return table.isStopped != nullptr ? table.isStopped(user) : false;
}

bool CTARNNetTransferFile::SetStopped(bool stopped) {
  const auto [table, user] = Table();
  return table.setStopped != nullptr ? table.setStopped(user, stopped) : false;
}

bool CTARNNetTransferFile::IsPaused() {
  const auto [table, user] = Table();
  return table.isPaused != nullptr ? table.isPaused(user) : false;
}

bool CTARNNetTransferFile::SetPaused(bool paused) {
  const auto [table, user] = Table();
  return table.setPaused != nullptr ? table.setPaused(user, paused) : false;
}

bool CTARNNetTransferFile::Resume() {
  const auto [table, user] = Table();
  return table.resume != nullptr ? table.resume(user) : false;
}

bool CTARNNetTransferFile::Cancel() {
  const auto [table, user] = Table();
  return table.cancel != nullptr ? table.cancel(user) : false;
}

uint32_t CTARNNetTransferFile::RemainingBytes() {
  const auto [table, user] = Table();
  return table.remainingBytes != nullptr ? table.remainingBytes(user) : 0;
}

bool CTARNNetTransferFile::CountSourceIn(std::span<const uint8_t> partBitmap) {
  const auto [table, user] = Table();
  return table.countSourceIn != nullptr ? table.countSourceIn(user, partBitmap) : false;
}

bool CTARNNetTransferFile::CountSourceOut(std::span<const uint8_t> partBitmap) {
  const auto [table, user] = Table();
  return table.countSourceOut != nullptr ? table.countSourceOut(user, partBitmap) : false;
}

uint32_t CTARNNetTransferFile::ChooseBlocks(
    std::span<const uint8_t> partBitmap, _tagStructRequestRecord& request, uint32_t wanted,
    std::span<const std::pair<uint32_t, uint32_t>> askedOfSource) {
  const auto [table, user] = Table();
  return table.chooseBlocks != nullptr
             ? table.chooseBlocks(user, partBitmap, request, wanted, askedOfSource)
             : 0;
}

bool CTARNNetTransferFile::ForgetRequest(const _tagStructRequestRecord& request) {
  const auto [table, user] = Table();
  return table.forgetRequest != nullptr ? table.forgetRequest(user, request) : false;
}

uint32_t CTARNNetTransferFile::CompletedBytes() {
  const auto [table, user] = Table();
  return table.completedBytes != nullptr ? table.completedBytes(user) : 0;
}

uint32_t CTARNNetTransferFile::ReceivedBytes() {
  const auto [table, user] = Table();
  return table.receivedBytes != nullptr ? table.receivedBytes(user) : 0;
}

uint32_t CTARNNetTransferFile::Speed() {
  const auto [table, user] = Table();
  return table.speed != nullptr ? table.speed(user) : 0;
}

bool CTARNNetTransferFile::AddSource(uint32_t clientId, uint16_t port, uint32_t serverAddress,
                                     uint16_t serverPort) {
  const auto [table, user] = Table();
  return table.addSource != nullptr
             ? table.addSource(user, clientId, port, serverAddress, serverPort)
             : false;
}

bool CTARNNetTransferFile::RemoveSource(uint32_t clientId) {
  const auto [table, user] = Table();
  return table.removeSource != nullptr ? table.removeSource(user, clientId) : false;
}

bool CTARNNetTransferFile::AddTransferring(void* client) {
  const auto [table, user] = Table();
  return table.addTransferring != nullptr ? table.addTransferring(user, client) : false;
}

bool CTARNNetTransferFile::RemoveTransferring(void* client) {
  const auto [table, user] = Table();
  return table.removeTransferring != nullptr ? table.removeTransferring(user, client) : false;
}

bool CTARNNetTransferFile::StatisticsSample() {
  const auto [table, user] = Table();
  return table.statisticsSample != nullptr ? table.statisticsSample(user) : false;
}

}  // namespace P2P::Shared::File::TransferFile
