#include "metadata/file_type_capabilities.h"

#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using qlm::metadata::can_store_rating;
using qlm::metadata::can_store_tags;
using qlm::metadata::path_extension;

TEST(file_type_capabilities, extension_case_and_the_mp3_exception) {
    const qlm::testing::temp_folder folder;
    // Existing and missing files are judged alike: by their extension.
    for (const std::wstring name : {L"Photo.JPG", L"photo.jpg", L"missing.PnG", L"notes.WebManifest"}) {
        const std::wstring path = folder / name;
        EXPECT_TRUE(can_store_tags(path)) << path;
        EXPECT_TRUE(can_store_rating(path)) << path;
    }
    folder.write(L"song.MP3", "ID3");
    EXPECT_FALSE(can_store_tags(folder / L"song.MP3"));
    EXPECT_TRUE(can_store_rating(folder / L"song.MP3"));
}

TEST(file_type_capabilities, refuses_other_extensions_and_extensionless_names) {
    const qlm::testing::temp_folder folder;
    for (const std::wstring name : {L"archive.tar.gz", L"README", L".jpg", L"photo.jpg.bak", L"photo.jpg ",
                                    L"photo.j\u00c9g", L"photo.\u0130ni", L"trailing."}) {
        EXPECT_FALSE(can_store_tags(folder / name)) << folder / name;
        EXPECT_FALSE(can_store_rating(folder / name)) << folder / name;
    }
    // Only the last element counts: a dot in a folder name is no extension.
    const std::wstring dotted = folder.make_folder(L"album.jpg") + L"/README";
    EXPECT_FALSE(can_store_tags(dotted));
}

TEST(file_type_capabilities, folders_are_admitted_whatever_their_name) {
    const qlm::testing::temp_folder folder;
    for (const std::wstring name : {L"plain", L"music.mp3", L"data.bin", L".hidden"}) {
        const std::wstring path = folder.make_folder(name);
        EXPECT_TRUE(can_store_tags(path)) << path;
        EXPECT_TRUE(can_store_rating(path)) << path;
    }
    EXPECT_FALSE(can_store_tags(folder / L"gone"));
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
