#include "explorer/custom_icons.h"

#include "platform/file_system.h"
#include "platform/graphics.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "support/error_text.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"
#include "support/version_dll.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace explorer = sortwell::explorer;
namespace fs = platform::file_system;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

std::vector<std::wstring> suite_icons(const std::wstring& folder) {
    return qlm::testing::names_in(folder, L"sw_folder_");
}

using qlm::testing::error_of;

// Removal, and the same through a job, are tests/batch_host/test_icon_jobs.py's.
TEST(custom_icons, applying_twice_keeps_one_hidden_copy_and_marks_the_folder) {
    const qlm::testing::temp_folder folder;
    const std::string icon_bytes("\0\0\1\0\1\0 icon bytes", 18);
    const std::wstring source = folder.write(L"mine.ico", icon_bytes);
    const std::wstring target = folder.make_folder(L"Projects");

    explorer::set_folder_icon(target, source, false);
    explorer::set_folder_icon(target, source, false);
    const auto icons = suite_icons(target);
    ASSERT_EQ(icons.size(), 1U);
    const std::wstring copy = target + fs::separator + icons[0];
    EXPECT_EQ(qlm::testing::read_bytes(copy), icon_bytes);
    EXPECT_NE(fs::get_attributes(copy) & fs::attribute_hidden, 0U);
    const std::wstring ini = target + fs::separator + L"desktop.ini";
    EXPECT_EQ(platform::private_profile::get_string(L".ShellClassInfo", L"IconResource", L"-", ini), icons[0] + L",0");
    EXPECT_EQ(fs::get_attributes(target) & (fs::attribute_readonly | fs::attribute_system),
              fs::attribute_readonly | fs::attribute_system);
    EXPECT_EQ(fs::get_attributes(ini) & (fs::attribute_hidden | fs::attribute_system),
              fs::attribute_hidden | fs::attribute_system);
}

TEST(custom_icons, files_and_missing_targets_are_refused_with_the_friendly_text) {
    const qlm::testing::temp_folder folder;
    const std::wstring file = folder.write(L"notes.txt", "x");
    EXPECT_EQ(
        error_of([&] { explorer::set_folder_icon(file, file, false); }),
        "Could not customize '" + platform::text::to_utf8(file) + "'. The selected item is not a folder or drive.");
    const std::wstring missing = folder / L"gone";
    EXPECT_EQ(error_of([&] { explorer::set_folder_icon(missing, file, false); }),
              "Could not access '" + platform::text::to_utf8(missing) +
                  "'.\n\nThe location could not be found. Verify that the drive or network share is connected and "
                  "try again.\n\nWindows error 2: The system cannot find the file specified.");
    const std::wstring target = folder.make_folder(L"Empty");
    EXPECT_EQ(error_of([&] { explorer::set_folder_icon(target, folder / L"no.ico", false); }),
              "Could not copy the icon into '" + platform::text::to_utf8(target) +
                  "'.\n\nThe location could not be found. Verify that the drive or network share is connected and "
                  "try again.\n\nWindows error 2: The system cannot find the file specified.");
}

TEST(custom_icons, access_denied_while_copying_the_icon_gives_the_advice_and_changes_nothing) {
    const qlm::testing::temp_folder folder;
    const std::wstring source = folder.write(L"mine.ico", std::string("\0\0\1\0\1\0icon", 10));
    const std::wstring target = folder.make_folder(L"Shared");
    // A folder that refuses new files, as an account without Modify
    // permission sees it; the real refusal would not stop root.
    explorer::icon_file_operations denied;
    denied.copy = [](const std::wstring&, const std::wstring&) { return std::uint32_t{5}; };

    EXPECT_EQ(error_of([&] { explorer::set_folder_icon(target, source, false, denied); }),
              "Could not copy the icon into '" + platform::text::to_utf8(target) +
                  "'.\n\nAccess was denied. Make sure your account has Modify permission for this folder or drive "
                  "root, including permission to change file and folder attributes.\n\nWindows error 5: Access is "
                  "denied.");
    EXPECT_TRUE(qlm::testing::names_in(target).empty());
    EXPECT_EQ(fs::get_attributes(target) & (fs::attribute_readonly | fs::attribute_system), 0U);

    // A desktop.ini without write permission refuses the settings, whoever
    // runs us, as Windows refuses a read-only file.
    const std::wstring ini = folder.write(L"Shared/desktop.ini", "[.ShellClassInfo]\r\n");
    ASSERT_EQ(fs::set_attributes(ini, fs::attribute_readonly), 0U);
    EXPECT_EQ(error_of([&] { explorer::set_folder_icon(target, source, false); }),
              "Could not write icon settings to '" + platform::text::to_utf8(target) +
                  "'.\n\nAccess was denied. Make sure your account has Modify permission for this folder or drive "
                  "root, including permission to change file and folder attributes.\n\nWindows error 5: Access is "
                  "denied.");
    EXPECT_EQ(qlm::testing::read_bytes(ini), "[.ShellClassInfo]\r\n");
}

