// The byte-level guards around Exiv2: what a file's first bytes make it,
// which bytes count as image data, the IFD editor that never moves a byte,
// and the lenient keyword scan.

#include "formats/content_type.h"
#include "formats/exif_ifd_editor.h"
#include "formats/image_data_check.h"
#include "formats/iptc_digest.h"
#include "formats/jpeg_extended_xmp.h"
#include "formats/microsoft_photo_uri.h"
#include "formats/tiff_block.h"
#include "formats/xmp_subject_scan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(content_type, first_bytes_decide_and_the_name_only_tells_raw_from_tiff) {
    const struct {
        std::string head;
        std::string path;
        formats::content_type expected;
    } cases[] = {
        {"\xFF\xD8\xFF\xE0"s, "a.png", formats::content_type::jpeg},
        {"\x89PNG\r\n\x1A\n"s, "a.jpg", formats::content_type::png},
        {"II*\0\x08\0\0\0"s, "a.jpg", formats::content_type::tiff},
        {"MM\0*\0\0\0\x08"s, "a.TIF", formats::content_type::tiff},
        {"II*\0\x08\0\0\0"s, "DSC01.ARW", formats::content_type::camera_raw},
        {"II*\0\x10\0\0\0CR\x02\0"s, "a.tif", formats::content_type::camera_raw},
        {"IIRO\x08\0\0\0"s, "a.jpg", formats::content_type::camera_raw},
        {"RIFF\x10\0\0\0WEBPVP8 "s, "a.jpg", formats::content_type::webp},
        {"RIFF\x10\0\0\0AVI LIST"s, "a.webp", formats::content_type::video},
        {"%!PS-Adobe-3.0 EPSF-3.0\n", "a.jpg", formats::content_type::postscript},
        {"\xC5\xD0\xD3\xC6\x1E\0\0\0"s, "a.jpg", formats::content_type::postscript},
        {"%PDF-1.7", "a.jpg", formats::content_type::pdf},
        {"\0\0\0\x18"
         "ftypisom"s,
         "a.jpg", formats::content_type::video},
        {"\0\0\0\x18"
         "ftypheic"s,
         "a.jpg", formats::content_type::heif},
        {"\0\0\0\x18"
         "ftypcrx "s,
         "a.jpg", formats::content_type::camera_raw},
        {"\x1A\x45\xDF\xA3"s, "a.jpg", formats::content_type::video},
        {"GIF89a", "a.jpg", formats::content_type::gif},
        {"", "a.jpg", formats::content_type::unknown},
        {"\xFF\xD8", "a.jpg", formats::content_type::unknown},
        {"plain text", "a.jpg", formats::content_type::unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formats::sniff_content_type(c.head, c.path), c.expected) << c.path << " " << c.head;
    }
}

std::string segment(std::uint8_t marker, const std::string& payload) {
    const std::size_t length = payload.size() + 2;
    return "\xFF"s + static_cast<char>(marker) + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + payload;
}

TEST(image_data, jpeg_tables_and_everything_from_the_first_scan_count) {
    const std::string tables = segment(0xDB, "quant") + segment(0xC0, "frame");
    const std::string scan = segment(0xDA, "scan") + "entropy\xFF\x00" "data\xFF\xD9"s;
    const std::string original = "\xFF\xD8"s + segment(0xE1, "Exif\0\0old"s) + tables + scan + "motion-photo";
    const struct {
        std::string updated;
        bool kept;
    } cases[] = {
        {"\xFF\xD8"s + segment(0xE1, "new and longer metadata") + segment(0xFE, "c") + tables + scan + "motion-photo", true},
        {"\xFF\xD8"s + tables + scan + "motion-photo", true},
        {"\xFF\xD8"s + tables + scan, false},                                          // trailer lost
        {"\xFF\xD8"s + segment(0xDB, "quanT") + segment(0xC0, "frame") + scan + "motion-photo", false},
        {"\xFF\xD8"s + tables + segment(0xDA, "scan") + "entropy" + "motion-photo", false},
        {"\xFF\xD8"s + segment(0xE1, "x"), false},                                     // no scan at all
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formats::image_data_difference(formats::content_type::jpeg, original, c.updated).empty(), c.kept)
            << c.updated;
    }
    // A header that cannot be walked whole refuses before any comparison.
    std::string damaged = original;
    damaged[4] = '\xFF';
    damaged[5] = '\xF0';
    EXPECT_NE(formats::image_data_difference(formats::content_type::jpeg, damaged, damaged), L"");
}

std::string chunk(const std::string& type, const std::string& data) {
    const auto n = static_cast<std::uint32_t>(data.size());
    std::string out{static_cast<char>(n >> 24), static_cast<char>(n >> 16), static_cast<char>(n >> 8), static_cast<char>(n)};
    return out + type + data + "CRC!";
}

