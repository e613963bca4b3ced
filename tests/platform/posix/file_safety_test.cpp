// What keeps a Linux user's files safe around a write: temporaries that are
// private from their creation and swept after a crash, writer locks that
// survive the rename of a replace, file names that are not UTF-8, and errno
// values that reach the user as the Win32 errors they stand for.

#include "platform/file_safety.h"
#include "cli/target_expansion.h"
#include "metadata/atomic_replace.h"
#include "platform/file_names.h"
#include "platform/file_system.h"
#include "platform/posix/files/file_lock.h"
#include "platform/posix/files/file_replace.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>

namespace {

namespace fs = platform::file_system;
using platform::text::from_utf8_name;
using qlm::testing::getfattr;
using qlm::testing::names_in;

constexpr std::uint32_t cant_resolve_filename = 1921;  // ERROR_CANT_RESOLVE_FILENAME, what a link loop is
using platform::text::to_utf8;

mode_t mode_of(const std::wstring& path) {
    struct stat info {};
    EXPECT_EQ(::stat(to_utf8(path).c_str(), &info), 0);
    return info.st_mode & 07777;
}

// The id of a process that has ended.
std::uint32_t dead_process() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return static_cast<std::uint32_t>(child);
}

TEST(file_safety, a_temporary_is_hidden_and_carries_the_target_s_mode_and_attributes_from_the_start) {
    qlm::testing::temp_folder temp;
    for (const mode_t mode : {mode_t{0600}, mode_t{0640}, mode_t{0644}}) {
        const std::wstring target = temp.write(L"photo.jpg", "old");
        ASSERT_EQ(::chmod(to_utf8(target).c_str(), mode), 0);
        ASSERT_EQ(::setxattr(to_utf8(target).c_str(), "user.keep", "yes", 3, 0), 0);
        const std::wstring temporary = fs::temporary_name_beside(target);
        EXPECT_EQ(temporary.substr(0, temp.path().size() + 12), temp.path() + L"/.photo.jpg.");
        EXPECT_EQ(fs::temporary_owner(temporary.substr(temp.path().size() + 1)), fs::process_id());
        EXPECT_NE(fs::temporary_name_beside(target), temporary);
        ASSERT_EQ(fs::write_temporary(target, temporary, "new", 3), 0u);
        EXPECT_EQ(mode_of(temporary), mode);
        EXPECT_EQ(getfattr(temporary, "user.keep"), "yes");
        EXPECT_EQ(qlm::testing::read_bytes(temporary), "new");
        ASSERT_EQ(fs::replace_file(target, temporary), 0u);
        EXPECT_EQ(mode_of(target), mode);
    }
    // The whole replace keeps the hidden attribute as well.
    const std::wstring photo = temp / L"photo.jpg";
    ASSERT_EQ(fs::set_attributes(photo, fs::attribute_hidden), 0u);
    ASSERT_TRUE(qlm::metadata::replace_file_atomically(photo, "newer", 5));
    EXPECT_EQ(fs::get_attributes(photo), fs::attribute_hidden);
    EXPECT_EQ(getfattr(photo, "user.keep"), "yes");
    ASSERT_EQ(fs::set_attributes(photo, fs::attribute_normal), 0u);
    EXPECT_FALSE(qlm::metadata::replace_file_atomically(temp / L"missing/x.xmp", "x", 1));
    // A read-only target is refused before anything is created.
    const std::wstring locked = temp.write(L"locked.jpg", "x");
    ASSERT_EQ(::chmod(to_utf8(locked).c_str(), 0444), 0);
    EXPECT_EQ(fs::write_temporary(locked, fs::temporary_name_beside(locked), "y", 1),
              platform::win32_error::access_denied);
    EXPECT_FALSE(qlm::metadata::replace_file_atomically(locked, "y", 1));
    // A new file whose name is near the limit still gets a temporary that can be created.
    EXPECT_TRUE(qlm::metadata::replace_file_atomically(temp / std::wstring(250, L'n'), "longer", 6));
    EXPECT_EQ(names_in(temp.path()), (std::vector<std::wstring>{L"locked.jpg", std::wstring(250, L'n'), L"photo.jpg"}));
}

