#include "metadata/people_region_xmp.h"

#include "support/test_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace {

using namespace qlm::metadata;

TEST(people_region_xmp, packet_byte_for_byte_drops_unnamed_faces) {
    const std::vector<people_region> regions = {{L"", 0.1, 0.1, 0.1, 0.1}, {L"Anna", 0.2, 0.1, 0.4, 0.3}};
    EXPECT_EQ(write_region_packet(regions, 3000, 4000), qlm::testing::test_data("people_regions_packet.xmp"));
    // Only unnamed faces: empty bags; an unknown width: no dimensions at all.
    const std::string unnamed = write_region_description({{L"", 0.5, 0.5, 0.1, 0.1}}, 0, 3000);
    EXPECT_NE(unnamed.find("    <mwg-rs:RegionList>\n     <rdf:Bag>\n     </rdf:Bag>\n"), std::string::npos);
    EXPECT_EQ(unnamed.find("AppliedToDimensions"), std::string::npos);
}

TEST(people_region_xmp, coordinates_are_clamped_and_printed_with_six_decimals) {
    EXPECT_EQ(format_coordinate(0.2), "0.200000");
    EXPECT_EQ(format_coordinate(0.1234567), "0.123457");
    EXPECT_EQ(format_coordinate(0.0000004), "0.000000");
    EXPECT_EQ(format_coordinate(-0.5), "0.000000");
    EXPECT_EQ(format_coordinate(-0.0), "0.000000");
    EXPECT_EQ(format_coordinate(1.5), "1.000000");
    EXPECT_EQ(format_coordinate(std::numeric_limits<double>::quiet_NaN()), "0.000000");
    EXPECT_EQ(format_coordinate(std::numeric_limits<double>::infinity()), "1.000000");
    // A change in the seventh decimal is no change at all.
    EXPECT_EQ(region_key({L"Z\u00fc", 0.2, 0.3, 0.4, 0.5}), "Z\xC3\xBC|0.200000|0.300000|0.400000|0.500000");
    EXPECT_EQ(region_key({L"A", 0.2000001, 0.3, 0.4, 0.5}), region_key({L"A", 0.2, 0.3, 0.4, 0.5}));
    // A centre beyond the edge is clamped like every other coordinate.
    const std::string text = write_region_description({{L"Edge", 0.9, 0.0, 0.4, 2.0}}, 0, 0);
    EXPECT_NE(text.find("stArea:x=\"1.000000\" stArea:y=\"0.500000\" stArea:w=\"0.400000\" stArea:h=\"1.000000\""),
              std::string::npos);
}

TEST(people_region_xmp, composed_packet_reads_back_in_both_vocabularies) {
    const std::vector<people_region> regions = {{L"Anna Lind", 0.2, 0.1, 0.4, 0.3},
                                                {L"Tom & \"Jerry\" <\u00c5>", 0.5, 0.6, 0.25, 0.2}};
    const std::string packet = write_region_packet(regions, 4000, 3000);
    std::vector<people_region> parsed;
    ASSERT_TRUE(parse_region_info(packet, parsed));
    ASSERT_EQ(parsed.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(region_key(parsed[i]), region_key(regions[i]));
    // The MWG copy tells the same story from the centre of each area.
    ASSERT_TRUE(parse_mwg_regions(packet, parsed));
    ASSERT_EQ(parsed.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(region_key(parsed[i]), region_key(regions[i]));
}

TEST(people_region_xmp, parses_other_writers_forms_and_tolerates_damage) {
    std::vector<people_region> regions;
    // Attribute forms, an unnamed item, a short rectangle and a bad number.
    const std::string other =
        "<MP:RegionInfo><MPRI:Regions><rdf:Bag>"
        "<rdf:li MPReg:PersonDisplayName=\"Eve &amp; Co\" MPReg:Rectangle=\"0.1,0.2 , 0.3,0.4\"/>"
        "<rdf:li><rdf:Description><MPReg:Rectangle>0.5, 0.5</MPReg:Rectangle></rdf:Description></rdf:li>"
        "<rdf:li><MPReg:PersonDisplayName\n>&#65;nn</MPReg:PersonDisplayName><MPReg:Rectangle>x, 1e999, -0.5, "
        ".25</MPReg:Rectangle></rdf:li>"
        "<rdf:li><MPReg:PersonDisplayNameX>no</MPReg:PersonDisplayNameX><MPReg:Rectangle/>"
        "</rdf:li></rdf:Bag></MPRI:Regions></MP:RegionInfo>"
        "<rdf:li><MPReg:PersonDisplayName>outside</MPReg:PersonDisplayName></rdf:li>";
    ASSERT_TRUE(parse_region_info(other, regions));
    ASSERT_EQ(regions.size(), 4u);
    EXPECT_EQ(regions[0].name, L"Eve & Co");
    EXPECT_EQ(region_key(regions[0]), "Eve & Co|0.100000|0.200000|0.300000|0.400000");
    EXPECT_EQ(regions[1].name, L"");
    EXPECT_EQ(region_key(regions[1]), "|0.500000|0.500000|0.000000|0.000000");
    EXPECT_EQ(regions[2].name, L"&#65;nn");
    EXPECT_EQ(regions[2].x, 0.0);
    EXPECT_EQ(regions[2].y, 0.0);
    EXPECT_EQ(regions[2].w, -0.5);
    EXPECT_EQ(regions[2].h, 0.25);
    EXPECT_EQ(regions[3].name, L"");

    // A closed block without items answers with no regions; no block, no answer.
    EXPECT_TRUE(parse_region_info("<MP:RegionInfo rdf:parseType='Resource'></MP:RegionInfo>", regions));
    EXPECT_TRUE(regions.empty());
    EXPECT_FALSE(parse_region_info("<MP:RegionInfo rdf:parseType='Resource'>", regions));
    EXPECT_FALSE(parse_region_info("<mwg-rs:Regions/>", regions));
    EXPECT_FALSE(parse_region_info("", regions));
    // Unclosed items still count.
    ASSERT_TRUE(parse_region_info("<MP:RegionInfo><rdf:li><MPReg:PersonDisplayName>Cut", regions));
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].name, L"");
    // Invalid UTF-8 in a name becomes U+FFFD, never an exception.
    ASSERT_TRUE(parse_region_info("<MP:RegionInfo><rdf:li MPReg:PersonDisplayName=\"\xC3(\"/></MP:RegionInfo>",
                                  regions));
    EXPECT_EQ(regions[0].name, L"\uFFFD(");
}

