#include "platform/posix/processes/proc_net_tcp.h"

#include <cstring>
#include <vector>

namespace platform::posix {
namespace {

std::vector<std::string_view> fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
        const std::size_t start = at;
        while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
        if (at > start) out.push_back(line.substr(start, at - start));
    }
    return out;
}

bool upper_hex(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
    }
    return true;
}

// A uid or inode number as the kernel writes it: decimal, 32 bits (an
// inode column wider than that is refused too, which only costs an answer).
std::optional<std::uint32_t> decimal(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

std::string kernel_endpoint_text(std::span<const unsigned char> address, std::uint16_t port) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t at = 0; at + 4 <= address.size(); at += 4) {
        // The kernel prints the word as it sits in memory, so the byte order
        // of this machine decides the text, as it does there.
        std::uint32_t word = 0;
        std::memcpy(&word, address.data() + at, 4);
        for (int shift = 28; shift >= 0; shift -= 4) text += digits[(word >> shift) & 0xF];
    }
    text += ':';
    for (int shift = 12; shift >= 0; shift -= 4) text += digits[(port >> shift) & 0xF];
    return text;
}

std::array<unsigned char, 16> ipv4_mapped(std::span<const unsigned char, 4> address) {
    std::array<unsigned char, 16> bytes{};
    bytes[10] = 0xFF;
    bytes[11] = 0xFF;
    std::memcpy(bytes.data() + 12, address.data(), 4);
    return bytes;
}

std::optional<std::uint32_t> connection_owner(std::string_view table, std::string_view local, std::string_view remote) {
    std::optional<std::uint32_t> owner;
    bool matched = false;
    std::size_t at = 0;
    while (at < table.size()) {
        std::size_t end = table.find('\n', at);
        if (end == std::string_view::npos) end = table.size();
        const auto columns = fields(table.substr(at, end - at));
        at = end + 1;
        // sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode, ...
        if (columns.size() < 10 || columns[1] != local || columns[2] != remote) continue;
        const auto inode = decimal(columns[9]);
        if (inode == 0u) continue;
        if (matched) return std::nullopt;  // one connection per pair, or the table is not what it seems
        matched = true;
        if (!inode || !columns[0].ends_with(':') || columns[3].size() != 2 || !upper_hex(columns[3])) {
            return std::nullopt;
        }
        owner = decimal(columns[7]);
        if (!owner) return std::nullopt;
    }
    return owner;
}

}  // namespace platform::posix
