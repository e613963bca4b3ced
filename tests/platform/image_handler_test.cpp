// The Linux image handler, read back by exiftool: every copy written, every
// copy cleared, XMP preferred on read, the rest passed to the property set,
// the file replaced whole with its mode and extended attributes.

#include "platform/property_store.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/outside_tools.h"
#include "support/property_read.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace {

namespace ps = platform::property_store;
namespace fs = platform::file_system;
using qlm::testing::exiftool_value;
using qlm::testing::read_property;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

const std::wstring comment_text = L"Line one\r\nline two \u00e9\u2713 \U0001F600  ";
const std::string comment_utf8 = "Line one\r\nline two \xC3\xA9\xE2\x9C\x93 \xF0\x9F\x98\x80  ";

class image_handler : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qlm::testing::tool_available("exiftool") || !qlm::testing::tool_available("convert")) {
            GTEST_SKIP() << "exiftool and ImageMagick are needed to make and read sample images";
        }
    }

    static void write_all(const std::wstring& path) {
        std::unique_ptr<ps::store> store;
        ASSERT_EQ(ps::open_handler_store(path, ps::gps_read_write, store), ps::s_ok);
        ASSERT_EQ(store->set_value(ps::key_keywords, ps::property_value::make_strings({L"W\u00f6rk", L"a;b", L"Zebra"})), ps::s_ok);
        ASSERT_EQ(store->set_value(ps::key_rating, ps::property_value::make_ui4(75)), ps::s_ok);
        ASSERT_EQ(store->set_value(ps::key_comment, ps::property_value::make_bstr(comment_text)), ps::s_ok);
        ASSERT_EQ(store->set_value(ps::key_title, ps::property_value::make_lpwstr(L"lang=\"de\" Titel \u00e9")), ps::s_ok);
        ASSERT_EQ(store->commit(), ps::s_ok);
    }
};

TEST_F(image_handler, keywords_rating_comment_title_round_trip_on_jpeg_both_tiffs_png_webp) {
    qlm::testing::temp_folder temp;
    // The big-endian TIFF checks that the Unicode UserComment follows the
    // file's Exif byte order.
    for (const std::wstring name : {L"p.jpg", L"p.tif", L"motorola.tif", L"p.png", L"p.webp"}) {
        const std::wstring path =
            qlm::testing::make_image(temp / name, name == L"motorola.tif" ? "-define tiff:endian=msb" : "");
        ASSERT_FALSE(path.empty());
        write_all(path);
        SCOPED_TRACE(platform::text::to_utf8(name));
        EXPECT_EQ(read_property(path, ps::key_keywords),
                  ps::property_value::make_strings({L"W\u00f6rk", L"a;b", L"Zebra"}));
        EXPECT_EQ(read_property(path, ps::key_rating), ps::property_value::make_ui4(75));
        EXPECT_EQ(read_property(path, ps::key_comment), ps::property_value::make_lpwstr(comment_text));
        EXPECT_EQ(read_property(path, ps::key_title), ps::property_value::make_lpwstr(L"lang=\"de\" Titel \u00e9"));

        const bool has_iptc = name != L"p.webp";
        EXPECT_EQ(qlm::testing::exiftool_values(path, {"-XMP-dc:Subject", "-XMP-xmp:Rating", "-XMP-microsoft:RatingPercent",
                                                       "-IFD0:Rating", "-IFD0:RatingPercent", "-IFD0:XPKeywords",
                                                       "-IPTC:Keywords"}),
                  (std::vector<std::string>{"W\xC3\xB6rk, a;b, Zebra", "4", "75", "4", "75", "W\xC3\xB6rk;Zebra",
                                            has_iptc ? "W\xC3\xB6rk, a;b, Zebra" : "-"}));
        EXPECT_EQ(run_tool("exiftool -b -XMP-exif:UserComment " + shell_quote(path)), comment_utf8);
        // exiftool trims the trailing blanks of an Exif UserComment when it shows it.
        EXPECT_EQ(run_tool("exiftool -b -ExifIFD:UserComment " + shell_quote(path)),
                  comment_utf8.substr(0, comment_utf8.size() - 2));
        EXPECT_EQ(run_tool("exiftool -b -XMP-dc:Title " + shell_quote(path)), "lang=\"de\" Titel \xC3\xA9");
        EXPECT_EQ(run_tool("exiftool -b -IFD0:XPTitle " + shell_quote(path)), "lang=\"de\" Titel \xC3\xA9");
    }
}