TEST(people_region_xmp, mwg_regions_of_other_writers) {
    std::vector<people_region> regions;
    const std::string other =
        "<mwg-rs:RegionsX><rdf:li><mwg-rs:Name>decoy</mwg-rs:Name></rdf:li></mwg-rs:RegionsX>"
        "<mwg-rs:Regions rdf:parseType='Resource'><mwg-rs:AppliedToDimensions stDim:w='10'/><mwg-rs:RegionList>"
        "<rdf:Bag>"
        "<rdf:li><rdf:Description mwg-rs:Name=\"Ann &lt;3\" mwg-rs:Type=\"Face\">"
        "<mwg-rs:Area stArea:x=\"0.5\" stArea:y=\"0.5\" stArea:w=\"0.2\" stArea:h=\"0.4\" stArea:unit=\"normalized\"/>"
        "</rdf:Description></rdf:li>"
        "<rdf:li><mwg-rs:Name>Rex</mwg-rs:Name><mwg-rs:Type>Pet</mwg-rs:Type></rdf:li>"
        "<rdf:li><mwg-rs:Name>Big</mwg-rs:Name><mwg-rs:Area><rdf:Description><stArea:x>120</stArea:x>"
        "<stArea:unit>pixel</stArea:unit></rdf:Description></mwg-rs:Area></rdf:li>"
        "<rdf:li><mwg-rs:Name>Cy</mwg-rs:Name><mwg-rs:Area><rdf:Description><stArea:x>0.3</stArea:x>"
        "<stArea:y>bad</stArea:y><stArea:w>0.2</stArea:w></rdf:Description></mwg-rs:Area></rdf:li>"
        "</rdf:Bag></mwg-rs:RegionList></mwg-rs:Regions>";
    ASSERT_TRUE(parse_mwg_regions(other, regions));
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(region_key(regions[0]), "Ann <3|0.400000|0.300000|0.200000|0.400000");
    EXPECT_EQ(regions[1].name, L"Cy");
    EXPECT_DOUBLE_EQ(regions[1].x, 0.2);
    EXPECT_DOUBLE_EQ(regions[1].y, 0.0);

    EXPECT_FALSE(parse_mwg_regions("<MP:RegionInfo></MP:RegionInfo><mwg-rs:Regions/>", regions));
    EXPECT_FALSE(parse_mwg_regions("<mwg-rs:Regions", regions));
    EXPECT_TRUE(parse_mwg_regions("<mwg-rs:Regions></mwg-rs:Regions>", regions));
    EXPECT_TRUE(regions.empty());

    // Pixel areas are measured on the applied dimensions.
    ASSERT_TRUE(parse_mwg_regions(
        "<mwg-rs:Regions><mwg-rs:AppliedToDimensions stDim:w=\"400\" stDim:h=\"200\" stDim:unit=\"pixel\"/>"
        "<mwg-rs:RegionList><rdf:Bag><rdf:li><rdf:Description mwg-rs:Name=\"Px\"><mwg-rs:Area stArea:x=\"100\" "
        "stArea:y=\"50\" stArea:w=\"40\" stArea:h=\"20\" stArea:unit=\"pixel\"/></rdf:Description></rdf:li>"
        "</rdf:Bag></mwg-rs:RegionList></mwg-rs:Regions>",
        regions));
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(region_key(regions[0]), "Px|0.200000|0.200000|0.100000|0.100000");
}

