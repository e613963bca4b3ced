#include "explorer/custom_icons.h"

#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

namespace explorer = sortwell::explorer;
namespace fs = platform::file_system;

std::vector<std::wstring> suite_icons(const std::wstring& folder) {
    std::vector<std::wstring> found;
    for (const auto& name : fs::find_files(folder + fs::separator + L"*").value_or(std::vector<std::wstring>{})) {
        if (name.rfind(L"sw_folder_", 0) == 0) found.push_back(name);
    }
    return found;
}

std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(custom_icons, applying_twice_keeps_one_hidden_copy_and_removal_takes_it_away) {
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

    explorer::set_folder_icon(target, L"", true);
    EXPECT_TRUE(suite_icons(target).empty());
    EXPECT_EQ(platform::private_profile::get_string(L".ShellClassInfo", L"IconResource", L"-", ini), L"-");
}

TEST(custom_icons, files_and_missing_targets_are_refused_with_the_friendly_text) {
    const qlm::testing::temp_folder folder;
    const std::wstring file = folder.write(L"notes.txt", "x");
    EXPECT_EQ(error_of([&] { explorer::set_folder_icon(file, file, false); }),
              "Could not customize '" + platform::text::to_utf8(file) +
                  "'. The selected item is not a folder or drive.");
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

TEST(custom_icons, drive_roots_are_a_letter_a_colon_and_at_most_a_separator) {
    for (const auto& [path, root] : {std::pair{L"C:", true}, std::pair{L"d:\\", true}, std::pair{L"E:/", true},
                                     std::pair{L"C:\\x", false}, std::pair{L"1:\\", false}, std::pair{L"/", false},
                                     std::pair{L"\\\\server\\share", false}}) {
        EXPECT_EQ(explorer::is_drive_root(path), root) << platform::text::to_utf8(path);
    }
}

}  // namespace
