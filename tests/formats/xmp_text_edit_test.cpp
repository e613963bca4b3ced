// Single-property edits of XMP text written by other programs: the exact
// bytes after each edit, and the shapes that must not be spliced.

#include "formats/xmp_text_edit.h"

#include <gtest/gtest.h>

#include <string>

namespace {

constexpr formats::xmp_name rating{"http://ns.adobe.com/xap/1.0/", "xmp", "Rating"};
constexpr formats::xmp_name subject{"http://purl.org/dc/elements/1.1/", "dc", "subject"};
constexpr formats::xmp_name description{"http://purl.org/dc/elements/1.1/", "dc", "description"};

formats::xmp_edit simple(std::string value) { return {formats::xmp_edit::form::simple, {std::move(value)}}; }

TEST(xmp_text_edit, attributes_and_elements_change_in_place_under_the_declared_prefix) {
    const std::string text =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\" xmlns:xap=\"http://ns.adobe.com/xap/1.0/\"\n"
        "    xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xap:Rating='2' other:xap:Rating=\"9\">\n"
        "   <dc:subject>\n    <rdf:Bag>\n     <rdf:li>Old</rdf:li>\n    </rdf:Bag>\n   </dc:subject>\n"
        "   <dc:subjectNote>kept</dc:subjectNote>\n"
        "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n";
    EXPECT_EQ(formats::declared_prefix(text, rating.uri), "xap");

    auto rated = formats::edit_xmp_property(text, rating, simple("5"));
    ASSERT_TRUE(rated);
    std::string expected = text;
    expected.replace(expected.find("'2'"), 3, "'5'");
    EXPECT_EQ(*rated, expected);

    auto tagged =
        formats::edit_xmp_property(text, subject, formats::xmp_edit{formats::xmp_edit::form::bag, {"A & B", "<C>"}});
    ASSERT_TRUE(tagged);
    expected = text;
    expected.replace(expected.find("<rdf:li>Old</rdf:li>"), 20,
                     "<rdf:li>A &amp; B</rdf:li>\n     <rdf:li>&lt;C&gt;</rdf:li>");
    EXPECT_EQ(*tagged, expected);

    // Removal takes the element's whole line and the attribute's blank, nothing else.
    auto cleared = formats::edit_xmp_property(text, subject, std::nullopt);
    ASSERT_TRUE(cleared);
    auto unrated = formats::edit_xmp_property(*cleared, rating, std::nullopt);
    ASSERT_TRUE(unrated);
    expected = text;
    const auto subject_line = expected.find("\n   <dc:subject>");
    expected.erase(subject_line, expected.find("</dc:subject>") + 13 - subject_line);
    expected.erase(expected.find(" xap:Rating='2'"), 15);
    EXPECT_EQ(*unrated, expected);
    EXPECT_FALSE(formats::has_xmp_property(*unrated, rating));
    EXPECT_TRUE(formats::has_xmp_property(text, subject));

    // Two copies on one line: the first one's place takes the value, the
    // second goes with the blanks between them.
    const std::string twice = "<a>\n   <xmp:Rating>1</xmp:Rating>  <xmp:Rating>2</xmp:Rating>\n</a>";
    EXPECT_EQ(formats::edit_xmp_property(twice, rating, simple("4")), "<a>\n   <xmp:Rating>4</xmp:Rating>\n</a>");
}

TEST(xmp_text_edit, new_properties_go_last_into_the_first_description_and_declare_their_namespace) {
    const std::string closed =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
        " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
        "  <rdf:Description rdf:about=\"\" xmlns:crs=\"http://ns.adobe.com/camera-raw-settings/1.0/\""
        " crs:Exposure2012=\"+0.35\"/>\n"
        " </rdf:RDF>\n</x:xmpmeta>\n";
    auto edited =
        formats::edit_xmp_property(closed, description, formats::xmp_edit{formats::xmp_edit::form::lang_alt, {"Hi"}});
    ASSERT_TRUE(edited);
    EXPECT_EQ(*edited,
              "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
              " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
              "  <rdf:Description rdf:about=\"\" xmlns:crs=\"http://ns.adobe.com/camera-raw-settings/1.0/\""
              " crs:Exposure2012=\"+0.35\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
              "   <dc:description>\n    <rdf:Alt>\n     <rdf:li xml:lang=\"x-default\">Hi</rdf:li>\n"
              "    </rdf:Alt>\n   </dc:description>\n"
              "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n");

    // A nested description (a region's struct) does not end the outer one early.
    const std::string nested =
        "<rdf:RDF xmlns:rdf=\"r\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
        " <rdf:Description rdf:about=\"\">\n"
        "  <a:list><rdf:Bag><rdf:li><rdf:Description a:n=\"1\">\n   </rdf:Description></rdf:li></rdf:Bag></a:list>\n"
        " </rdf:Description>\n</rdf:RDF>";
    auto rated = formats::edit_xmp_property(nested, rating, simple("3"));
    ASSERT_TRUE(rated);
    EXPECT_TRUE(rated->ends_with("</a:list>\n  <xmp:Rating>3</xmp:Rating>\n </rdf:Description>\n</rdf:RDF>")) << *rated;

    // Nothing at all: a fresh packet that holds the value.
    auto fresh = formats::edit_xmp_property("", rating, simple("4"));
    ASSERT_TRUE(fresh);
    EXPECT_NE(fresh->find("<xmp:Rating>4</xmp:Rating>"), std::string::npos);
    EXPECT_NE(fresh->find("xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\""), std::string::npos);
}

TEST(xmp_text_edit, shapes_that_cannot_be_spliced_are_refused) {
    for (const std::string text : {
             "<rdf:RDF><rdf:Description xmp:Rating=\"3></rdf:Description></rdf:RDF>",
             "<rdf:RDF><rdf:Description><dc:subject><rdf:Bag></rdf:Description></rdf:RDF>",
             "not xmp at all",
             "<rdf:RDF><rdf:Description rdf:about=\"\">",
         }) {
        EXPECT_FALSE(
            formats::edit_xmp_property(text, subject, formats::xmp_edit{formats::xmp_edit::form::bag, {"x"}}) &&
            formats::edit_xmp_property(text, rating, simple("1")))
            << text;
    }
    // Markup that overlaps itself: an attribute inside the span of the
    // element being replaced, the namespace declared on that element.
    for (const std::string text : {
             "<rdf:RDF><rdf:Description><xmp:Rating>2</xmp:Rating xmp:Rating=\"1\"></rdf:Description></rdf:RDF>",
             "<rdf:RDF><rdf:Description><p:Rating xmlns:p=\"http://ns.adobe.com/xap/1.0/\">2</p:Rating>"
             "</rdf:Description></rdf:RDF>",
         }) {
        EXPECT_FALSE(formats::edit_xmp_property(text, rating, simple("4"))) << text;
    }
}

}  // namespace
