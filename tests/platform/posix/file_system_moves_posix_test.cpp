// Moves across file systems on Linux: the copy keeps content, mode, times
// and user extended attributes, and nothing is left beside the target.

#include "platform/file_system.h"
#include "platform/file_system_moves.h"

#include "platform/text.h"
#include "platform/win32_error.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

namespace fs = platform::file_system;

// A folder of its own in /dev/shm, removed afterwards; whether that is
// another file system than the temporary folder's.
struct shm_folder {
    std::string path = "/dev/shm/qlm-move-test-" + std::to_string(getpid());
    bool other_volume = false;

    explicit shm_folder(const std::wstring& beside) {
        struct stat shm {
        }, here{};
        other_volume = stat("/dev/shm", &shm) == 0 && stat(platform::text::to_utf8(beside).c_str(), &here) == 0 &&
                       shm.st_dev != here.st_dev && access("/dev/shm", W_OK) == 0;
        if (other_volume) std::filesystem::create_directories(path);
    }
    ~shm_folder() { std::filesystem::remove_all(path); }
};

TEST(file_system_moves_posix, cross_volume_move_copies_then_deletes) {
    qlm::testing::temp_folder folder;
    const shm_folder shm(folder.path());
    if (!shm.other_volume) GTEST_SKIP() << "no /dev/shm on another file system";
    const std::string& target_folder = shm.path;

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
        EXPECT_EQ(qlm::testing::getfattr(target, "user.xdg.comment"), "hi");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target_folder), {}), 1);

    // Never replaces, across volumes too; the source stays.
    const std::wstring again = folder.write(L"photo.jpg", "second");
    EXPECT_EQ(fs::move_file_no_replace(again, target), platform::win32_error::already_exists);
    EXPECT_EQ(qlm::testing::read_bytes(again), "second");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(target_folder), {}), 1);
}

// A photo write holds the file's writer lock from its read to its rename; a
// move that starts meanwhile waits for it and takes the written file, on
// one file system and across two, so the write is neither lost nor split off.
TEST(file_system_moves_posix, a_move_waits_for_the_writer_of_its_file) {
    qlm::testing::temp_folder folder;
    const shm_folder shm(folder.path());
    std::vector<std::wstring> targets{folder / L"moved.jpg"};
    if (shm.other_volume) targets.push_back(platform::text::from_utf8(shm.path) + L"/moved.jpg");

    for (const auto& target : targets) {
        const std::wstring source = folder.write(L"photo.jpg", "old");
        const std::string source_native = platform::text::to_utf8(source);
        // Another process's writer: it holds the lock, renames its new file
        // over the path, then lets go (the lock goes with its descriptor).
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t writer = ::fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            const int fd = ::open(source_native.c_str(), O_RDONLY);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0 || ::write(ready[1], "1", 1) != 1) ::_exit(1);
            ::usleep(300000);
            const std::string written = platform::text::to_utf8(folder / L".photo.jpg.new");
            const int out = ::open(written.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const bool done = out >= 0 && ::write(out, "old plus the tag", 16) == 16 && ::fsync(out) == 0 &&
                              ::rename(written.c_str(), source_native.c_str()) == 0;
            ::_exit(done ? 0 : 1);
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::close(ready[1]);
        const std::uint32_t result = fs::move_file_no_replace(source, target);
        int status = 0;
        ::waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(result, 0u) << platform::text::to_utf8(target);
        EXPECT_EQ(qlm::testing::read_bytes(target), "old plus the tag") << platform::text::to_utf8(target);
        EXPECT_FALSE(fs::exists(source)) << platform::text::to_utf8(target);
    }
}

TEST(file_system_moves_posix, error_texts_are_the_windows_ones) {
    EXPECT_EQ(fs::flush_folder(L"/nonexistent-qlm-folder"), platform::win32_error::file_not_found);
    EXPECT_EQ(fs::error_text(32), L"The process cannot access the file because it is being used by another process.");
    EXPECT_EQ(fs::error_text(183), L"Cannot create a file when that file already exists.");
    EXPECT_EQ(fs::error_text(fs::changed_during_move),
              L"The file was changed by another program during the move; it was left where it was.");
}

}  // namespace
