// Last-write times, the non-overwriting copy and delete of the file_system facility.

#include "platform/file_system.h"
#include "platform/win32_error.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

namespace fs = platform::file_system;
using qlm::testing::read_bytes;

TEST(file_system, write_times_count_hundred_nanoseconds) {
    const qlm::testing::temp_folder folder;
    const std::wstring file = folder.write(L"a.txt", "x");
    const auto base = std::chrono::floor<std::chrono::seconds>(std::filesystem::file_time_type::clock::now());
    std::filesystem::last_write_time(fs::to_native(file), base);
    const auto first = fs::last_write_time(file);
    std::filesystem::last_write_time(fs::to_native(file), base + std::chrono::seconds(90));
    const auto second = fs::last_write_time(file);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(*second - *first, 900000000u);
    EXPECT_GT(*first, 116444736000000000u);  // after 1970 in FILETIME terms

    std::uint32_t error = 0;
    EXPECT_FALSE(fs::last_write_time(folder / L"missing", &error));
    EXPECT_EQ(error, platform::win32_error::file_not_found);
}

TEST(file_system, copy_never_overwrites_and_delete_refuses_read_only_files) {
    const qlm::testing::temp_folder folder;
    const std::wstring source = folder.write(L"source.json", "new");
    const std::wstring taken = folder.write(L"taken.json", "old");
    EXPECT_TRUE(fs::copy_file(source, folder / L"copy.json"));
    EXPECT_EQ(read_bytes(folder / L"copy.json"), "new");
    try {
        fs::copy_file(source, taken);
        ADD_FAILURE() << "an existing destination was overwritten";
    } catch (const std::filesystem::filesystem_error& error) {
        EXPECT_NE(std::string(error.what()).find("copy_file"), std::string::npos) << error.what();
    }
    EXPECT_EQ(read_bytes(taken), "old");
    EXPECT_THROW(fs::copy_file(folder / L"missing.json", folder / L"other.json"), std::filesystem::filesystem_error);

    ASSERT_EQ(fs::set_attributes(taken, fs::attribute_readonly), 0u);
    EXPECT_EQ(fs::delete_file(taken), platform::win32_error::access_denied);
    EXPECT_TRUE(fs::exists(taken));
    ASSERT_EQ(fs::set_attributes(taken, fs::attribute_normal), 0u);
    EXPECT_EQ(fs::delete_file(taken), 0u);
    EXPECT_FALSE(fs::exists(taken));
    EXPECT_EQ(fs::delete_file(taken), platform::win32_error::file_not_found);
}

}  // namespace
