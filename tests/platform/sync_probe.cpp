// A second process for the named mutex tests: opens the mutex named by its
// first argument, waits for it and writes how the wait ended into a file.
//
//   qlm_sync_probe <name> <timeout ms> <result file> [hold-and-exit | hold <ms>]
//
// The result is "acquired", "abandoned", "timed_out", "failed" or
// "invalid", followed by the milliseconds the wait took. With
// hold-and-exit the probe ends while it owns the mutex, abandoning it; with
// hold it keeps the mutex that long after writing the result, then lets go.

#include "platform/sync.h"
#include "platform/text.h"

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
    if (argc < 4) return 2;
    platform::sync::named_mutex mutex(platform::text::from_utf8(argv[1]));
    const auto timeout = static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10));
    const bool abandon = argc > 4 && std::string(argv[4]) == "hold-and-exit";
    const bool hold = argc > 5 && std::string(argv[4]) == "hold";

    // Tells the test that the wait is about to begin (process start-up can
    // take seconds under an emulator).
    std::ofstream(std::string(argv[3]) + ".waiting") << "waiting";

    const auto start = std::chrono::steady_clock::now();
    const char* outcome = "invalid";
    bool owned = false;
    if (mutex.valid()) {
        const auto result = mutex.wait(timeout);
        owned = platform::sync::owns(result);
        switch (result) {
            case platform::sync::wait_result::acquired: outcome = "acquired"; break;
            case platform::sync::wait_result::abandoned: outcome = "abandoned"; break;
            case platform::sync::wait_result::timed_out: outcome = "timed_out"; break;
            case platform::sync::wait_result::failed: outcome = "failed"; break;
        }
    }
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    {
        std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
        out << outcome << ' ' << elapsed;
    }
    if (hold && owned) std::this_thread::sleep_for(std::chrono::milliseconds(std::strtoul(argv[5], nullptr, 10)));
    // Ending without running destructors keeps the mutex owned to the end.
    if (abandon) std::_Exit(0);
    return 0;
}