TEST(image_data, png_critical_chunks_count_and_ancillary_ones_do_not) {
    const std::string head = "\x89PNG\r\n\x1A\n"s + chunk("IHDR", "header-bytes");
    const std::string tail = chunk("IDAT", "pixels") + chunk("IEND", "");
    const std::string original = head + chunk("tEXt", "a=b") + tail;
    EXPECT_EQ(formats::image_data_difference(formats::content_type::png, original,
                                             head + chunk("iTXt", "XML:com.adobe.xmp") + tail),
              L"");
    EXPECT_NE(formats::image_data_difference(formats::content_type::png, original,
                                             head + chunk("IDAT", "pixelz") + chunk("IEND", "")),
              L"");
    EXPECT_NE(formats::image_data_difference(formats::content_type::png, original, head + tail + "x"), L"");
    EXPECT_NE(
        formats::image_data_difference(formats::content_type::png, original.substr(0, original.size() - 3), original),
        L"");
}

// A little-endian TIFF block: IFD0 at 8 with Make (out of line) and an
// Exif pointer, the Exif IFD with a maker note entry pointing at its bytes.
std::string camera_block() {
    std::string b = "II*\0\x08\0\0\0"s;
    b += "\x02\0"s;
    b += "\x0F\x01\x02\0\x06\0\0\0\x26\0\0\0"s;  // Make, 6 bytes at 38
    b += "\x69\x87\x04\0\x01\0\0\0\x2C\0\0\0"s;  // ExifIFD at 44
    b += "\0\0\0\0"s;                            // no IFD1
    b += "Maker\0"s;                             // at 38
    b += "\x01\0"s;                              // Exif IFD at 44: one entry
    b += "\x7C\x92\x07\0\x08\0\0\0\x3E\0\0\0"s;  // MakerNote, 8 bytes at 62
    b += "\0\0\0\0"s;
    b += "NOTE\x26\0\0\0"s;                      // at 62: a note pointing back at 38
    return b;
}

TEST(exif_ifd_editor, edits_append_directories_and_keep_every_old_byte) {
    const std::string block = camera_block();
    ASSERT_TRUE(formats::has_maker_note(block));
    ASSERT_TRUE(formats::exif_directories_readable(block));
    formats::ifd_changes ifd0{{0x9C9E, formats::tiff_value{1, 6, "a\0b\0\0\0"s}},
                              {0x4746, formats::tiff_value{3, 1, "\x04\0"s}},
                              {0x010F, std::nullopt}};
    formats::ifd_changes exif{{0x9286, formats::tiff_value{7, 12, "ASCII\0\0\0text"s}}};
    const auto edited = formats::edit_tiff_block(block, ifd0, exif);
    ASSERT_TRUE(edited);
    // Only the header's IFD0 offset changed among the old bytes.
    EXPECT_EQ(edited->substr(8, block.size() - 8), block.substr(8));
    const formats::tiff_block tiff(*edited);
    ASSERT_GE(tiff.first_ifd(), block.size());
    const auto new_ifd0 = tiff.read_ifd(tiff.first_ifd());
    ASSERT_TRUE(new_ifd0);
    std::vector<std::uint16_t> tags;
    for (const auto& entry : new_ifd0->entries) tags.push_back(entry.tag);
    EXPECT_EQ(tags, (std::vector<std::uint16_t>{0x4746, 0x8769, 0x9C9E}));
    EXPECT_EQ(edited->substr(new_ifd0->entries[2].value_offset, 6), "a\0b\0\0\0"s);
    // The new Exif IFD keeps the maker note entry byte for byte and gains the comment.
    const auto exif_offset = tiff.u32(new_ifd0->entries[1].value_offset);
    const auto new_exif = tiff.read_ifd(*exif_offset);
    ASSERT_TRUE(new_exif);
    ASSERT_EQ(new_exif->entries.size(), 2u);
    EXPECT_EQ(edited->substr(new_exif->entries[0].entry_offset, 12), block.substr(46, 12));
    EXPECT_EQ(edited->substr(new_exif->entries[1].value_offset, 12), "ASCII\0\0\0text"s);

    // Directories past the end refuse the edit.
    EXPECT_FALSE(formats::edit_tiff_block(block.substr(0, 30), ifd0, {}));
    EXPECT_FALSE(formats::exif_directories_readable(block.substr(0, 50)));
}

TEST(xmp_subject_scan, finds_the_items_of_the_first_subject_by_text) {
    EXPECT_EQ(formats::scan_dc_subject(
                  "<dc:subject><rdf:Bag><rdf:li>A &amp; B</rdf:li><rdf:li xml:lang=\"x\">&#233;t&#xE9;</rdf:li>"
                  "<rdf:li/></rdf:Bag></dc:subject><dc:subject>dup</dc:subject>"),
              (std::vector<std::string>{"A & B", "\xC3\xA9t\xC3\xA9", ""}));
    EXPECT_EQ(formats::scan_dc_subject("<dc:subject/>"), std::vector<std::string>{});
    EXPECT_EQ(formats::scan_dc_subject("<dc:subject><rdf:Bag><rdf:li>open"), std::nullopt);
    EXPECT_EQ(formats::scan_dc_subject("<dc:title/>"), std::nullopt);
}

