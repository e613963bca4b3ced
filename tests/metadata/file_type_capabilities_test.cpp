#include "metadata/file_type_capabilities.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using qlm::metadata::can_store_rating;
using qlm::metadata::can_store_tags;
using qlm::metadata::path_extension;

TEST(file_type_capabilities, by_extension_in_any_case_with_the_mp3_exception_and_every_folder) {
    const qlm::testing::temp_folder folder;
    // Existing and missing files are judged alike: by their extension.
    for (const std::wstring name : {L"Photo.JPG", L"photo.jpg", L"missing.PnG", L"notes.WebManifest"}) {
        EXPECT_TRUE(can_store_tags(folder / name)) << folder / name;
        EXPECT_TRUE(can_store_rating(folder / name)) << folder / name;
    }
    EXPECT_FALSE(can_store_tags(folder.write(L"song.MP3", "ID3")));
    EXPECT_TRUE(can_store_rating(folder / L"song.MP3"));
    for (const std::wstring name : {L"archive.tar.gz", L"README", L".jpg", L"photo.jpg.bak", L"photo.jpg ",
                                    L"photo.j\u00c9g", L"photo.\u0130ni", L"trailing.", L"gone"}) {
        EXPECT_FALSE(can_store_tags(folder / name)) << folder / name;
        EXPECT_FALSE(can_store_rating(folder / name)) << folder / name;
    }
    // Only the last element counts: a dot in a folder name is no extension,
    // and a folder is admitted whatever its name.
    EXPECT_FALSE(can_store_tags(folder.make_folder(L"album.jpg") + L"/README"));
    for (const std::wstring name : {L"plain", L"music.mp3", L"data.bin", L".hidden"}) {
        EXPECT_TRUE(can_store_tags(folder.make_folder(name))) << name.size();
        EXPECT_TRUE(can_store_rating(folder / name)) << name.size();
    }
}

TEST(file_type_capabilities, extension_rule) {
    EXPECT_EQ(path_extension(L"/a/b/archive.tar.gz"), L".gz");
    EXPECT_EQ(path_extension(L"/a/b.c/name"), L"");
    EXPECT_EQ(path_extension(L"/a/.profile"), L"");
    EXPECT_EQ(path_extension(L"/a/..jpg"), L".jpg");
    EXPECT_EQ(path_extension(L"/a/.."), L"");
    EXPECT_EQ(path_extension(L"name."), L".");
    EXPECT_EQ(path_extension(L""), L"");
}

}  // namespace
