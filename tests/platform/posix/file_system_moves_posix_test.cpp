// Moves across file systems on Linux: the copy keeps content, mode, times
// and user extended attributes, and nothing is left beside the target.

#include "platform/file_system.h"
#include "platform/file_system_moves.h"

#include "platform/text.h"
#include "platform/win32_error.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = platform::file_system;

TEST(file_system_moves_posix, cross_volume_move_copies_then_deletes) {
    qlm::testing::temp_folder folder;
    struct stat shm {
    }, here{};
    const std::string native = platform::text::to_utf8(folder.path());
    if (stat("/dev/shm", &shm) != 0 || stat(native.c_str(), &here) != 0 || shm.st_dev == here.st_dev ||
        access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/shm on another file system";
    }
    const std::string target_folder = "/dev/shm/qlm-move-test-" + std::to_string(getpid());
    std::filesystem::create_directories(target_folder);
    struct cleanup {
        std::string path;
        ~cleanup() { std::filesystem::remove_all(path); }
    } remove_target{target_folder};

    const std::wstring source = folder.write(L"photo.jpg", std::string(200000, 'p'));
    const std::string source_native = platform::text::to_utf8(source);
    ::chmod(source_native.c_str(), 0640);
    const bool xattrs = ::setxattr(source_native.c_str(), "user.xdg.comment", "hi", 2, 0) == 0;
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, source_native.c_str(), times, 0);

    const std::wstring target = platform::text::from_utf8(target_folder) + L"/photo.jpg";
    ASSERT_EQ(fs::move_file_no_replace(source, target), 0u);
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(qlm::testing::read_bytes(target), std::string(200000, 'p'));
    struct stat info {};
    ASSERT_EQ(stat((target_folder + "/photo.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(info.st_mtim.tv_sec, 1000000000);
    if (xattrs) {
        char value[8] = {};
        EXPECT_EQ(::getxattr((target_folder + "/photo.jpg").c_str(), "user.xdg.comment", value, sizeof value), 2);
        EXPECT_STREQ(value, "hi");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target_folder), {}), 1);

    // Never replaces, across volumes too; the source stays.
    const std::wstring again = folder.write(L"photo.jpg", "second");
    EXPECT_EQ(fs::move_file_no_replace(again, target), platform::win32_error::already_exists);
    EXPECT_EQ(qlm::testing::read_bytes(again), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target_folder), {}), 1);
}

TEST(file_system_moves_posix, error_texts_are_the_windows_ones) {
    EXPECT_EQ(fs::flush_folder(L"/nonexistent-qlm-folder"), platform::win32_error::file_not_found);
    EXPECT_EQ(fs::error_text(32), L"The process cannot access the file because it is being used by another process.");
    EXPECT_EQ(fs::error_text(183), L"Cannot create a file when that file already exists.");
}

}  // namespace
