// The Linux imaging backend, checked with exiftool: query paths reach the
// Exiv2 key they name in each container, paths a container lacks fail as
// WIC fails, commits leave the pixels alone, damaged files fail cleanly.

#include "platform/imaging.h"

#include "metadata/fake_store_access.h"
#include "metadata/fallback_chain.h"
#include "platform/file_system.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

namespace im = platform::imaging;
namespace ps = platform::property_store;
using qlm::testing::exiftool_value;
using qlm::testing::read_bytes;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

class imaging : public ::testing::Test {
protected:
    void SetUp() override {
        if (!qlm::testing::tool_available("exiftool") || !qlm::testing::tool_available("convert")) {
            GTEST_SKIP() << "exiftool and ImageMagick are needed to make and read sample images";
        }
        ASSERT_EQ(im::create_factory(factory), ps::s_ok);
    }

    // Opens frame 0 for writing and sets one value through the frame's fast
    // encoder; the HRESULT of the set, then of the commit.
    std::pair<ps::hresult, ps::hresult> write(const std::wstring& path, const std::wstring& query,
                                              const ps::property_value& value) {
        std::unique_ptr<im::decoder> decoder;
        std::unique_ptr<im::frame_decode> frame;
        std::unique_ptr<im::fast_metadata_encoder> encoder;
        std::unique_ptr<im::query_writer> writer;
        EXPECT_EQ(factory->create_decoder_from_filename(path, im::file_access::read_write, decoder), ps::s_ok);
        EXPECT_EQ(decoder->get_frame(0, frame), ps::s_ok);
        EXPECT_EQ(factory->create_fast_metadata_encoder_from_frame(*frame, encoder), ps::s_ok);
        EXPECT_EQ(encoder->get_metadata_query_writer(writer), ps::s_ok);
        const ps::hresult set = writer->set_metadata_by_name(query, value);
        return {set, ps::failed(set) ? ps::e_fail : encoder->commit()};
    }

    std::unique_ptr<im::factory> factory;
    qlm::testing::temp_folder folder;
};

