// The credit records of every remote user this engine met, keyed by user hash and kept in
// Credits.dat, with the engine's own signing state for secure identification. Any thread:
// every look-up, change, load and save takes the list's lock; callers get copies of records.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

#include "engine/net/ClientCredit.h"
#include "engine/net/SecureIdentSigner.h"
#include "engine/net/SecureIdentification.h"
#include "engine/transfer/TransferMeter.h"
#include "framework/CriticalSection.h"
#include "framework/XmlDocument.h"

namespace P2P::Credit {

class CTARNNetClientCreditList : public ITARNNetSecureIdentification {
 public:
  // Seconds since 1970, low 32 bits; tests pass their own.
  using WallClock = std::function<uint32_t()>;
  static uint32_t SystemWallClock();

  explicit CTARNNetClientCreditList(WallClock clock = SystemWallClock);
  ~CTARNNetClientCreditList() override;

  // Builds the signing state from the private key text (Base64 of its DER form), then reads
  // Credits.dat from `configFolder`. False when no file was read (a missing file included).
  bool Load(const std::filesystem::path& configFolder, std::span<const uint8_t> privateKeyText);
  // Writes every record that has a key and has not expired; atomic.
  bool Save(const std::filesystem::path& configFolder) const;
  // The same on documents, for tests and the fuzz target.
  void LoadDocument(const OSTREL::File::CXmlDocument& document);
  void SaveDocument(OSTREL::File::CXmlDocument& document) const;
  bool SetPrivateKey(std::span<const uint8_t> privateKeyText);
  bool HasSigningState() const;
  // The engine's own DER public key (empty without a signing state).
  std::vector<uint8_t> OwnPublicKey() const;

  std::optional<_tagStructClientCredit> Find(const _tagUnionHash& userHash) const;
  // nullopt only when the list is full of records that have keys.
  std::optional<_tagStructClientCredit> FindOrCreate(const _tagUnionHash& userHash);
  size_t Count() const;

  // Bytes exchanged with a user; counted only while its identification is verified. True
  // when counted. The session meters count every user's bytes.
  bool AddUploaded(const _tagUnionHash& userHash, uint64_t bytes);
  bool AddDownloaded(const _tagUnionHash& userHash, uint64_t bytes);
  const CTransferMeter& UploadMeter() const { return uploadMeter_; }
  const CTransferMeter& DownloadMeter() const { return downloadMeter_; }
  // 1 for a user that is not verified; else from its counters (see ComputeCreditModifier).
  double CreditModifier(const _tagUnionHash& userHash) const;

  // Secure identification.
  std::vector<SSecureIdentPacket> SendState(const SSecureIdentContext& context) override;
  std::vector<SSecureIdentPacket> OnState(const SSecureIdentContext& context,
                                          std::span<const uint8_t> payload) override;
  void OnPublicKey(const SSecureIdentContext& context, std::span<const uint8_t> payload) override;
  std::vector<SSecureIdentPacket> PendingSignature(const SSecureIdentContext& context) override;
  void OnSignature(const SSecureIdentContext& context, std::span<const uint8_t> payload) override;
  uint32_t IdentificationState(const _tagUnionHash& remoteUserHash) override;

 private:
  struct SEntry {
    _tagStructClientCredit credit;
    bool signatureOwed = false;  // a state packet asked for a signature we could not yet give
  };
  using Entries = std::list<SEntry>;

  SEntry* FindLocked(const _tagUnionHash& userHash) const REQUIRES(lock_);
  SEntry* FindOrCreateLocked(const _tagUnionHash& userHash) REQUIRES(lock_);
  SEntry* AppendLocked(const _tagStructClientCredit& credit) REQUIRES(lock_);
  bool EvictKeylessLocked() REQUIRES(lock_);
  std::shared_ptr<const CSecureIdentSigner> Signer() const;
  // The signature packet for `entry`'s challenge, made outside the lock; nothing when the
  // remote key, the challenge or the signer is missing.
  std::vector<SSecureIdentPacket> SignFor(const SSecureIdentContext& context);

  WallClock clock_;
  mutable OSTREL::Process::CCriticalSection lock_;
  Entries entries_ GUARDED_BY(lock_);  // list order: creation, then file order
  std::map<_tagUnionHash, Entries::iterator> index_ GUARDED_BY(lock_);
  // Creation order, checked lazily when evicting.
  std::list<_tagUnionHash> keyless_ GUARDED_BY(lock_);
  std::shared_ptr<const CSecureIdentSigner> signer_ GUARDED_BY(lock_);
  CTransferMeter uploadMeter_;
  CTransferMeter downloadMeter_;
};

}  // namespace P2P::Credit
