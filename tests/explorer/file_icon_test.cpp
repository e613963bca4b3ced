// A file's own icon in its "sw_icon_data" stream, on both targets: the
// stream holds the icon's bytes, goes again (also from a read-only file),
// and each failing step has its message.

#include "explorer/custom_icons.h"

#include "platform/file_streams.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/error_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace explorer = sortwell::explorer;
namespace fs = platform::file_system;

using qlm::testing::error_of;

TEST(file_icon, the_stream_takes_the_icon_and_loses_it_again_even_when_the_file_is_read_only) {
    const qlm::testing::temp_folder folder;
    const std::string header("\0\0\1\0\1\0", 6);
    const std::string first = header + "first icon";
    const std::string second = header + "second, longer icon";
    const std::wstring file = folder.write(L"report.txt", "text");
    const std::wstring first_source = folder.write(L"first.ico", first);
    const std::wstring second_source = folder.write(L"second.ico", second);

    explorer::set_file_icon(file, first_source, false);
    EXPECT_EQ(fs::read_stream(file, L"sw_icon_data"), first);
    // A new icon replaces the whole stream; ",0" names the .ico itself.
    explorer::set_file_icon(file, second_source + L",0", false);
    EXPECT_EQ(fs::read_stream(file, L"sw_icon_data"), second);
    EXPECT_EQ(qlm::testing::read_bytes(file), "text");

    ASSERT_EQ(fs::set_attributes(file, fs::get_attributes(file) | fs::attribute_readonly), 0U);
    explorer::set_file_icon(file, L"", true);
    std::uint32_t error = 0;
    EXPECT_FALSE(fs::read_stream(file, L"sw_icon_data", &error));
    EXPECT_EQ(error, 2U);
    EXPECT_EQ(fs::get_attributes(file) & fs::attribute_readonly, 0U);
    // Nothing to remove is no failure.
    explorer::set_file_icon(file, L"", true);
}

TEST(file_icon, each_failing_step_names_itself_and_leaves_the_file_alone) {
    const qlm::testing::temp_folder folder;
    const std::wstring file = folder.write(L"photo.jpg", "jpeg");
    const std::wstring source = folder.write(L"mine.ico", std::string("\0\0\1\0\1\0icon", 10));
    const std::wstring missing_source = folder / L"gone.ico";
    const std::wstring missing_file = folder / L"gone.jpg";
    const std::wstring locked = folder.write(L"locked.jpg", "jpeg");
    ASSERT_EQ(fs::set_attributes(locked, fs::get_attributes(locked) | fs::attribute_readonly), 0U);
    const auto utf8 = [](const std::wstring& text) { return platform::text::to_utf8(text); };

    const struct {
        std::wstring target;
        std::wstring source;
        std::string message;
    } cases[] = {
        {file, missing_source, "Unable to update file icon. Failed to open source icon: " + utf8(missing_source)},
        {file, source + L",-101", "Unable to update file icon. Failed to open source icon: " + utf8(source) + ",-101"},
        {missing_file, source,
         "Unable to update file icon. Failed to open target stream: " + utf8(missing_file) + ":sw_icon_data"},
        {locked, source, "Unable to update file icon. Failed to open target stream: " + utf8(locked) + ":sw_icon_data"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(error_of([&] { explorer::set_file_icon(c.target, c.source, false); }), c.message);
    }
    std::uint32_t error = 0;
    EXPECT_FALSE(fs::read_stream(file, L"sw_icon_data", &error));
    EXPECT_FALSE(fs::read_stream(locked, L"sw_icon_data", &error));
    EXPECT_EQ(qlm::testing::read_bytes(locked), "jpeg");
}

}  // namespace
