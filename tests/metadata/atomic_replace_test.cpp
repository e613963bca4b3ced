// Whole-file replacement: what lands, what is kept, and that a writer killed
// at any moment leaves every file whole with its extended attributes.

#include "metadata/atomic_replace.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/property_store.h"
#include "platform/text.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <regex>

namespace {

namespace fs = platform::file_system;
namespace ps = platform::property_store;
using qlm::metadata::replace_file_atomically;
using qlm::testing::read_bytes;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

std::vector<std::string> names_in(const std::wstring& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(fs::to_native(folder))) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

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
    EXPECT_EQ(names_in(temp.path()), std::vector<std::string>{"people.xmp"});  // no temporary left behind
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

// Run only as the child of the crash test: rewrites the photos in
// $QLM_CRASH_FOLDER with ever new keywords until it is killed.
TEST(atomic_replace, DISABLED_crash_writer) {
    const char* folder = std::getenv("QLM_CRASH_FOLDER");
    ASSERT_NE(folder, nullptr);
    const std::wstring base = platform::text::from_utf8(folder);
    for (unsigned round = 0;; ++round) {
        for (int i = 0; i < 4; ++i) {
            const std::wstring path = base + L"/photo" + std::to_wstring(i) + L".jpg";
            std::unique_ptr<ps::store> store;
            if (ps::open_handler_store(path, ps::gps_read_write, store) != ps::s_ok) continue;
            std::vector<std::wstring> tags(1 + round % 7, L"round " + std::to_wstring(round));
            store->set_value(ps::key_keywords, ps::property_value::make_strings(tags));
            store->set_value(ps::key_comment, ps::property_value::make_bstr(std::wstring(round % 5000, L'c')));
            store->commit();
        }
    }
}

TEST(atomic_replace, a_writer_killed_at_random_moments_leaves_every_file_whole) {
    if (!qlm::testing::tool_available("convert") || !qlm::testing::tool_available("timeout")) {
        GTEST_SKIP() << "ImageMagick and timeout are needed";
    }
    qlm::testing::temp_folder temp;
    for (int i = 0; i < 4; ++i) {
        const std::wstring path = qlm::testing::make_image(temp / (L"photo" + std::to_wstring(i) + L".jpg"));
        run_tool("setfattr -n user.keep -v photo" + std::to_string(i) + " " + shell_quote(path));
    }
    std::mt19937 random(7);
    // --foreground: timeout kills only the writer and waits until it is gone,
    // so that its locks are released before the files are checked.
    const std::string child = "QLM_CRASH_FOLDER=" + shell_quote(temp.path()) + " timeout --foreground -s KILL " +
                              "{seconds} " + shell_quote(fs::module_path()) +
                              " --gtest_also_run_disabled_tests --gtest_filter=atomic_replace.DISABLED_crash_writer";
    int rewritten = 0;
    for (int kill = 0; kill < 25; ++kill) {
        std::string command = child;
        // The last round gives a slow (sanitized, busy) machine time for at
        // least one whole rewrite; every other round kills at a random moment.
        const unsigned ms = kill == 24 ? 10000u : static_cast<unsigned>(20 + random() % 400);
        char seconds[16];
        std::snprintf(seconds, sizeof seconds, "%u.%03u", ms / 1000, ms % 1000);
        command.replace(command.find("{seconds}"), 9, seconds);
        run_tool(command);
        for (int i = 0; i < 4; ++i) {
            const std::wstring path = temp / (L"photo" + std::to_wstring(i) + L".jpg");
            const std::string bytes = read_bytes(path);
            ASSERT_GE(bytes.size(), 4u);
            EXPECT_EQ(bytes.substr(bytes.size() - 2), "\xFF\xD9") << "torn file after kill " << kill;
            std::unique_ptr<ps::store> store;
            ASSERT_EQ(ps::open_handler_store(path, ps::gps_read_write, store), ps::s_ok) << kill;
            ps::property_value keywords;
            ASSERT_EQ(store->get_value(ps::key_keywords, keywords), ps::s_ok);
            if (!keywords.strings.empty()) ++rewritten;
            EXPECT_EQ(run_tool("getfattr --only-values -n user.keep " + shell_quote(path)), "photo" + std::to_string(i));
        }
    }
    EXPECT_GT(rewritten, 0) << "the writer never got to write before it was killed";
}

}  // namespace
