#include "engine/net/ClientCreditFile.h"

#include <optional>
#include <string>

#include "framework/AsciiCase.h"
#include "framework/Hex.h"

namespace P2P::Credit {
namespace {

using OSTREL::File::CXmlElement;

bool Is(std::string_view name, std::string_view field) {
  return OSTREL::EqualsIgnoreCase(name, field);
}

void SetNumber(uint32_t& field, std::string_view text) {
  if (const auto number = OSTREL::File::ParseUInt32(text)) field = *number;
}

// A key is half as many bytes as digits; one bad digit makes it no key at all, so that the
// next session asks the user for its key again instead of failing on a broken one.
void SetPublicKey(_tagStructClientCredit& credit, std::string_view text) {
  credit.publicKeyLength = 0;
  const size_t length = text.size() / 2;
  if (length == 0 || length > credit.publicKey.size()) return;
  std::array<uint8_t, Protocol::kMaxSecureIdentKeyLength> key{};
  if (!OSTREL::Util::HexToBytes(text.substr(0, length * 2), std::span(key.data(), length))) return;
  credit.SetPublicKey(std::span(key.data(), length));
}

// Unknown names are ignored, so files written by later versions still load.
void ApplyField(_tagStructClientCredit& credit, bool& hasHash, std::string_view name,
                std::string_view text) {
  if (Is(name, "Hash")) {
    const auto hash = _tagUnionHash::FromHex(text);
    hasHash = hash.has_value();
    if (hash) credit.userHash = *hash;
  } else if (Is(name, "LoUpload")) {
    SetNumber(credit.uploadLow, text);
  } else if (Is(name, "HiUpload")) {
    SetNumber(credit.uploadHigh, text);
  } else if (Is(name, "LoDownload")) {
    SetNumber(credit.downloadLow, text);
  } else if (Is(name, "HiDownload")) {
    SetNumber(credit.downloadHigh, text);
  } else if (Is(name, "LastSeen")) {
    SetNumber(credit.lastSeen, text);
  } else if (Is(name, "PublicKey")) {
    SetPublicKey(credit, text);
  }
}

}  // namespace

std::vector<_tagStructClientCredit> ReadClientCreditDocument(
    const OSTREL::File::CXmlDocument& document) {
  std::vector<_tagStructClientCredit> records;
  const CXmlElement root = document.Root();
  if (!root || !root.NameIs(kClientCreditsRoot)) return records;
  for (const CXmlElement& element : root.Children("ClientCredit")) {
    _tagStructClientCredit credit;
    bool hasHash = false;
    element.ForEachField([&](std::string_view name, std::string_view text) {
      ApplyField(credit, hasHash, name, text);
    });
    // A record that names nobody could never be found again.
    if (hasHash) records.push_back(credit);
  }
  return records;
}

void WriteClientCreditDocument(std::span<const _tagStructClientCredit* const> records,
                               OSTREL::File::CXmlDocument& document) {
  for (const _tagStructClientCredit* credit : records) {
    CXmlElement element = document.Root().AppendElement("ClientCredit");
    element.AppendText("Hash", credit->userHash.ToHex());
    element.AppendNumber("LoUpload", credit->uploadLow);
    element.AppendNumber("HiUpload", credit->uploadHigh);
    element.AppendNumber("LoDownload", credit->downloadLow);
    element.AppendNumber("HiDownload", credit->downloadHigh);
    element.AppendNumber("LastSeen", credit->lastSeen);
    element.AppendText("PublicKey", OSTREL::Util::BytesToHex(credit->PublicKey()));
  }
}

}  // namespace P2P::Credit
