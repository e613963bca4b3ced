// The two edits that patch bytes inside an existing file: the rating in an
// XMP packet and the EXIF thumbnail link. Neither may change a file's length
// or any byte but the ones it means to; fuzz/jpeg_head_fuzzer.cpp holds both
// to that on arbitrary bytes.

#include "metadata/fallback_chain.h"
#include "metadata/jpeg_segments.h"

#include "platform/file_system.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace qlm::metadata;
using qlm::testing::read_bytes;
using qlm::testing::temp_folder;

std::string packet(const std::string& descriptions, std::size_t padding) {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">" +
           descriptions + "</rdf:RDF></x:xmpmeta>" + std::string(padding, ' ') + "<?xpacket end=\"w\"?>";
}

std::string edited(std::string text, std::uint32_t stars) {
    EXPECT_TRUE(edit_packet_rating(text, stars));
    return text;
}

TEST(packet_rating, values_are_replaced_in_place_and_padded_with_blanks) {
    const std::string element = packet("<rdf:Description><xmp:Rating>5</xmp:Rating></rdf:Description>", 10);
    EXPECT_EQ(edited(element, 3), packet("<rdf:Description><xmp:Rating>3</xmp:Rating></rdf:Description>", 10));
    EXPECT_EQ(edited(packet("<xmp:Rating>-1</xmp:Rating>", 0), 4), packet("<xmp:Rating>4 </xmp:Rating>", 0));
    EXPECT_EQ(edited(packet("<rdf:Description xmp:Rating=\"5\"/>", 0), 1),
              packet("<rdf:Description xmp:Rating=\"1\"/>", 0));
    // The element wins over a later attribute.
    EXPECT_EQ(edited(packet("<xmp:Rating>2</xmp:Rating><d xmp:Rating=\"5\"/>", 0), 0),
              packet("<xmp:Rating>0</xmp:Rating><d xmp:Rating=\"5\"/>", 0));

    // An empty value has no room for the new one: refused, not faked.
    std::string empty = packet("<xmp:Rating></xmp:Rating>", 500);
    const std::string before = empty;
    EXPECT_FALSE(edit_packet_rating(empty, 3));
    EXPECT_EQ(empty, before);
}

TEST(packet_rating, a_missing_rating_is_inserted_when_the_padding_pays_for_it) {
    const std::string description = "<rdf:Description rdf:about=\"\"/>";
    const std::string insertion =
        "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"><xmp:Rating>4</xmp:Rating>"
        "</rdf:Description>";
    EXPECT_EQ(edited(packet(description, 200), 4), packet(description + insertion, 200 - insertion.size()));
    // Exactly enough padding is enough.
    EXPECT_EQ(edited(packet(description, insertion.size()), 4), packet(description + insertion, 0));

    for (const std::size_t padding : {std::size_t{40}, insertion.size() - 1}) {
        std::string tight = packet(description, padding);
        EXPECT_FALSE(edit_packet_rating(tight, 4)) << padding;
        EXPECT_EQ(tight, packet(description, padding));
    }
    std::string no_rdf_end = "<?xpacket begin=\"\"?><x:xmpmeta>" + std::string(300, ' ') + "</x:xmpmeta>" +
                             std::string(300, ' ') + "<?xpacket end=\"w\"?>";
    EXPECT_FALSE(edit_packet_rating(no_rdf_end, 4));
}

TEST(packet_rating, file_is_patched_at_the_packet_and_keeps_its_length) {
    const temp_folder folder;
    const std::string head = std::string("\xFF\xD8\xFF\xE1\x01\x00", 6) + "<?xpacket nonsense";
    const std::string text = packet("<xmp:Rating>5</xmp:Rating>", 20);
    const std::string path_bytes = head + text + "\x00\x01tail";
    const std::wstring path = folder.write(L"a.jpg", path_bytes);
    ASSERT_TRUE(rewrite_packet_rating(path, 3));
    EXPECT_EQ(read_bytes(path), head + packet("<xmp:Rating>3</xmp:Rating>", 20) + "\x00\x01tail");

    const std::wstring none = folder.write(L"none.jpg", "no packet at all");
    EXPECT_FALSE(rewrite_packet_rating(none, 3));
    EXPECT_FALSE(rewrite_packet_rating(folder / L"missing.jpg", 3));
    EXPECT_FALSE(rewrite_packet_rating(L"", 3));

    // Another writer holding the file keeps the edit out.
    platform::file_system::exclusive_file holder;
    ASSERT_EQ(holder.open(path), 0u);
    EXPECT_FALSE(rewrite_packet_rating(path, 1));
    holder.close();
    EXPECT_EQ(read_bytes(path), head + packet("<xmp:Rating>3</xmp:Rating>", 20) + "\x00\x01tail");

    // Above 300 MiB the file is not even read.
    const std::wstring big = folder.write(L"big.jpg", packet("<xmp:Rating>5</xmp:Rating>", 0));
    std::filesystem::resize_file(platform::file_system::to_native(big), 300ull * 1024 * 1024 + 1);
    EXPECT_FALSE(rewrite_packet_rating(big, 2));
    std::string start(64, '\0');
    platform::file_system::exclusive_file reader;
    ASSERT_EQ(reader.open(big), 0u);
    reader.read_at(0, start.data(), start.size());
    EXPECT_EQ(start, packet("<xmp:Rating>5</xmp:Rating>", 0).substr(0, 64));
}

