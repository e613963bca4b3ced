// The Linux INI engine byte for byte: encodings kept, untouched lines kept,
// garbage survived.

#include "platform/private_profile.h"

#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <random>

namespace {

namespace profile = platform::private_profile;
namespace fs = platform::file_system;
using qlm::testing::read_bytes;

std::string utf16(const std::string& ascii) {
    std::string out;
    for (const char ch : ascii) {
        out.push_back(ch);
        out.push_back('\0');
    }
    return out;
}

TEST(private_profile_posix, untouched_lines_and_attributes_stay_and_new_lines_end_in_crlf) {
    qlm::testing::temp_folder temp;
    const std::string original = "; kept\n[.ShellClassInfo]\nIconResource=x.ico,0\n\n[Sortwell]\r\nTags=a\r\n\r\n[Tail]\nk=v";
    const std::wstring ini = temp.write(L"d.ini", original);
    ASSERT_EQ(fs::set_attributes(ini, fs::attribute_hidden | fs::attribute_system), 0u);
    ASSERT_TRUE(profile::write_string(L"Sortwell", L"Rating", L"4", ini));
    ASSERT_TRUE(profile::write_string(L"New", L"Key", L"\u00e9", ini));
    EXPECT_EQ(fs::get_attributes(ini), fs::attribute_hidden | fs::attribute_system);
    EXPECT_EQ(
        read_bytes(ini),
        "; kept\n[.ShellClassInfo]\nIconResource=x.ico,0\n\n[Sortwell]\r\nTags=a\r\nRating=4\r\n\r\n[Tail]\nk=v\r\n"
        "[New]\r\nKey=\xC3\xA9\r\n");
}

TEST(private_profile_posix, a_utf16_file_stays_utf16) {
    qlm::testing::temp_folder temp;
    const std::wstring ini = temp.write(L"u.ini", "\xFF\xFE" + utf16("\r\n"));
    ASSERT_TRUE(profile::write_string(L"Sortwell", L"Tags", L"\u00e9;\U0001F600", ini));
    const std::string expected = "\xFF\xFE" + utf16("\r\n[Sortwell]\r\nTags=") + std::string("\xE9\x00;\x00", 4) +
                                 std::string("\x3D\xD8\x00\xDE", 4) + utf16("\r\n");
    EXPECT_EQ(read_bytes(ini), expected);
    EXPECT_EQ(profile::get_string(L"Sortwell", L"Tags", L"", ini), L"\u00e9;\U0001F600");
}

TEST(private_profile_posix, garbage_files_are_read_without_harm) {
    qlm::testing::temp_folder temp;
    std::mt19937 random(4);
    for (int round = 0; round < 200; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 300), '\0');
        const std::string structure = "[]=;\r\n";
        for (auto& byte : bytes) {
            byte = random() % 8 == 0 ? structure[random() % structure.size()] : static_cast<char>(random());
        }
        if (round % 2 == 0) bytes.insert(0, "\xFF\xFE");
        const std::wstring ini = temp.write(L"g.ini", bytes);
        (void)profile::get_string(L"s", L"k", L"", ini);
        (void)profile::get_int(L"s", L"k", 0, ini);
        ASSERT_TRUE(profile::write_string(L"Fresh", L"Key", L"v", ini));
        EXPECT_EQ(profile::get_string(L"Fresh", L"Key", L"", ini), L"v") << round;
        // Everything that was there before is still there, unchanged, in front.
        const std::string after = read_bytes(ini);
        const std::size_t kept = bytes.empty() ? 0 : bytes.size() - 1;
        EXPECT_EQ(after.substr(0, kept), bytes.substr(0, kept)) << round;
    }
}

TEST(private_profile_posix, a_read_only_file_is_not_written) {
    qlm::testing::temp_folder temp;
    const std::wstring ini = temp.write(L"ro.ini", "[s]\r\nk=old\r\n");
    ASSERT_EQ(fs::set_attributes(ini, fs::attribute_readonly), 0u);
    EXPECT_FALSE(profile::write_string(L"s", L"k", L"new", ini));
    EXPECT_EQ(profile::get_string(L"s", L"k", L"", ini), L"old");
    fs::set_attributes(ini, fs::attribute_normal);
}

}  // namespace
