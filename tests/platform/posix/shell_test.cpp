// The Linux thumbnail refresh: the file's entries leave the freedesktop
// cache, named by the MD5 of the URI exactly as GLib writes it.

#include "platform/shell.h"

#include "support/scoped_env.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(posix_shell, thumbnail_refresh_removes_the_cached_thumbnails_of_that_file_only) {
    qlm::testing::temp_folder folder;
    const qlm::testing::scoped_env home("XDG_CACHE_HOME", std::filesystem::path(folder.path()).string());
    // md5("file:///srv/photos/Caf%C3%A9%20%231%20(copy)%3Bx%5B1%5D.jpg")
    const std::wstring entry = L"8cc23365d107240977471779abd768e8.png";
    // md5("file:///srv/a,b$&=:@+~!*'()-_.jpg"): the punctuation GLib leaves as it is
    const std::wstring plain = L"d1bf1c9ce5525d71a0f11e48f7c91ebd.png";
    const std::wstring other = L"00000000000000000000000000000000.png";
    const std::wstring folders[] = {L"thumbnails/normal", L"thumbnails/large", L"thumbnails/x-large",
                                    L"thumbnails/fail/gnome-thumbnail-factory"};
    for (const auto& sub : folders) {
        folder.make_folder(sub);
        for (const auto& name : {entry, plain, other}) folder.write(sub + L"/" + name, "PNG");
    }

    platform::shell::refresh_thumbnail(L"/srv/photos/Caf\u00e9 #1 (copy);x[1].jpg");
    for (const auto& sub : folders) {
        EXPECT_FALSE(std::filesystem::exists(folder / (sub + L"/" + entry))) << sub;
        EXPECT_TRUE(std::filesystem::exists(folder / (sub + L"/" + plain))) << sub;
        EXPECT_TRUE(std::filesystem::exists(folder / (sub + L"/" + other))) << sub;
    }
    platform::shell::refresh_thumbnail(L"/srv/a,b$&=:@+~!*'()-_.jpg");
    EXPECT_FALSE(std::filesystem::exists(folder / (L"thumbnails/large/" + plain)));
    EXPECT_TRUE(std::filesystem::exists(folder / (L"thumbnails/large/" + other)));

    // Without a cache folder there is nothing to do, and nothing fails.
    std::filesystem::remove_all(folder / L"thumbnails");
    platform::shell::refresh_thumbnail(L"/srv/a.jpg");
}

}  // namespace
