// Secure identification on the credit list: each side signs the other's challenge together
// with the other's public key, so a signature proves the key and cannot serve another peer.
#include <vector>

#include "engine/net/TARNNetClientCreditList.h"
#include "engine/protocol/SecureIdentPayloads.h"

namespace P2P::Credit {

using OSTREL::Process::CLock;
using namespace Protocol;

namespace {

constexpr uint32_t kLowIdLimit = 0x1000000;

bool IsHighId(uint32_t clientId) { return clientId >= kLowIdLimit; }

}  // namespace

std::vector<SSecureIdentPacket> CTARNNetClientCreditList::SendState(
    const SSecureIdentContext& context) {
  if (context.remoteVersion == 0) return {};
  const uint32_t challenge = NewSecureIdentChallenge();
  SSecIdentState state;
  {
    CLock guard(lock_);
    SEntry* entry = FindOrCreateLocked(context.remoteUserHash);
    if (entry == nullptr) return {};
    entry->credit.challengeSent = challenge;
    state.state =
        entry->credit.HasPublicKey() ? kSecIdentNeedSignature : kSecIdentNeedKeyAndSignature;
    state.challenge = challenge;
  }
  return {{kOpSecIdentState, BuildSecIdentState(state)}};
}

std::vector<SSecureIdentPacket> CTARNNetClientCreditList::OnState(
    const SSecureIdentContext& context, std::span<const uint8_t> payload) {
  const auto state = ParseSecIdentState(payload);
  if (!state) return {};
  const bool wantsKey = state->state == kSecIdentNeedKeyAndSignature;
  const bool wantsSignature = wantsKey || state->state == kSecIdentNeedSignature;
  {
    CLock guard(lock_);
    SEntry* entry = FindOrCreateLocked(context.remoteUserHash);
    if (entry == nullptr) return {};
    entry->credit.challengeReceived = state->challenge;
    if (wantsSignature) entry->signatureOwed = true;
  }
  std::vector<SSecureIdentPacket> packets;
  if (wantsKey) {
    if (const auto signer = Signer())
      packets.push_back({kOpSecIdentPublicKey, BuildSecIdentPublicKey(signer->PublicKey())});
  }
  // Without the remote key yet the signature waits for it (PendingSignature).
  if (wantsSignature)
    for (SSecureIdentPacket& packet : SignFor(context)) packets.push_back(std::move(packet));
  return packets;
}

void CTARNNetClientCreditList::OnPublicKey(const SSecureIdentContext& context,
                                           std::span<const uint8_t> payload) {
  const auto key = ParseSecIdentPublicKey(payload);
  if (!key || !IsUsablePublicKey(*key)) return;
  CLock guard(lock_);
  SEntry* entry = FindOrCreateLocked(context.remoteUserHash);
  // A known key is never replaced: otherwise anyone naming a user's hash could bring a key of
  // its own, sign with it and take over that user's credit.
  if (entry == nullptr || entry->credit.HasPublicKey()) return;
  entry->credit.SetPublicKey(*key);
}

std::vector<SSecureIdentPacket> CTARNNetClientCreditList::PendingSignature(
    const SSecureIdentContext& context) {
  return SignFor(context);
}

std::vector<SSecureIdentPacket> CTARNNetClientCreditList::SignFor(
    const SSecureIdentContext& context) {
  const auto signer = Signer();
  if (!signer) return {};
  _tagStructClientCredit credit;
  {
    CLock guard(lock_);
    SEntry* entry = FindLocked(context.remoteUserHash);
    if (entry == nullptr || !entry->signatureOwed || !entry->credit.HasPublicKey() ||
        entry->credit.challengeReceived == 0)
      return {};
    credit = entry->credit;
  }
  uint8_t kind = 0;
  uint32_t address = 0;
  if (context.remoteVersion == 2) {
    // With a high id our own id proves where we are; otherwise the verifier's address as this
    // connection shows it, which the verifier knows as its own.
    const bool highId = IsHighId(context.ownClientId);
    kind = highId ? kSecIdentAddressLocal : kSecIdentAddressRemote;
    address = highId ? context.ownClientId : context.remoteAddress;
  }
  const auto message =
      BuildSecIdentMessage(credit.PublicKey(), credit.challengeReceived, kind, address);
  const auto signature = signer->Sign(message);
  if (!signature) return {};
  {
    CLock guard(lock_);
    if (SEntry* entry = FindLocked(context.remoteUserHash)) entry->signatureOwed = false;
  }
  return {{kOpSecIdentSignature, BuildSecIdentSignature(*signature, kind)}};
}

void CTARNNetClientCreditList::OnSignature(const SSecureIdentContext& context,
                                           std::span<const uint8_t> payload) {
  const auto signature = ParseSecIdentSignature(payload, context.remoteVersion);
  const auto signer = Signer();
  if (!signature || !signer) return;
  _tagStructClientCredit credit;
  {
    CLock guard(lock_);
    const SEntry* entry = FindLocked(context.remoteUserHash);
    // Nothing to check against before we sent a challenge or learnt the key.
    if (entry == nullptr || !entry->credit.HasPublicKey() || entry->credit.challengeSent == 0)
      return;
    credit = entry->credit;
  }
  uint32_t address = 0;
  if (signature->addressKind == kSecIdentAddressRemote)
    address = IsHighId(context.ownClientId) ? context.ownClientId : context.ownPublicAddress;
  else if (signature->addressKind == kSecIdentAddressLocal)
    address = context.remoteAddress;
  const auto message = BuildSecIdentMessage(signer->PublicKey(), credit.challengeSent,
                                            signature->addressKind, address);
  const bool verified =
      VerifySecureIdentSignature(credit.PublicKey(), message, signature->signature);
  const uint32_t now = clock_();
  CLock guard(lock_);
  SEntry* entry = FindLocked(context.remoteUserHash);
  if (entry == nullptr) return;
  entry->credit.identState = verified ? kIdentVerified : kIdentFailed;
  if (verified) entry->credit.lastSeen = now;
}

}  // namespace P2P::Credit
