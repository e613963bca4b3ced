#pragma once
// A small pool of reader threads whose results come back in input order.
// The reads of a read command are independent per target, so they can run
// side by side, while the rows are still printed in target order.

#include "platform/com_apartment.h"

#include <algorithm>
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
/// order; the calling thread reads as well. At most a small window of
/// results waits for delivery, so memory stays flat however many items
/// there are. An exception thrown by `read` is rethrown on the calling
/// thread when its index is due (the pool stops claiming new items then);
/// one thrown by `deliver` ends the run the same way. With one reader
/// everything runs on the calling thread.
template <typename Result, typename Read, typename Deliver>
void run_ordered(std::size_t count, std::size_t readers, Read read, Deliver deliver) {
    if (readers <= 1 || count <= 1) {
        for (std::size_t i = 0; i < count; ++i) deliver(read(i));
        return;
    }
    struct outcome {
        std::optional<Result> result;
        std::exception_ptr error;
    };
    struct slot {
        std::vector<outcome> items;
        bool filled = false;
    };
    // Items are claimed in runs, so that a hand-off between threads (a lock
    // and, when someone sleeps, a wake-up) is paid per run, not per item;
    // paid per item, the hand-offs were a seventh of the work of a busy
    // machine.
    const std::size_t run = std::clamp<std::size_t>(count / (readers * 8), 1, 32);
    const std::size_t runs = (count + run - 1) / run;
    const std::size_t window = readers * 4;
    const auto read_run = [&](std::size_t index) {
        std::vector<outcome> items(std::min(run, count - index * run));
        for (std::size_t k = 0; k < items.size(); ++k) {
            try {
                items[k].result.emplace(read(index * run + k));
            } catch (...) {
                items[k].error = std::current_exception();
            }
        }
        return items;
    };
    std::vector<slot> slots(window);
    std::mutex guard;
    std::condition_variable filled;
    std::condition_variable space;
    std::size_t next_claim = 0;
    std::size_t delivered = 0;
    std::size_t helpers_waiting = 0;
    bool caller_waiting = false;
    bool stopping = false;
    const auto claimable = [&] { return next_claim < runs && next_claim < delivered + window; };

    auto help = [&] {
        // The Windows readers are COM objects: every reader thread joins an
        // apartment, as the main thread does.
        const platform::com_apartment com;
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(guard);
                while (!stopping && next_claim < runs && !claimable()) {
                    ++helpers_waiting;
                    space.wait(lock);
                    --helpers_waiting;
                }
                if (stopping || next_claim >= runs) return;
                index = next_claim++;
            }
            std::vector<outcome> items = read_run(index);
            bool wake = false;
            {
                const std::lock_guard lock(guard);
                slots[index % window] = slot{std::move(items), true};
                wake = caller_waiting;
            }
            if (wake) filled.notify_one();
        }
    };

    // The calling thread reads too: it takes the next run itself while the
    // one due is still being read elsewhere, and sleeps only when the window
    // is full.
    std::vector<std::thread> threads;
    threads.reserve(readers - 1);
    const auto stop_and_join = [&] {
        {
            const std::lock_guard lock(guard);
            stopping = true;
        }
        space.notify_all();
        for (auto& thread : threads) thread.join();
    };
    try {
        for (std::size_t i = 1; i < readers && i < runs; ++i) threads.emplace_back(help);
        for (std::size_t due = 0; due < runs; ++due) {
            slot taken;
            bool wake = false;
            {
                std::unique_lock lock(guard);
                while (!slots[due % window].filled) {
                    if (claimable()) {
                        const std::size_t index = next_claim++;
                        lock.unlock();
                        std::vector<outcome> items = read_run(index);
                        lock.lock();
                        slots[index % window] = slot{std::move(items), true};
                        continue;
                    }
                    caller_waiting = true;
                    filled.wait(lock);
                    caller_waiting = false;
                }
                taken = std::move(slots[due % window]);
                slots[due % window] = slot{};
                delivered = due + 1;
                wake = helpers_waiting > 0;
            }
            if (wake) space.notify_all();
            for (outcome& item : taken.items) {
                if (item.error) std::rethrow_exception(item.error);
                deliver(std::move(*item.result));
            }
        }
    } catch (...) {
        stop_and_join();
        throw;
    }
    stop_and_join();
}

}  // namespace qlm::metadata_commands
