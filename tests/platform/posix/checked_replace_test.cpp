// A replace commits only over the very file it read: another program's
// rename over the target, its edit in place, or a file it creates meanwhile
// is never overwritten, whenever in the write it lands.

#include "metadata/xmp_sidecar.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/posix/files/file_replace.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/win32_error.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace {

namespace fs = platform::file_system;
using platform::text::to_utf8;
using qlm::testing::names_in;
using qlm::testing::read_bytes;

void append(const std::wstring& path, const std::string& bytes) {
    std::ofstream out(fs::to_native(path), std::ios::binary | std::ios::app);
    out << bytes;
}

TEST(checked_replace, a_target_renamed_over_edited_or_created_after_the_read_is_left_to_the_other_program) {
    qlm::testing::temp_folder temp;
    const std::wstring target = temp.write(L"a.jpg", "read by us");
    ASSERT_EQ(::chmod(to_utf8(target).c_str(), 0640), 0);
    ASSERT_EQ(::setxattr(to_utf8(target).c_str(), "user.keep", "yes", 3, 0), 0);

    // Unchanged since the read: replaced, keeping mode and attributes.
    fs::file_identity read;
    ASSERT_EQ(fs::read_file_identified(target, 1024, read), std::optional<std::string>("read by us"));
    EXPECT_EQ(fs::identify_file(target), read);
    EXPECT_EQ(fs::write_if_unchanged(target, read, "ours", 4), 0u);
    EXPECT_EQ(read_bytes(target), "ours");
    EXPECT_EQ(qlm::testing::getfattr(target, "user.keep"), "yes");

    // A sync client renames its copy over the path.
    read = fs::identify_file(target);
    const std::wstring other = temp.write(L"other.jpg", "the other picture");
    ASSERT_EQ(std::rename(to_utf8(other).c_str(), to_utf8(target).c_str()), 0);
    EXPECT_EQ(fs::write_if_unchanged(target, read, "lost?", 5), fs::file_changed);
    EXPECT_EQ(read_bytes(target), "the other picture");

    // A photo manager writes into the same file.
    read = fs::identify_file(target);
    append(target, " and its edit");
    EXPECT_EQ(fs::write_if_unchanged(target, read, "lost?", 5), fs::file_changed);
    EXPECT_EQ(read_bytes(target), "the other picture and its edit");

    // Only the mode changed: still not the file that was read.
    read = fs::identify_file(target);
    ASSERT_EQ(::chmod(to_utf8(target).c_str(), 0600), 0);
    EXPECT_EQ(fs::replace_existing_file(to_utf8(target), "lost?", 5, read), fs::file_changed);

    // Missing when read, created by someone else before ours lands.
    const std::wstring fresh = temp / L"fresh.xmp";
    std::uint32_t error = 0;
    read = fs::identify_file(fresh, &error);
    EXPECT_FALSE(read.exists);
    EXPECT_EQ(error, platform::win32_error::file_not_found);
    temp.write(L"fresh.xmp", "theirs");
    EXPECT_EQ(fs::write_if_unchanged(fresh, read, "ours", 4), fs::file_changed);
    EXPECT_EQ(read_bytes(fresh), "theirs");

    EXPECT_EQ(read_bytes(target), "the other picture and its edit");
    EXPECT_EQ(names_in(temp.path()), (std::vector<std::wstring>{L"a.jpg", L"fresh.xmp"}));
}

std::string arriving;  // what the other program renames over the target in the window

void rename_over(const std::string& target) {
    const std::string other = target + ".other";
    std::ofstream(other, std::ios::binary) << arriving;
    ASSERT_EQ(std::rename(other.c_str(), target.c_str()), 0);
}

TEST(checked_replace, a_change_between_the_check_and_the_exchange_is_swapped_back) {
    qlm::testing::temp_folder temp;
    const std::wstring target = temp.write(L"a.jpg", "old");
    const fs::file_identity read = fs::identify_file(target);
    arriving = "renamed over in the last moment";
    fs::before_exchange = rename_over;
    const std::uint32_t result = fs::write_if_unchanged(target, read, "new", 3);
    fs::before_exchange = nullptr;
    EXPECT_EQ(result, fs::file_changed);
    EXPECT_EQ(read_bytes(target), "renamed over in the last moment");
    EXPECT_EQ(names_in(temp.path()), std::vector<std::wstring>{L"a.jpg"});
}

