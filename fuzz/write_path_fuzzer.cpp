// The whole embedded write path on arbitrary files: the bytes become a file
// whose name takes one of the image extensions (chosen by the first byte; a
// third bit of it pads the file past the size from which a JPEG's rest is
// copied file to file), the image handler opens it for writing, sets
// keywords, rating, comment and title, commits, and the result is read
// back; the imaging component's embedded link does the same. Whatever the
// content, a commit must either keep the image data or leave the file as it
// was.

#include "formats/content_type.h"
#include "formats/image_data_check.h"
#include "platform/imaging.h"
#include "platform/posix/imaging/rewrite_source.h"
#include "platform/property_store.h"
#include "platform/text.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include <unistd.h>

namespace {

namespace ps = platform::property_store;
namespace px = platform::posix;

std::string scratch_folder() {
    static const std::string folder = [] {
        char name[] = "/tmp/qlm-write-fuzz-XXXXXX";
        if (::mkdtemp(name) == nullptr) std::abort();
        return std::string(name);
    }();
    return folder;
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void check_kept(const std::string& path, const std::string& before) {
    const std::string after = slurp(path);
    if (after == before) return;
    const auto type = formats::sniff_content_type(before, path);
    std::wstring why;
    const auto old_image = formats::image_data_of(type, before, why);
    const auto new_image = formats::image_data_of(type, after, why);
    // A rewritten file keeps the image data it had.
    if (!old_image || !new_image || *old_image != *new_image) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    static const char* const extensions[] = {".jpg", ".png", ".tif", ".webp"};
    const std::string path = scratch_folder() + "/target" + extensions[data[0] % 4];
    std::string before(reinterpret_cast<const char*>(data) + 1, size - 1);
    // A third bit of the first byte makes the file large enough that a JPEG
    // is held only up to its first scan and its rest copied file to file.
    if ((data[0] & 4) != 0) before.append(px::split_rewrite_size, '\0');
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << before;
    }
    const std::wstring wide = platform::text::from_utf8(path);

    std::unique_ptr<ps::store> store;
    if (!ps::failed(ps::open_handler_store(wide, ps::gps_read_write, store)) && store) {
        store->set_value(ps::key_keywords, ps::property_value::make_strings({L"Fuzz", L"\u00e9t\u00e9"}));
        store->set_value(ps::key_rating, ps::property_value::make_ui4(75));
        store->set_value(ps::key_comment, ps::property_value::make_lpwstr(L"a comment"));
        store->set_value(ps::key_title, ps::property_value::make_lpwstr(L"a title"));
        store->commit();
        store.reset();
        check_kept(path, before);
    }
    const std::string middle = slurp(path);
    if (!ps::failed(ps::open_handler_store(wide, ps::gps_default, store)) && store) {
        ps::property_value value;
        store->get_value(ps::key_keywords, value);
        store->get_value(ps::key_rating, value);
        store->get_value(ps::key_comment, value);
        store.reset();
    }

    std::unique_ptr<platform::imaging::factory> factory;
    platform::imaging::create_factory(factory);
    std::unique_ptr<platform::imaging::decoder> decoder;
    if (!ps::failed(factory->create_decoder_from_filename(wide, platform::imaging::file_access::read_write, decoder))) {
        std::unique_ptr<platform::imaging::frame_decode> frame;
        std::unique_ptr<platform::imaging::fast_metadata_encoder> encoder;
        std::unique_ptr<platform::imaging::query_writer> writer;
        if (!ps::failed(decoder->get_frame(0, frame)) &&
            !ps::failed(factory->create_fast_metadata_encoder_from_frame(*frame, encoder)) &&
            !ps::failed(encoder->get_metadata_query_writer(writer))) {
            writer->set_metadata_by_name(L"/xmp/xmp:Rating", ps::property_value::make_ui4(2));
            encoder->commit();
        }
        encoder.reset();
        if (!ps::failed(factory->create_fast_metadata_encoder_from_decoder(*decoder, encoder)) &&
            !ps::failed(encoder->get_metadata_query_writer(writer))) {
            writer->set_metadata_by_name(L"/ifd/xmp/dc:subject", ps::property_value::make_strings({L"x"}));
            encoder->commit();
        }
    }
    decoder.reset();
    check_kept(path, middle);
    ::unlink(path.c_str());
    return 0;
}
