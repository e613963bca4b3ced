#include "platform/file_system.h"
#include "platform/file_system_moves.h"

#include "platform/text.h"
#include "platform/text_ansi.h"
#include "platform/win32_error.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace fs = platform::file_system;
namespace error = platform::win32_error;

TEST(file_system_moves, no_replace_move_folders_and_errors) {
    qlm::testing::temp_folder folder;
    const auto a = folder.write(L"a.txt", "A");
    const auto b = folder.write(L"b.txt", "B");
    EXPECT_EQ(fs::move_file_no_replace(a, b), error::already_exists);
    EXPECT_EQ(qlm::testing::read_bytes(a), "A");
    EXPECT_EQ(qlm::testing::read_bytes(b), "B");
    EXPECT_EQ(fs::move_file_no_replace(a, folder / L"c.txt"), 0u);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"c.txt"), "A");
    EXPECT_EQ(fs::move_file_no_replace(folder / L"missing", folder / L"d.txt"), error::file_not_found);

    EXPECT_EQ(fs::create_directory(folder / L"sub"), 0u);
    EXPECT_EQ(fs::create_directory(folder / L"sub"), error::already_exists);
    EXPECT_EQ(fs::move_file_no_replace(b, folder / L"sub/b.txt"), 0u);
    EXPECT_EQ(fs::remove_directory(folder / L"sub"), error::dir_not_empty);
    EXPECT_EQ(fs::delete_file(folder / L"sub/b.txt"), 0u);
    EXPECT_EQ(fs::remove_directory(folder / L"sub"), 0u);
    EXPECT_FALSE(fs::exists(folder / L"sub"));
    EXPECT_EQ(fs::flush_folder(folder.path()), 0u);

    // The words are the system's own (Wine's differ from Windows'); Linux has them in its own test.
    EXPECT_FALSE(fs::error_text(183).empty());
}

TEST(file_system_moves, creation_time_local_time_and_appends) {
    qlm::testing::temp_folder folder;
    const auto path = folder.write(L"new.txt", "x");
    const auto created = fs::creation_time(path);
    const auto written = fs::last_write_time(path);
    ASSERT_TRUE(created && written);
    EXPECT_LE(*created, *written + 10000000u);  // within a second, whichever clock the file system keeps
    std::uint32_t code = 0;
    EXPECT_FALSE(fs::creation_time(folder / L"missing", &code));
    EXPECT_EQ(code, error::file_not_found);
    // 2024-05-01 12:00 UTC: the same calendar day in every zone from -11 to +11.
    const auto local = fs::to_local_time((1714564800ULL + 11644473600ULL) * 10000000ULL);
    ASSERT_TRUE(local);
    EXPECT_EQ(local->year * 10000 + local->month * 100 + local->day, 20240501);

    fs::append_file log;
    ASSERT_EQ(log.open(folder / L"log.txt", true), 0u);
    EXPECT_EQ(log.append("one\n"), 0u);
    EXPECT_EQ(log.sync(), 0u);
    log.close();
    ASSERT_EQ(log.open(folder / L"log.txt", false), 0u);
    EXPECT_EQ(log.append("two\n"), 0u);
    fs::append_file moved = std::move(log);
    EXPECT_FALSE(log.is_open());
    moved.close();
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"log.txt"), "one\ntwo\n");
    ASSERT_EQ(moved.open(folder / L"log.txt", true), 0u);
    moved.close();
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"log.txt"), "");
}

TEST(text_ansi, western_code_page) {
    EXPECT_EQ(platform::text::from_ansi("Caf\xE9 \x80 \x9F"), std::optional<std::wstring>(L"Café € Ÿ"));
    EXPECT_EQ(platform::text::from_ansi(""), std::optional<std::wstring>(L""));
}

}  // namespace
