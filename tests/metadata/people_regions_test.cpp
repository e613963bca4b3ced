// Writing people regions, read back by exiftool in both vocabularies: the
// JPEG segment rebuilt in place of (or after) what was there, other files
// through the sidecar and the property set, unchanged writes touching
// nothing, and a second process kept out by the per-photo mutex.

#include "metadata/people_regions.h"

#include "metadata/jpeg_segments.h"
#include "metadata/metadata_handle.h"
#include "metadata/xmp_sidecar.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/outside_tools.h"
#include "support/error_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <stdexcept>
#include <thread>

namespace {

using namespace qlm::metadata;
using qlm::testing::exiftool_value;
using qlm::testing::exiftool_values;
using qlm::testing::read_bytes;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;
namespace fs = platform::file_system;
namespace ps = platform::property_store;

constexpr ps::property_key people_names{{0xE8309B6E, 0x084C, 0x49B4, {0xB1, 0xFC, 0x90, 0xA8, 0x03, 0x31, 0xB6, 0x38}},
                                        100};

using qlm::testing::error_of;

std::vector<std::uint8_t> markers(const std::string& data) {
    std::vector<std::uint8_t> out;
    walk_jpeg_segments(data, [&](const jpeg_segment& segment) {
        out.push_back(segment.marker);
        return true;
    });
    return out;
}

std::string pixels(const std::wstring& path) { return run_tool("convert " + shell_quote(path) + " -depth 8 rgb:- | md5sum"); }

class people_write : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qlm::testing::tool_available("exiftool") || !qlm::testing::tool_available("convert")) {
            GTEST_SKIP() << "exiftool and ImageMagick are needed to make and read sample images";
        }
    }
    qlm::testing::temp_folder folder;
    const std::vector<people_region> regions{{L"Anna M\u00fcller", 0.2, 0.1, 0.4, 0.3},
                                             {L"Bob & Co", 0.5, 0.5, 0.25, 0.25},
                                             {L"", 0.1, 0.1, 0.1, 0.1}};
};

TEST_F(people_write, jpeg_without_xmp_gets_a_segment_both_vocabularies_read_back_and_a_repeat_is_a_no_op) {
    const std::wstring path = folder / L"turned.jpg";
    run_tool("convert -size 400x300 xc:blue " + shell_quote(path));
    run_tool("exiftool -q -overwrite_original -Orientation#=6 " + shell_quote(path));
    ASSERT_EQ(markers(read_bytes(path)).at(1), 0xE1);  // JFIF, then EXIF
    const std::string pixels_before = pixels(path);

    ASSERT_TRUE(write_people_regions(path, regions));
    const std::string written = read_bytes(path);
    const auto order = markers(written);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order[0], 0xE0);
    EXPECT_EQ(order[1], 0xE1);
    EXPECT_EQ(order[2], 0xE1);
    EXPECT_NE(written.find("http://ns.adobe.com/xap/1.0/\0<?xpacket", 0, 38), std::string::npos);

    const auto values = exiftool_values(
        path, {"-XMP-MP:RegionPersonDisplayName", "-XMP-MP:RegionRectangle", "-XMP-mwg-rs:RegionName",
               "-XMP-mwg-rs:RegionType", "-XMP-mwg-rs:RegionAreaX", "-XMP-mwg-rs:RegionAreaY",
               "-XMP-mwg-rs:RegionAreaW", "-XMP-mwg-rs:RegionAreaH", "-XMP-mwg-rs:RegionAreaUnit",
               "-XMP-mwg-rs:RegionAppliedToDimensionsW", "-XMP-mwg-rs:RegionAppliedToDimensionsH",
               "-XMP-mwg-rs:RegionAppliedToDimensionsUnit", "-Orientation"});
    const std::vector<std::string> expected{"Anna M\xC3\xBCller, Bob & Co",
                                            "0.200000, 0.100000, 0.400000, 0.300000, 0.500000, 0.500000, 0.250000, "
                                            "0.250000",
                                            "Anna M\xC3\xBCller, Bob & Co",
                                            "Face, Face",
                                            "0.400000, 0.625000",
                                            "0.250000, 0.625000",
                                            "0.400000, 0.250000",
                                            "0.300000, 0.250000",
                                            "normalized, normalized",
                                            "300",
                                            "400",
                                            "pixel",
                                            "6"};
    EXPECT_EQ(values, expected);
    EXPECT_EQ(pixels(path), pixels_before);
    const auto read = read_people_regions(path);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].name, L"Anna M\u00fcller");

    // The same regions again, or changed only past the sixth decimal: nothing is touched.
    const auto time_before = fs::last_write_time(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(write_people_regions(path, regions));
    auto nudged = regions;
    nudged[0].x += 0.0000001;
    nudged.pop_back();
    EXPECT_FALSE(write_people_regions(path, nudged));
    EXPECT_EQ(read_bytes(path), written);
    EXPECT_EQ(fs::last_write_time(path), time_before);

    // Fewer people: the segment is replaced, not added to.
    ASSERT_TRUE(write_people_regions(path, {regions[1]}));
    EXPECT_EQ(exiftool_value(path, "-XMP-MP:RegionPersonDisplayName"), "Bob & Co");
    EXPECT_EQ(exiftool_value(path, "-XMP-mwg-rs:RegionName"), "Bob & Co");
    EXPECT_EQ(markers(read_bytes(path)).size(), order.size());
}

