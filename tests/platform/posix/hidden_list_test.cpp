// The hidden attribute and the folder's ".hidden" list that Dolphin and
// Nautilus read: listed and unlisted with the attribute, other lines kept.

#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace fs = platform::file_system;
using qlm::testing::read_bytes;
using qlm::testing::temp_folder;

void set_hidden(const std::wstring& path, bool hidden) {
    const std::uint32_t attributes = fs::get_attributes(path);
    ASSERT_NE(attributes, fs::invalid_attributes);
    const std::uint32_t wanted = hidden ? (attributes | fs::attribute_hidden) : (attributes & ~fs::attribute_hidden);
    ASSERT_EQ(fs::set_attributes(path, wanted & ~fs::attribute_normal), 0u);
    EXPECT_EQ((fs::get_attributes(path) & fs::attribute_hidden) != 0, hidden);
}

TEST(HiddenList, FollowsTheHiddenAttributeAndKeepsOtherLines) {
    const temp_folder folder;
    const std::wstring list = folder / L".hidden";
    const std::wstring ini = folder.write(L"desktop.ini", "x");
    const std::wstring icon = folder.write(L"sw_tagged_1.ico", "x");

    set_hidden(ini, true);
    EXPECT_EQ(read_bytes(list), "desktop.ini\n");
    set_hidden(icon, true);
    set_hidden(icon, true);  // already listed: listed once
    EXPECT_EQ(read_bytes(list), "desktop.ini\nsw_tagged_1.ico\n");
    set_hidden(ini, false);
    EXPECT_EQ(read_bytes(list), "sw_tagged_1.ico\n");
    // Deleting a hidden file unlists it; the list's last holder gone, the list goes too.
    ASSERT_EQ(fs::delete_file(icon), 0u);
    EXPECT_FALSE(fs::exists(list));
    folder.write(L"sw_tagged_1.ico", "x");

    // Someone else's list: their lines stay, CR LF and a missing last line end included.
    folder.write(L".hidden", "Thumbs\r\nnotes.txt\r\nlast");
    set_hidden(ini, true);
    EXPECT_EQ(read_bytes(list), "Thumbs\r\nnotes.txt\r\nlast\ndesktop.ini\n");
    set_hidden(ini, false);
    EXPECT_EQ(read_bytes(list), "Thumbs\r\nnotes.txt\r\nlast\n");
    // No temporary is left beside it.
    EXPECT_EQ(qlm::testing::names_in(folder.path()),
              (std::vector<std::wstring>{L".hidden", L"desktop.ini", L"sw_tagged_1.ico"}));
}

TEST(HiddenList, DotNamesAndFoldersThatRefuseTheListAreLeftAlone) {
    const temp_folder folder;
    const std::wstring dotted = folder.write(L".directory", "x");
    set_hidden(dotted, true);
    EXPECT_FALSE(fs::exists(folder / L".hidden"));

    // A folder whose list cannot be written still gets the attribute.
    const std::wstring locked = folder.make_folder(L"locked");
    const std::wstring inside = folder.write(L"locked/desktop.ini", "x");
    folder.write(L"locked/.hidden", "kept\n");
    ASSERT_EQ(fs::set_attributes(folder / L"locked/.hidden", fs::attribute_readonly), 0u);
    set_hidden(inside, true);
    EXPECT_EQ(read_bytes(folder / L"locked/.hidden"), "kept\n");
    (void)locked;
}

// A hidden file's line follows it through the suite's moves and renames
// (the organizer's no-replace move, the plain move); a shown file's moves
// never make a list.
TEST(HiddenList, FollowsAHiddenFileThatIsMovedOrRenamed) {
    const temp_folder folder;
    const std::wstring from = folder.make_folder(L"from");
    const std::wstring to = folder.make_folder(L"to");
    folder.write(L"from/.hidden", "Thumbs\n");
    set_hidden(folder.write(L"from/sw_tagged_1.ico", "x"), true);
    const std::wstring shown = folder.write(L"from/shown.txt", "x");
    ASSERT_EQ(read_bytes(from + L"/.hidden"), "Thumbs\nsw_tagged_1.ico\n");

    ASSERT_EQ(fs::move_file_no_replace(from + L"/sw_tagged_1.ico", to + L"/sw_tagged_1.ico"), 0u);
    EXPECT_EQ(read_bytes(from + L"/.hidden"), "Thumbs\n");
    EXPECT_EQ(read_bytes(to + L"/.hidden"), "sw_tagged_1.ico\n");
    ASSERT_EQ(fs::move_file(to + L"/sw_tagged_1.ico", to + L"/sw_tagged_2.ico"), 0u);
    EXPECT_EQ(read_bytes(to + L"/.hidden"), "sw_tagged_2.ico\n");
    // Moved back under a dot name, it is hidden by its name and leaves no list.
    ASSERT_EQ(fs::move_file_no_replace(to + L"/sw_tagged_2.ico", from + L"/.icon"), 0u);
    EXPECT_FALSE(fs::exists(to + L"/.hidden"));
    EXPECT_EQ(read_bytes(from + L"/.hidden"), "Thumbs\n");

    ASSERT_EQ(fs::move_file_no_replace(shown, to + L"/shown.txt"), 0u);
    EXPECT_EQ(qlm::testing::names_in(to), std::vector<std::wstring>{L"shown.txt"});
}

}  // namespace