TEST(people_region_xmp, strip_removes_our_description_and_foreign_regions_only) {
    const std::string prologue = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n <rdf:RDF xmlns:rdf=\"r\">\n";
    const std::string title = "  <rdf:Description rdf:about=\"\" xmlns:dc=\"d\">\n"
                              "   <dc:title>Harbour</dc:title>\n"
                              "  </rdf:Description>\n";
    const std::string foreign = "  <rdf:Description rdf:about=\"\" xmlns:MP=\"m\" xmlns:mwg-rs=\"g\">\n"
                                "   <MP:RegionInfo rdf:parseType=\"Resource\"><rdf:li>Old</rdf:li></MP:RegionInfo>\n"
                                "\t<mwg-rs:Regions/>\n"
                                "   <mwg-rs:Regions rdf:parseType=\"Resource\">x</mwg-rs:Regions>\n"
                                "   <MP:RegionInfoX>kept</MP:RegionInfoX>\n"
                                "  </rdf:Description>\n";
    const std::string ours = write_region_description({{L"Anna", 0.1, 0.1, 0.2, 0.2}}, 10, 10);
    const std::string epilogue = " </rdf:RDF>\n</x:xmpmeta>\n";
    const std::string packet = prologue + title + ours + foreign + ours + epilogue;

    const std::string stripped = strip_managed_regions(packet);
    EXPECT_EQ(stripped, prologue + title.substr(0, title.size() - 1) +
                            "  <rdf:Description rdf:about=\"\" xmlns:MP=\"m\" xmlns:mwg-rs=\"g\">"
                            "   <MP:RegionInfoX>kept</MP:RegionInfoX>\n"
                            "  </rdf:Description>" +
                            epilogue);

    // The new regions replace every old one, whoever wrote them.
    std::string rewritten = stripped;
    rewritten.insert(rewritten.rfind("</rdf:RDF>"), write_region_description({{L"Bo", 0.3, 0.3, 0.1, 0.1}}, 0, 0));
    std::vector<people_region> regions;
    ASSERT_TRUE(parse_region_info(rewritten, regions));
    ASSERT_EQ(regions.size(), 1u);
    EXPECT_EQ(regions[0].name, L"Bo");
    EXPECT_NE(rewritten.find("<dc:title>Harbour</dc:title>"), std::string::npos);

    // An element whose end is missing is left as it is.
    const std::string cut = "<rdf:Description qsxx:managed=\"true\"> <MP:RegionInfo> <mwg-rs:Regions";
    EXPECT_EQ(strip_managed_regions(cut), cut);
    EXPECT_EQ(strip_managed_regions(""), "");
}

TEST(people_region_xmp, merged_sidecar_keeps_other_descriptions_and_replaces_all_regions) {
    const std::string existing = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF "
                                 "xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                                 "<rdf:Description rdf:about='' xmlns:dc='http://purl.org/dc/elements/1.1/'>"
                                 "<dc:title><rdf:Alt><rdf:li xml:lang='x-default'>Picnic</rdf:li></rdf:Alt></dc:title>"
                                 "</rdf:Description>\n"
                                 "<rdf:Description rdf:about='' "
                                 "xmlns:mwg-rs='http://www.metadataworkinggroup.com/schemas/regions/'>\n"
                                 " <mwg-rs:Regions rdf:parseType='Resource'><mwg-rs:RegionList><rdf:Bag><rdf:li "
                                 "rdf:parseType='Resource'><mwg-rs:Name>Stranger</mwg-rs:Name></rdf:li></rdf:Bag>"
                                 "</mwg-rs:RegionList></mwg-rs:Regions>\n"
                                 "</rdf:Description>\n" +
                                 write_region_description({{L"Old", 0.1, 0.1, 0.1, 0.1}}, 0, 0) +
                                 "</rdf:RDF></x:xmpmeta>";
    const std::vector<people_region> wanted = {{L"Mia", 0.25, 0.25, 0.5, 0.5}};
    const std::string merged = merge_region_description(existing, wanted, 640, 480);
    EXPECT_NE(merged.find("Picnic"), std::string::npos);
    EXPECT_EQ(merged.find("Stranger"), std::string::npos);
    EXPECT_EQ(merged.find("Old"), std::string::npos);
    std::vector<people_region> parsed;
    ASSERT_TRUE(parse_mwg_regions(merged, parsed));
    EXPECT_TRUE(same_named_regions(parsed, wanted));
    // Merging again changes nothing: our description replaces itself.
    EXPECT_EQ(merge_region_description(merged, wanted, 640, 480), merged);

    // Nothing to merge into: a fresh packet.
    EXPECT_EQ(merge_region_description("", wanted, 1, 1), write_region_packet(wanted, 1, 1));
    EXPECT_EQ(merge_region_description("<rdf:RDF>", wanted, 1, 1), write_region_packet(wanted, 1, 1));
}