TEST_F(image_handler, a_write_replaces_copies_made_elsewhere_and_clearing_leaves_none) {
    qlm::testing::temp_folder temp;
    const std::wstring path = qlm::testing::make_image(temp / L"tagged.jpg");
    run_tool("exiftool -q -overwrite_original -XMP-dc:Subject=old -IPTC:Keywords=old -XPKeywords=old "
             "-XMP-xmp:Rating=1 -XMP-microsoft:RatingPercent=1 -IFD0:Rating=1 -IFD0:RatingPercent=1 "
             "-ExifIFD:UserComment=old -XPComment=old -XMP-dc:Title=old -XMP-microsoft:LastKeywordXMP=old "
             "-XMP-microsoft:LastKeywordIPTC=old " + shell_quote(path));
    write_all(path);
    EXPECT_EQ(qlm::testing::exiftool_values(path, {"-XMP-microsoft:LastKeywordXMP", "-XMP-microsoft:LastKeywordIPTC"}),
              (std::vector<std::string>{"W\xC3\xB6rk, a;b, Zebra", "W\xC3\xB6rk, a;b, Zebra"}));
    EXPECT_EQ(exiftool_value(path, "-IPTC:Keywords"), "W\xC3\xB6rk, a;b, Zebra");
    EXPECT_EQ(exiftool_value(path, "-IFD0:XPKeywords"), "W\xC3\xB6rk;Zebra");  // "a;b" would come back split
    EXPECT_EQ(exiftool_value(path, "-IFD0:RatingPercent"), "75");
    EXPECT_EQ(run_tool("exiftool -b -XPComment " + shell_quote(path)), "Line one\r\nline two \xC3\xA9\xE2\x9C\x93 \xED\xA0\xBD\xED\xB8\x80  ");

    std::unique_ptr<ps::store> store;
    ASSERT_EQ(ps::open_handler_store(path, ps::gps_read_write, store), ps::s_ok);
    store->set_value(ps::key_keywords, ps::property_value::make_strings({}));
    store->set_value(ps::key_rating, ps::property_value::make_ui4(0));
    store->set_value(ps::key_comment, ps::property_value::make_null_lpwstr());
    store->set_value(ps::key_title, ps::property_value{});
    ASSERT_EQ(store->commit(), ps::s_ok);
    EXPECT_EQ(run_tool("exiftool -m -s -s -XMP-dc:all -IPTC:Keywords -XPKeywords -XPComment -XPTitle -UserComment "
                       "-XMP-exif:all -XMP-microsoft:all -Rating -RatingPercent " + shell_quote(path)),
              "");
    EXPECT_EQ(read_property(path, ps::key_keywords).type, ps::value_type::empty);
    EXPECT_EQ(read_property(path, ps::key_rating).type, ps::value_type::empty);
}

