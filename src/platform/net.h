#pragma once
// Loopback TCP for the local AI services: a blocking IPv4 client socket, and
// a listener for the suite's stand-in service in tests.
//
// Windows: Winsock 2.2. A `winsock_session` is one WSAStartup/WSACleanup
// pair; every socket call needs one alive. Linux: BSD sockets; the session
// always starts and does nothing. Sends use MSG_NOSIGNAL, so a peer that
// closed early makes send fail instead of raising SIGPIPE; a call broken off
// by a signal (SIGINT for Ctrl+C) is repeated, as Winsock calls are not
// interrupted by the console handler.
//
// No call sets a time-out: connect, send and receive block as long as the
// system lets them, except the listener's accept, which waits a given time.
//
// The port is reachable by every account on the machine, so a listener asks
// who is at the other end of a connection (`tcp_socket::peer_owner`). Linux:
// the peer's line in /proc/net/tcp (or tcp6, for an IPv4-mapped peer) gives
// the uid of the socket's creator, compared with our effective uid. Windows:
// the owning process of the peer's row in `GetExtendedTcpTable`, whose token
// user is compared with ours by `EqualSid`. A peer that already hung up
// (its leftover entry names no socket or process) or whose entry cannot be
// found is unknown.

#include "platform/unique_resource.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform::net {

/// One Winsock start-up, version 2.2; cleaned up by the destructor when it
/// started. Sessions nest.
class winsock_session {
public:
    winsock_session();
    ~winsock_session();
    winsock_session(const winsock_session&) = delete;
    winsock_session& operator=(const winsock_session&) = delete;

    /// True when WSAStartup succeeded (always on Linux).
    bool started() const { return started_; }

    /// Cleans up now instead of at the end of the scope; nothing when not
    /// started or already cleaned up.
    void cleanup();

private:
    bool started_ = false;
};

/// The native socket value: SOCKET on Windows, a descriptor on Linux, held
/// as a 64-bit integer so that this header needs no OS header.
struct socket_traits {
    using type = std::intptr_t;
    static type invalid() noexcept { return -1; }
    static void close(type socket) noexcept;
};

/// Who runs the program at the other end of a loopback connection.
struct peer_account {
    enum class relation { same_user, other_user, unknown };
    relation user = relation::unknown;
    /// The peer's account as the system names it: a uid on Linux ("1001"),
    /// a SID on Windows ("S-1-5-21-…"); empty when unknown.
    std::string name;
};

/// An IPv4 TCP socket, closed by its destructor.
class tcp_socket {
public:
    tcp_socket() = default;

    /// socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); invalid on failure.
    static tcp_socket open();

    /// True when a socket is held.
    bool valid() const { return static_cast<bool>(handle_); }

    /// Blocking connect to a dotted IPv4 address; false when refused or
    /// unreachable (or the address is not dotted IPv4).
    bool connect(const std::string& address, std::uint16_t port);

    /// One send call of the whole text: the number of bytes sent, or -1.
    long send(std::string_view bytes);

    /// One receive call of at most `size` bytes: the number received, 0 when
    /// the peer closed, -1 on failure.
    long receive(char* buffer, std::size_t size);

    /// Half-closes the sending side, so the peer reads the end of the stream.
    void shutdown_send();

    /// Closes now; nothing when already closed.
    void close() { handle_.reset(); }

    /// The account of the process that holds the other end of this
    /// connected loopback socket, compared with this process's user;
    /// unknown when the system does not tell (a caller guarding its port
    /// refuses then).
    peer_account peer_owner() const;

    /// Adopts a native socket (the listener's accepted connections).
    explicit tcp_socket(socket_traits::type native) : handle_(native) {}

private:
    unique_resource<socket_traits> handle_;
};

/// A TCP listener on 127.0.0.1 only. Test and tooling use: the suite's
/// programs are clients.
class loopback_listener {
public:
    /// Binds 127.0.0.1:port (address reuse on, so a restarted listener does
    /// not wait for old connections to time out on Linux) and listens.
    /// valid() is false when the port is taken or the socket failed.
    explicit loopback_listener(std::uint16_t port);

    bool valid() const { return static_cast<bool>(handle_); }

    /// Waits up to `timeout` for the next connection; an invalid socket when
    /// none came (or the wait failed).
    tcp_socket accept(std::chrono::milliseconds timeout);

private:
    unique_resource<socket_traits> handle_;
};

}  // namespace platform::net