// Two images as a small real icon holds them: a 16 x 16 BMP entry with its
// mask and a 32 x 32 PNG entry, small enough for ext4's attribute room.
std::string two_image_icon() {
    std::string bmp;
    auto put = [&bmp](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    for (const std::uint32_t field : {40U, 16U, 32U}) put(field, 4);
    put(1, 2);
    put(32, 2);
    for (int i = 0; i < 6; ++i) put(0, 4);
    for (int i = 0; i < 16 * 16; ++i) put(0xFF3366CCU, 4);
    bmp.append(16 * 4, '\0');
    platform::graphics::image green(32, 32);
    std::fill(green.pixels.begin(), green.pixels.end(), 0xFF00C000U);
    const std::string png = platform::graphics::encode_png(green).value_or("");
    std::string ico("\0\0\1\0\2\0", 6);
    std::uint32_t offset = 6 + 2 * 16;
    const auto entry = [&ico, &offset](int size, const std::string& data) {
        ico += {static_cast<char>(size), static_cast<char>(size), 0, 0, 1, 0, 32, 0};
        for (const std::uint32_t value : {static_cast<std::uint32_t>(data.size()), offset}) {
            for (int i = 0; i < 4; ++i) ico.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
        offset += static_cast<std::uint32_t>(data.size());
    };
    entry(16, bmp);
    entry(32, png);
    return ico + bmp + png;
}

std::string stream_seen_by_getfattr(const std::wstring& file) {
    int status = -1;
    const std::string value =
        run_tool("getfattr --only-values -n user.sw_icon_data " + shell_quote(file) + " 2>/dev/null", &status);
    return status == 0 ? value : "(none)";
}

TEST(custom_icons, a_file_icon_is_the_user_attribute_that_getfattr_reads) {
    if (!qlm::testing::tool_available("getfattr")) GTEST_SKIP() << "getfattr is not installed";
    const qlm::testing::temp_folder folder;
    const std::string icon = two_image_icon();
    const std::wstring source = folder.write(L"two.ico", icon);
    const std::wstring file = folder.write(L"notes.txt", "notes");

    explorer::set_file_icon(file, source, false);
    EXPECT_EQ(stream_seen_by_getfattr(file), icon);

    // Linux keeps at most 64 KiB in one attribute (ext4 about 4 KB): a big
    // icon fails and the one there stays.
    const std::wstring big = folder.write(L"big.ico", std::string("\0\0\1\0\1\0", 6) + std::string(70000, 'x'));
    EXPECT_EQ(error_of([&] { explorer::set_file_icon(file, big, false); }),
              "Unable to update file icon. Failed to write stream data");
    EXPECT_EQ(stream_seen_by_getfattr(file), icon);

    // From a module: the icon group 101 made back into the .ico it was built from.
    if (qlm::testing::tool_available("x86_64-w64-mingw32-windres")) {
        const std::wstring dll = folder / L"icons.dll";
        // The icon as a resource of a DLL that MinGW's binutils build, id 101.
        ASSERT_TRUE(qlm::testing::make_resource_dll("101 ICON \"" + platform::text::to_utf8(source) + "\"\n", dll));
        const std::wstring other = folder.write(L"other.txt", "other");
        explorer::set_file_icon(other, dll + L",-101", false);
        EXPECT_EQ(stream_seen_by_getfattr(other), icon);
        EXPECT_EQ(error_of([&] { explorer::set_file_icon(other, dll + L",-102", false); }),
                  "Unable to update file icon. Failed to open source icon: " + platform::text::to_utf8(dll) + ",-102");
    }
    explorer::set_file_icon(file, L"", true);
    EXPECT_EQ(stream_seen_by_getfattr(file), "(none)");
}

}  // namespace
