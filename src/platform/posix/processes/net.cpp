// Linux loopback TCP over BSD sockets.

#include "platform/net.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::net {
namespace {

int fd_of(std::intptr_t socket) { return static_cast<int>(socket); }

bool make_address(const std::string& address, std::uint16_t port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return ::inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
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