TEST(file_safety, a_target_that_is_not_a_regular_file_is_refused_and_left_as_it_is) {
    qlm::testing::temp_folder temp;
    const std::wstring pipe = temp / L"pipe.jpg";
    ASSERT_EQ(::mkfifo(to_utf8(pipe).c_str(), 0644), 0);
    const std::wstring spare = temp.write(L"spare", "new");
    EXPECT_FALSE(qlm::metadata::replace_file_atomically(pipe, "new", 3));
    EXPECT_EQ(fs::write_temporary(pipe, fs::temporary_name_beside(pipe), "new", 3), platform::win32_error::access_denied);
    EXPECT_EQ(fs::replace_file(pipe, spare), platform::win32_error::access_denied);
    EXPECT_EQ(fs::replace_existing_file(to_utf8(pipe), "new", 3, fs::identify_file(pipe)),
              platform::win32_error::access_denied);
    struct stat info {};
    ASSERT_EQ(::lstat(to_utf8(pipe).c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(names_in(temp.path()), (std::vector<std::wstring>{L"pipe.jpg", L"spare"}));
}

TEST(file_safety, an_in_place_replace_keeps_mode_and_attributes_and_refuses_what_write_temporary_refuses) {
    qlm::testing::temp_folder temp;
    const std::wstring target = temp.write(L"photo.jpg", "old");
    ASSERT_EQ(::chmod(to_utf8(target).c_str(), 0640), 0);
    ASSERT_EQ(::setxattr(to_utf8(target).c_str(), "user.keep", "yes", 3, 0), 0);
    {
        const fs::folder_flush_batch outer;
        const fs::folder_flush_batch inner;
        ASSERT_EQ(fs::replace_existing_file(to_utf8(target), "newer", 5, fs::identify_file(target)), 0u);
    }
    EXPECT_EQ(qlm::testing::read_bytes(target), "newer");
    EXPECT_EQ(mode_of(target), 0640u);
    EXPECT_EQ(getfattr(target, "user.keep"), "yes");
    EXPECT_EQ(fs::replace_existing_file(to_utf8(temp / L"missing.jpg"), "x", 1, {}),
              platform::win32_error::file_not_found);
    ASSERT_EQ(::chmod(to_utf8(target).c_str(), 0440), 0);
    EXPECT_EQ(fs::replace_existing_file(to_utf8(target), "x", 1, fs::identify_file(target)),
              platform::win32_error::access_denied);
    EXPECT_EQ(qlm::testing::read_bytes(target), "newer");
    EXPECT_EQ(names_in(temp.path()), std::vector<std::wstring>{L"photo.jpg"});
}

TEST(file_safety, leftovers_of_dead_writers_are_swept_by_the_next_write_and_never_listed) {
    qlm::testing::temp_folder temp;
    const std::wstring target = temp.write(L"a.jpg", "a");
    const std::uint32_t dead = dead_process();
    const std::wstring dead_leftover = temp.write(L".a.jpg.qlm-" + std::to_wstring(dead) + L"-5-0.tmp", "half");
    const std::wstring old_style = temp.write(L"a.jpg.qlm-" + std::to_wstring(dead) + L"-5-1.tmp", "half");
    const std::wstring running = temp.write(L".a.jpg.qlm-1-5-0.tmp", "another writer's");
    const std::wstring lookalike = temp.write(L"a.qlm-x-5-0.tmp", "not ours");

    const auto targets = qlm::expand_targets({temp.path() + L"/*"});
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].path == target ? targets[1].path : targets[0].path, lookalike);

    ASSERT_TRUE(qlm::metadata::replace_file_atomically(target, "b", 1));
    EXPECT_FALSE(std::filesystem::exists(fs::to_native(dead_leftover)));
    EXPECT_FALSE(std::filesystem::exists(fs::to_native(old_style)));
    EXPECT_TRUE(std::filesystem::exists(fs::to_native(running)));
    EXPECT_TRUE(std::filesystem::exists(fs::to_native(lookalike)));
    EXPECT_EQ(qlm::testing::read_bytes(target), "b");
}

