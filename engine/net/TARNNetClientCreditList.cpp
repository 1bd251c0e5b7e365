#include "engine/net/TARNNetClientCreditList.h"

#include <ctime>
#include <vector>

#include "engine/net/ClientCreditFile.h"
#include "engine/net/CreditModifier.h"
#include "platform/XmlFile.h"

namespace P2P::Credit {

using OSTREL::Process::CLock;

uint32_t CTARNNetClientCreditList::SystemWallClock() {
  return static_cast<uint32_t>(std::time(nullptr));
}

CTARNNetClientCreditList::CTARNNetClientCreditList(WallClock clock) : clock_(std::move(clock)) {}
CTARNNetClientCreditList::~CTARNNetClientCreditList() = default;

bool CTARNNetClientCreditList::SetPrivateKey(std::span<const uint8_t> privateKeyText) {
  std::shared_ptr<const CSecureIdentSigner> signer =
      CSecureIdentSigner::FromPrivateKeyText(privateKeyText);
  CLock guard(lock_);
  signer_ = std::move(signer);
  return signer_ != nullptr;
}

bool CTARNNetClientCreditList::HasSigningState() const { return Signer() != nullptr; }

std::vector<uint8_t> CTARNNetClientCreditList::OwnPublicKey() const {
  const auto signer = Signer();
  if (!signer) return {};
  return {signer->PublicKey().begin(), signer->PublicKey().end()};
}

std::shared_ptr<const CSecureIdentSigner> CTARNNetClientCreditList::Signer() const {
  CLock guard(lock_);
  return signer_;
}

bool CTARNNetClientCreditList::Load(const std::filesystem::path& configFolder,
                                    std::span<const uint8_t> privateKeyText) {
  SetPrivateKey(privateKeyText);
  OSTREL::File::CXmlDocument document;
  if (!OSTREL::File::LoadXmlFile(document, configFolder / kClientCreditsFile)) return false;
  LoadDocument(document);
  return true;
}

void CTARNNetClientCreditList::LoadDocument(const OSTREL::File::CXmlDocument& document) {
  const uint32_t now = clock_();
  CLock guard(lock_);
  for (const _tagStructClientCredit& credit : ReadClientCreditDocument(document)) {
    // The first record of a user wins; a copy later in the file is one too many.
    if (IsExpired(credit, now) || FindLocked(credit.userHash) != nullptr) continue;
    if (entries_.size() >= Protocol::kMaxClientCredits && !EvictKeylessLocked()) break;
    AppendLocked(credit);
  }
}

bool CTARNNetClientCreditList::Save(const std::filesystem::path& configFolder) const {
  OSTREL::File::CXmlDocument document(kClientCreditsRoot);
  SaveDocument(document);
  return OSTREL::File::SaveXmlFile(document, configFolder / kClientCreditsFile);
}

void CTARNNetClientCreditList::SaveDocument(OSTREL::File::CXmlDocument& document) const {
  const uint32_t now = clock_();
  CLock guard(lock_);
  std::vector<const _tagStructClientCredit*> kept;
  for (const SEntry& entry : entries_)
    if (entry.credit.HasPublicKey() && !IsExpired(entry.credit, now)) kept.push_back(&entry.credit);
  WriteClientCreditDocument(kept, document);
}

CTARNNetClientCreditList::SEntry* CTARNNetClientCreditList::FindLocked(
    const _tagUnionHash& userHash) const {
  const auto found = index_.find(userHash);
  return found == index_.end() ? nullptr : &*found->second;
}

CTARNNetClientCreditList::SEntry* CTARNNetClientCreditList::AppendLocked(
    const _tagStructClientCredit& credit) {
  entries_.push_back(SEntry{credit});
  index_[credit.userHash] = std::prev(entries_.end());
  if (!credit.HasPublicKey()) keyless_.push_back(credit.userHash);
  return &entries_.back();
}

bool CTARNNetClientCreditList::EvictKeylessLocked() {
  while (!keyless_.empty()) {
    const _tagUnionHash hash = keyless_.front();
    keyless_.pop_front();
    const auto found = index_.find(hash);
    if (found == index_.end() || found->second->credit.HasPublicKey()) continue;
    entries_.erase(found->second);
    index_.erase(found);
    return true;
  }
  return false;
}

CTARNNetClientCreditList::SEntry* CTARNNetClientCreditList::FindOrCreateLocked(
    const _tagUnionHash& userHash) {
  if (SEntry* entry = FindLocked(userHash)) return entry;
  if (entries_.size() >= Protocol::kMaxClientCredits && !EvictKeylessLocked()) return nullptr;
  _tagStructClientCredit credit;
  credit.userHash = userHash;
  return AppendLocked(credit);
}

std::optional<_tagStructClientCredit> CTARNNetClientCreditList::Find(
    const _tagUnionHash& userHash) const {
  CLock guard(lock_);
  const SEntry* entry = FindLocked(userHash);
  if (entry == nullptr) return std::nullopt;
  return entry->credit;
}

std::optional<_tagStructClientCredit> CTARNNetClientCreditList::FindOrCreate(
    const _tagUnionHash& userHash) {
  CLock guard(lock_);
  const SEntry* entry = FindOrCreateLocked(userHash);
  if (entry == nullptr) return std::nullopt;
  return entry->credit;
}

size_t CTARNNetClientCreditList::Count() const {
  CLock guard(lock_);
  return entries_.size();
}

bool CTARNNetClientCreditList::AddUploaded(const _tagUnionHash& userHash, uint64_t bytes) {
  uploadMeter_.Add(bytes);
  CLock guard(lock_);
  SEntry* entry = FindLocked(userHash);
  if (entry == nullptr || entry->credit.identState != kIdentVerified) return false;
  entry->credit.AddUploaded(bytes);
  return true;
}

bool CTARNNetClientCreditList::AddDownloaded(const _tagUnionHash& userHash, uint64_t bytes) {
  downloadMeter_.Add(bytes);
  CLock guard(lock_);
  SEntry* entry = FindLocked(userHash);
  if (entry == nullptr || entry->credit.identState != kIdentVerified) return false;
  entry->credit.AddDownloaded(bytes);
  return true;
}

double CTARNNetClientCreditList::CreditModifier(const _tagUnionHash& userHash) const {
  CLock guard(lock_);
  const SEntry* entry = FindLocked(userHash);
  if (entry == nullptr || entry->credit.identState != kIdentVerified) return kMinCreditModifier;
  return ComputeCreditModifier(entry->credit.Uploaded(), entry->credit.Downloaded());
}

uint32_t CTARNNetClientCreditList::IdentificationState(const _tagUnionHash& remoteUserHash) {
  CLock guard(lock_);
  const SEntry* entry = FindLocked(remoteUserHash);
  return entry == nullptr ? kIdentNone : entry->credit.identState;
}

}  // namespace P2P::Credit
