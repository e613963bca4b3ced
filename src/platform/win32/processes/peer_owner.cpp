// Windows: the account at the other end of a loopback connection, through
// the owning process of the peer's row in the system's TCP table. Its own
// file, so that programs that never ask do not import iphlpapi.dll.

#include "platform/net.h"

#include "platform/win32/handles.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After the Winsock headers, which it needs.
#include <iphlpapi.h>
#include <sddl.h>

#include <cstddef>
#include <cstring>
#include <optional>
#include <vector>

namespace platform::net {
namespace {

SOCKET native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }

// One of the system's TCP tables with owning processes; empty on failure.
// The table may grow between the size query and the read, hence the loop.
std::vector<unsigned char> owner_table(ULONG family) {
    std::vector<unsigned char> table;
    DWORD size = 0;
    for (int attempt = 0; attempt < 4; ++attempt) {
        const DWORD result = GetExtendedTcpTable(table.empty() ? nullptr : table.data(), &size, FALSE, family,
                                                 TCP_TABLE_OWNER_PID_ALL, 0);
        if (result == NO_ERROR) return table;
        if (result != ERROR_INSUFFICIENT_BUFFER) break;
        table.assign(size, 0);
    }
    return {};
}

// The owning process of the one row of a table (MIB_TCPTABLE_OWNER_PID or
// its IPv6 twin) that `matches`; counts the matching rows into `matches`.
template <typename Table, typename Match>
std::optional<DWORD> find_owner(const std::vector<unsigned char>& bytes, int& matches, Match match) {
    std::optional<DWORD> owner;
    if (bytes.size() < sizeof(Table)) return owner;
    const auto* table = reinterpret_cast<const Table*>(bytes.data());
    const std::size_t room = (bytes.size() - offsetof(Table, table)) / sizeof(table->table[0]);
    for (DWORD i = 0; i < table->dwNumEntries && i < room; ++i) {
        // TIME_WAIT rows and connections their program closed belong to no
        // process any more (process 0).
        const auto& row = table->table[i];
        if (row.dwState == MIB_TCP_STATE_TIME_WAIT || row.dwOwningPid == 0 || !match(row)) continue;
        owner = row.dwOwningPid;
        ++matches;
    }
    return owner;
}

// The process holding the peer's end: the one row whose local endpoint is
// the peer's and remote endpoint ours.
std::optional<DWORD> peer_process(const sockaddr_in& ours, const sockaddr_in& peer) {
    int matches = 0;
    auto owner =
        find_owner<MIB_TCPTABLE_OWNER_PID>(owner_table(AF_INET), matches, [&](const MIB_TCPROW_OWNER_PID& row) {
            return row.dwLocalAddr == peer.sin_addr.s_addr && static_cast<u_short>(row.dwLocalPort) == peer.sin_port &&
                   row.dwRemoteAddr == ours.sin_addr.s_addr && static_cast<u_short>(row.dwRemotePort) == ours.sin_port;
        });
    if (matches == 0) {
        // A dual-stack client socket is listed with IPv4-mapped addresses.
        unsigned char peer_mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        unsigned char our_mapped[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
        std::memcpy(peer_mapped + 12, &peer.sin_addr, 4);
        std::memcpy(our_mapped + 12, &ours.sin_addr, 4);
        owner =
            find_owner<MIB_TCP6TABLE_OWNER_PID>(owner_table(AF_INET6), matches, [&](const MIB_TCP6ROW_OWNER_PID& row) {
                return std::memcmp(row.ucLocalAddr, peer_mapped, 16) == 0 &&
                       static_cast<u_short>(row.dwLocalPort) == peer.sin_port &&
                       std::memcmp(row.ucRemoteAddr, our_mapped, 16) == 0 &&
                       static_cast<u_short>(row.dwRemotePort) == ours.sin_port;
            });
    }
    if (matches != 1) return std::nullopt;
    return owner;
}

// The user of a process's token, or empty.
std::vector<unsigned char> token_user(HANDLE process) {
    HANDLE raw_token = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw_token)) return {};
    const win32::owned_handle token = win32::adopt_handle(raw_token);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size < sizeof(TOKEN_USER)) return {};
    std::vector<unsigned char> user(size);
    if (!GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return {};
    return user;
}

std::string sid_text(PSID sid) {
    LPSTR text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text)) return {};
    std::string out(text);
    LocalFree(text);
    return out;
}

}  // namespace

peer_account tcp_socket::peer_owner() const {
    if (!valid()) return {};
    sockaddr_in ours{};
    sockaddr_in peer{};
    int our_length = sizeof ours;
    int peer_length = sizeof peer;
    if (getsockname(native(handle_.get()), reinterpret_cast<sockaddr*>(&ours), &our_length) != 0 ||
        getpeername(native(handle_.get()), reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0 ||
        ours.sin_family != AF_INET || peer.sin_family != AF_INET) {
        return {};
    }
    const auto process_id = peer_process(ours, peer);
    if (!process_id) return {};
    const win32::owned_handle process =
        win32::adopt_handle(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, *process_id));
    if (!process) return {};
    const auto theirs = token_user(process.get());
    const auto mine = token_user(GetCurrentProcess());
    if (theirs.empty() || mine.empty()) return {};
    const PSID their_sid = reinterpret_cast<const TOKEN_USER*>(theirs.data())->User.Sid;
    const PSID my_sid = reinterpret_cast<const TOKEN_USER*>(mine.data())->User.Sid;
    return {EqualSid(their_sid, my_sid) ? peer_account::relation::same_user : peer_account::relation::other_user,
            sid_text(their_sid)};
}

}  // namespace platform::net