TEST(people_region_xmp, unchanged_regions_and_names_in_sync) {
    const std::vector<people_region> stored = {{L"B", 0.2, 0.2, 0.1, 0.1}, {L"", 0.5, 0.5, 0.1, 0.1},
                                               {L"A", 0.1, 0.1, 0.1, 0.1}};
    // Order, unnamed faces and changes in the seventh decimal do not count.
    EXPECT_TRUE(same_named_regions(stored, {{L"A", 0.1000001, 0.1, 0.1, 0.1}, {L"B", 0.2, 0.2, 0.1, 0.1}}));
    EXPECT_FALSE(same_named_regions(stored, {{L"A", 0.1, 0.1, 0.1, 0.1}}));
    EXPECT_FALSE(same_named_regions(stored, {{L"A", 0.1, 0.1, 0.1, 0.1}, {L"B", 0.2, 0.2, 0.1, 0.2}}));
    EXPECT_FALSE(same_named_regions(stored, {{L"a", 0.1, 0.1, 0.1, 0.1}, {L"B", 0.2, 0.2, 0.1, 0.1}}));

    EXPECT_TRUE(names_in_sync(std::nullopt, stored));
    EXPECT_TRUE(names_in_sync(std::vector<std::wstring>{L"B", L"A", L"A"}, stored));
    EXPECT_FALSE(names_in_sync(std::vector<std::wstring>{L"A"}, stored));
    EXPECT_FALSE(names_in_sync(std::vector<std::wstring>{}, stored));
    EXPECT_TRUE(names_in_sync(std::vector<std::wstring>{}, {{L"", 0.1, 0.1, 0.1, 0.1}}));

    EXPECT_EQ(oriented_size(4000, 3000, 6).width, 3000u);
    EXPECT_EQ(oriented_size(4000, 3000, 6).height, 4000u);
    EXPECT_EQ(oriented_size(4000, 3000, 4).width, 4000u);
    EXPECT_EQ(oriented_size(4000, 3000, 9).width, 4000u);
}

TEST(people_region_xmp, mutex_name_hashes_lower_cased_utf16_units) {
    EXPECT_EQ(people_mutex_name(L"a"), L"Local\\QLM.PeopleMetadata.12638187200555641996");
    EXPECT_EQ(people_mutex_name(L"A"), people_mutex_name(L"a"));
    // U+1F600 counts as its two UTF-16 units, also where wchar_t is 32 bits wide.
    EXPECT_EQ(people_mutex_name(L"C:\\Users\\Anna\\Bilder\\\u00c4pfel \U0001F600.JPG"),
              L"Local\\QLM.PeopleMetadata.1132746549927284461");
    EXPECT_EQ(people_mutex_name(L"/home/anna/Bilder/\u00e4pfel \U0001F600.jpg"),
              L"Local\\QLM.PeopleMetadata.7563459188177931537");
    EXPECT_NE(people_mutex_name(L"/p/a.jpg"), people_mutex_name(L"/p/b.jpg"));
}

TEST(people_region_xmp, names_sorted_by_utf16_units_unique_and_non_empty) {
    const std::vector<people_region> regions = {{L"\uFF21"}, {L"b"}, {L""}, {L"\U0001F600"}, {L"B"}, {L"b"}};
    // U+1F600 (D83D DE00) sorts before U+FF21 in UTF-16, after it by code point.
    EXPECT_EQ(sorted_unique_names(regions), (std::vector<std::wstring>{L"B", L"b", L"\U0001F600", L"\uFF21"}));
}

}  // namespace
