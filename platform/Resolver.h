// Turns a configured server name into an IPv4 address: dotted text first (inet_addr rules,
// so "127.1" and hex parts are accepted), else the first IPv4 address from the resolver.
// Addresses are in network byte order, as the eD2K code keeps them. Any thread; a name
// lookup blocks.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace OSTREL::Platform {

inline constexpr uint32_t kInvalidAddress = 0xFFFFFFFF;

// kInvalidAddress when the text is neither an address nor a name that resolves.
uint32_t ResolveIPv4(const std::string& host);

// "%d.%d.%d.%d" of the four bytes in memory order.
std::string FormatIPv4(uint32_t address);

}  // namespace OSTREL::Platform