TEST_F(imaging, jpeg_frame_reads_size_and_orientation_and_writes_xmp_by_query_path) {
    const std::wstring path = qlm::testing::make_image(folder / L"a.jpg");
    ASSERT_FALSE(path.empty());
    run_tool("exiftool -q -overwrite_original -Orientation#=6 " + shell_quote(path));
    const std::string pixels_before = run_tool("convert " + shell_quote(path) + " -depth 8 rgb:- | md5sum");

    std::unique_ptr<im::decoder> decoder;
    ASSERT_EQ(factory->create_decoder_from_filename(path, im::file_access::read, decoder), ps::s_ok);
    std::unique_ptr<im::frame_decode> frame;
    ASSERT_EQ(decoder->get_frame(0, frame), ps::s_ok);
    EXPECT_NE(decoder->get_frame(1, frame), ps::s_ok);
    ASSERT_EQ(decoder->get_frame(0, frame), ps::s_ok);
    std::uint32_t width = 0, height = 0;
    ASSERT_EQ(frame->get_size(width, height), ps::s_ok);
    EXPECT_EQ(width, 64u);
    EXPECT_EQ(height, 48u);
    std::unique_ptr<im::query_reader> reader;
    ASSERT_EQ(frame->get_metadata_query_reader(reader), ps::s_ok);
    ps::property_value value;
    EXPECT_EQ(reader->get_metadata_by_name(L"/app1/ifd/{ushort=274}", value), ps::s_ok);
    EXPECT_EQ(value, ps::property_value::make_ui4(6));
    EXPECT_EQ(reader->get_metadata_by_name(L"/app1/{ushort=0}/{ushort=274}", value), ps::s_ok);
    EXPECT_EQ(value, ps::property_value::make_ui4(6));
    // TIFF paths do not exist in a JPEG.
    EXPECT_EQ(reader->get_metadata_by_name(L"/ifd/{ushort=274}", value), im::wincodec_err_propertynotfound);
    EXPECT_EQ(reader->get_metadata_by_name(L"/xmp/xmp:Rating", value), im::wincodec_err_propertynotfound);
    // A reader cannot become a writer; a JPEG has no container-level metadata.
    std::unique_ptr<im::fast_metadata_encoder> encoder;
    EXPECT_EQ(factory->create_fast_metadata_encoder_from_frame(*frame, encoder), ps::e_accessdenied);
    decoder.reset();

    EXPECT_EQ(write(path, L"/xmp/xmp:Rating", ps::property_value::make_ui4(4)), std::make_pair(ps::s_ok, ps::s_ok));
    EXPECT_EQ(write(path, L"/xmp/dc:subject", ps::property_value::make_strings({L"b\u00e9", L"a"})),
              std::make_pair(ps::s_ok, ps::s_ok));
    EXPECT_EQ(write(path, L"/{ushort=700}/xmp:Rating", ps::property_value::make_ui4(2)).first,
              im::wincodec_err_propertynotfound);
    EXPECT_EQ(write(path, L"/xmp/nosuchprefix:Rating", ps::property_value::make_ui4(2)).first,
              im::wincodec_err_propertynotfound);
    EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "4");
    EXPECT_EQ(exiftool_value(path, "-XMP-dc:Subject"), "b\xC3\xA9, a");
    EXPECT_EQ(exiftool_value(path, "-Orientation"), "6");
    EXPECT_EQ(run_tool("convert " + shell_quote(path) + " -depth 8 rgb:- | md5sum"), pixels_before);

    ASSERT_EQ(factory->create_decoder_from_filename(path, im::file_access::read_write, decoder), ps::s_ok);
    EXPECT_EQ(factory->create_fast_metadata_encoder_from_decoder(*decoder, encoder),
              im::wincodec_err_unsupportedoperation);
    // The writer holds the file against other writers until it is released.
    std::unique_ptr<im::decoder> second;
    EXPECT_EQ(factory->create_decoder_from_filename(path, im::file_access::read_write, second),
              ps::from_win32(32));
    platform::file_system::exclusive_file other;
    EXPECT_EQ(other.open(path), 32u);
    decoder.reset();
    EXPECT_EQ(other.open(path), 0u);
}

TEST_F(imaging, tiff_takes_xmp_through_the_ifd_at_frame_and_decoder_level) {
    const std::wstring path = qlm::testing::make_image(folder / L"a.tif");
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(write(path, L"/ifd/xmp/xmp:Rating", ps::property_value::make_ui4(3)), std::make_pair(ps::s_ok, ps::s_ok));
    EXPECT_EQ(write(path, L"/xmp/xmp:Rating", ps::property_value::make_ui4(1)).first, im::wincodec_err_propertynotfound);
    EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "3");

    std::unique_ptr<im::decoder> decoder;
    ASSERT_EQ(factory->create_decoder_from_filename(path, im::file_access::read_write, decoder), ps::s_ok);
    std::unique_ptr<im::fast_metadata_encoder> encoder;
    ASSERT_EQ(factory->create_fast_metadata_encoder_from_decoder(*decoder, encoder), ps::s_ok);
    std::unique_ptr<im::query_writer> writer;
    ASSERT_EQ(encoder->get_metadata_query_writer(writer), ps::s_ok);
    EXPECT_EQ(writer->set_metadata_by_name(L"/{ushort=700}/dc:subject", ps::property_value::make_strings({})), ps::s_ok);
    EXPECT_EQ(writer->set_metadata_by_name(L"/ifd/{ushort=274}", ps::property_value::make_ui4(8)), ps::s_ok);
    EXPECT_EQ(encoder->commit(), ps::s_ok);
    decoder.reset();
    EXPECT_EQ(exiftool_value(path, "-IFD0:Orientation"), "8");
    EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "3");
}

