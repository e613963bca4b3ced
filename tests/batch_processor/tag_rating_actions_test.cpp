#include "batch_processor/tag_rating_actions.h"

#include "batch_processor/job_runner.h"
#include "metadata/fallback_chain.h"
#include "metadata/metadata_handle.h"
#include "platform/text.h"
#include "support/log_capture.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

namespace bp = sortwell::batch_processor;
using qlm::testing::exiftool_value;
using qlm::testing::read_bytes;

class tag_rating_actions : public ::testing::Test {
protected:
    // A real JPEG holding the tags, written through the store as a user's earlier change would be.
    std::wstring photo(const std::wstring& name, const std::vector<std::wstring>& tags = {}) {
        const std::wstring path = qlm::testing::make_image(temp / name);
        if (!tags.empty()) {
            qlm::metadata::metadata_handle handle;
            EXPECT_TRUE(handle.open_for_writing(path));
            qlm::metadata::set_tags(handle, tags);
            handle.commit();
        }
        return path;
    }

    static std::string subject(const std::wstring& path) { return exiftool_value(path, "-XMP-dc:Subject"); }

    qlm::testing::temp_folder temp;
};

TEST_F(tag_rating_actions, update_tags_matches_ascii_case_removes_the_first_match_and_writes_only_changes) {
    // An existing spelling stays; nothing changes, so the file is not rewritten.
    const std::wstring beach = photo(L"beach.jpg", {L"beach"});
    const std::string untouched = read_bytes(beach);
    bp::apply_update_tags(beach, L"+Beach");
    bp::apply_update_tags(beach, L"+;*x;-Snow;;");
    EXPECT_EQ(read_bytes(beach), untouched);

    const std::wstring twice = photo(L"twice.jpg", {L"Beach", L"beach"});
    bp::apply_update_tags(twice, L"-beach");
    EXPECT_EQ(subject(twice), "beach");

    // "=" on an empty list is no change; on a tagged list it writes an empty one.
    const std::wstring empty = photo(L"empty.jpg");
    const std::string empty_bytes = read_bytes(empty);
    bp::apply_update_tags(empty, L"=");
    EXPECT_EQ(read_bytes(empty), empty_bytes);
    bp::apply_update_tags(twice, L"=");
    EXPECT_EQ(subject(twice), "");

    // Empty pieces are dropped, blanks belong to the name, "=" then "+" replaces without case duplicates.
    bp::apply_update_tags(empty, L";;+a;");
    EXPECT_EQ(subject(empty), "a");
    bp::apply_update_tags(empty, L"+ a");
    EXPECT_EQ(subject(empty), " a, a");  // stored sorted: the blank sorts first
    bp::apply_update_tags(beach, L"=;+x;+X;+y");
    EXPECT_EQ(subject(beach), "x, y");

    // Only ASCII letters match across case, as the C runtime compares in its default locale.
    bp::apply_update_tags(beach, L"=;+\u00c9t\u00e9");
    bp::apply_update_tags(beach, L"+\u00e9t\u00e9;-\u00c9T\u00c9");
    EXPECT_EQ(subject(beach), "\xC3\x89t\xC3\xA9, \xC3\xA9t\xC3\xA9");
}

TEST_F(tag_rating_actions, toggle_list_is_taken_once_and_compared_exactly) {
    const std::wstring first = photo(L"first.jpg", {L"beach"});
    bp::apply_toggle_tags(first, L"Beach;beach");
    EXPECT_EQ(subject(first), "Beach");
    // A later call keeps the list of the first one.
    const std::wstring second = photo(L"second.jpg", {L"other"});
    bp::apply_toggle_tags(second, L"other");
    EXPECT_EQ(subject(second), "Beach, beach, other");
}

// A job writes its photos in groups: what follows a file's write must see
// the new file, and a file listed twice is written over its first write.
TEST_F(tag_rating_actions, a_job_s_after_steps_see_each_new_file_and_a_second_pass_sees_the_first) {
    const std::wstring a = photo(L"a.jpg", {L"old"});
    const std::wstring b = photo(L"b.jpg", {L"old"});
    const auto tags_of = [](const std::wstring& path) {
        qlm::metadata::metadata_handle handle;
        EXPECT_TRUE(handle.open_for_reading(path, platform::property_store::gps_default));
        return handle.get_tags();
    };
    std::vector<std::pair<std::wstring, std::vector<std::wstring>>> seen;
    bp::worker_services services;
    services.drop_exif_thumbnail_link = [&](const std::wstring& path) { seen.emplace_back(path, tags_of(path)); };
    qlm::testing::recording_host host;
    const auto worker = qlm::testing::run_job(host, L"update_tags", {a, b, a}, L"+new", services);
    EXPECT_EQ(worker.error_count(), 0u);
    for (const std::wstring& call : host.calls) EXPECT_EQ(call.rfind(L"error", 0), std::wstring::npos) << call;
    const std::vector<std::wstring> written{L"new", L"old"};  // as the reader lists them
    using seen_step = std::pair<std::wstring, std::vector<std::wstring>>;
    EXPECT_EQ(seen, (std::vector<seen_step>{{a, written}, {b, written}, {a, written}}));
    EXPECT_EQ(tags_of(a), written);
}

TEST_F(tag_rating_actions, ratings_read_the_stars_as_atoi_does) {
    const std::wstring path = photo(L"rated.jpg");
    bp::apply_set_rating(path, L"3");
    EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "3");
    bp::apply_set_rating(path, L" 4 stars");
    EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "4");
    bp::apply_set_rating(path, L"");
    EXPECT_NE(exiftool_value(path, "-XMP-xmp:Rating"), "4");
    bp::apply_set_rating(path, L"5");
    bp::apply_set_rating(path, L"stars");
    EXPECT_NE(exiftool_value(path, "-XMP-xmp:Rating"), "5");
    bp::apply_set_rating(path, L"2");
    bp::apply_remove_rating(path);
    EXPECT_NE(exiftool_value(path, "-XMP-xmp:Rating"), "2");

    EXPECT_EQ(bp::parse_leading_integer("\t\n -12x"), -12);
    EXPECT_EQ(bp::parse_leading_integer("+7"), 7);
    EXPECT_EQ(bp::parse_leading_integer("- 7"), 0);
    EXPECT_EQ(bp::parse_leading_integer("99999999999"), INT_MAX);
    EXPECT_EQ(bp::parse_leading_integer("-99999999999"), INT_MIN);
}

TEST_F(tag_rating_actions, unsupported_types_are_logged_and_left_alone) {
    const std::wstring song = temp.write(L"song.mp3", "ID3");
    const std::wstring data = temp.write(L"data", "x");
    const qlm::testing::log_capture log;
    bp::apply_update_tags(song, L"+a");
    bp::apply_toggle_tags(data, L"a");
    bp::apply_remove_rating(data);
    const std::string song_utf8 = platform::text::to_utf8(song);
    const std::string data_utf8 = platform::text::to_utf8(data);
    EXPECT_EQ(log.messages(), (std::vector<std::string>{
                                  "INFO Update Tags: Skipping file " + song_utf8 + ". Unsupported filetype .mp3",
                                  "INFO Toggle Tags: Skipping file " + data_utf8 + ". Unsupported filetype ",
                                  "INFO Remove Rating: Skipping file " + data_utf8 + ". Unsupported filetype "}));
    EXPECT_EQ(read_bytes(song), "ID3");
    EXPECT_EQ(bp::split_parameters(L";a; b;;c;"), (std::vector<std::wstring>{L"a", L" b", L"c"}));
}

}  // namespace
