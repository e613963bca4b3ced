#include "platform/path_forms.h"

#include "explorer/custom_icons.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = platform::file_system;

TEST(path_forms, roots_of_drives_and_shares_exist_on_windows_only) {
    const bool windows = fs::separator == L'\\';
    const struct {
        const wchar_t* path;
        bool root;
        bool share_root;
        bool drive_root;
    } cases[] = {
        {L"C:\\", windows, false, windows},
        {L"d:\\", windows, false, windows},
        {L"C:", false, false, false},
        {L"C:\\Users", false, false, false},
        {L"1:\\", windows, false, false},
        {L"\\\\server\\share", windows, windows, false},
        {L"\\\\server\\share\\folder", false, false, false},
        {L"/", !windows, false, false},
        {L"/home", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(platform::text::to_utf8(c.path));
        EXPECT_EQ(fs::is_root(c.path), c.root);
        EXPECT_EQ(fs::is_unc_share_root(c.path), c.share_root);
        EXPECT_EQ(sortwell::explorer::is_drive_root(c.path), c.drive_root);
    }
}

TEST(path_forms, long_paths_get_the_prefix_on_windows_and_stay_as_they_are_on_linux) {
    const bool windows = fs::separator == L'\\';
    const std::wstring name(60, L'n');
    const std::wstring deep = L"C:\\" + name + L"\\" + name + L"\\.\\" + name + L"\\" + name + L"\\x.ico";
    const std::wstring share = L"\\\\server\\share\\" + name + L"\\" + name + L"\\" + name + L"\\" + name;
    EXPECT_EQ(fs::long_path_form(L"C:\\short\\x.ico"), L"C:\\short\\x.ico");
    EXPECT_EQ(fs::long_path_form(L"\\\\?\\C:\\x"), L"\\\\?\\C:\\x");
    if (windows) {
        EXPECT_EQ(fs::long_path_form(deep),
                  L"\\\\?\\C:\\" + name + L"\\" + name + L"\\" + name + L"\\" + name + L"\\x.ico");
        EXPECT_EQ(fs::long_path_form(share), L"\\\\?\\UNC\\server\\share\\" + name + L"\\" + name + L"\\" + name +
                                                 L"\\" + name);
    } else {
        EXPECT_EQ(fs::long_path_form(deep), deep);
        EXPECT_EQ(fs::long_path_form(L"/" + name + L"/" + name + L"/" + name + L"/" + name + L"/" + name),
                  L"/" + name + L"/" + name + L"/" + name + L"/" + name + L"/" + name);
    }
}

TEST(path_forms, same_file_follows_the_file_not_its_spelling) {
    const qlm::testing::temp_folder folder;
    const std::wstring file = folder.write(L"a.ico", "a");
    const std::wstring other = folder.write(L"b.ico", "a");
    const std::wstring sub = folder.make_folder(L"sub");
    const std::wstring linked = folder / L"hard.ico";
    std::filesystem::create_hard_link(fs::to_native(file), fs::to_native(linked));

    EXPECT_TRUE(fs::same_file(file, sub + fs::separator + L".." + fs::separator + L"a.ico"));
    EXPECT_TRUE(fs::same_file(file, linked));
    EXPECT_TRUE(fs::same_file(sub, folder / L"sub"));
    EXPECT_FALSE(fs::same_file(file, other));  // same bytes, another file
    EXPECT_FALSE(fs::same_file(file, folder / L"missing.ico"));
}

}  // namespace
