#include "tests/support/FaultyFileSystem.h"

#include <cerrno>

namespace tarn::test {
namespace {

using OSTREL::File::EOpenMode;
using OSTREL::File::IFile;
using OSTREL::File::PosixFileSystem;
using OSTREL::File::SFileStat;

class FaultyFile final : public IFile {
 public:
  FaultyFile(std::unique_ptr<IFile> inner, FaultyFileSystem& fs)
      : inner_(std::move(inner)), fs_(fs) {}

  std::optional<size_t> ReadAt(uint64_t offset, std::span<uint8_t> out) override {
    return inner_->ReadAt(offset, out);
  }
  bool WriteAt(uint64_t offset, std::span<const uint8_t> data) override {
    if (const int error = fs_.TakeFault(FaultyFileSystem::EOp::kWrite)) return Fail(error);
    const auto [landed, error] = fs_.TakeWriteBudget(data.size());
    if (landed > 0 && !inner_->WriteAt(offset, data.first(landed)))
      return Fail(inner_->LastError());
    return error == 0 || Fail(error);
  }
  bool Sync() override {
    if (const int error = fs_.TakeFault(FaultyFileSystem::EOp::kSync)) return Fail(error);
    return inner_->Sync() || Fail(inner_->LastError());
  }
  bool Truncate(uint64_t size) override {
    return inner_->Truncate(size) || Fail(inner_->LastError());
  }
  std::optional<SFileStat> Stat() override { return inner_->Stat(); }
  void AdviseSequential() override { inner_->AdviseSequential(); }
  int LastError() const override { return lastError_; }

 private:
  bool Fail(int error) {
    lastError_ = error;
    return false;
  }

  std::unique_ptr<IFile> inner_;
  FaultyFileSystem& fs_;
  int lastError_ = 0;
};

bool Failed(int error) {
  errno = error;
  return false;
}

}  // namespace

void FaultyFileSystem::Fail(EOp op, int error, int times) {
  std::lock_guard guard(lock_);
  faults_[static_cast<int>(op)] = {error, times};
}

void FaultyFileSystem::DiskFullAfter(uint64_t bytes) {
  std::lock_guard guard(lock_);
  bytesLeft_ = bytes;
}

void FaultyFileSystem::TearNextWrite(size_t keptBytes) {
  std::lock_guard guard(lock_);
  tearAfter_ = keptBytes;
}

void FaultyFileSystem::Heal() {
  std::lock_guard guard(lock_);
  for (SFault& fault : faults_) fault = {};
  bytesLeft_.reset();
  tearAfter_.reset();
}

int FaultyFileSystem::InjectedFailures() const {
  std::lock_guard guard(lock_);
  return injected_;
}

int FaultyFileSystem::TakeFault(EOp op) {
  std::lock_guard guard(lock_);
  SFault& fault = faults_[static_cast<int>(op)];
  if (fault.times == 0) return 0;
  if (fault.times > 0) --fault.times;
  ++injected_;
  return fault.error;
}

std::pair<size_t, int> FaultyFileSystem::TakeWriteBudget(size_t size) {
  std::lock_guard guard(lock_);
  if (tearAfter_) {
    const size_t kept = std::min(size, *tearAfter_);
    tearAfter_.reset();
    ++injected_;
    return {kept, EIO};
  }
  if (bytesLeft_ && size > *bytesLeft_) {
    const size_t kept = static_cast<size_t>(*bytesLeft_);
    *bytesLeft_ = 0;
    ++injected_;
    return {kept, ENOSPC};
  }
  if (bytesLeft_) *bytesLeft_ -= size;
  return {size, 0};
}

std::unique_ptr<IFile> FaultyFileSystem::Open(const std::filesystem::path& path, EOpenMode mode) {
  if (mode != EOpenMode::kRead)
    if (const int error = TakeFault(EOp::kOpenForWrite)) return Failed(error), nullptr;
  auto inner = PosixFileSystem().Open(path, mode);
  if (!inner) return nullptr;
  return std::make_unique<FaultyFile>(std::move(inner), *this);
}

bool FaultyFileSystem::Rename(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (const int error = TakeFault(EOp::kRename)) return Failed(error);
  return PosixFileSystem().Rename(from, to);
}

bool FaultyFileSystem::RenameNoReplace(const std::filesystem::path& from,
                                       const std::filesystem::path& to) {
  if (const int error = TakeFault(EOp::kRename)) return Failed(error);
  return PosixFileSystem().RenameNoReplace(from, to);
}

bool FaultyFileSystem::Remove(const std::filesystem::path& path) {
  return PosixFileSystem().Remove(path);
}

std::optional<SFileStat> FaultyFileSystem::Stat(const std::filesystem::path& path) {
  return PosixFileSystem().Stat(path);
}

std::optional<uint64_t> FaultyFileSystem::FreeSpace(const std::filesystem::path& folder) {
  {
    std::lock_guard guard(lock_);
    if (bytesLeft_) return *bytesLeft_;
  }
  return PosixFileSystem().FreeSpace(folder);
}

bool FaultyFileSystem::SyncFolder(const std::filesystem::path& folder) {
  if (const int error = TakeFault(EOp::kSyncFolder)) return Failed(error);
  return PosixFileSystem().SyncFolder(folder);
}

bool FaultyFileSystem::CreateFolders(const std::filesystem::path& folder) {
  return PosixFileSystem().CreateFolders(folder);
}

}  // namespace tarn::test
