#include "organizer/cue_sheets.h"

#include "platform/file_system.h"
#include "support/error_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>


namespace {

namespace org = sortwell::organizer;

constexpr char encoding_error[] = "Invalid cue sheet encoding; no music was organized.";
constexpr char reference_error[] = "Invalid cue FILE reference; no music was organized.";
constexpr char no_files_error[] = "Cue sheet has no FILE references; no music was organized.";

using qlm::testing::error_of;

std::string utf16(const std::u16string& text, bool little) {
    std::string bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (const char16_t unit : text) {
        const char lo = static_cast<char>(unit & 0xFF), hi = static_cast<char>(unit >> 8);
        bytes += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return bytes;
}

TEST(cue_sheets, decodes_each_encoding) {
    const std::u16string sheet = u"FILE \"Café 𝄞.flac\" WAVE\r\n";
    const std::wstring expected = L"FILE \"Café 𝄞.flac\" WAVE\r\n";
    EXPECT_EQ(org::decode_cue_text(utf16(sheet, true)), expected);
    EXPECT_EQ(org::decode_cue_text(utf16(sheet, false)), expected);
    EXPECT_EQ(error_of([&] { org::decode_cue_text(utf16(sheet, true) + "x"); }), encoding_error);
    EXPECT_EQ(org::decode_cue_text("\xEF\xBB\xBF"
                                   "FILE \"Caf\xC3\xA9.flac\" WAVE"),
              L"FILE \"Café.flac\" WAVE");
    // Bad UTF-8 after a mark fails; without one it is ANSI (Windows-1252 on Linux).
    EXPECT_EQ(error_of([] {
                  org::decode_cue_text(
                      "\xEF\xBB\xBF"
                      "Caf\xE9");
              }),
              encoding_error);
    EXPECT_EQ(org::decode_cue_text("Caf\xE9 \x80"), L"Café €");
    EXPECT_EQ(org::decode_cue_text(""), L"");
}

TEST(cue_sheets, file_lines_and_their_errors) {
    EXPECT_EQ(org::cue_file_references(L"REM x\r\n  file \"Album.flac\" WAVE\r\n\tFILE track2.wav WAVE\r\n"),
              (std::vector<std::wstring>{L"Album.flac", L"track2.wav"}));
    EXPECT_EQ(org::cue_file_references(L"FILENAME x\nFILE a.wav MP3"), (std::vector<std::wstring>{L"a.wav"}));
    const wchar_t* invalid[] = {L"FILE \"Album.flac\"\r\n", L"FILE\n",   L"FILE   \r\n", L"FILE \"\" WAVE",
                                L"FILE \"open.flac WAVE",   L"FILE name"};
    for (const auto* text : invalid) {
        EXPECT_EQ(error_of([&] { org::cue_file_references(text); }), reference_error) << text;
    }
    EXPECT_EQ(error_of([] { org::cue_file_references(L"TITLE x\nFILENAME y WAVE\n"); }), no_files_error);
}

TEST(cue_sheets, collects_referenced_files_of_a_folder) {
    qlm::testing::temp_folder folder;
    folder.write(L"album.CUE", "FILE \"Album.flac\" WAVE\nFILE \"sub/../Other.flac\" WAVE\n");
    folder.write(L"Album.flac", "x");
    const auto keys = org::collect_cue_files(folder.path());
    EXPECT_EQ(keys.size(), 2u);
    EXPECT_TRUE(keys.contains(org::cue_path_key(folder / L"ALBUM.FLAC")));
    EXPECT_TRUE(keys.contains(org::cue_path_key(folder / L"other.flac")));

    qlm::testing::temp_folder big;
    big.write(L"big.cue", "FILE a.flac WAVE\n" + std::string(5 * 1024 * 1024, ' '));
    EXPECT_EQ(error_of([&] { org::collect_cue_files(big.path()); }),
              "Could not read a cue sheet; no music was organized.");
    qlm::testing::temp_folder empty;
    empty.write(L"empty.cue", "");
    EXPECT_EQ(error_of([&] { org::collect_cue_files(empty.path()); }), no_files_error);
}

}  // namespace
