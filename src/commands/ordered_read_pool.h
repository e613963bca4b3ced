#pragma once
// A small pool of reader threads whose results come back in input order.
// The reads of a read command are independent per target, so they can run
// side by side, while the rows are still printed in target order.

#include "platform/com_apartment.h"

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace qlm::metadata_commands {

/// One reader per core, at most one per item, at least one.
std::size_t reader_count(std::size_t items);

/// Calls `read(i)` for every i in [0, count) on up to `readers` threads and
/// hands each result to `deliver(result)` on the calling thread, in index
/// order. At most a small window of results waits for delivery, so memory
/// stays flat however many items there are. An exception thrown by `read`
/// is rethrown on the calling thread when its index is due (the pool stops
/// claiming new items then); one thrown by `deliver` ends the run the same
/// way. With one reader everything runs on the calling thread.
template <typename Result, typename Read, typename Deliver>
void run_ordered(std::size_t count, std::size_t readers, Read read, Deliver deliver) {
    if (readers <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) deliver(read(i));
        return;
    }
    struct slot {
        std::optional<Result> result;
        std::exception_ptr error;
        bool filled = false;
    };
    const std::size_t window = readers * 8;
    std::vector<slot> slots(window);
    std::mutex guard;
    std::condition_variable filled;
    std::condition_variable space;
    std::size_t next_claim = 0;
    std::size_t delivered = 0;
    bool stopping = false;

    auto work = [&] {
        // The Windows readers are COM objects: every reader thread joins an
        // apartment, as the main thread does.
        const platform::com_apartment com;
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(guard);
                space.wait(lock, [&] { return stopping || next_claim >= count || next_claim < delivered + window; });
                if (stopping || next_claim >= count) return;
                index = next_claim++;
            }
            slot done;
            try {
                done.result.emplace(read(index));
            } catch (...) {
                done.error = std::current_exception();
            }
            done.filled = true;
            {
                const std::lock_guard lock(guard);
                slots[index % window] = std::move(done);
            }
            filled.notify_one();
        }
    };

    std::vector<std::thread> threads;
    threads.reserve(readers);
    const auto stop_and_join = [&] {
        {
            const std::lock_guard lock(guard);
            stopping = true;
        }
        space.notify_all();
        for (auto& thread : threads) thread.join();
    };
    try {
        for (std::size_t i = 0; i < readers; ++i) threads.emplace_back(work);
        for (std::size_t i = 0; i < count; ++i) {
            slot due;
            {
                std::unique_lock lock(guard);
                filled.wait(lock, [&] { return slots[i % window].filled; });
                due = std::move(slots[i % window]);
                slots[i % window] = slot{};
                delivered = i + 1;
            }
            space.notify_all();
            if (due.error) std::rethrow_exception(due.error);
            deliver(std::move(*due.result));
        }
    } catch (...) {
        stop_and_join();
        throw;
    }
    stop_and_join();
}

}  // namespace qlm::metadata_commands
