// Windows loopback TCP over Winsock 2.2.

#include "platform/net.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <climits>

namespace platform::net {
namespace {

SOCKET native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }

bool make_address(const std::string& address, std::uint16_t port, sockaddr_in& out) {
    out = {};
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &out.sin_addr) == 1;
}

int clamp_length(std::size_t size) { return size > INT_MAX ? INT_MAX : static_cast<int>(size); }

}  // namespace

winsock_session::winsock_session() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

winsock_session::~winsock_session() { cleanup(); }

void winsock_session::cleanup() {
    if (started_) WSACleanup();
    started_ = false;
}

void socket_traits::close(type socket) noexcept { closesocket(native(socket)); }

tcp_socket tcp_socket::open() {
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return {};
    // Not inherited by the service this process may start.
    SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    return tcp_socket(static_cast<std::intptr_t>(socket));
}

bool tcp_socket::connect(const std::string& address, std::uint16_t port) {
    sockaddr_in target{};
    if (!valid() || !make_address(address, port, target)) return false;
    return ::connect(native(handle_.get()), reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
}

long tcp_socket::send(std::string_view bytes) {
    if (!valid()) return -1;
    const int sent = ::send(native(handle_.get()), bytes.data(), clamp_length(bytes.size()), 0);
    return sent == SOCKET_ERROR ? -1 : sent;
}

long tcp_socket::receive(char* buffer, std::size_t size) {
    if (!valid()) return -1;
    const int received = ::recv(native(handle_.get()), buffer, clamp_length(size), 0);
    return received == SOCKET_ERROR ? -1 : received;
}

void tcp_socket::shutdown_send() {
    if (valid()) ::shutdown(native(handle_.get()), SD_SEND);
}

loopback_listener::loopback_listener(std::uint16_t port) {
    const SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket == INVALID_SOCKET) return;
    handle_.reset(static_cast<std::intptr_t>(socket));
    sockaddr_in address{};
    make_address("127.0.0.1", port, address);
    // Windows lets a second listener share a port only when it asks to;
    // exclusive use makes a taken port fail the bind as on Linux.
    const BOOL on = TRUE;
    setsockopt(socket, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || listen(socket, 16) != 0) {
        handle_.reset();
    }
}

tcp_socket loopback_listener::accept(std::chrono::milliseconds timeout) {
    if (!valid()) return {};
    WSAPOLLFD entry{native(handle_.get()), POLLRDNORM, 0};
    const int ready = WSAPoll(&entry, 1, static_cast<INT>(timeout.count()));
    if (ready <= 0) return {};
    const SOCKET socket = ::accept(native(handle_.get()), nullptr, nullptr);
    return socket == INVALID_SOCKET ? tcp_socket() : tcp_socket(static_cast<std::intptr_t>(socket));
}

}  // namespace platform::net