TEST(file_safety, a_writer_lock_waits_for_another_process_and_follows_a_replaced_file) {
    qlm::testing::temp_folder temp;
    const std::wstring target = temp.write(L"a.jpg", "one");
    const std::string native = to_utf8(target);
    // Another process holds the lock, replaces the file and lets go; the
    // waiter gets the lock on the file that replaced the one it first opened.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        int failure = 0;
        const int fd = platform::posix::lock_for_writing(native, O_RDONLY, std::chrono::milliseconds(0), failure);
        if (fd < 0 || ::write(ready[1], "x", 1) != 1) ::_exit(2);
        ::usleep(300000);
        ::_exit(qlm::metadata::replace_file_atomically(target, "two", 3) ? 0 : 3);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    int error = 0;
    const int held = platform::posix::lock_for_writing(native, O_RDONLY, std::chrono::seconds(20), error);
    ASSERT_GE(held, 0) << error;
    char content[8] = {};
    EXPECT_EQ(::pread(held, content, sizeof content, 0), 3);
    EXPECT_EQ(std::string(content, 3), "two");
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    // A second writer in the same process is refused at once.
    EXPECT_EQ(platform::posix::lock_for_writing(native, O_RDONLY, std::chrono::seconds(5), error), -1);
    EXPECT_EQ(error, EWOULDBLOCK);
    platform::posix::release_lock(held);
    const int again = platform::posix::lock_for_writing(native, O_RDONLY, std::chrono::milliseconds(0), error);
    EXPECT_GE(again, 0);
    platform::posix::release_lock(again);
}

TEST(file_safety, names_that_are_not_utf8_round_trip_through_wide_text) {
    const std::string names[] = {"caf\xE9.jpg", "\xFF\xFE", "a\xC3", "\xED\xA0\x80", "\xF0\x9F\x98", "ok \xC3\xA9"};
    for (const std::string& bytes : names) {
        const std::wstring wide = from_utf8_name(bytes);
        EXPECT_EQ(wide.find(L'\uFFFD'), std::wstring::npos);
        EXPECT_EQ(to_utf8(wide), bytes);
    }
    EXPECT_EQ(from_utf8_name("caf\xE9"), std::wstring(L"caf") + static_cast<wchar_t>(0xDCE9));
    EXPECT_EQ(from_utf8_name("\xC3\xA9"), L"\u00E9");
    // Such a name through a wildcard and a write: tests/cli/test_nothing_lost.py.
}

TEST(file_safety, errno_values_reach_callers_as_the_win32_errors_they_stand_for) {
    qlm::testing::temp_folder temp;
    ASSERT_EQ(::symlink("loop", to_utf8(temp / L"loop").c_str()), 0);
    const std::wstring file = temp.write(L"file", "x");
    const struct {
        std::wstring path;
        std::uint32_t error;
    } cases[] = {
        {temp / L"loop/inner", cant_resolve_filename},
        {temp / (std::wstring(300, L'n')), platform::win32_error::filename_too_long},
        {file + L"/inner", platform::win32_error::path_not_found},
        {temp / L"missing", platform::win32_error::file_not_found},
    };
    for (const auto& item : cases) {
        std::uint32_t error = 0;
        EXPECT_EQ(fs::get_attributes(item.path, &error), fs::invalid_attributes);
        EXPECT_EQ(error, item.error) << to_utf8(item.path);
    }
    std::uint32_t error = 0;
    EXPECT_FALSE(fs::read_file(temp / L"loop", &error));
    EXPECT_EQ(error, cant_resolve_filename);
}

TEST(file_safety, extended_attributes_are_put_back_as_they_were) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"clip.mp4", "x");
    const std::string native = to_utf8(file);
    ASSERT_EQ(::setxattr(native.c_str(), "user.kept", "1", 1, 0), 0);
    ASSERT_EQ(::setxattr(native.c_str(), "user.changed", "old", 3, 0), 0);
    ASSERT_EQ(::setxattr(native.c_str(), "user.removed", "gone", 4, 0), 0);
    const auto snapshot = fs::snapshot_extended_attributes(file);
    ASSERT_TRUE(snapshot.taken);
    ::setxattr(native.c_str(), "user.changed", "new", 3, 0);
    ::removexattr(native.c_str(), "user.removed");
    ::setxattr(native.c_str(), "user.xdg.tags", "X", 1, 0);
    EXPECT_EQ(fs::restore_extended_attributes(file, snapshot), 0u);
    EXPECT_EQ(qlm::testing::run_tool("getfattr -d --absolute-names " + qlm::testing::shell_quote(file) +
                                     " | grep '^user' | sort"),
              "user.changed=\"old\"\nuser.kept=\"1\"\nuser.removed=\"gone\"\n");
}

}  // namespace