TEST_F(image_handler, reading_prefers_xmp_and_trusts_the_percent_only_while_it_agrees) {
    qlm::testing::temp_folder temp;
    const std::wstring path = qlm::testing::make_image(temp / L"mixed.jpg");
    run_tool(
        "exiftool -q -overwrite_original -XMP-dc:Subject=x -IPTC:Keywords=y -XPKeywords=z "
        "-XMP-xmp:Rating=2 -XMP-microsoft:RatingPercent=99 " +
        shell_quote(path));
    EXPECT_EQ(read_property(path, ps::key_keywords), ps::property_value::make_strings({L"x"}));
    EXPECT_EQ(read_property(path, ps::key_rating), ps::property_value::make_ui4(25));
    run_tool("exiftool -q -overwrite_original -XMP:all= -IPTC:Keywords= -IFD0:Rating=3 " + shell_quote(path));
    EXPECT_EQ(read_property(path, ps::key_keywords), ps::property_value::make_strings({L"z"}));
    run_tool(
        "exiftool -q -overwrite_original -charset iptc=Latin -IPTC:Keywords=caf\xC3\xA9 "
        "-IPTC:Caption-Abstract=Cr\xC3\xA8me " +
        shell_quote(path));
    EXPECT_EQ(read_property(path, ps::key_keywords), ps::property_value::make_strings({L"caf\u00e9"}));

    // Writing declares UTF-8 for the IPTC record; the Latin-1 caption keeps its text.
    std::unique_ptr<ps::store> store;
    ASSERT_EQ(ps::open_handler_store(path, ps::gps_read_write, store), ps::s_ok);
    ASSERT_EQ(store->set_value(ps::key_keywords, ps::property_value::make_strings({L"\u00e9t\u00e9"})), ps::s_ok);
    ASSERT_EQ(store->commit(), ps::s_ok);
    EXPECT_EQ(
        qlm::testing::exiftool_values(path, {"-IPTC:Caption-Abstract", "-IPTC:Keywords", "-IPTC:CodedCharacterSet"}),
        (std::vector<std::string>{"Cr\xC3\xA8me", "\xC3\xA9t\xC3\xA9", ".%G"}));  // exiftool shows ESC as '.'
    EXPECT_EQ(read_property(path, ps::key_rating), ps::property_value::make_ui4(50));
}

TEST_F(image_handler, other_properties_pass_through_and_the_file_keeps_mode_and_xattrs) {
    qlm::testing::temp_folder temp;
    const std::wstring path = qlm::testing::make_image(temp / L"kept.jpg");
    ASSERT_EQ(fs::set_attributes(path, fs::attribute_hidden | fs::attribute_archive), 0u);
    std::filesystem::permissions(fs::to_native(path), std::filesystem::perms(0640));
    run_tool("setfattr -n user.other -v keep " + shell_quote(path));
    const ps::property_key people{ps::summary_information, 200};
    {
        std::unique_ptr<ps::store> store;
        ASSERT_EQ(ps::open_handler_store(path, ps::gps_read_write, store), ps::s_ok);
        ASSERT_EQ(store->set_value(people, ps::property_value::make_strings({L"Ann"})), ps::s_ok);
        ASSERT_EQ(store->set_value(ps::key_rating, ps::property_value::make_ui4(99)), ps::s_ok);
        ASSERT_EQ(store->commit(), ps::s_ok);
    }
    EXPECT_EQ(qlm::testing::getfattr(path, "user.other"), "keep");
    EXPECT_EQ(qlm::testing::getfattr(path, "user.qlm.prop.{F29F85E0-4FF9-1068-AB91-08002B27B3D9}.200"),
              std::string("vector_lpwstr:1:Ann"));
    EXPECT_EQ(fs::get_attributes(path), fs::attribute_hidden | fs::attribute_archive);
    EXPECT_EQ(std::filesystem::status(fs::to_native(path)).permissions(), std::filesystem::perms(0640));
    EXPECT_EQ(read_property(path, people), ps::property_value::make_strings({L"Ann"}));
    EXPECT_EQ(read_property(path, people, ps::gps_handler_properties_only).type, ps::value_type::empty);
    EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "5");
    // No temporary left; the hidden file is named in the folder's list for file managers.
    EXPECT_EQ(qlm::testing::run_tool("ls -a " + shell_quote(temp.path())), ".\n..\n.hidden\nkept.jpg\n");
    EXPECT_EQ(qlm::testing::read_bytes(temp.path() + L"/.hidden"), "kept.jpg\n");
}

TEST_F(image_handler, a_write_through_a_symbolic_link_changes_the_file_it_points_to) {
    qlm::testing::temp_folder temp;
    const std::wstring real = qlm::testing::make_image(temp / L"real.jpg");
    const std::wstring link = temp / L"link.jpg";
    std::filesystem::create_symlink(fs::to_native(real), fs::to_native(link));
    std::unique_ptr<ps::store> store;
    ASSERT_EQ(ps::open_handler_store(link, ps::gps_read_write, store), ps::s_ok);
    ASSERT_EQ(store->set_value(ps::key_rating, ps::property_value::make_ui4(50)), ps::s_ok);
    ASSERT_EQ(store->commit(), ps::s_ok);
    EXPECT_TRUE(std::filesystem::is_symlink(fs::to_native(link)));
    EXPECT_EQ(exiftool_value(real, "-XMP-xmp:Rating"), "3");
}

