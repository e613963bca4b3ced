#include "platform/unique_resource.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<int> closed;

struct fake_traits {
    using type = int;
    static type invalid() noexcept { return -1; }
    static void close(type handle) noexcept { closed.push_back(handle); }
};
using fake_handle = platform::unique_resource<fake_traits>;

TEST(unique_resource, closes_each_handle_exactly_once) {
    closed.clear();
    {
        fake_handle a(3);
        fake_handle b(4);
        a = std::move(b);  // 3 is closed here, not leaked
        EXPECT_EQ(closed, std::vector<int>{3});
        EXPECT_EQ(a.get(), 4);
        EXPECT_FALSE(b);

        fake_handle c(std::move(a));
        EXPECT_FALSE(a);
        c.reset(5);
        EXPECT_EQ(closed, (std::vector<int>{3, 4}));

        fake_handle d(6);
        EXPECT_EQ(d.release(), 6);  // released handles are the caller's to close
        EXPECT_FALSE(d);
    }
    EXPECT_EQ(closed, (std::vector<int>{3, 4, 5}));
}

}  // namespace
