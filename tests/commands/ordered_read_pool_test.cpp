#include "commands/ordered_read_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using qlm::metadata_commands::run_ordered;

// Later items finish first, so that a pool that delivered in completion
// order would be caught.
std::string slow_read(std::size_t index, std::size_t count) {
    std::this_thread::sleep_for(std::chrono::microseconds(((count - index) % 7) * 300));
    return "item " + std::to_string(index);
}

TEST(ordered_read_pool, delivers_every_item_once_in_index_order_on_the_calling_thread) {
    for (const std::size_t readers : {1u, 2u, 5u}) {
        for (const std::size_t count : {0u, 1u, 3u, 200u}) {
            std::vector<std::string> delivered;
            const auto caller = std::this_thread::get_id();
            run_ordered<std::string>(count, readers, [&](std::size_t i) { return slow_read(i, count); },
                                     [&](std::string&& item) {
                                         EXPECT_EQ(std::this_thread::get_id(), caller);
                                         delivered.push_back(std::move(item));
                                     });
            ASSERT_EQ(delivered.size(), count) << readers << " readers";
            for (std::size_t i = 0; i < count; ++i) EXPECT_EQ(delivered[i], "item " + std::to_string(i));
        }
    }
}

TEST(ordered_read_pool, a_failed_read_surfaces_when_its_turn_comes_and_stops_the_pool) {
    for (const std::size_t readers : {1u, 3u}) {
        std::vector<int> delivered;
        const auto read = [](std::size_t i) {
            if (i == 40) throw std::runtime_error("unreadable 40");
            return static_cast<int>(i);
        };
        try {
            run_ordered<int>(1000, readers, read, [&](int&& value) { delivered.push_back(value); });
            FAIL() << "no exception";
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "unreadable 40");
        }
        ASSERT_EQ(delivered.size(), 40u) << readers << " readers";
        EXPECT_EQ(delivered.back(), 39);
    }
}

}  // namespace