TEST_F(image_handler, types_without_a_handler_and_damaged_files_never_get_written) {
    qlm::testing::temp_folder temp;
    std::unique_ptr<ps::store> store;
    const std::wstring text = temp.write(L"notes.txt", "plain text");
    EXPECT_TRUE(ps::failed(ps::open_handler_store(text, ps::gps_read_write, store)));
    ASSERT_EQ(ps::open_handler_store(text, ps::gps_default, store), ps::s_ok);  // reads the property set

    // Damage lands mostly in the Exif, IPTC and XMP segments, the parsers at risk.
    const std::wstring photo = qlm::testing::make_image(temp / L"whole.jpg");
    write_all(photo);
    const std::string whole = qlm::testing::read_bytes(photo);
    std::mt19937 random(5);
    for (int round = 0; round < 200; ++round) {
        std::string damaged = whole.substr(0, static_cast<std::size_t>(random() % whole.size()));
        if (round % 2 == 0) {
            damaged = whole;
            for (int flips = 0; flips < 8; ++flips) damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        const std::wstring path = temp.write(L"damaged.jpg", damaged);
        std::unique_ptr<ps::store> reader;
        if (ps::open_handler_store(path, ps::gps_default, reader) == ps::s_ok) {
            ps::property_value value;
            (void)reader->get_value(ps::key_keywords, value);
        }
        std::unique_ptr<ps::store> writer;
        if (ps::open_handler_store(path, ps::gps_read_write, writer) == ps::s_ok) {
            (void)writer->set_value(ps::key_keywords, ps::property_value::make_strings({L"k"}));
            if (ps::failed(writer->commit())) {
                EXPECT_EQ(qlm::testing::read_bytes(path), damaged) << round;
            }
        }
    }

    const std::wstring locked = qlm::testing::make_image(temp / L"locked.jpg");
    fs::set_attributes(locked, fs::attribute_readonly);
    EXPECT_EQ(ps::open_handler_store(locked, ps::gps_read_write, store), ps::e_accessdenied);
    EXPECT_EQ(ps::open_handler_store(temp / L"missing.jpg", ps::gps_read_write, store), ps::from_win32(2));
}

// A read takes a file's head in one go and hands Exiv2 those bytes when they
// hold all it reads; metadata that lies further in must still be found.
TEST_F(image_handler, a_read_finds_the_metadata_of_a_jpeg_wherever_it_lies) {
    qlm::testing::temp_folder temp;
    const std::wstring small = temp / L"small.jpg";
    run_tool("convert -size 32x32 xc:navy " + shell_quote(small));
    write_all(small);
    const std::string bytes = qlm::testing::read_bytes(small);
    std::string padding;  // comment segments enough to push everything else past the head
    for (int i = 0; i < 6; ++i) padding += "\xFF\xFE\xEA\x62" + std::string(60000, 'c');
    const std::wstring late = temp.write(L"late.jpg", bytes.substr(0, 2) + padding + bytes.substr(2));
    std::string trailer(400000, '\0');  // a whole file beyond the head, its metadata within
    const std::wstring long_tail = temp.write(L"long_tail.jpg", bytes + trailer);
    const auto keywords = ps::property_value::make_strings({L"W\u00f6rk", L"a;b", L"Zebra"});
    for (const std::wstring& path : {small, late, long_tail}) {
        EXPECT_EQ(read_property(path, ps::key_keywords), keywords) << platform::text::to_utf8(path);
        EXPECT_EQ(read_property(path, ps::key_rating), ps::property_value::make_ui4(75))
            << platform::text::to_utf8(path);
    }
    EXPECT_EQ(run_tool("exiftool -s3 -XMP-xmp:Rating " + shell_quote(late)), "4\n");
}

}  // namespace
