// The owner of a loopback connection's other end, asked of the system
// itself: our own client is our user; a client that already hung up is
// nobody (its leftover entry names no process).

#include "platform/net.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

namespace {

namespace net = platform::net;
using namespace std::chrono_literals;

// A listener on a free port away from the service's own.
struct listening {
    std::uint16_t port = 44100;
    net::loopback_listener listener{port};
    listening() {
        while (!listener.valid() && port < 44199) listener = net::loopback_listener(++port);
    }
};

TEST(LoopbackPeerOwner, OurOwnClientIsOurUserAndAGoneOneIsNobody) {
    const net::winsock_session winsock;
    ASSERT_TRUE(winsock.started());
    listening server;
    ASSERT_TRUE(server.listener.valid());

    net::tcp_socket client = net::tcp_socket::open();
    ASSERT_TRUE(client.connect("127.0.0.1", server.port));
    const net::tcp_socket accepted = server.listener.accept(5s);
    ASSERT_TRUE(accepted.valid());
    const net::peer_account owner = accepted.peer_owner();
    EXPECT_EQ(owner.user, net::peer_account::relation::same_user);
    EXPECT_FALSE(owner.name.empty());

    net::tcp_socket quitter = net::tcp_socket::open();
    ASSERT_TRUE(quitter.connect("127.0.0.1", server.port));
    quitter.close();
    const net::tcp_socket late = server.listener.accept(5s);
    ASSERT_TRUE(late.valid());
    EXPECT_EQ(late.peer_owner().user, net::peer_account::relation::unknown);
}

}  // namespace
