#include "platform/sync.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <sstream>
#include <thread>

namespace {

using platform::sync::named_mutex;
using platform::sync::wait_result;

// The probe is built beside the test binary.
std::wstring probe_path() {
    std::wstring path = platform::file_system::module_path();
    path.resize(path.find_last_of(platform::file_system::separator) + 1);
    const bool windows = platform::file_system::separator == L'\\';
    return path + (windows ? L"qlm_sync_probe.exe" : L"qlm_sync_probe");
}

// A name of its own per test run, so that parallel runs never meet.
std::wstring unique_name(const std::wstring& purpose) {
    return L"Local\\QLM.Test." + purpose + L"." + std::to_wstring(platform::file_system::process_id()) + L"." +
           std::to_wstring(std::chrono::steady_clock::now().time_since_epoch().count());
}

struct probe_result {
    std::string outcome;
    long milliseconds = -1;
};

// Runs the probe in another process and waits for it to end. The probe
// writes "<result>.waiting" just before it starts waiting.
probe_result run_probe_into(const std::wstring& result, const std::wstring& name, std::uint32_t timeout,
                            const std::string& mode = "") {
    // Built by appending: GCC 12 at -O3 warns falsely on "\"" + std::string.
    std::string command;
    for (const std::string& part : {platform::text::to_utf8(probe_path()), platform::text::to_utf8(name)}) {
        command.append(1, '"').append(part).append("\" ");
    }
    command.append(std::to_string(timeout)).append(" \"").append(platform::text::to_utf8(result)).append("\" ");
    command.append(mode);
    // cmd.exe strips the outer quotes of a line that starts with one; an
    // extra pair keeps the inner ones.
    if (platform::file_system::separator == L'\\') {
        command.insert(0, 1, '"');
        command.push_back('"');
    }
    if (std::system(command.c_str()) != 0) return {};
    std::istringstream in(qlm::testing::read_bytes(result));
    probe_result out;
    in >> out.outcome >> out.milliseconds;
    return out;
}

probe_result run_probe(const std::wstring& name, std::uint32_t timeout, const std::string& mode = "") {
    const qlm::testing::temp_folder folder;
    return run_probe_into(folder / L"result.txt", name, timeout, mode);
}

TEST(sync, second_process_waits_then_times_out_and_gets_the_mutex_once_released) {
    const std::wstring name = unique_name(L"Busy");
    named_mutex mutex(name);
    ASSERT_TRUE(mutex.valid());
    EXPECT_EQ(mutex.error(), 0u);
    ASSERT_EQ(mutex.wait(0), wait_result::acquired);

    const probe_result busy = run_probe(name, 400);
    EXPECT_EQ(busy.outcome, "timed_out");
    EXPECT_GE(busy.milliseconds, 390);

    // A waiter that is still waiting when the owner lets go gets it.
    const qlm::testing::temp_folder folder;
    const std::wstring result = folder / L"result.txt";
    auto waiter = std::async(std::launch::async, [&] { return run_probe_into(result, name, 10000); });
    for (int i = 0; i < 600 && !platform::file_system::exists(result + L".waiting"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    mutex.release();
    const probe_result later = waiter.get();
    EXPECT_EQ(later.outcome, "acquired");
    EXPECT_GE(later.milliseconds, 100);
    EXPECT_LT(later.milliseconds, 9000);

    // Released by its owner: the next wait is an ordinary acquisition.
    EXPECT_EQ(mutex.wait(1000), wait_result::acquired);
}

TEST(sync, owner_that_dies_holding_the_mutex_abandons_it) {
    const std::wstring name = unique_name(L"Abandoned");
    named_mutex mutex(name);
    ASSERT_TRUE(mutex.valid());
    // Windows abandons a mutex only while some handle keeps it alive: ours does.
    EXPECT_EQ(run_probe(name, 1000, "hold-and-exit").outcome, "acquired");
    const wait_result result = mutex.wait(2000);
    EXPECT_EQ(result, wait_result::abandoned);
    EXPECT_TRUE(platform::sync::owns(result));
    mutex.release();
    EXPECT_EQ(run_probe(name, 1000).outcome, "acquired");
}

TEST(sync, handles_are_released_on_destruction_and_move) {
    const std::wstring name = unique_name(L"Scope");
    {
        named_mutex held(name);
        ASSERT_EQ(held.wait(0), wait_result::acquired);
        EXPECT_EQ(run_probe(name, 0).outcome, "timed_out");
    }
    EXPECT_EQ(run_probe(name, 0).outcome, "acquired");

    named_mutex first(name);
    ASSERT_EQ(first.wait(0), wait_result::acquired);
    named_mutex moved(std::move(first));
    EXPECT_FALSE(first.valid());  // a moved-from handle is empty
    EXPECT_EQ(first.wait(0), wait_result::failed);
    EXPECT_EQ(run_probe(name, 0).outcome, "timed_out");

    // Assigning over an owning handle releases what it held.
    named_mutex other(unique_name(L"Other"));
    moved = std::move(other);
    EXPECT_EQ(run_probe(name, 0).outcome, "acquired");
    EXPECT_EQ(moved.wait(0), wait_result::acquired);
}

}  // namespace