TEST_F(imaging, other_formats_and_damaged_files_fail_without_writing) {
    const std::wstring png = qlm::testing::make_image(folder / L"a.png");
    ASSERT_FALSE(png.empty());
    std::unique_ptr<im::decoder> decoder;
    ASSERT_EQ(factory->create_decoder_from_filename(png, im::file_access::read_write, decoder), ps::s_ok);
    std::unique_ptr<im::frame_decode> frame;
    ASSERT_EQ(decoder->get_frame(0, frame), ps::s_ok);
    std::uint32_t width = 0, height = 0;
    EXPECT_EQ(frame->get_size(width, height), ps::s_ok);
    EXPECT_EQ(width, 64u);
    std::unique_ptr<im::fast_metadata_encoder> encoder;
    EXPECT_EQ(factory->create_fast_metadata_encoder_from_frame(*frame, encoder), im::wincodec_err_unsupportedoperation);
    EXPECT_EQ(factory->create_fast_metadata_encoder_from_decoder(*decoder, encoder),
              im::wincodec_err_unsupportedoperation);
    decoder.reset();

    const std::wstring text = folder.write(L"notes.jpg", "plain text, not an image");
    EXPECT_EQ(factory->create_decoder_from_filename(text, im::file_access::read_write, decoder),
              im::wincodec_err_componentnotfound);
    EXPECT_EQ(factory->create_decoder_from_filename(folder / L"missing.jpg", im::file_access::read, decoder),
              ps::from_win32(2));

    // A JPEG cut short in its EXIF segment: an error, never a crash or a write.
    const std::string whole = read_bytes(qlm::testing::make_image(folder / L"b.jpg", "-set comment hello"));
    for (const std::size_t cut : {std::size_t{3}, std::size_t{25}, whole.size() / 2}) {
        const std::string bytes = whole.substr(0, cut);
        const std::wstring damaged = folder.write(L"cut.jpg", bytes);
        if (ps::failed(factory->create_decoder_from_filename(damaged, im::file_access::read_write, decoder))) continue;
        ASSERT_EQ(decoder->get_frame(0, frame), ps::s_ok);
        if (!ps::failed(factory->create_fast_metadata_encoder_from_frame(*frame, encoder))) {
            std::unique_ptr<im::query_writer> writer;
            ASSERT_EQ(encoder->get_metadata_query_writer(writer), ps::s_ok);
            if (!ps::failed(writer->set_metadata_by_name(L"/xmp/xmp:Rating", ps::property_value::make_ui4(1)))) {
                const ps::hresult committed = encoder->commit();
                if (ps::failed(committed)) {
                    EXPECT_EQ(read_bytes(damaged), bytes) << cut;
                }
            }
        }
        decoder.reset();
    }
}

TEST_F(imaging, chain_falls_to_the_real_imaging_link_when_the_handler_refuses) {
    // A JPEG and a TIFF take the values at frame level; a PNG has no fast
    // encoder at either level, so the values go on to the property set.
    for (const wchar_t* name : {L"chain.jpg", L"chain.tif", L"chain.png"}) {
        const std::wstring path = qlm::testing::make_image(folder / name);
        ASSERT_FALSE(path.empty());
        const std::string before = read_bytes(path);
        const bool embedded = std::wstring_view(name) != L"chain.png";
        qlm::testing::fake_store_access access;
        access.attributes[path] = platform::file_system::attribute_normal;
        access.imaging_factory = [](std::unique_ptr<im::factory>& out) { return im::create_factory(out); };
        qlm::metadata::metadata_handle handle(access);
        ASSERT_TRUE(handle.open_for_writing(path));
        access.set_value_results = {ps::wincodec_err_propertynotsupported};
        qlm::metadata::set_rating(handle, 3);
        if (embedded) {
            access.set_value_results = {ps::wincodec_err_propertynotsupported};
            qlm::metadata::set_tags(handle, {L"zebra", L"Apple"});
            EXPECT_EQ(exiftool_value(path, "-XMP-xmp:Rating"), "3");
            EXPECT_EQ(exiftool_value(path, "-XMP-dc:Subject"), "Apple, zebra");
            EXPECT_TRUE(access.property_sets[path].empty());
        } else {
            EXPECT_EQ(read_bytes(path), before);
            EXPECT_EQ(access.property_sets[path].size(), 1u);
        }
        EXPECT_FALSE(platform::file_system::exists(path + L".xmp"));
    }
}

}  // namespace