// A JPEG whose EXIF IFD0 links to a next IFD at `link` (0: no link).
std::string exif_jpeg(std::uint32_t link, bool little_endian) {
    const auto u16 = [&](std::uint32_t v) {
        return little_endian ? std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}
                             : std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)};
    };
    const auto u32 = [&](std::uint32_t v) {
        return little_endian ? u16(v & 0xFFFF) + u16(v >> 16) : u16(v >> 16) + u16(v & 0xFFFF);
    };
    std::string tiff = (little_endian ? "II" : "MM") + u16(42) + u32(8);
    tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(1) + u16(0) + u32(link);
    tiff += u16(0) + u32(0);  // the thumbnail IFD the link points at
    const std::string payload = std::string("Exif\0\0", 6) + tiff;
    const std::string app0 = std::string("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00", 18);
    const std::size_t length = payload.size() + 2;
    return std::string("\xFF\xD8", 2) + app0 + "\xFF\xE1" + static_cast<char>(length >> 8) +
           static_cast<char>(length & 0xFF) + payload + std::string("\xFF\xDA\x00\x02\x11\x22\xFF\xD9", 8);
}

TEST(thumbnail_link, a_present_link_is_zeroed_in_place_in_either_byte_order) {
    const temp_folder folder;
    for (const bool little : {true, false}) {
        const std::string original = exif_jpeg(26, little);
        const std::wstring path = folder.write(little ? L"ii.JPG" : L"mm.jfif", original);
        ASSERT_TRUE(drop_exif_thumbnail_link(path));
        std::string expected = original;
        // IFD0 at TIFF offset 8: count (2) + one entry (12), then the link.
        const std::size_t link = 2 + 18 + 4 + 6 + 8 + 2 + 12;
        expected.replace(link, 4, std::string(4, '\0'));
        EXPECT_EQ(read_bytes(path), expected);
        EXPECT_FALSE(drop_exif_thumbnail_link(path));  // nothing left to drop
        EXPECT_EQ(read_bytes(path), expected);
    }
    const std::wstring png = folder.write(L"a.png", exif_jpeg(26, true));
    EXPECT_FALSE(drop_exif_thumbnail_link(png));
    EXPECT_EQ(read_bytes(png), exif_jpeg(26, true));
}

TEST(thumbnail_link, absent_links_and_damaged_segments_leave_the_file_alone) {
    const temp_folder folder;
    const std::string good = exif_jpeg(26, true);
    std::vector<std::string> cases;
    cases.push_back(exif_jpeg(0, true));            // no next IFD
    cases.push_back(good.substr(0, 3));              // too short
    cases.push_back("GIF89a" + good);                // not a JPEG
    cases.push_back(good.substr(0, 30));             // APP1 length past the data
    std::string no_marker = good;
    no_marker[20] = 0x00;                            // no FF where APP1 belongs
    cases.push_back(no_marker);
    std::string scan_first = good;
    scan_first[21] = static_cast<char>(0xDA);        // start of scan before any EXIF
    cases.push_back(scan_first);
    std::string far_ifd = good;
    far_ifd[2 + 18 + 4 + 6 + 4] = 0x70;              // IFD0 offset outside the segment
    cases.push_back(far_ifd);
    std::string many_entries = good;
    many_entries[2 + 18 + 4 + 6 + 8] = 0x40;         // the link would lie outside the segment
    cases.push_back(many_entries);
    std::string bad_magic = good;
    bad_magic[2 + 18 + 4 + 6 + 2] = 43;
    cases.push_back(bad_magic);
    std::string short_length = good;
    short_length[22] = 0;
    short_length[23] = 1;                            // segment length below 2
    cases.push_back(short_length);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const std::wstring path = folder.write(L"case" + std::to_wstring(i) + L".jpg", cases[i]);
        EXPECT_FALSE(drop_exif_thumbnail_link(path)) << i;
        EXPECT_EQ(read_bytes(path), cases[i]) << i;
    }
    EXPECT_FALSE(drop_exif_thumbnail_link(folder / L"missing.jpg"));
}

}  // namespace
