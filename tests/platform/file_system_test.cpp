#include "platform/file_system.h"

#include "platform/win32_error.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

namespace fs = platform::file_system;

TEST(file_system, touch_moves_only_the_write_time_to_now) {
    qlm::testing::temp_folder folder;
    const std::wstring path = folder.write(L"photo.jpg", "pixels");
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    std::filesystem::last_write_time(fs::to_native(path), old);

    const auto before = std::filesystem::file_time_type::clock::now() - std::chrono::seconds(5);
    EXPECT_EQ(fs::touch(path), 0U);
    EXPECT_GT(std::filesystem::last_write_time(fs::to_native(path)), before);
    EXPECT_EQ(qlm::testing::read_bytes(path), "pixels");

    // A read-only file can still be touched: only its attributes are written.
    ASSERT_EQ(fs::set_attributes(path, fs::attribute_readonly), 0U);
    std::filesystem::last_write_time(fs::to_native(path), old);
    EXPECT_EQ(fs::touch(path), 0U);
    EXPECT_GT(std::filesystem::last_write_time(fs::to_native(path)), before);
    fs::set_attributes(path, fs::attribute_normal);

    EXPECT_EQ(fs::touch(folder / L"missing.jpg"), platform::win32_error::file_not_found);
}

TEST(file_system, read_first_byte_needs_an_open_file_with_content) {
    qlm::testing::temp_folder folder;
    EXPECT_TRUE(fs::read_first_byte(folder.write(L"one.bin", "x")));
    EXPECT_FALSE(fs::read_first_byte(folder.write(L"empty.bin", "")));
    EXPECT_FALSE(fs::read_first_byte(folder / L"missing.bin"));
}

}  // namespace
