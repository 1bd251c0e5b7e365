// Credits.dat: the credit records as an XML document, root "ClientCredits", one "ClientCredit"
// per remote user with Hash, LoUpload, HiUpload, LoDownload, HiDownload, LastSeen and
// PublicKey. Reading and writing documents only (the list does the file and the expiry).
// One thread at a time per document.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "engine/net/ClientCredit.h"
#include "framework/XmlDocument.h"

namespace P2P::Credit {

inline constexpr std::string_view kClientCreditsRoot = "ClientCredits";
inline constexpr std::string_view kClientCreditsFile = "Credits.dat";

// Every "ClientCredit" with a well-formed hash, in document order; nothing when the root has
// another name. A public key with a bad digit or longer than a record holds is left out.
std::vector<_tagStructClientCredit> ReadClientCreditDocument(
    const OSTREL::File::CXmlDocument& document);

// Appends one "ClientCredit" per record (the caller chose which are kept).
void WriteClientCreditDocument(std::span<const _tagStructClientCredit* const> records,
                               OSTREL::File::CXmlDocument& document);

}  // namespace P2P::Credit
