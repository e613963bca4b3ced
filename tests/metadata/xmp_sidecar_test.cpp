#include "metadata/xmp_sidecar.h"

#include "platform/file_system.h"
#include "platform/win32_error.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using namespace qlm::metadata;
using qlm::testing::read_bytes;
using qlm::testing::temp_folder;

const std::string header = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"XMP Core\">\n"
                           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
const std::string footer = "  </rdf:Description>\n"
                           " </rdf:RDF>\n"
                           "</x:xmpmeta>\n"
                           "<?xpacket end=\"w\"?>";

std::string fresh_rating(const std::string& value) {
    return header + "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n" +
           "   <xmp:Rating>" + value + "</xmp:Rating>\n" + footer;
}

std::string fresh_keywords(const std::string& items) {
    return header + "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n" +
           "   <dc:subject>\n    <rdf:Bag>\n" + items + "    </rdf:Bag>\n   </dc:subject>\n" + footer;
}

// A packet as other software writes it: CRLF-free, its own indentation, a
// title we must keep.
const std::string foreign_prologue = "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
                                     "<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
                                     "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n";
const std::string foreign_epilogue = "</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>\n";

TEST(xmp_sidecar, fresh_sidecars_byte_for_byte_keep_keyword_order_and_escape) {
    const temp_folder folder;
    const std::wstring photo = folder.write(L"beach.JPG", "not really a jpeg");
    ASSERT_TRUE(write_sidecar_rating(photo, 4));
    EXPECT_EQ(sidecar_path(photo), folder / L"beach.JPG.xmp");
    EXPECT_EQ(read_bytes(folder / L"beach.JPG.xmp"), fresh_rating("4"));
    EXPECT_EQ(read_bytes(photo), "not really a jpeg");

    const std::wstring png = folder / L"beach.png";
    ASSERT_TRUE(write_sidecar_keywords(png, {L"b", L"a", L"R&D <draft>", L"Zo\u00eb \"Q\" O'Neil"}));
    EXPECT_EQ(read_bytes(folder / L"beach.png.xmp"), fresh_keywords("     <rdf:li>b</rdf:li>\n"
                                                                    "     <rdf:li>a</rdf:li>\n"
                                                                    "     <rdf:li>R&amp;D &lt;draft&gt;</rdf:li>\n"
                                                                    "     <rdf:li>Zo\xC3\xAB &quot;Q&quot; O&apos;Neil</rdf:li>\n"));
    EXPECT_EQ(edit_sidecar_keywords("", {}), fresh_keywords(""));

    if (!qlm::testing::tool_available("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    EXPECT_EQ(qlm::testing::exiftool_output("-s3 -XMP-dc:Subject", folder / L"beach.png.xmp"),
              "b, a, R&D <draft>, Zo\xC3\xAB \"Q\" O'Neil\n");
}

TEST(xmp_sidecar, rating_edit_rules_in_order) {
    // An element: only the text up to the next tag changes.
    EXPECT_EQ(edit_sidecar_rating("<a><xmp:Rating>1</xmp:Rating><xmp:Rating>2</xmp:Rating></a>", 5),
              "<a><xmp:Rating>5</xmp:Rating><xmp:Rating>2</xmp:Rating></a>");
    // An attribute, even when an RDF block and the namespace are there too.
    const std::string attribute = foreign_prologue +
                                  "<rdf:Description rdf:about='' xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
                                  "xmp:Rating=\"2\" xmp:Label=\"x\"/>\n" +
                                  foreign_epilogue;
    std::string expected = attribute;
    expected.replace(expected.find("\"2\""), 3, "\"3\"");
    EXPECT_EQ(edit_sidecar_rating(attribute, 3), expected);

    // A description that declares the namespace but holds no rating.
    const std::string declared = foreign_prologue +
                                 "<rdf:Description rdf:about=''\n xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
                                 "<xmp:Label>Red</xmp:Label>\n</rdf:Description>\n" +
                                 foreign_epilogue;
    EXPECT_EQ(edit_sidecar_rating(declared, 1),
              foreign_prologue +
                  "<rdf:Description rdf:about=''\n xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
                  "<xmp:Label>Red</xmp:Label>\n   <xmp:Rating>1</xmp:Rating>\n  </rdf:Description>\n" +
                  foreign_epilogue);

    // Only an RDF block: a new description goes in before its end.
    const std::string rdf_only = foreign_prologue +
                                 "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'/>\n" +
                                 foreign_epilogue;
    EXPECT_EQ(edit_sidecar_rating(rdf_only, 0),
              foreign_prologue + "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'/>\n" +
                  "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
                  "   <xmp:Rating>0</xmp:Rating>\n  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n"
                  "<?xpacket end='w'?>\n");

    // Nothing to hold on to: a fresh packet replaces the text.
    EXPECT_EQ(edit_sidecar_rating("shopping list: milk, eggs", 2), fresh_rating("2"));
    EXPECT_EQ(edit_sidecar_rating("", 2), fresh_rating("2"));
}

TEST(xmp_sidecar, keyword_edit_rules_in_order) {
    // Over a sidecar holding a subject, an empty list empties the bag and its indentation stays.
    EXPECT_EQ(edit_sidecar_keywords(foreign_prologue +
                                        "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
                                        "      <dc:subject><rdf:Bag><rdf:li>old</rdf:li></rdf:Bag></dc:subject>\n"
                                        "</rdf:Description>\n" + foreign_epilogue,
                                    {}),
              foreign_prologue + "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
                                 "         <dc:subject>\n    <rdf:Bag>\n    </rdf:Bag>\n   </dc:subject>\n"
                                 "</rdf:Description>\n" + foreign_epilogue);

    const std::string block = "   <dc:subject>\n    <rdf:Bag>\n     <rdf:li>x</rdf:li>\n    </rdf:Bag>\n"
                              "   </dc:subject>";
    const std::string declared = foreign_prologue +
                                 "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
                                 "<dc:title>T</dc:title>\n</rdf:Description>\n" +
                                 foreign_epilogue;
    EXPECT_EQ(edit_sidecar_keywords(declared, {L"x"}),
              foreign_prologue +
                  "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
                  "<dc:title>T</dc:title>\n\n" +
                  block + "\n  </rdf:Description>\n" + foreign_epilogue);

    const std::string rdf_only =
        foreign_prologue + "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/'/>\n" +
        foreign_epilogue;
    EXPECT_EQ(edit_sidecar_keywords(rdf_only, {L"x"}),
              foreign_prologue + "<rdf:Description rdf:about='' xmlns:xmp='http://ns.adobe.com/xap/1.0/'/>\n" +
                  "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n" + block +
                  "\n  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>\n");

    EXPECT_EQ(edit_sidecar_keywords("<html>no xmp</html>", {L"x"}),
              fresh_keywords("     <rdf:li>x</rdf:li>\n"));
}

TEST(xmp_sidecar, edits_on_disk_keep_other_content_and_read_back_in_exiftool) {
    const temp_folder folder;
    const std::wstring photo = folder / L"IMG_0001.CR2";
    const std::string other = foreign_prologue +
                              "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>\n"
                              "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Harbour</rdf:li></rdf:Alt></dc:title>\n"
                              "</rdf:Description>\n" +
                              foreign_epilogue;
    folder.write(L"IMG_0001.CR2.xmp", other);
    ASSERT_TRUE(write_sidecar_rating(photo, 3));
    ASSERT_TRUE(write_sidecar_keywords(photo, {L"boats", L"Hafen & Kai"}));
    ASSERT_TRUE(write_sidecar_keywords(photo, {L"sea", L"boats"}));
    ASSERT_TRUE(write_sidecar_rating(photo, 5));
    const std::string text = read_bytes(sidecar_path(photo));
    EXPECT_NE(text.find("<rdf:li xml:lang='x-default'>Harbour</rdf:li>"), std::string::npos);
    EXPECT_EQ(text.find("Kai"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);

    if (!qlm::testing::tool_available("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    EXPECT_EQ(qlm::testing::exiftool_output("-s -XMP-xmp:Rating -XMP-dc:Subject -XMP-dc:Title", sidecar_path(photo)),
              "Rating                          : 5\n"
              "Subject                         : sea, boats\n"
              "Title                           : Harbour\n");
}

TEST(xmp_sidecar, utf16_and_bom_sidecars_are_rewritten_as_plain_utf8) {
    const temp_folder folder;
    const std::string utf8 = "<rdf:Description xmp:Rating=\"1\" dc:title=\"\xF0\x9F\x93\xB7 \xC3\xBC\"/>";
    // The same in UTF-16LE: ASCII widened, the camera as a surrogate pair, the
    // u-umlaut as one unit, and an odd trailing byte that is dropped.
    std::string utf16 = "\xFF\xFE";
    for (const char c : utf8.substr(0, utf8.find('\xF0'))) utf16 += std::string{c, '\0'};
    utf16 += std::string("\x3D\xD8\xF7\xDC \0\xFC\0\"\0/\0>\0x", 15);
    const std::wstring photo = folder / L"scan.tif";
    folder.write(L"scan.tif.xmp", utf16);
    EXPECT_EQ(read_text_file(sidecar_path(photo)), utf8);
    ASSERT_TRUE(write_sidecar_rating(photo, 4));
    std::string expected = utf8;
    expected.replace(expected.find("\"1\""), 3, "\"4\"");
    EXPECT_EQ(read_bytes(sidecar_path(photo)), expected);

    folder.write(L"scan.tif.xmp", "\xEF\xBB\xBF" + utf8);
    EXPECT_EQ(read_text_file(sidecar_path(photo)), utf8);
    ASSERT_TRUE(write_sidecar_rating(photo, 4));
    EXPECT_EQ(read_bytes(sidecar_path(photo)), expected);

    // Lone surrogates become U+FFFD rather than invalid UTF-8.
    EXPECT_EQ(utf16le_to_utf8(std::string("\x00\xD8\x41\x00\x00\xDC", 6)), "\xEF\xBF\xBD" "A\xEF\xBF\xBD");
}

TEST(xmp_sidecar, missing_empty_and_unwritable_files) {
    const temp_folder folder;
    EXPECT_EQ(read_text_file(folder / L"none.xmp"), "");
    EXPECT_EQ(read_text_file(folder.write(L"empty.xmp", "")), "");
    EXPECT_EQ(read_text_file(folder.make_folder(L"dir.xmp")), "");

    EXPECT_FALSE(write_sidecar_rating(L"", 3));
    EXPECT_FALSE(write_sidecar_keywords(L"", {L"a"}));
    EXPECT_FALSE(write_sidecar_rating(folder / L"no-such-folder/a.jpg", 3));
    EXPECT_FALSE(write_sidecar_rating(folder / L"dir", 3));  // the sidecar name is a folder

    // A read-only sidecar is refused and left as it was.
    const std::wstring locked = folder.write(L"locked.jpg.xmp", "<xmp:Rating>1</xmp:Rating>");
    ASSERT_EQ(platform::file_system::set_attributes(locked, platform::file_system::attribute_readonly), 0u);
    EXPECT_FALSE(write_sidecar_rating(folder / L"locked.jpg", 4));
    EXPECT_EQ(read_bytes(locked), "<xmp:Rating>1</xmp:Rating>");
    ASSERT_EQ(platform::file_system::set_attributes(locked, platform::file_system::attribute_normal), 0u);
    EXPECT_TRUE(write_sidecar_rating(folder / L"locked.jpg", 4));
    EXPECT_EQ(read_bytes(locked), "<xmp:Rating>4</xmp:Rating>");

    // A hidden one is replaced whole and stays hidden.
    const std::wstring hidden = folder.write(L"hidden.jpg.xmp", "<xmp:Rating>1</xmp:Rating>");
    ASSERT_EQ(platform::file_system::set_attributes(hidden, platform::file_system::attribute_hidden), 0u);
    EXPECT_TRUE(write_sidecar_rating(folder / L"hidden.jpg", 4));
    EXPECT_EQ(read_bytes(hidden), "<xmp:Rating>4</xmp:Rating>");
    EXPECT_NE(platform::file_system::get_attributes(hidden) & platform::file_system::attribute_hidden, 0u);

    // A disk that fills during the write is a failure, not a short success.
    // Windows has no such device (Wine even refuses to describe it).
    if (platform::file_system::get_attributes(L"/dev/full") != platform::file_system::invalid_attributes) {
        EXPECT_EQ(platform::file_system::write_file(L"/dev/full", "<x/>"), platform::win32_error::disk_full);
        EXPECT_FALSE(write_text_file(L"/dev/full", "<x/>"));
    }
}

TEST(xmp_sidecar, escaping_round_trips_and_leaves_other_ampersands) {
    const std::string raw = "\"Tom & Jerry's\" <b>";
    EXPECT_EQ(xml_escape(raw), "&quot;Tom &amp; Jerry&apos;s&quot; &lt;b&gt;");
    EXPECT_EQ(xml_unescape(xml_escape(raw)), raw);
    EXPECT_EQ(xml_unescape("&#38; &#x26; &nbsp; & &amp &amp;lt; &"), "&#38; &#x26; &nbsp; & &amp &lt; &");
    EXPECT_EQ(xml_escape(std::string("a\0\xFF", 3)), std::string("a\0\xFF", 3));
}

TEST(xmp_sidecar, markers_without_their_ends_fall_through_to_the_next_rule) {
    EXPECT_EQ(edit_sidecar_rating("x <xmp:Rating>", 2), fresh_rating("2"));
    EXPECT_EQ(edit_sidecar_rating("xmp:Rating=\"", 2), fresh_rating("2"));
    EXPECT_EQ(edit_sidecar_rating("<rdf:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"></rdf:RDF>", 2),
              "<rdf:Description xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
              "  <rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
              "   <xmp:Rating>2</xmp:Rating>\n  </rdf:Description>\n </rdf:RDF>");
    EXPECT_EQ(edit_sidecar_keywords("<dc:subject> never closed", {}), fresh_keywords(""));
}

}  // namespace

namespace {

TEST(xmp_sidecar, a_failed_target_gets_its_sidecar_back_as_it_was) {
    temp_folder folder;
    const std::wstring photo = folder.write(L"a.jpg", "photo");

    // None before: the one the write created goes again.
    const sidecar_snapshot none = snapshot_sidecar(photo);
    ASSERT_TRUE(write_sidecar_rating(photo, 3));
    restore_sidecar(photo, none);
    EXPECT_EQ(qlm::testing::names_in(folder.path()), std::vector<std::wstring>{L"a.jpg"});

    // Another program's 777 bytes come back byte for byte.
    const std::size_t padding = 777 - foreign_prologue.size() - foreign_epilogue.size();
    const std::string theirs = foreign_prologue + std::string(padding, ' ') + foreign_epilogue;
    folder.write(L"a.jpg.xmp", theirs);
    const sidecar_snapshot kept = snapshot_sidecar(photo);
    ASSERT_TRUE(write_sidecar_keywords(photo, {L"x"}));
    EXPECT_NE(read_bytes(sidecar_path(photo)), theirs);
    restore_sidecar(photo, kept);
    EXPECT_EQ(read_bytes(sidecar_path(photo)), theirs);

    // Untouched since: left alone, not even rewritten.
    const auto identity = platform::file_system::identify_file(sidecar_path(photo));
    restore_sidecar(photo, snapshot_sidecar(photo));
    EXPECT_EQ(platform::file_system::identify_file(sidecar_path(photo)), identity);
}

}  // namespace
