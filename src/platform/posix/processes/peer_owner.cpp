// Linux: the account at the other end of a loopback connection, from the
// peer's own line in the kernel's TCP tables.

#include "platform/net.h"

#include "platform/posix/processes/proc_net_tcp.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <span>

namespace platform::net {
namespace {

std::string read_table(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::span<const unsigned char, 4> bytes_of(const sockaddr_in& address) {
    return std::span<const unsigned char, 4>(reinterpret_cast<const unsigned char*>(&address.sin_addr), 4);
}

// The uid of the peer's socket: its own line names the peer's endpoint as
// local and ours as remote. A client may reach 127.0.0.1 from an IPv6
// socket, which the kernel lists in tcp6 under the mapped address.
std::optional<std::uint32_t> peer_uid(const sockaddr_in& ours, const sockaddr_in& peer) {
    using namespace platform::posix;
    const std::string table = read_table("/proc/net/tcp");
    if (auto uid = connection_owner(table, kernel_endpoint_text(bytes_of(peer), ntohs(peer.sin_port)),
                                    kernel_endpoint_text(bytes_of(ours), ntohs(ours.sin_port)))) {
        return uid;
    }
    const std::string table6 = read_table("/proc/net/tcp6");
    return connection_owner(table6, kernel_endpoint_text(ipv4_mapped(bytes_of(peer)), ntohs(peer.sin_port)),
                            kernel_endpoint_text(ipv4_mapped(bytes_of(ours)), ntohs(ours.sin_port)));
}

}  // namespace

peer_account tcp_socket::peer_owner() const {
    if (!valid()) return {};
    sockaddr_in ours{};
    sockaddr_in peer{};
    socklen_t our_length = sizeof ours;
    socklen_t peer_length = sizeof peer;
    if (::getsockname(static_cast<int>(handle_.get()), reinterpret_cast<sockaddr*>(&ours), &our_length) != 0 ||
        ::getpeername(static_cast<int>(handle_.get()), reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0 ||
        ours.sin_family != AF_INET || peer.sin_family != AF_INET) {
        return {};
    }
    const auto uid = peer_uid(ours, peer);
    if (!uid) return {};
    return {*uid == ::geteuid() ? peer_account::relation::same_user : peer_account::relation::other_user,
            std::to_string(*uid)};
}

}  // namespace platform::net
