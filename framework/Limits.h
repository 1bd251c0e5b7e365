// Upper bounds the lower layers (framework, platform) put on what a file or a socket can make
// the process hold. The engine's own caps are in engine/protocol/Limits.h, which includes this
// file, so every cap is found in these two. Constants only; any thread.
#pragma once

#include <cstddef>

namespace OSTREL::Limits {

// The largest payload one IPv4 UDP datagram can carry (65535 minus the IP and UDP headers):
// datagrams are built to fit it and receive buffers hold it, so nothing is cut short.
inline constexpr size_t kMaxDatagramSize = 65507;

// Bytes a stream socket's receive buffer holds at most: a peer that never completes a packet
// must not make the buffer grow without end.
inline constexpr size_t kMaxReceiveBufferSize = 16u * 1024 * 1024;

// XML data files above this size are refused when loading.
inline constexpr size_t kMaxXmlFileSize = 256u * 1024 * 1024;

// Registry files larger than this are not registry files we wrote; they load as empty.
inline constexpr size_t kMaxRegistryFileSize = 16u * 1024 * 1024;
// Skipped lines of one registry file reported one by one; beyond, one summary line.
inline constexpr size_t kMaxRegistryLineWarnings = 20;

}  // namespace OSTREL::Limits