TEST_F(people_write, another_tools_regions_are_replaced_and_the_rest_of_the_packet_stays) {
    const std::wstring path = qlm::testing::make_image(folder / L"tagged.jpg");
    ASSERT_FALSE(path.empty());
    run_tool("exiftool -q -overwrite_original -XMP-dc:Subject=Keep -XMP-xmp:Rating=4 "
             "'-RegionInfoMP={Regions=[{PersonDisplayName=Old,Rectangle=0.1\\, 0.1\\, 0.1\\, 0.1}]}' "
             "'-RegionInfo={RegionList=[{Name=OldMwg,Type=Face,Area={X=0.5,Y=0.5,W=0.1,H=0.1,Unit=normalized}}]}' " +
             shell_quote(path));
    ASSERT_EQ(exiftool_value(path, "-XMP-MP:RegionPersonDisplayName"), "Old");

    ASSERT_TRUE(write_people_regions(path, {{L"New", 0.2, 0.2, 0.4, 0.4}}));
    const auto values = exiftool_values(path, {"-XMP-MP:RegionPersonDisplayName", "-XMP-mwg-rs:RegionName",
                                               "-XMP-mwg-rs:RegionAreaX", "-XMP-dc:Subject", "-XMP-xmp:Rating",
                                               "-XMP-mwg-rs:RegionAppliedToDimensionsW"});
    EXPECT_EQ(values, (std::vector<std::string>{"New", "New", "0.400000", "Keep", "4", "64"}));
    const std::string text = read_bytes(path);
    EXPECT_EQ(text.find("Old"), std::string::npos);
    EXPECT_EQ(text.find("<MP:RegionInfo"), text.rfind("<MP:RegionInfo"));
}

TEST_F(people_write, other_files_go_to_the_sidecar_and_the_names_to_the_property_set) {
    const std::wstring path = qlm::testing::make_image(folder / L"shot.png");
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(write_sidecar_rating(path, 4));
    const std::string png_before = read_bytes(path);

    ASSERT_TRUE(write_people_regions(path, regions));
    EXPECT_EQ(read_bytes(path), png_before);
    const std::wstring sidecar = sidecar_path(path);
    EXPECT_EQ(exiftool_values(sidecar, {"-XMP-MP:RegionPersonDisplayName", "-XMP-mwg-rs:RegionName", "-XMP-xmp:Rating",
                                        "-XMP-mwg-rs:RegionAppliedToDimensionsH"}),
              (std::vector<std::string>{"Anna M\xC3\xBCller, Bob & Co", "Anna M\xC3\xBCller, Bob & Co", "4", "48"}));
    std::vector<std::wstring> names;
    ASSERT_TRUE(read_property_set_strings(path, people_names, names));
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Anna M\u00fcller", L"Bob & Co"}));

    const std::string sidecar_text = read_bytes(sidecar);
    EXPECT_FALSE(write_people_regions(path, regions));
    EXPECT_EQ(read_bytes(sidecar), sidecar_text);

    ASSERT_TRUE(write_people_regions(path, {{L"Cleo", 0, 0, 1, 1}}));
    const std::string replaced = read_bytes(sidecar);
    EXPECT_EQ(replaced.find("qsxx:managed"), replaced.rfind("qsxx:managed"));
    EXPECT_EQ(exiftool_value(sidecar, "-XMP-mwg-rs:RegionName"), "Cleo");
    EXPECT_EQ(exiftool_value(sidecar, "-XMP-xmp:Rating"), "4");
    names.clear();
    ASSERT_TRUE(read_property_set_strings(path, people_names, names));
    EXPECT_EQ(names, std::vector<std::wstring>{L"Cleo"});
}

