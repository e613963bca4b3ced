// The Linux homes of the attribute bits: owner-write for a file's read-only,
// one extended attribute for the rest, cloud bits included.

#include "platform/file_system.h"

#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = platform::file_system;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

TEST(file_attributes_posix, cloud_bits_and_folder_read_only_live_in_one_extended_attribute) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"cloud.jpg", "x");
    const std::uint32_t cloud = fs::attribute_offline | fs::attribute_recall_on_open |
                                fs::attribute_recall_on_data_access | fs::attribute_readonly | fs::attribute_archive;
    ASSERT_EQ(fs::set_attributes(file, cloud), 0u);
    EXPECT_EQ(fs::get_attributes(file), cloud);
    EXPECT_EQ(qlm::testing::getfattr(file, "user.qlm.attributes"), "0x00441020");
    EXPECT_EQ(std::filesystem::status(fs::to_native(file)).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);

    const std::wstring folder = temp.make_folder(L"custom");
    ASSERT_EQ(fs::set_attributes(folder, fs::attribute_readonly), 0u);
    EXPECT_EQ(fs::get_attributes(folder), fs::attribute_directory | fs::attribute_readonly);
    EXPECT_NE(std::filesystem::status(fs::to_native(folder)).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::none);  // a folder's read-only never blocks its content

    // Garbage in the attribute reads as no extra bits, never as a crash.
    run_tool("setfattr -n user.qlm.attributes -v 'zz' " + shell_quote(folder));
    EXPECT_EQ(fs::get_attributes(folder), fs::attribute_directory);
}

}  // namespace
