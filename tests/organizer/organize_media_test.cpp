// Photos and music made by outside tools (ImageMagick, exiftool, lame,
// id3v2, flac, metaflac), read through the property store and organized.

#include "metadata/people_regions.h"
#include "organize_support.h"
#include "organizer/metadata_fields.h"
#include "organizer/organize_folder.h"
#include "organizer/undo_journal.h"
#include "platform/file_system_moves.h"
#include "support/outside_tools.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

namespace org = sortwell::organizer;
namespace fs = platform::file_system;
using namespace organizer_testing;
using names = std::vector<std::wstring>;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

std::wstring photo(const qlm::testing::temp_folder& folder, const std::wstring& name, const std::string& tags) {
    const std::wstring path = folder / name;
    EXPECT_FALSE(qlm::testing::make_image(path).empty());
    if (!tags.empty()) {
        int code = 0;
        run_tool("exiftool -q -overwrite_original " + tags + " " + shell_quote(path), &code);
        EXPECT_EQ(code, 0);
    }
    return path;
}

std::wstring expected_creation_date(const std::wstring& path) {
    const auto local = fs::to_local_time(*fs::creation_time(path));
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", local->year, local->month, local->day);
    return platform::text::from_utf8(text);
}

TEST(organize_media, photo_dates_hold_in_every_time_zone_and_positions_name_places) {
    if (!qlm::testing::tool_available("exiftool") || !qlm::testing::tool_available("convert")) {
        GTEST_SKIP() << "needs exiftool and ImageMagick";
    }
    qlm::testing::temp_folder folder;
    const auto rio = photo(folder, L"rio.jpg",
                           "-DateTimeOriginal='2024:05:01 23:30:00' -GPSLatitude=22.9068 -GPSLatitudeRef=S "
                           "-GPSLongitude=43.1729 -GPSLongitudeRef=W");
    const auto paris = photo(folder, L"paris.jpg",
                             "-DateTimeOriginal='2023:12:31 00:10:00' -GPSLatitude=48.853 -GPSLatitudeRef=N "
                             "-GPSLongitude=2.3499 -GPSLongitudeRef=E");
    const auto sea = photo(folder, L"sea.jpg", "-GPSLatitude=30 -GPSLatitudeRef=N -GPSLongitude=40 -GPSLongitudeRef=W");
    for (const char* zone : {"<+14>-14", "<-10>10", "UTC"}) {
        const qlm::testing::scoped_env scope("TZ", zone);
        tzset();
        const auto fields = org::photo_fields(rio);
        EXPECT_EQ(fields.date, L"2024-05-01") << zone;
        EXPECT_EQ(org::photo_fields(paris).date, L"2023-12-31") << zone;
        EXPECT_EQ(fields.location, L"Rio de Janeiro, Rio de Janeiro");  // the coarse border leaves the shore out
        EXPECT_EQ(fields.original_filename, L"rio");
    }
    tzset();  // the zone is back
    const auto at_paris = org::photo_fields(paris);
    EXPECT_EQ(at_paris.city, L"Paris");
    EXPECT_EQ(at_paris.state, L"Île-de-France");
    EXPECT_EQ(at_paris.country, L"France");
    const auto at_sea = org::photo_fields(sea);
    EXPECT_EQ(at_sea.location, L"");
    EXPECT_EQ(at_sea.date, expected_creation_date(sea));  // no date taken: the file's creation
}

TEST(organize_media, photos_pattern_with_people_from_the_photo_and_a_sidecar) {
    if (!qlm::testing::tool_available("exiftool") || !qlm::testing::tool_available("convert")) {
        GTEST_SKIP() << "needs exiftool and ImageMagick";
    }
    qlm::testing::temp_folder folder;
    const auto jpeg = photo(folder, L"IMG_1.jpg", "-DateTimeOriginal='2024:05:01 12:00:00'");
    ASSERT_TRUE(
        qlm::metadata::write_people_regions(jpeg, {{L"Anna", 0.1, 0.1, 0.2, 0.2}, {L"Ben", 0.5, 0.5, 0.2, 0.2}}));
    const auto png = photo(folder, L"IMG_2.png", "");
    ASSERT_TRUE(qlm::metadata::write_people_regions(png, {{L"Cleo", 0.1, 0.1, 0.2, 0.2}}));
    ASSERT_TRUE(fs::exists(folder / L"IMG_2.png.xmp"));
    EXPECT_EQ(org::photo_fields(png).people, L"Cleo");

    recording_host host;
    const auto services = test_services();
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"photos_pattern", services); }), ok);
    EXPECT_EQ(names_in(folder / L"2024-05-01"), names{L"2024-05-01 - Anna and Ben - IMG_1.jpg"});
    // The sidecar follows its photo under the photo's new name.
    bool found_png = false;
    for (const auto& entry : names_in(folder.path())) {
        const auto inside = names_in(folder / entry);
        if (std::find(inside.begin(), inside.end(), entry + L" - Cleo - IMG_2.png") != inside.end()) {
            found_png = true;
            EXPECT_NE(std::find(inside.begin(), inside.end(), entry + L" - Cleo - IMG_2.xmp"), inside.end());
        }
    }
    EXPECT_TRUE(found_png);
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }), ok);
    EXPECT_EQ(names_in(folder.path()), (names{L"IMG_1.jpg", L"IMG_2.png", L"IMG_2.png.xmp"}));
}

