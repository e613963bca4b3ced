// The owner of a connection read from the kernel's TCP tables: the peer's
// own line, never ours or a TIME_WAIT leftover, and nobody at all when the
// text is damaged or ambiguous.

#include "platform/posix/processes/proc_net_tcp.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <string>
#include <vector>

namespace {

using platform::posix::connection_owner;

// Our service on 44002 (0xABE2) as uid 1000, its accepted connection, the
// client's end on port 0xD431 as uid 1001, and a finished earlier connection.
const std::string table =
    "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
    "   0: 0100007F:ABE2 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1000        0 5011 1 "
    "0000000059629d1c 100 0 0 10 0\n"
    "   1: 0100007F:ABE2 0100007F:D431 01 00000000:00000000 00:00000000 00000000  1000        0 5012 1 "
    "000000009c79fbf1 20 4 30 10 -1\n"
    "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  1001        0 6020 1 "
    "00000000aa79fbf1 20 4 30 10 -1\n"
    "   3: 0100007F:D3F0 0100007F:ABE2 06 00000000:00000000 03:00000491 00000000     0        0 0 3 "
    "000000009c79fbf1\n";

const std::string peer = "0100007F:D431";
const std::string service = "0100007F:ABE2";

TEST(ProcNetTcp, NamesTheOwnerOfThePeersOwnLine) {
    EXPECT_EQ(connection_owner(table, peer, service), 1001u);
    EXPECT_EQ(connection_owner(table, service, peer), 1000u);  // our end of it
    // A connection that ended: the kernel writes uid 0 and inode 0, which is
    // nobody, not root.
    EXPECT_EQ(connection_owner(table, "0100007F:D3F0", service), std::nullopt);
    EXPECT_EQ(connection_owner(table, "0100007F:D432", service), std::nullopt);

    const std::string table6 =
        "  sl  local_address                         remote_address                        st tx_queue rx_queue tr "
        "tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0000000000000000FFFF00000100007F:D431 0000000000000000FFFF00000100007F:ABE2 01 00000000:00000000 "
        "00:00000000 00000000    65534        0 7001 1 0000000000000000 20 4 30 10 -1\n";
    EXPECT_EQ(
        connection_owner(table6, "0000000000000000FFFF00000100007F:D431", "0000000000000000FFFF00000100007F:ABE2"),
        65534u);
}

TEST(ProcNetTcp, DamagedOrAmbiguousTextNamesNobody) {
    const std::string good_line =
        "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  1001        0 6020 1 x\n";
    const auto with_peer_line = [](const std::string& line) { return "header\n" + line; };
    ASSERT_EQ(connection_owner(with_peer_line(good_line), peer, service), 1001u);
    for (const std::string& damaged : std::vector<std::string>{
             "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  10O1        0 6020 1\n",
             "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  4294967296  0 6020 1\n",
             "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  -1          0 6020 1\n",
             "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  1001        0 60x0 1\n",
             "   2: 0100007F:D431 0100007F:ABE2 1 00000000:00000000 00:00000000 00000000  1001        0 6020 1\n",
             "   2  0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  1001        0 6020 1\n",
             "   2: 0100007F:D431 0100007F:ABE2 01 00000000:00000000 00:00000000 00000000  1001\n",
             // Two live sockets never share a pair: the table is not to be trusted.
             good_line + "   9: 0100007F:D431 0100007F:ABE2 01 0:0 00:0 0  1000 0 6021 1\n",
             good_line + good_line,
         }) {
        EXPECT_EQ(connection_owner(with_peer_line(damaged), peer, service), std::nullopt) << damaged;
    }
    for (const std::string& garbage :
         std::vector<std::string>{std::string(), std::string("\n\n\n"), std::string(100000, 'A'),
                                  std::string("\0\xFF\x01:\n\t \x80", 9), peer + " " + service}) {
        EXPECT_EQ(connection_owner(garbage, peer, service), std::nullopt);
    }
    // A table cut short anywhere names the right owner or nobody.
    for (std::size_t size = 0; size <= table.size(); ++size) {
        const auto owner = connection_owner(table.substr(0, size), peer, service);
        EXPECT_TRUE(!owner || *owner == 1001u) << size;
    }
}

TEST(ProcNetTcp, WritesEndpointsAsTheKernelDoes) {
    if constexpr (std::endian::native != std::endian::little)
        GTEST_SKIP() << "the texts below are a little-endian machine's";
    using platform::posix::kernel_endpoint_text;
    const std::array<unsigned char, 4> loopback{127, 0, 0, 1};
    EXPECT_EQ(kernel_endpoint_text(loopback, 44002), "0100007F:ABE2");
    EXPECT_EQ(kernel_endpoint_text(std::array<unsigned char, 4>{10, 1, 2, 3}, 80), "0302010A:0050");
    EXPECT_EQ(kernel_endpoint_text(platform::posix::ipv4_mapped(loopback), 54321),
              "0000000000000000FFFF00000100007F:D431");
}

}  // namespace
