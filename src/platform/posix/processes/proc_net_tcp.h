#pragma once
// Reading the owner of a TCP connection from the kernel's tables
// /proc/net/tcp and /proc/net/tcp6. Their text comes from outside the
// program: a damaged line is never taken for an owner.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace platform::posix {

/// An endpoint as the kernel writes it in those tables: each 32-bit word of
/// the address as stored in memory, printed as "%08X" (so 127.0.0.1 is
/// "0100007F" on a little-endian machine), then ":" and the port as "%04X".
/// `address` holds the 4 bytes of an IPv4 or the 16 of an IPv6 address in
/// network order; `port` is in host order.
std::string kernel_endpoint_text(std::span<const unsigned char> address, std::uint16_t port);

/// The 16 bytes of the IPv4-mapped IPv6 address (::ffff:a.b.c.d) of 4 bytes.
std::array<unsigned char, 16> ipv4_mapped(std::span<const unsigned char, 4> address);

/// The uid column of the one connection whose local endpoint is `local` and
/// remote endpoint is `remote` (texts as `kernel_endpoint_text` makes them)
/// in the text of a table. Nothing when no line names that pair, when two
/// do, or when its line is damaged. Lines whose inode is 0 are passed over:
/// no open socket stands behind them (TIME_WAIT, or a connection its
/// program closed), and the kernel writes 0 for a TIME_WAIT one's uid.
std::optional<std::uint32_t> connection_owner(std::string_view table, std::string_view local, std::string_view remote);

}  // namespace platform::posix
