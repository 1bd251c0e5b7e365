// Plays arbitrary secure identification packets at a credit list that has a key: the first
// byte picks the packet (state, public key, signature) and the remote version, the rest is
// its payload.
#include "engine/base/IdentityKey.h"
#include "engine/net/TARNNetClientCreditList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string key = P2P::GenerateIdentityKey().value_or("");
  static P2P::Credit::CTARNNetClientCreditList list([] { return 1800000000u; });
  static const bool keyed =
      list.SetPrivateKey({reinterpret_cast<const uint8_t*>(key.data()), key.size()});
  if (size == 0 || !keyed) return 0;
  P2P::Credit::SSecureIdentContext context;
  context.remoteUserHash.bytes[0] = data[0] & 0x07;
  context.remoteVersion = (data[0] >> 3) & 0x03;
  const std::span<const uint8_t> payload(data + 1, size - 1);
  switch (data[0] >> 5) {
    case 0:
      list.SendState(context);
      break;
    case 1:
      list.OnState(context, payload);
      break;
    case 2:
      list.OnPublicKey(context, payload);
      list.PendingSignature(context);
      break;
    default:
      list.OnSignature(context, payload);
      break;
  }
  return 0;
}
