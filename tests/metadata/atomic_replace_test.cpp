// Whole-file replacement: what lands and what is kept. Writers killed at
// random moments are the end-to-end tests' (tests/cli/test_nothing_lost.py).

#include "metadata/atomic_replace.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace {

namespace fs = platform::file_system;
using qlm::metadata::replace_file_atomically;
using qlm::testing::read_bytes;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

TEST(atomic_replace, creates_replaces_and_keeps_what_the_old_file_carried) {
    qlm::testing::temp_folder temp;
    const std::wstring target = temp / L"people.xmp";
    ASSERT_TRUE(replace_file_atomically(target, "first", 5));
    EXPECT_EQ(read_bytes(target), "first");

    std::filesystem::permissions(fs::to_native(target), std::filesystem::perms(0604));
    run_tool("setfattr -n user.keep -v yes " + shell_quote(target));
    ASSERT_EQ(fs::set_attributes(target, fs::attribute_hidden), 0u);
    ASSERT_TRUE(replace_file_atomically(target, "second, longer", 14));
    EXPECT_EQ(read_bytes(target), "second, longer");
    EXPECT_EQ(run_tool("getfattr --only-values -n user.keep " + shell_quote(target)), "yes");
    EXPECT_EQ(fs::get_attributes(target), fs::attribute_hidden);
    EXPECT_EQ(std::filesystem::status(fs::to_native(target)).permissions(), std::filesystem::perms(0604));

    ASSERT_EQ(fs::set_attributes(target, fs::attribute_readonly), 0u);
    EXPECT_FALSE(replace_file_atomically(target, "third", 5));
    EXPECT_EQ(read_bytes(target), "second, longer");
    EXPECT_FALSE(replace_file_atomically(temp / L"missing/x.xmp", "x", 1));
    EXPECT_EQ(qlm::testing::names_in(temp.path()), std::vector<std::wstring>{L"people.xmp"});  // no temporary left behind
}

TEST(atomic_replace, temporary_names_are_hidden_recognisably_ours_and_never_repeat) {
    const std::wstring first = fs::temporary_name_beside(L"/data/a.jpg");
    const std::wstring second = fs::temporary_name_beside(L"/data/a.jpg");
    const std::regex pattern(R"(/data/\.a\.jpg\.qlm-(\d+)-(\d+)-(\d+)\.tmp)");
    std::smatch one, two;
    const std::string a = platform::text::to_utf8(first), b = platform::text::to_utf8(second);
    ASSERT_TRUE(std::regex_match(a, one, pattern)) << a;
    ASSERT_TRUE(std::regex_match(b, two, pattern)) << b;
    EXPECT_EQ(one[1], std::to_string(fs::process_id()));
    EXPECT_EQ(std::stoull(two[3]), std::stoull(one[3]) + 1);
    EXPECT_EQ(fs::temporary_owner(first.substr(6)), fs::process_id());
    EXPECT_EQ(fs::temporary_owner(L"a.jpg.qlm-42-1-2.tmp"), 42u);  // the visible form of earlier versions
    for (const wchar_t* other : {L"a.jpg", L".a.jpg.qlm-42-1.tmp", L".a.qlm-x-1-2.tmp", L".a.qlm-1-2-3.tmp.bak"}) {
        EXPECT_FALSE(fs::temporary_owner(other)) << platform::text::to_utf8(other);
    }
}

}  // namespace
