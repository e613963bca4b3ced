#include "cli/target_expansion.h"

#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace {

namespace fs = platform::file_system;
using qlm::expand_targets;

std::set<std::wstring> usable_paths(const std::vector<qlm::target_entry>& targets) {
    std::set<std::wstring> paths;
    for (const auto& t : targets) {
        if (t.error_code.empty()) paths.insert(t.path);
    }
    return paths;
}

class target_expansion : public ::testing::Test {
protected:
    void SetUp() override {
        a_ = folder_.write(L"a.jpg", "a");
        b_ = folder_.write(L"b.jpg", "b");
        folder_.write(L"notes.txt", "n");
        hidden_ = folder_.write(L".hidden.jpg", "h");
        fs::set_attributes(hidden_, fs::attribute_hidden);
        sub_ = folder_.make_folder(L"sub");
    }

    qlm::testing::temp_folder folder_;
    std::wstring a_, b_, hidden_, sub_;
};

TEST_F(target_expansion, the_same_file_named_twice_or_through_a_pattern_is_one_target) {
    const std::wstring sep(1, fs::separator);
    const auto targets = expand_targets({a_, a_ + sep, folder_.path() + sep + L"." + sep + L"a.jpg",
                                         sub_ + sep + L".." + sep + L"a.jpg", folder_ / L"?.jpg"});
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].path, a_);
    EXPECT_EQ(targets[1].path, b_);
    EXPECT_TRUE(targets[1].error_code.empty());
}

TEST_F(target_expansion, a_star_lists_hidden_entries_and_folders_but_not_dot_entries) {
    const auto targets = expand_targets({folder_ / L"*"});
    EXPECT_EQ(usable_paths(targets),
              (std::set<std::wstring>{a_, b_, hidden_, sub_, folder_ / L"notes.txt"}));
    EXPECT_EQ(targets.size(), 5u);
}

TEST_F(target_expansion, missing_paths_and_empty_patterns_carry_their_errors) {
    const std::wstring missing = folder_ / L"missing.jpg";
    const std::wstring pattern = folder_ / L"*.png";
    const auto targets = expand_targets({missing, missing, pattern, pattern, folder_ / L"nothere/*"});
    ASSERT_EQ(targets.size(), 4u);  // a repeated missing path is reported once, a repeated pattern twice
    EXPECT_EQ(targets[0].path, missing);
    EXPECT_EQ(targets[0].error_code, L"not_found");
    EXPECT_EQ(targets[0].error_message, L"No file or folder exists at this path.");
    EXPECT_EQ(targets[1].path, pattern);
    EXPECT_EQ(targets[1].error_code, L"no_match");
    EXPECT_EQ(targets[1].error_message, L"Nothing matches this pattern.");
    EXPECT_EQ(targets[2].path, pattern);
    EXPECT_EQ(targets[3].error_code, L"no_match");
}

TEST_F(target_expansion, wildcards_count_only_in_the_last_component) {
    const auto targets = expand_targets({folder_ / L"s*/x.jpg", folder_ / L"s?b"});
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].error_code, L"not_found");
    EXPECT_EQ(targets[1].path, sub_);
}

// Windows file systems ignore letter case and so do its target keys; Linux
// ones do not, so there the other spelling names nothing.
TEST_F(target_expansion, letter_case_follows_the_file_system) {
    const std::wstring shouted = folder_ / L"A.JPG";
    const auto targets = expand_targets({a_, shouted, folder_ / L"A.*"});
    if (fs::path_key(a_) == fs::path_key(shouted)) {
        ASSERT_EQ(targets.size(), 1u);
        EXPECT_EQ(targets[0].path, a_);
    } else {
        ASSERT_EQ(targets.size(), 3u);
        EXPECT_EQ(targets[1].error_code, L"not_found");
        EXPECT_EQ(targets[2].error_code, L"no_match");
    }
}

// Names are compared upper-cased by UTF-16 unit, as NTFS lists them: "_"
// after the letters, "é" after every ASCII name, a character beyond the BMP
// (a surrogate pair) before U+FF21; names alike but for case by their units.
// A pattern and a walked folder come out in the same order.
TEST(target_expansion_order, names_beyond_ascii_sort_as_ntfs_lists_them) {
    const qlm::testing::temp_folder folder;
    const std::wstring tree = folder.make_folder(L"tree");
    std::vector<std::wstring> expected;
    const bool twins = fs::path_key(L"A") != fs::path_key(L"a");
    for (const wchar_t* name : {L"A.txt", L"a.txt", L"E.txt", L"f.txt", L"_.txt", L"\u00E9.txt", L"\U0001F600.txt",
                                L"\uFF21.txt"}) {
        if (!twins && std::wstring(name) == L"a.txt") continue;
        expected.push_back(folder.write(std::wstring(L"tree") + fs::separator + name, "x"));
    }
    std::vector<std::wstring> matched;
    for (const auto& target : expand_targets({tree + fs::separator + L"*.txt"})) matched.push_back(target.path);
    EXPECT_EQ(matched, expected);
    std::vector<std::wstring> walked;
    for (const auto& target : expand_targets({tree}, true)) walked.push_back(target.path);
    expected.insert(expected.begin(), tree);
    EXPECT_EQ(walked, expected);
}

TEST_F(target_expansion, relative_paths_are_taken_against_the_current_directory) {
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(fs::to_native(folder_.path()));
    const auto targets = expand_targets({L"a.jpg", L"sub"});
    std::filesystem::current_path(before);
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[0].path, a_);
    EXPECT_EQ(targets[1].path, sub_);
}

}  // namespace
