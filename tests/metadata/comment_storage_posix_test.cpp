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

TEST(comment_storage_posix, folders_use_their_property_set_and_plain_files_fail_the_read_back) {
    qlm::testing::temp_folder temp;
    const std::wstring folder = temp.make_folder(L"f");
    comment_document on_folder{folder, L"folder note", true, L"", false};
    ASSERT_TRUE(save_comment(on_folder));
    EXPECT_EQ(run_tool("getfattr --only-values -n 'user.qlm.prop.{F29F85E0-4FF9-1068-AB91-08002B27B3D9}.6' " +
                       shell_quote(folder)),
              "bstr:folder note");

    // No handler keeps comments of a text file: the value lands in the
    // property set, but the handler's read-back sees none.
    const std::wstring text = temp.write(L"notes.txt", "x");
    comment_document on_text{text, L"lost", true, L"", false};
    EXPECT_FALSE(save_comment(on_text));
    comment_document loaded{text, L"", false, L"", false};
    ASSERT_TRUE(load_comment(loaded));
    EXPECT_EQ(loaded.text, L"lost");

    comment_document cloud{text, L"x", true, L"", false};
    platform::file_system::set_attributes(text, platform::file_system::attribute_offline);
    EXPECT_FALSE(save_comment(cloud));
    EXPECT_FALSE(load_comment(cloud));
}

}  // namespace