TEST(jpeg_extended_xmp, chunks_of_one_guid_are_assembled_in_offset_order) {
    const std::string signature = "http://ns.adobe.com/xmp/extension/\0"s;
    const std::string guid(32, 'A');
    const auto part = [&](const std::string& id, std::uint32_t total, std::uint32_t offset, const std::string& data) {
        std::string header{static_cast<char>(total >> 24), static_cast<char>(total >> 16), static_cast<char>(total >> 8),
                           static_cast<char>(total), static_cast<char>(offset >> 24), static_cast<char>(offset >> 16),
                           static_cast<char>(offset >> 8), static_cast<char>(offset)};
        return segment(0xE1, signature + id + header + data);
    };
    const std::string jpeg = "\xFF\xD8"s + part(guid, 10, 5, "world") + part(std::string(32, 'B'), 3, 0, "xyz") +
                             part(guid, 10, 0, "hello") + segment(0xDA, "scan");
    auto found = formats::read_extended_xmp(jpeg, guid);
    EXPECT_TRUE(found.present);
    EXPECT_TRUE(found.complete);
    EXPECT_EQ(found.packet, "helloworld");
    found = formats::read_extended_xmp("\xFF\xD8"s + part(guid, 10, 0, "hello") + segment(0xDA, "s"), guid);
    EXPECT_TRUE(found.present);
    EXPECT_FALSE(found.complete);
}

}  // namespace

namespace {

// A JPEG head with one APP13 segment holding the given Photoshop resources.
std::string jpeg_with_resources(const std::string& resources) {
    const std::string payload = std::string("Photoshop 3.0\0", 14) + resources;
    const std::size_t length = payload.size() + 2;
    return "\xFF\xD8\xFF\xED"s + static_cast<char>(length >> 8) + static_cast<char>(length & 0xFF) + payload +
           "\xFF\xD9"s;
}

std::string resource(std::uint16_t id, const std::string& data) {
    const std::size_t size = data.size();
    std::string out = "8BIM"s + static_cast<char>(id >> 8) + static_cast<char>(id & 0xFF) + "\0\0"s;
    out += {static_cast<char>(size >> 24), static_cast<char>((size >> 16) & 0xFF), static_cast<char>((size >> 8) & 0xFF),
            static_cast<char>(size & 0xFF)};
    return out + data + (size % 2 ? "\0"s : ""s);
}

TEST(written_corrections, the_iptc_digest_becomes_the_md5_of_the_records_and_nothing_moves) {
    const std::string stale = jpeg_with_resources(resource(0x0404, "hello") + resource(0x0425, std::string(16, '\0')));
    const auto patched = formats::with_current_iptc_digest(stale);
    ASSERT_TRUE(patched);
    const std::string md5_of_hello = "\x5d\x41\x40\x2a\xbc\x4b\x2a\x76\xb9\x71\x9d\x91\x10\x17\xc5\x92"s;
    EXPECT_EQ(*patched, jpeg_with_resources(resource(0x0404, "hello") + resource(0x0425, md5_of_hello)));
    EXPECT_FALSE(formats::with_current_iptc_digest(*patched));  // already current
    // No digest resource, or a structure that does not walk: left alone.
    EXPECT_FALSE(formats::with_current_iptc_digest(jpeg_with_resources(resource(0x0404, "hello"))));
    std::string cut = stale;
    cut[cut.size() - 20] = 'X';
    EXPECT_FALSE(formats::with_current_iptc_digest(cut.substr(0, cut.size() - 30)));
}

TEST(written_corrections, the_microsoft_photo_namespace_loses_its_slash_from_the_padding) {
    const std::string packet = "<x:xmpmeta><rdf:Description xmlns:MicrosoftPhoto=\"http://ns.microsoft.com/photo/1.0/\""
                               " MicrosoftPhoto:Rating=\"50\"/></x:xmpmeta>   <?xpacket end=\"w\"?>";
    const auto fixed = formats::with_microsoft_photo_uri("head" + packet + "tail");
    ASSERT_TRUE(fixed);
    EXPECT_EQ(*fixed, "head<x:xmpmeta><rdf:Description xmlns:MicrosoftPhoto=\"http://ns.microsoft.com/photo/1.0\""
                      " MicrosoftPhoto:Rating=\"50\"/></x:xmpmeta>    <?xpacket end=\"w\"?>tail");
    EXPECT_FALSE(formats::with_microsoft_photo_uri(*fixed));
    // Without padding to pay with, the packet stays as Exiv2 wrote it.
    std::string tight = packet;
    tight.erase(tight.find("   <?xpacket"), 3);
    EXPECT_FALSE(formats::with_microsoft_photo_uri(tight));
}

}  // namespace
