// Comments on real files and folders, read back by exiftool where it can.

#include "metadata/comment_storage.h"

#include "platform/file_system.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using namespace qlm::metadata;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

TEST(comment_storage_posix, photos_keep_line_breaks_and_any_character) {
    if (!qlm::testing::tool_available("exiftool") || !qlm::testing::tool_available("convert")) GTEST_SKIP();
    qlm::testing::temp_folder temp;
    const std::wstring photo = qlm::testing::make_image(temp / L"p.jpg");
    comment_document document{photo, L"first\nsecond \u00e9 ", true, L"", false};
    ASSERT_TRUE(save_comment(document));
    EXPECT_EQ(run_tool("exiftool -b -XMP-exif:UserComment " + shell_quote(photo)), "first\nsecond \xC3\xA9 ");
    comment_document loaded{photo, L"", false, L"", false};
    ASSERT_TRUE(load_comment(loaded));
    EXPECT_EQ(loaded.text, L"first\nsecond \u00e9 ");

    comment_document cleared{photo, L"", true, L"", false};
    ASSERT_TRUE(save_comment(cleared));
    EXPECT_EQ(run_tool("exiftool -m -s -s -UserComment -XPComment -XMP-exif:all " + shell_quote(photo)), "");
}

TEST(comment_storage_posix, folders_and_plain_files_keep_it_where_file_managers_show_it) {
    qlm::testing::temp_folder temp;
    const std::wstring folder = temp.make_folder(L"f");
    comment_document on_folder{folder, L"folder note", true, L"", false};
    ASSERT_TRUE(save_comment(on_folder));
    EXPECT_EQ(run_tool("getfattr --only-values -n user.xdg.comment " + shell_quote(folder)), "folder note");

    // A text file has no handler: its comment is the file manager's, which
    // the handler's read-back sees too.
    const std::wstring text = temp.write(L"notes.txt", "x");
    comment_document on_text{text, L"kept \u00e9", true, L"", false};
    EXPECT_TRUE(save_comment(on_text));
    EXPECT_EQ(run_tool("getfattr --only-values -n user.xdg.comment " + shell_quote(text)), "kept \xC3\xA9");
    run_tool("setfattr -n user.xdg.comment -v 'from Dolphin' " + shell_quote(text));
    comment_document loaded{text, L"", false, L"", false};
    ASSERT_TRUE(load_comment(loaded));
    EXPECT_EQ(loaded.text, L"from Dolphin");
    comment_document cleared{text, L"", true, L"", false};
    EXPECT_TRUE(save_comment(cleared));
    EXPECT_EQ(run_tool("getfattr -d -m - " + shell_quote(text)), "");

    comment_document cloud{text, L"x", true, L"", false};
    platform::file_system::set_attributes(text, platform::file_system::attribute_offline);
    EXPECT_FALSE(save_comment(cloud));
    EXPECT_FALSE(load_comment(cloud));
}

}  // namespace
