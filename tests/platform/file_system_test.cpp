#include "platform/file_system.h"

#include "platform/file_safety.h"
#include "platform/win32_error.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

namespace fs = platform::file_system;
using qlm::testing::temp_folder;

const std::wstring sep(1, fs::separator);

std::vector<std::wstring> sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// Wine reports every file as archived, so the archive bit is left out here;
// the Linux test (file_attributes_posix_test.cpp) covers it.
std::uint32_t without_archive(std::uint32_t bits) {
    return bits == fs::attribute_archive ? fs::attribute_normal : bits & ~fs::attribute_archive;
}

TEST(file_system, attribute_bits_round_trip_on_files_and_folders_and_normal_stands_for_none) {
    const temp_folder temp;
    const std::wstring file = temp.write(L"a.txt", "x");
    for (const std::uint32_t bits : {fs::attribute_hidden, fs::attribute_hidden | fs::attribute_system,
                                     fs::attribute_readonly,
                                     fs::attribute_readonly | fs::attribute_hidden | fs::attribute_system}) {
        ASSERT_EQ(fs::set_attributes(file, bits), 0u) << bits;
        EXPECT_EQ(without_archive(fs::get_attributes(file)), bits) << bits;
    }
    ASSERT_EQ(fs::set_attributes(file, fs::attribute_normal), 0u);
    EXPECT_EQ(without_archive(fs::get_attributes(file)), fs::attribute_normal);

    const std::wstring folder = temp.make_folder(L"f");
    ASSERT_EQ(fs::set_attributes(folder, fs::attribute_hidden | fs::attribute_system), 0u);
    EXPECT_EQ(fs::get_attributes(folder), fs::attribute_directory | fs::attribute_hidden | fs::attribute_system);

    std::uint32_t error = 0;
    EXPECT_EQ(fs::get_attributes(temp / L"missing.txt", &error), fs::invalid_attributes);
    EXPECT_EQ(error, platform::win32_error::file_not_found);
    EXPECT_EQ(fs::set_attributes(temp / L"missing.txt", fs::attribute_hidden), platform::win32_error::file_not_found);
}

TEST(file_system, find_files_matches_the_last_component_only) {
    const temp_folder folder;
    folder.write(L"a.txt", "");
    folder.write(L"b.txt", "");
    folder.write(L"c.log", "");
    folder.make_folder(L"sub.txt");

    EXPECT_EQ(sorted(fs::find_files(folder / L"*.txt").value_or(std::vector<std::wstring>{})),
              (std::vector<std::wstring>{L"a.txt", L"b.txt", L"sub.txt"}));
    EXPECT_EQ(fs::find_files(folder / L"?.log").value_or(std::vector<std::wstring>{}),
              std::vector<std::wstring>{L"c.log"});
    EXPECT_FALSE(fs::find_files(folder / L"*.none"));
    EXPECT_FALSE(fs::find_files(folder / (L"missing" + sep + L"*")));
}

TEST(file_system, non_ascii_names_survive_every_call) {
    const temp_folder folder;
    const std::wstring name = L"\u00e9t\u00e9 \u20ac \u0444 \U0001F600.txt";
    const std::wstring file = folder.write(name, "caf\xC3\xA9");

    EXPECT_NE(fs::get_attributes(file), fs::invalid_attributes);
    EXPECT_TRUE(fs::exists(file));
    EXPECT_EQ(fs::read_file(file).value_or(""), "caf\xC3\xA9");
    EXPECT_EQ(fs::find_files(folder / L"*.txt").value_or(std::vector<std::wstring>{}), std::vector<std::wstring>{name});
    EXPECT_EQ(fs::find_files(folder / L"\u00e9t\u00e9*").value_or(std::vector<std::wstring>{}),
              std::vector<std::wstring>{name});
}

TEST(file_system, paths_are_made_absolute_and_normal_with_the_native_separator) {
    const std::wstring cwd = std::filesystem::current_path().wstring();
    EXPECT_EQ(fs::lexically_normal(*fs::full_path(L"x")), fs::lexically_normal(cwd + sep + L"x"));
    EXPECT_FALSE(fs::full_path(L""));

    EXPECT_EQ(fs::lexically_normal(L"a" + sep + L"." + sep + L"b" + sep + sep + L".." + sep + L"c"), L"a" + sep + L"c");
    EXPECT_EQ(fs::lexically_normal(L"a/b"), L"a" + sep + L"b");  // forward slashes become native ones
    EXPECT_EQ(fs::lexically_normal(L".." + sep + L"a" + sep + L".."), L"..");
    EXPECT_EQ(fs::lexically_normal(L"a" + sep + L".."), L".");

    const temp_folder folder;
    std::wstring parent = fs::lexically_normal(folder.path() + sep + L"sub" + sep + L"..");
    if (parent.back() == fs::separator) parent.pop_back();  // kept on Windows only
    EXPECT_EQ(parent, folder.path());
}

TEST(file_system, exists_and_create_directories) {
    const temp_folder folder;
    const std::wstring file = folder.write(L"file", "");
    EXPECT_TRUE(fs::exists(folder.path()));
    EXPECT_TRUE(fs::exists(file));
    EXPECT_FALSE(fs::exists(folder / L"missing"));
    EXPECT_FALSE(fs::exists(folder / (L"missing" + sep + L"deeper")));

    const std::wstring nested = folder / (L"a" + sep + L"b" + sep + L"c");
    fs::create_directories(nested);
    EXPECT_NE(fs::get_attributes(nested) & fs::attribute_directory, 0u);
    EXPECT_NO_THROW(fs::create_directories(nested));  // already there is fine
    EXPECT_THROW(fs::create_directories(file + sep + L"below"), std::filesystem::filesystem_error);
}

TEST(file_system, read_file_returns_exact_bytes_across_blocks) {
    const temp_folder folder;
    std::string bytes(2 * 65536 + 17, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    const std::wstring file = folder.write(L"blob.bin", bytes);

    std::uint32_t error = 99;
    const auto read = fs::read_file(file, &error);
    ASSERT_TRUE(read);
    EXPECT_EQ(*read, bytes);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(fs::read_file(folder.write(L"empty", ""), &error).value_or("x"), "");

    EXPECT_FALSE(fs::read_file(folder / L"missing.bin", &error));
    EXPECT_EQ(error, platform::win32_error::file_not_found);

    // A bounded read takes a file of exactly the limit and refuses one byte more.
    EXPECT_EQ(fs::read_file_at_most(file, bytes.size(), &error).value_or(""), bytes);
    EXPECT_FALSE(fs::read_file_at_most(file, bytes.size() - 1, &error));
    EXPECT_EQ(error, fs::file_too_large);
}

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

TEST(file_system, write_times_count_hundred_nanoseconds) {
    const temp_folder folder;
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
    const temp_folder folder;
    const std::wstring source = folder.write(L"source.json", "new");
    const std::wstring taken = folder.write(L"taken.json", "old");
    EXPECT_TRUE(fs::copy_file(source, folder / L"copy.json"));
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"copy.json"), "new");
    try {
        fs::copy_file(source, taken);
        ADD_FAILURE() << "an existing destination was overwritten";
    } catch (const std::filesystem::filesystem_error& error) {
        EXPECT_NE(std::string(error.what()).find("copy_file"), std::string::npos) << error.what();
    }
    EXPECT_EQ(qlm::testing::read_bytes(taken), "old");
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
