// Upper bounds on everything a peer, a server or a data file can make the engine hold. The
// wire formats carry 32-bit lengths and counts; these caps keep a hostile or broken sender
// from making the engine allocate or wait without end. Constants only; any thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "framework/Limits.h"

namespace P2P::Protocol {

// The lower layers' caps, under the engine's names too.
using OSTREL::Limits::kMaxDatagramSize;
using OSTREL::Limits::kMaxReceiveBufferSize;
using OSTREL::Limits::kMaxXmlFileSize;

// A TCP packet's declared length (opcode + payload). The largest packets we expect are search
// answers (a few hundred results of a few hundred bytes each), server lists and a packed
// 184320-byte block; 2 MiB leaves ample room. A longer declaration is a framing error: the
// session closes the connection rather than buffering for it.
inline constexpr uint32_t kMaxTcpPacketLength = 2u * 1024 * 1024;

// Inflated size of one 0xD4 packet; a packet that would inflate further is dropped.
inline constexpr size_t kMaxInflatedSize = 4u * 1024 * 1024;
// The inflation buffer starts at this size and grows by it.
inline constexpr size_t kInflateStep = 4096;

// Blob tags (32-bit length on the wire). Strings are bounded by their 16-bit length.
inline constexpr uint32_t kMaxTagBlobLength = 1024 * 1024;

// Tags in one tag list (offer records, hellos, server identification).
inline constexpr uint32_t kMaxTagsPerList = 1024;

// Known servers: merges of server-list messages stop adding at this size, so a server that
// sends ever new addresses cannot grow the list, the data file and the status traffic.
inline constexpr size_t kMaxKnownServers = 5000;

// One block being received: requests ask for at most one 184320-byte AICH block, so a block
// record never holds more.
inline constexpr uint32_t kMaxTransferBlockLength = 184320;
// Packed bytes accepted for one block before it is given up: zlib never expands incompressible
// data by more than a few bytes per 16 KiB, so twice the block is generous.
inline constexpr uint32_t kMaxPackedBlockInput = 2 * kMaxTransferBlockLength;

// One range a peer may ask us for. Clients ask for one 184320-byte block per range; some older
// ones ask for up to three blocks at once. Anything longer is refused rather than read into
// memory.
inline constexpr uint32_t kMaxUploadRequestLength = 3 * kMaxTransferBlockLength;
// Data bytes in one sending-part packet (and packed bytes in one compressed-part packet): a
// served block goes out as a run of packets of at most this many bytes.
inline constexpr uint32_t kMaxDataPacketBytes = 10240;

// Offer records in one list (offers and search answers).
inline constexpr uint32_t kMaxOfferRecords = 65536;

// Links (ed2k://, tarn://, p2p://): each field between two "|" is shorter than this, and a
// link as a whole never exceeds the second cap (a sources list makes it longer than a field).
inline constexpr size_t kMaxLinkFieldLength = 259;
inline constexpr size_t kMaxLinkLength = 64 * 1024;
// A name counts its characters against the field limit, not its escaped text, which may hold
// up to four bytes per character and three characters ("%XX") per byte.
inline constexpr size_t kMaxLinkNameTextLength = kMaxLinkFieldLength * 4 * 3;
// Sources a link may name; more are refused rather than silently cut.
inline constexpr size_t kMaxLinkSources = 200;

// The largest file the engine holds: 256 GiB, the bound of every client that takes large
// files. Sizes and offsets are 64-bit wherever they concern a file.
inline constexpr uint64_t kMaxFileSize = uint64_t{256} * 1024 * 1024 * 1024;
// The largest file exchanged in the 32-bit forms: 441 parts, the last one not quite full, so
// that every offset and the size itself stay 32-bit. Larger files travel only in the 64-bit
// forms, and only to peers and servers that say they take large files.
inline constexpr uint64_t kMaxSmallFileSize = 4290048000u;
// A download's metadata file. The still-required list is its only part that grows: even a
// file of the largest size with every block required on its own stays far below this.
inline constexpr size_t kMaxDownloadMetadataSize = 8u * 1024 * 1024;
inline constexpr size_t kMaxRequiredRanges = 65536;

// Known sources of one download: servers and peers may name any number; beyond this many
// more sources only cost memory and connections. A shared file remembers as many of the
// clients that asked for it, as sources to hand on.
inline constexpr size_t kMaxSourcesPerDownload = 2000;
// Sources in one answer to a peer asking for those of a file.
inline constexpr size_t kMaxSourcesPerAnswer = 500;
// Peers remembered as answered for a file's sources (each is answered once in 40 minutes).
inline constexpr size_t kMaxSourceAskRecords = 10000;

// Search results held for the running search: new results stop at either cap, so that a
// flood of answers cannot grow the list without end; answers for listed hashes still merge.
inline constexpr size_t kMaxSearchResults = 10000;
// The second cap counts the bytes of names and texts the results hold.
inline constexpr size_t kMaxSearchResultBytes = 64u * 1024 * 1024;

// A typed search expression: any text the user (or an automation client) supplies is refused
// beyond these before it can cost more than a few thousand parser steps or recursion frames.
// The search band stops at 260 characters; the length leaves room for pasted file links and
// long automation queries. Each nesting level costs a handful of recursion frames.
inline constexpr size_t kMaxSearchExpressionLength = 4096;
inline constexpr size_t kMaxSearchNestingDepth = 64;
// A search body larger than this is refused (it must fit a UDP datagram).
inline constexpr size_t kMaxSearchBodySize = 60000;
// Every string on the wire carries a 16-bit length.
inline constexpr size_t kMaxWireStringLength = 0xFFFF;

// Limits every descent of an AICH tree; deep enough for any file up to 256 GiB (at most 21
// levels are used; 15 for files up to 32 bits), with room to spare.
inline constexpr unsigned kMaxAICHTreeDepth = 24;

// Folders below the shared folder walked at most this deep.
inline constexpr int kMaxSharedFolderDepth = 64;
// Extensions longer than this are not kept when a shared file's name is shortened.
inline constexpr size_t kMaxKeptExtension = 32;

// "(n)" variants tried before giving up on making a name free in a folder.
inline constexpr uint32_t kMaxNameCounter = 100000;

// Text values of the stored configuration are read into buffers of 260 characters,
// terminator included.
inline constexpr size_t kMaxConfigTextChars = 259;

// Bytes of one file name on disk (the usual file-system limit for one path component).
inline constexpr size_t kMaxFileNameBytes = 255;

// A remote user's public key as secure identification carries it (a one-byte length; a
// 384-bit key takes 76 bytes). Longer keys are ignored, on the wire and in Credits.dat.
inline constexpr size_t kMaxSecureIdentKeyLength = 80;

// Credit records held: new remote users beyond this replace the oldest record that never got
// a key, so a flood of made-up user hashes cannot grow the list or Credits.dat.
inline constexpr size_t kMaxClientCredits = 100000;

// Peer sessions open at once, whatever "Max Connections" says; connections beyond the lower
// of the two are closed as they are accepted, so a flood of silent connections cannot hold
// descriptors and memory until the idle sweep.
inline constexpr size_t kMaxPeerSessions = 10000;

// Bytes of a peer session's answers left queued because the peer does not read them. A peer
// sending hellos or requests faster than it reads the answers is closed at this point rather
// than making the queue grow; served block data stays far below it.
inline constexpr size_t kMaxPeerSendBacklog = 1024 * 1024;

// A part-hash file (a download's nnnnn.tarn.hashes, the shared files' part hashes) larger than
// this is refused unread. A 4 GB file has 444 parts, 7 KB of hashes, a 256 GiB one 28,257 parts,
// 442 KB: this is far above any library, and a damaged or foreign file cannot make the engine read gigabytes.
inline constexpr size_t kMaxPartHashFileBytes = 64u * 1024 * 1024;

// The automation API. Objects one bus client may hold at once (each is a bus path and an
// object in memory): a client that never releases what it asks for is refused more, not
// allowed to grow the daemon.
inline constexpr size_t kMaxObjectsPerClient = 10000;
// Event sinks advised on one connection point; beyond, an advise fails with the advise-limit
// error, so one client cannot make every event fan out without end.
inline constexpr size_t kMaxEventSinks = 64;
// Characters of the registered service's LocalService value read back from the registry.
inline constexpr size_t kMaxLocalServiceChars = 260;

// Asked block ranges a remote client may have one session hold for it at once: three
// requests' worth. Further ranges are not queued; the client asks for them again.
inline constexpr size_t kMaxServeRanges = 9;
// Disjoint ranges a serving session remembers as queued or sent in the current slot. A
// downloader's sliding window keeps them few (consecutive blocks merge); beyond this many the
// lowest are forgotten.
inline constexpr size_t kMaxServeBookedRanges = 256;

}  // namespace P2P::Protocol
