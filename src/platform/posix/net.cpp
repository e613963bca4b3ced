// Linux loopback TCP over BSD sockets.

#include "platform/net.h"

#include "platform/posix/proc_net_tcp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

namespace platform::net {
namespace {

int fd_of(std::intptr_t socket) { return static_cast<int>(socket); }

bool make_address(const std::string& address, std::uint16_t port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

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

winsock_session::winsock_session() : started_(true) {}
winsock_session::~winsock_session() { cleanup(); }
void winsock_session::cleanup() { started_ = false; }

void socket_traits::close(type socket) noexcept { ::close(fd_of(socket)); }

tcp_socket tcp_socket::open() {
    // Close-on-exec: a service started by this process must not hold our sockets.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    return fd < 0 ? tcp_socket() : tcp_socket(fd);
}

bool tcp_socket::connect(const std::string& address, std::uint16_t port) {
    sockaddr_in target{};
    if (!valid() || !make_address(address, port, target)) return false;
    if (::connect(fd_of(handle_.get()), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) return true;
    if (errno != EINTR) return false;
    // An interrupted connect goes on in the background; wait for its outcome.
    pollfd entry{fd_of(handle_.get()), POLLOUT, 0};
    while (::poll(&entry, 1, -1) < 0) {
        if (errno != EINTR) return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    return ::getsockopt(fd_of(handle_.get()), SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
}

long tcp_socket::send(std::string_view bytes) {
    if (!valid()) return -1;
    for (;;) {
        const ssize_t sent = ::send(fd_of(handle_.get()), bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent >= 0) return static_cast<long>(sent);
        if (errno != EINTR) return -1;
    }
}

long tcp_socket::receive(char* buffer, std::size_t size) {
    if (!valid()) return -1;
    for (;;) {
        const ssize_t received = ::recv(fd_of(handle_.get()), buffer, size, 0);
        if (received >= 0) return static_cast<long>(received);
        if (errno != EINTR) return -1;
    }
}

peer_account tcp_socket::peer_owner() const {
    if (!valid()) return {};
    sockaddr_in ours{};
    sockaddr_in peer{};
    socklen_t our_length = sizeof ours;
    socklen_t peer_length = sizeof peer;
    if (::getsockname(fd_of(handle_.get()), reinterpret_cast<sockaddr*>(&ours), &our_length) != 0 ||
        ::getpeername(fd_of(handle_.get()), reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0 ||
        ours.sin_family != AF_INET || peer.sin_family != AF_INET) {
        return {};
    }
    const auto uid = peer_uid(ours, peer);
    if (!uid) return {};
    return {*uid == ::geteuid() ? peer_account::relation::same_user : peer_account::relation::other_user,
            std::to_string(*uid)};
}

void tcp_socket::shutdown_send() {
    if (valid()) ::shutdown(fd_of(handle_.get()), SHUT_WR);
}

loopback_listener::loopback_listener(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) return;
    handle_.reset(fd);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    make_address("127.0.0.1", port, address);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
        handle_.reset();
    }
}

tcp_socket loopback_listener::accept(std::chrono::milliseconds timeout) {
    if (!valid()) return {};
    pollfd entry{fd_of(handle_.get()), POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(timeout.count()));
    if (ready <= 0) return {};
    const int fd = ::accept4(fd_of(handle_.get()), nullptr, nullptr, SOCK_CLOEXEC);
    return fd < 0 ? tcp_socket() : tcp_socket(fd);
}

}  // namespace platform::net