TEST(checked_replace, a_rewrite_starts_again_from_a_fresh_read_and_gives_up_in_time) {
    qlm::testing::temp_folder temp;
    const std::wstring path = temp.write(L"a.xmp", "1");

    // Changed once under the first attempt: the second edits the other program's text.
    int calls = 0;
    EXPECT_EQ(fs::rewrite_file(path, 1024,
                               [&](const std::string* current) -> std::optional<std::string> {
                                   if (++calls == 1) append(path, "+theirs");
                                   return *current + "+ours";
                               }),
              0u);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(read_bytes(path), "1+theirs+ours");

    // Changed under every attempt: refused, and the last change stays.
    calls = 0;
    EXPECT_EQ(fs::rewrite_file(
                  path, 1024,
                  [&](const std::string*) -> std::optional<std::string> {
                      append(path, std::to_string(++calls));
                      return std::string("ours");
                  },
                  3),
              fs::file_changed);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(read_bytes(path), "1+theirs+ours123");

    // Nothing to change: nothing written, not even created.
    EXPECT_EQ(
        fs::rewrite_file(temp / L"none.xmp", 1024, [](const std::string*) { return std::optional<std::string>(); }),
        0u);
    EXPECT_EQ(names_in(temp.path()), std::vector<std::wstring>{L"a.xmp"});
}

TEST(checked_replace, a_user_s_own_kde_icon_comes_back_when_ours_goes) {
    qlm::testing::temp_folder temp;
    const std::wstring folder = temp.make_folder(L"Trip");
    const std::wstring directory = folder + L"/.directory";
    std::ofstream(fs::to_native(directory)) << "[Desktop Entry]\nIcon=folder-favorites\n[Other]\nIcon=keep\n";
    ASSERT_GE(platform::shell::set_folder_icon(folder, L"sw_tagged_01.0-06.ico", 0), 0);
    EXPECT_EQ(read_bytes(directory),
              "[Desktop Entry]\nIcon=" + to_utf8(folder) +
                  "/sw_tagged_01.0-06.ico\nX-Quillmark-SavedIcon=folder-favorites\n[Other]\nIcon=keep\n");
    ASSERT_GE(platform::shell::set_folder_icon(folder, L"sw_tagged_02.0-06.ico", 0), 0);
    ASSERT_GE(platform::shell::set_folder_icon(folder, L"", 0), 0);
    EXPECT_EQ(read_bytes(directory), "[Desktop Entry]\nIcon=folder-favorites\n[Other]\nIcon=keep\n");
    // Taking away an icon that is not ours leaves it; a folder that had none
    // loses the file again with ours.
    ASSERT_GE(platform::shell::set_folder_icon(folder, L"", 0), 0);
    EXPECT_EQ(read_bytes(directory), "[Desktop Entry]\nIcon=folder-favorites\n[Other]\nIcon=keep\n");
    const std::wstring plain = temp.make_folder(L"Plain");
    ASSERT_GE(platform::shell::set_folder_icon(plain, L"sw_tagged_01.0-06.ico", 0), 0);
    ASSERT_GE(platform::shell::set_folder_icon(plain, L"sw_tagged_02.0-06.ico", 0), 0);
    ASSERT_GE(platform::shell::set_folder_icon(plain, L"", 0), 0);
    EXPECT_FALSE(platform::file_system::exists(plain + L"/.directory"));
}

// A tiny file system that the test fills up, as a nearly full disk.
class full_disk : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
        mount_point_ = to_utf8(temp_.make_folder(L"disk"));
        if (::mount("tmpfs", mount_point_.c_str(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "tmpfs cannot be mounted";
        mounted_ = true;
    }
    void TearDown() override {
        if (mounted_) ::umount(mount_point_.c_str());
    }
    void fill() {
        std::ofstream filler(mount_point_ + "/filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler; ++i) filler << block;
    }
    std::wstring at(const std::wstring& name) const { return platform::text::from_utf8(mount_point_) + L"/" + name; }

    qlm::testing::temp_folder temp_;
    std::string mount_point_;
    bool mounted_ = false;
};

TEST_F(full_disk, a_sidecar_that_cannot_be_written_whole_stays_as_another_program_left_it) {
    // 777 bytes written by another program.
    const std::string theirs = "<x:xmpmeta><rdf:RDF></rdf:RDF></x:xmpmeta>" + std::string(777 - 42, ' ');
    std::ofstream(to_utf8(at(L"a.jpg.xmp")), std::ios::binary) << theirs;
    fill();
    const std::vector<std::wstring> tags(400, L"a tag long enough to need more room than the disk has");
    EXPECT_FALSE(qlm::metadata::write_sidecar_keywords(at(L"a.jpg"), tags));
    EXPECT_FALSE(qlm::metadata::write_sidecar_rating(at(L"b.jpg"), 3));
    EXPECT_EQ(read_bytes(at(L"a.jpg.xmp")), theirs);
    EXPECT_EQ(names_in(platform::text::from_utf8(mount_point_)), (std::vector<std::wstring>{L"a.jpg.xmp", L"filler"}));
}

}  // namespace
