// Organize and undo killed at random points: after the next action settles
// the intent log, every file exists exactly once, and undo gives back the
// folder byte for byte.

#include "organize_support.h"
#include "organizer/intent_log.h"
#include "organizer/organize_folder.h"
#include "organizer/undo_journal.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace org = sortwell::organizer;
namespace stdfs = std::filesystem;
using namespace organizer_testing;

// Relative path → content of every regular file under the roots, leaving out
// the organizer's own journal and log.
std::map<std::string, std::string> tree(const std::vector<std::string>& roots) {
    std::map<std::string, std::string> files;
    for (const auto& root : roots) {
        if (!stdfs::exists(root)) continue;
        for (const auto& entry : stdfs::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            const std::string name = entry.path().filename().string();
            if (name == "sw_organize_undo.json" || name == "sw_organize_undo.wal") continue;
            files[entry.path().string()] = qlm::testing::read_bytes(platform::text::from_utf8(entry.path().string()));
        }
    }
    return files;
}

// How many times each content occurs.
std::map<std::string, int> contents(const std::map<std::string, std::string>& files) {
    std::map<std::string, int> counts;
    for (const auto& [path, bytes] : files) ++counts[bytes];
    return counts;
}

// Runs the action in a child process and kills it after `delay`.
void run_and_kill(const std::function<void()>& action, std::chrono::microseconds delay) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            action();
        } catch (...) {
        }
        _exit(0);
    }
    usleep(static_cast<useconds_t>(delay.count()));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
}

// `elsewhere`: a second root the scheme moves into, or empty.
void crash_rounds(const std::wstring& folder, const std::string& elsewhere, const std::wstring& scheme,
                  const org::organize_services& services, int rounds) {
    const std::string root = platform::text::to_utf8(folder);
    const auto original = tree({root});
    const auto original_contents = contents(original);
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delay(0, 40000);
    for (int round = 0; round < rounds; ++round) {
        recording_host host;
        run_and_kill([&] { org::organize_folder(host, folder, scheme, services); },
                     std::chrono::microseconds(delay(random)));
        org::recover_intent_log(folder);
        EXPECT_EQ(contents(tree({root, elsewhere})), original_contents) << "after organize, round " << round;
        for (const auto& [path, bytes] : tree({elsewhere})) {
            EXPECT_EQ(path.find(".qlm-move.tmp"), std::string::npos) << path;  // temporaries are swept
        }
        if (stdfs::exists(platform::text::to_utf8(org::journal_path(folder)))) {
            run_and_kill([&] { org::organize_undo(host, folder, services); }, std::chrono::microseconds(delay(random)));
            org::recover_intent_log(folder);
            EXPECT_EQ(contents(tree({root, elsewhere})), original_contents) << "after undo, round " << round;
            if (stdfs::exists(platform::text::to_utf8(org::journal_path(folder)))) {
                EXPECT_EQ(outcome([&] { org::organize_undo(host, folder, services); }), "ok") << round;
            }
        }
        EXPECT_EQ(tree({root}), original) << "round " << round;
    }
}

std::wstring make_files(const qlm::testing::temp_folder& folder, int count) {
    static const wchar_t* extensions[] = {L"jpg", L"txt", L"mp3", L"zip", L"png", L"doc", L"bin"};
    for (int i = 0; i < count; ++i) {
        const std::wstring name = L"f" + std::to_wstring(i) + L"." + extensions[i % 7];
        folder.write(name, "content " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 13) * 100, 'x'));
    }
    return folder.path();
}

TEST(organize_crash, by_type_killed_anywhere_loses_nothing) {
    qlm::testing::temp_folder folder;
    make_files(folder, 500);
    crash_rounds(folder.path(), "", L"by_type", test_services(), 6);
}

TEST(organize_crash, placement_on_another_file_system_loses_nothing) {
    qlm::testing::temp_folder folder;
    struct stat shm {
    }, here{};
    if (stat("/dev/shm", &shm) != 0 || stat(platform::text::to_utf8(folder.path()).c_str(), &here) != 0 ||
        shm.st_dev == here.st_dev || access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/shm on another file system";
    }
    const std::string target = "/dev/shm/qlm-organize-crash-" + std::to_string(getpid());
    stdfs::create_directories(target);
    struct cleanup {
        std::string path;
        ~cleanup() { stdfs::remove_all(path); }
    } remove_target{target};
    make_files(folder, 500);
    const auto services =
        test_services({{"organize.photoNamingPattern", L"<Original Filename>"},
                       {"organize.photoPlacementPattern", platform::text::from_utf8(target) + L"/Sorted"}});
    crash_rounds(folder.path(), target, L"photos_pattern", services, 4);
}

}  // namespace