TEST_F(people_write, a_raw_file_uses_the_sidecar_its_editors_made) {
    // A TIFF under a raw name beside a Lightroom-style "R.xmp": the regions
    // join that sidecar, no second one appears, and the raw stays as it was.
    const std::wstring made = qlm::testing::make_image(folder / L"made.tif");
    ASSERT_FALSE(made.empty());
    const std::wstring raw = folder / L"R.dng";
    ASSERT_EQ(fs::move_file(made, raw), 0u);
    const std::wstring lightroom = folder / L"R.xmp";
    ASSERT_TRUE(write_text_file(lightroom, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n <rdf:RDF "
                                           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                                           "  <rdf:Description rdf:about=\"\" xmlns:crs=\"http://ns.adobe.com/"
                                           "camera-raw-settings/1.0/\" crs:Exposure2012=\"+0.35\"/>\n </rdf:RDF>\n"
                                           "</x:xmpmeta>\n"));
    const std::string raw_before = read_bytes(raw);
    EXPECT_EQ(sidecar_path(raw), lightroom);
    ASSERT_TRUE(write_people_regions(raw, regions));
    EXPECT_EQ(read_bytes(raw), raw_before);
    EXPECT_FALSE(fs::get_attributes(raw + L".xmp") != fs::invalid_attributes);
    EXPECT_EQ(exiftool_values(lightroom, {"-XMP-mwg-rs:RegionName", "-XMP-crs:Exposure2012"}),
              (std::vector<std::string>{"Anna M\xC3\xBCller, Bob & Co", "+0.35"}));
    // The long form wins once it exists, as darktable names it.
    ASSERT_TRUE(write_text_file(raw + L".xmp", ""));
    EXPECT_EQ(sidecar_path(raw), raw + L".xmp");
}

TEST_F(people_write, bad_paths_report_their_messages) {
    EXPECT_EQ(error_of([] { write_people_regions(L"", {}); }), "Failed to set people regions: no file path");
    EXPECT_EQ(error_of([&] { write_people_regions(folder / L"missing.jpg", {{L"A", 0, 0, 1, 1}}); }),
              "Failed to read people regions from photo");
    // A damaged JPEG still gets its regions, through the sidecar.
    const std::wstring damaged = folder.write(L"damaged.jpg", std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6));
    ASSERT_TRUE(write_people_regions(damaged, {{L"A", 0, 0, 1, 1}}));
    EXPECT_EQ(read_bytes(damaged), std::string("\xFF\xD8\xFF\xE1\xFF\xFF", 6));
    EXPECT_EQ(exiftool_value(sidecar_path(damaged), "-XMP-MP:RegionPersonDisplayName"), "A");
}

TEST_F(people_write, a_second_process_holding_the_photo_makes_the_writer_wait_then_give_up) {
    const std::wstring path = qlm::testing::make_image(folder / L"busy.jpg");
    ASSERT_FALSE(path.empty());
    const std::string before = read_bytes(path);
    std::wstring probe = fs::module_path();
    probe.resize(probe.find_last_of(fs::separator) + 1);
    probe += L"qlm_sync_probe";
    const std::wstring result = folder / L"probe.txt";
    // Another process takes the photo's mutex and keeps it for 8 s.
    run_tool(shell_quote(probe) + " " + shell_quote(people_mutex_name(path)) + " 0 " + shell_quote(result) +
             " hold 8000 >/dev/null 2>&1 &");
    for (int i = 0; i < 200 && read_bytes(result).rfind("acquired", 0) != 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    ASSERT_EQ(read_bytes(result).rfind("acquired", 0), 0u);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(error_of([&] { write_people_regions(path, {{L"A", 0, 0, 1, 1}}); }), "People update busy");
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(4900));
    EXPECT_LT(waited, std::chrono::milliseconds(7900));
    EXPECT_EQ(read_bytes(path), before);

    // Once the other process lets go, the write goes through.
    std::this_thread::sleep_for(std::chrono::milliseconds(3500));
    EXPECT_TRUE(write_people_regions(path, {{L"A", 0, 0, 1, 1}}));
}

}  // namespace
