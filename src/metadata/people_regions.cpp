#include "metadata/people_regions.h"

#include "metadata/atomic_replace.h"
#include "metadata/file_changed_error.h"
#include "metadata/jpeg_segments.h"
#include "metadata/metadata_handle.h"
#include "metadata/xmp_namespaces.h"
#include "metadata/xmp_sidecar.h"
#include "platform/file_system.h"
#include "platform/imaging.h"
#include "platform/mapped_file.h"
#include "platform/property_store.h"
#include "platform/sync.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <stdexcept>

namespace qlm::metadata {
namespace {

constexpr std::uint64_t largest_photo = 300ull * 1024 * 1024;

constexpr platform::property_store::property_key people_names_key{
    {0xE8309B6E, 0x084C, 0x49B4, {0xB1, 0xFC, 0x90, 0xA8, 0x03, 0x31, 0xB6, 0x38}}, 100};

constexpr std::uint32_t people_mutex_wait_ms = 5000;

// The signature that opens a JPEG's APP1 XMP segment: the XMP basic
// namespace URI and one zero byte.
const std::string& xmp_segment_signature() {
    static const std::string signature = std::string(xmp::basic_namespace) + std::string(1, '\0');
    return signature;
}
constexpr std::size_t largest_segment_length = 65535;

bool write_people_names(const std::wstring& path, const std::vector<people_region>& regions) {
    try {
        return write_property_set_value(path, people_names_key,
                                        platform::property_store::property_value::make_strings(sorted_unique_names(regions)));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool write_region_sidecar(const std::wstring& path, const std::vector<people_region>& regions, pixel_size size) {
    return edit_text_file(sidecar_path(path), [&](const std::string& existing) {
        return merge_region_description(existing, regions, size.width, size.height);
    });
}

// The pixel size the regions are drawn on, turned by the EXIF orientation;
// zero when the photo cannot tell.
pixel_size applied_dimensions(const std::wstring& path) {
    namespace imaging = platform::imaging;
    std::unique_ptr<imaging::factory> factory;
    std::unique_ptr<imaging::decoder> decoder;
    std::unique_ptr<imaging::frame_decode> frame;
    std::uint32_t width = 0, height = 0;
    if (platform::property_store::failed(imaging::create_factory(factory)) ||
        platform::property_store::failed(factory->create_decoder_from_filename(path, imaging::file_access::read, decoder)) ||
        platform::property_store::failed(decoder->get_frame(0, frame)) ||
        platform::property_store::failed(frame->get_size(width, height))) {
        return {};
    }
    std::uint32_t orientation = 1;
    std::unique_ptr<imaging::query_reader> reader;
    if (!platform::property_store::failed(frame->get_metadata_query_reader(reader))) {
        for (const wchar_t* query : {L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}", L"/app1/{ushort=0}/{ushort=274}"}) {
            platform::property_store::property_value value;
            if (platform::property_store::failed(reader->get_metadata_by_name(query, value))) continue;
            if (value.type == platform::property_store::value_type::ui4) orientation = value.ui4;
            break;
        }
    }
    return oriented_size(width, height, orientation);
}

// The photo with its XMP segment rebuilt around the regions, or nullopt when
// the JPEG route does not apply (not a JPEG, damaged before the XMP segment
// or the scan, segment too long).
std::optional<std::string> jpeg_with_regions(std::string_view data, const std::vector<people_region>& regions,
                                             pixel_size size) {
    const std::string& signature = xmp_segment_signature();
    std::optional<jpeg_segment> xmp_segment;
    std::size_t insertion = 2;
    bool leading = true;
    const auto walk = walk_jpeg_segments(data, [&](const jpeg_segment& segment) {
        if (segment.marker == 0xE1 && segment.length >= 31 && data.substr(segment.payload(), 29) == signature) {
            xmp_segment = segment;
            return false;
        }
        const bool app_or_comment = (segment.marker >= 0xE0 && segment.marker <= 0xEF) || segment.marker == 0xFE;
        if (leading && app_or_comment) insertion = segment.end();
        else leading = false;
        return true;
    });
    // A damaged or cut-off head is not rebuilt: the sidecar takes the regions.
    if (walk != jpeg_walk_end::visitor_stopped && walk != jpeg_walk_end::scan_or_end) return std::nullopt;
    const std::string_view old_packet =
        xmp_segment ? data.substr(xmp_segment->payload() + 29, xmp_segment->end() - xmp_segment->payload() - 29)
                    : std::string_view();
    const std::string packet = merge_region_description(old_packet, regions, size.width, size.height);
    const std::size_t length = packet.size() + 2 + signature.size();
    if (length > largest_segment_length) return std::nullopt;
    std::string segment = "\xFF\xE1";
    segment.push_back(static_cast<char>(length >> 8));
    segment.push_back(static_cast<char>(length & 0xFF));
    segment += signature;
    segment += packet;
    const std::size_t cut_from = xmp_segment ? xmp_segment->offset : insertion;
    const std::size_t cut_to = xmp_segment ? xmp_segment->end() : insertion;
    std::string out;
    out.reserve(data.size() + segment.size());
    out.append(data.substr(0, cut_from));
    out += segment;
    out.append(data.substr(cut_to));
    return out;
}

}  // namespace

namespace {

// Both vocabularies' regions, united by name: Windows' first, then the MWG
// faces naming someone Windows' do not (other programs write one or both).
bool parse_both_region_kinds(std::string_view text, std::vector<people_region>& regions) {
    // Both vocabularies' start tags hold this word; most photos name nobody,
    // and one pass over them is cheaper than a search for each tag.
    if (text.find("Region") == std::string_view::npos) return false;
    const bool windows = parse_region_info(text, regions);
    std::vector<people_region> mwg;
    if (!parse_mwg_regions(text, mwg)) return windows;
    for (auto& region : mwg) {
        const bool named = std::any_of(regions.begin(), regions.end(),
                                       [&](const people_region& other) { return other.name == region.name; });
        if (!named) regions.push_back(std::move(region));
    }
    return windows || !regions.empty();
}

}  // namespace

std::vector<people_region> read_people_regions(const std::wstring& path, std::optional<std::string_view> content) {
    std::vector<people_region> regions;
    if (path.empty()) return regions;
    // A mapping instead of a copy: info reads every target, and photos are large.
    // A raw file is not scanned: its editors keep the regions in its sidecar,
    // and its image data would be read whole for nothing.
    const bool raw = !platform::property_store::handler_sidecar(path).empty();
    platform::mapped_file photo;
    if (!raw && content) {
        if (parse_both_region_kinds(*content, regions)) return regions;
    } else if (!raw && photo.open(path, largest_photo)) {
        if (parse_both_region_kinds(photo.bytes(), regions)) return regions;
    }
    regions.clear();
    std::vector<std::wstring> names;
    if (read_property_set_strings(path, people_names_key, names)) {
        for (auto& name : names) regions.push_back({std::move(name), 0, 0, 0, 0});
        return regions;
    }
    const std::string sidecar = read_text_file(sidecar_path(path));
    if (!sidecar.empty() && parse_both_region_kinds(sidecar, regions) && !regions.empty()) return regions;
    return {};
}

bool write_people_regions(const std::wstring& path, const std::vector<people_region>& regions) {
    namespace fs = platform::file_system;
    const std::wstring absolute = path.empty() ? path : fs::full_path(path).value_or(path);
    platform::sync::named_mutex mutex(people_mutex_name(absolute));
    if (!mutex.valid()) throw std::runtime_error("Failed to serialize people update");
    if (!platform::sync::owns(mutex.wait(people_mutex_wait_ms))) throw std::runtime_error("People update busy");
    if (path.empty()) throw std::runtime_error("Failed to set people regions: no file path");

    std::vector<std::wstring> names;
    std::optional<std::vector<std::wstring>> stored_names;
    if (read_property_set_strings(absolute, people_names_key, names)) stored_names = std::move(names);
    const bool in_sync = names_in_sync(stored_names, regions);

    std::optional<std::string> rebuilt;
    fs::file_identity read;
    pixel_size size;
    {
        // The mapping is let go before the photo is replaced, which is made
        // only over the photo as it was before this read.
        platform::mapped_file photo;
        read = fs::identify_file(absolute);
        if (!photo.open(absolute, largest_photo)) throw std::runtime_error("Failed to read people regions from photo");
        std::vector<people_region> existing;
        if (!parse_region_info(photo.bytes(), existing) &&
            !(parse_mwg_regions(photo.bytes(), existing) && !existing.empty())) {
            existing.clear();
            const std::wstring sidecar = sidecar_path(absolute);
            std::uint32_t error = 0;
            if (fs::get_attributes(sidecar, &error) == fs::invalid_attributes) {
                if (error != platform::win32_error::file_not_found && error != platform::win32_error::path_not_found) {
                    throw std::runtime_error("Failed to inspect people sidecar");
                }
            } else if (!fs::read_file(sidecar)) {
                throw std::runtime_error("Failed to read people regions from sidecar");
            }
            const std::string text = read_text_file(sidecar);
            if (!parse_region_info(text, existing) && !(parse_mwg_regions(text, existing) && !existing.empty())) {
                existing.clear();
                if (stored_names) {
                    for (const auto& name : *stored_names) existing.push_back({name, 0, 0, 0, 0});
                }
            }
        }
        if (same_named_regions(existing, regions) && in_sync) return false;
        size = applied_dimensions(absolute);
        if (has_jpeg_extension(absolute)) rebuilt = jpeg_with_regions(photo.bytes(), regions, size);
    }

    const std::uint32_t replaced = rebuilt ? replace_read_file(absolute, read, rebuilt->data(), rebuilt->size())
                                           : platform::win32_error::invalid_function;
    if (replaced == fs::file_changed) throw file_changed_error();
    if (replaced == platform::win32_error::success) {
        if (!in_sync && !write_people_names(absolute, regions)) {
            throw std::runtime_error("Failed to synchronize people names");
        }
        return true;
    }
    const bool names_written = write_people_names(absolute, regions);
    if (!write_region_sidecar(absolute, regions, size)) {
        throw std::runtime_error(names_written ? "Failed to set portable people regions" : "Failed to set people regions");
    }
    return true;
}

}  // namespace qlm::metadata
