// Feeds arbitrary text as the kernel's TCP table to the reader that names a
// connection's owner. It must never crash, and it may name an owner only
// from a line that holds both endpoints and that uid.

#include "platform/posix/processes/proc_net_tcp.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view table(reinterpret_cast<const char*>(data), size);
    const std::string_view peer = "0100007F:D431";
    const std::string_view service = "0100007F:ABE2";
    const auto owner = platform::posix::connection_owner(table, peer, service);
    if (!owner) return 0;
    std::size_t line_start = 0;
    bool backed = false;
    while (line_start <= table.size() && !backed) {
        std::size_t end = table.find('\n', line_start);
        if (end == std::string_view::npos) end = table.size();
        const std::string_view line = table.substr(line_start, end - line_start);
        const std::size_t local_at = line.find(peer);
        backed = local_at != std::string_view::npos &&
                 line.find(service, local_at + peer.size()) != std::string_view::npos &&
                 line.find(std::to_string(*owner)) != std::string_view::npos;
        line_start = end + 1;
    }
    if (!backed) __builtin_trap();
    return 0;
}