TEST(organize_media, music_fields_from_mp3_and_flac) {
    for (const char* tool : {"lame", "id3v2", "flac", "metaflac"}) {
        if (!qlm::testing::tool_available(tool)) GTEST_SKIP() << "needs " << tool;
    }
    qlm::testing::temp_folder work;
    // One second of silence, as the encoders want it.
    const std::wstring raw = work.write(L"silence.raw", std::string(16000, '\0'));
    qlm::testing::temp_folder folder;
    const std::wstring mp3 = folder / L"song.mp3";
    const std::wstring flac = folder / L"other.flac";
    const std::wstring cued = folder / L"Album.flac";
    int code = 0;
    run_tool("lame --silent -r -s 8 --bitwidth 16 -m m " + shell_quote(raw) + " " + shell_quote(mp3) +
                 " && id3v2 -a 'AC/DC' -A 'Back in Black' -t 'Hells Bells?' -T 7 -y 1980 --TPOS 2/3 --TCON Rock " +
                 shell_quote(mp3),
             &code);
    ASSERT_EQ(code, 0);
    const std::string encode =
        "flac --silent --force-raw-format --endian=little --sign=signed --channels=1 --bps=16 "
        "--sample-rate=8000 " +
        shell_quote(raw) + " -o ";
    run_tool(encode + shell_quote(flac) + " && metaflac --set-tag=ARTIST=Solo --set-tag=ARTIST=Band " +
                 "--set-tag=ALBUMARTIST=Various --set-tag=ALBUM=Mix. --set-tag=TITLE=Tune --set-tag=TRACKNUMBER=123 "
                 "--set-tag=DATE=2001-05-03 --set-tag=DISCNUMBER=0 " +
                 shell_quote(flac) + " && " + encode + shell_quote(cued),
             &code);
    ASSERT_EQ(code, 0);

    const auto song = org::music_fields(mp3);
    EXPECT_EQ(song.artist, L"AC_DC");
    EXPECT_EQ(song.album_artist, L"AC_DC");  // no album artist: the artist
    EXPECT_EQ(song.album, L"Back in Black");
    EXPECT_EQ(song.title, L"Hells Bells_");
    EXPECT_EQ(song.track, L"07");
    EXPECT_EQ(song.year, L"1980");
    EXPECT_EQ(song.disc, L"2");
    EXPECT_EQ(song.genre, L"Rock");
    const auto other = org::music_fields(flac);
    EXPECT_EQ(other.artist, L"Solo, Band");
    EXPECT_EQ(other.album_artist, L"Various");
    EXPECT_EQ(other.album, L"Mix");
    EXPECT_EQ(other.track, L"123");
    EXPECT_EQ(other.year, L"2001");
    EXPECT_EQ(other.disc, L"");
    EXPECT_EQ(org::music_fields(folder / L"missing.mp3").original_filename, L"");

    folder.write(L"album.cue", "FILE \"Album.flac\" WAVE\n");
    folder.write(L"song.mp3.lrc", "lyrics");
    folder.write(L"song.lrc", "lyrics2");
    recording_host host;
    auto services = test_services();
    std::vector<std::wstring> notices;
    services.show_notice = [&](const std::wstring& text) { notices.push_back(text); };
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"music_pattern", services); }), ok);
    EXPECT_EQ(notices, names{L"1 audio file(s) were left with their cue sheets. Organizing cue-based albums is not "
                             L"supported yet; renaming or moving their audio would break the cue sheets. Other music "
                             L"files will be organized normally."});
    EXPECT_EQ(names_in(folder / L"AC_DC/Back in Black"),
              (names{L"07 - Hells Bells_.lrc", L"07 - Hells Bells_.mp3", L"07 - Hells Bells_.mp3.lrc"}));
    EXPECT_EQ(names_in(folder / L"Various/Mix"), names{L"123 - Tune.flac"});
    EXPECT_TRUE(fs::exists(cued));
    const auto journal = org::read_journal(org::journal_path(folder.path()));
    EXPECT_EQ(journal.created_folders.size(), 4u);

    // A cue sheet that names no file stops the run before anything moves.
    folder.write(L"bad.cue", "TITLE x\n");
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"music_pattern", services); }),
              "Cue sheet has no FILE references; no music was organized.");
}

}  // namespace
