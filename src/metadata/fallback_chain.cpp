#include "metadata/fallback_chain.h"

#include "logging/log.h"
#include "metadata/jpeg_segments.h"
#include "metadata/xmp_namespaces.h"
#include "metadata/xmp_sidecar.h"
#include "platform/file_system.h"
#include "platform/imaging.h"
#include "platform/mapped_file.h"
#include "platform/text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace qlm::metadata {

namespace ps = platform::property_store;
namespace imaging = platform::imaging;

namespace {

constexpr std::uint64_t largest_packet_file = 300ull * 1024 * 1024;
constexpr std::size_t thumbnail_search_bytes = 256 * 1024;

constexpr std::array<const wchar_t*, 2> rating_first_pass{L"/xmp/xmp:Rating", L"/{ushort=700}/xmp:Rating"};
constexpr std::array<const wchar_t*, 3> rating_second_pass{L"/ifd/xmp/xmp:Rating", L"/{ushort=700}/xmp:Rating",
                                                           L"/xmp/xmp:Rating"};
constexpr std::array<const wchar_t*, 2> keywords_first_pass{L"/xmp/dc:subject", L"/{ushort=700}/dc:subject"};
constexpr std::array<const wchar_t*, 3> keywords_second_pass{L"/ifd/xmp/dc:subject", L"/{ushort=700}/dc:subject",
                                                             L"/xmp/dc:subject"};

// Sets the value at each path in turn and commits after the first set that
// takes; a failed commit moves on to the next path.
template <std::size_t N>
bool set_and_commit(imaging::fast_metadata_encoder& encoder, const std::array<const wchar_t*, N>& paths,
                    const ps::property_value& value) {
    std::unique_ptr<imaging::query_writer> writer;
    if (ps::failed(encoder.get_metadata_query_writer(writer)) || !writer) return false;
    for (const wchar_t* path : paths) {
        if (!ps::failed(writer->set_metadata_by_name(path, value)) && !ps::failed(encoder.commit())) return true;
    }
    return false;
}

template <std::size_t First, std::size_t Second>
bool write_embedded(const std::wstring& path, const ps::property_value& value,
                    const std::array<const wchar_t*, First>& first_pass,
                    const std::array<const wchar_t*, Second>& second_pass, const store_access& access) {
    if (path.empty()) return false;
    std::unique_ptr<imaging::factory> factory;
    if (ps::failed(access.create_imaging_factory(factory)) || !factory) return false;
    std::unique_ptr<imaging::decoder> decoder;
    if (ps::failed(factory->create_decoder_from_filename(path, imaging::file_access::read_write, decoder)) ||
        !decoder) {
        return false;
    }
    {
        std::unique_ptr<imaging::frame_decode> frame;
        std::unique_ptr<imaging::fast_metadata_encoder> encoder;
        if (!ps::failed(decoder->get_frame(0, frame)) && frame &&
            !ps::failed(factory->create_fast_metadata_encoder_from_frame(*frame, encoder)) && encoder &&
            set_and_commit(*encoder, first_pass, value)) {
            return true;
        }
    }
    std::unique_ptr<imaging::fast_metadata_encoder> encoder;
    return !ps::failed(factory->create_fast_metadata_encoder_from_decoder(*decoder, encoder)) && encoder &&
           set_and_commit(*encoder, second_pass, value);
}

// The handler of the file's type keeps its metadata in a sidecar (raw
// camera files on Linux); it is never patched in place or beside.
bool keeps_sidecar(const std::wstring& path) { return !platform::property_store::handler_sidecar(path).empty(); }

// Ascending, case-insensitively, unit by unit after lower-casing; a prefix
// sorts first. Duplicates stay.
std::vector<std::wstring> sorted_tags(const std::vector<std::wstring>& tags) {
    std::vector<std::pair<std::wstring, std::wstring>> keyed;
    keyed.reserve(tags.size());
    for (const auto& tag : tags) keyed.emplace_back(platform::text::to_lower_invariant(tag), tag);
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::wstring> sorted;
    sorted.reserve(keyed.size());
    for (auto& entry : keyed) sorted.push_back(std::move(entry.second));
    return sorted;
}

// Handler store refused: the later links of the keyword chain. `warning`
// names what was written, `failure` is the message when nothing took it.
void keywords_after_handler(metadata_handle& handle, const std::vector<std::wstring>& tags,
                            const ps::property_value& value, const wchar_t* what, const char* failure) {
    const std::wstring path = handle.path();
    const store_access& access = handle.access();
    // A handler that keeps a sidecar refused it (a sidecar that does not
    // parse): no other place may take what the sidecar would not.
    if (keeps_sidecar(path)) throw std::runtime_error(failure);
    if (write_embedded_keywords(path, tags, access)) return;
    // The property set wants the file to itself.
    if (handle.mode() == 2) handle.close();
    if (write_property_set_value(path, ps::key_keywords, value, access)) return;
    log_warning(L"Embedded and NTFS write paths failed for {}, falling back to XMP sidecar: {}", what, path);
    if (!write_sidecar_keywords(path, tags)) throw std::runtime_error(failure);
}

std::size_t replace_value(std::string& packet, std::size_t start, std::size_t stop, const std::string& value) {
    const std::size_t old_length = stop - start;
    packet.replace(start, old_length, value + std::string(old_length - value.size(), ' '));
    return packet.size();
}

}  // namespace

void set_rating(metadata_handle& handle, std::uint32_t stars) {
    const ps::property_value value = ps::property_value::make_ui4(stars_to_rating(stars));
    if (!ps::failed(handle.set_value(ps::key_rating, value))) return;
    const std::wstring path = handle.path();
    const store_access& access = handle.access();
    if (keeps_sidecar(path)) throw std::runtime_error("Failed to set rating");
    if (write_embedded_rating(path, stars, access)) return;
    if (rewrite_packet_rating(path, stars)) return;
    if (handle.mode() == 2) handle.close();
    if (write_property_set_value(path, ps::key_rating, value, access)) return;
    log_warning(L"Embedded and NTFS write paths failed for rating, falling back to XMP sidecar: {}", path);
    if (!write_sidecar_rating(path, static_cast<int>(stars))) throw std::runtime_error("Failed to set rating");
}

void set_tags(metadata_handle& handle, const std::vector<std::wstring>& tags) {
    std::vector<std::wstring> sorted;
    ps::property_value value;
    try {
        sorted = sorted_tags(tags);
        value = ps::property_value::make_strings(sorted);
    } catch (const std::bad_alloc&) {
        throw std::runtime_error("Failed to allocate memory for tags");
    }
    if (!ps::failed(handle.set_value(ps::key_keywords, value))) return;
    keywords_after_handler(handle, sorted, value, L"keywords", "Failed to set tags");
}

void remove_all_tags(metadata_handle& handle) {
    const ps::property_value value = ps::property_value::make_strings({});
    if (!ps::failed(handle.set_value(ps::key_keywords, value))) return;
    keywords_after_handler(handle, {}, value, L"removing keywords", "Failed to remove all tags");
}

bool write_embedded_rating(const std::wstring& path, std::uint32_t stars, const store_access& access) {
    // The embedded XMP keeps stars, not the property system's 0-99 value.
    return write_embedded(path, ps::property_value::make_ui4(stars), rating_first_pass, rating_second_pass, access);
}

bool write_embedded_keywords(const std::wstring& path, const std::vector<std::wstring>& tags,
                             const store_access& access) {
    try {
        return write_embedded(path, ps::property_value::make_strings(tags), keywords_first_pass,
                              keywords_second_pass, access);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

std::optional<packet_span> find_xmp_packet(std::string_view data) {
    const std::size_t begin = data.find("<?xpacket begin=");
    if (begin == std::string_view::npos) return std::nullopt;
    const std::size_t end = data.find("<?xpacket end=", begin);
    if (end == std::string_view::npos) return std::nullopt;
    const std::size_t close = data.find("?>", end);
    if (close == std::string_view::npos) return std::nullopt;
    return packet_span{begin, close + 2 - begin};
}

bool edit_packet_rating(std::string& packet, std::uint32_t stars) {
    const std::string value = std::to_string(stars);
    const std::size_t length = packet.size();

    constexpr std::string_view element = "<xmp:Rating>";
    if (const std::size_t at = packet.find(element); at != std::string::npos) {
        const std::size_t start = at + element.size();
        const std::size_t stop = packet.find('<', start);
        // A value we cannot replace must not pass for a written one.
        if (stop == std::string::npos || stop - start < value.size()) return false;
        return replace_value(packet, start, stop, value) == length;
    }
    constexpr std::string_view attribute = "xmp:Rating=\"";
    if (const std::size_t at = packet.find(attribute); at != std::string::npos) {
        const std::size_t start = at + attribute.size();
        const std::size_t stop = packet.find('"', start);
        if (stop == std::string::npos || stop - start < value.size()) return false;
        return replace_value(packet, start, stop, value) == length;
    }

    constexpr std::string_view meta_close = "</x:xmpmeta>";
    const std::size_t meta_end = packet.find(meta_close);
    const std::size_t trailer = packet.find("<?xpacket end=");
    if (meta_end == std::string::npos || trailer == std::string::npos || meta_end > trailer) return false;
    const std::size_t rdf_end = packet.rfind("</rdf:RDF>", meta_end);
    if (rdf_end == std::string::npos) return false;
    const std::string insertion = "<rdf:Description rdf:about=\"\" xmlns:xmp=\"" + std::string(xmp::basic_namespace) +
                                  "\"><xmp:Rating>" + value + "</xmp:Rating></rdf:Description>";
    const std::size_t padding = trailer - (meta_end + meta_close.size());
    if (padding < insertion.size()) return false;
    packet.insert(rdf_end, insertion);
    packet.erase(meta_end + insertion.size() + meta_close.size(), insertion.size());
    return packet.size() == length;
}

bool rewrite_packet_rating(const std::wstring& path, std::uint32_t stars) {
    if (path.empty()) return false;
    if (keeps_sidecar(path)) return false;
    platform::file_system::exclusive_file file;
    if (file.open(path) != 0) return false;
    const auto size = file.size();
    if (!size || *size > largest_packet_file) return false;
    std::string data(static_cast<std::size_t>(*size), '\0');
    if (file.read_at(0, data.data(), data.size()) != data.size()) return false;
    const auto span = find_xmp_packet(data);
    if (!span) return false;
    std::string packet = data.substr(span->offset, span->length);
    if (!edit_packet_rating(packet, stars) || packet.size() != span->length) return false;
    return file.write_at(span->offset, packet.data(), packet.size()) == packet.size();
}

std::optional<std::size_t> exif_thumbnail_link_offset(std::string_view head) {
    std::optional<jpeg_segment> exif;
    walk_jpeg_segments(head, [&](const jpeg_segment& segment) {
        if (segment.marker == 0xE1 && segment.length >= 16 &&
            head.substr(segment.payload(), 6) == std::string_view("Exif\0\0", 6)) {
            exif = segment;
            return false;
        }
        return true;
    });
    if (!exif) return std::nullopt;
    const auto byte = [&](std::size_t at) { return static_cast<std::uint32_t>(static_cast<std::uint8_t>(head[at])); };
    const std::size_t tiff = exif->payload() + 6;
    const std::size_t end = exif->end();
    if (tiff + 8 > end) return std::nullopt;
    const bool little = head[tiff] == 'I' && head[tiff + 1] == 'I';
    if (!little && !(head[tiff] == 'M' && head[tiff + 1] == 'M')) return std::nullopt;
    const auto u16 = [&](std::size_t at) { return little ? byte(at) | byte(at + 1) << 8 : byte(at) << 8 | byte(at + 1); };
    const auto u32 = [&](std::size_t at) {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(tiff + 2) != 42) return std::nullopt;
    const std::uint64_t ifd = static_cast<std::uint64_t>(tiff) + u32(tiff + 4);
    if (ifd + 2 > end) return std::nullopt;
    const std::uint64_t link = ifd + 2 + 12ull * u16(static_cast<std::size_t>(ifd));
    if (link + 4 > end) return std::nullopt;
    if (u32(static_cast<std::size_t>(link)) == 0) return std::nullopt;
    return static_cast<std::size_t>(link);
}

bool drop_exif_thumbnail_link(const std::wstring& path) {
    if (!has_jpeg_extension(path)) return false;
    {
        // Most files have no link (or lost it at qlm's first write): a plain
        // read finds that without taking the writer's lock.
        platform::mapped_file view;
        if (!view.open(path, UINT64_MAX)) return false;
        if (!exif_thumbnail_link_offset(view.bytes().substr(0, thumbnail_search_bytes))) return false;
    }
    platform::file_system::exclusive_file file;
    if (file.open(path) != 0) return false;
    const auto size = file.size();
    if (!size) return false;
    std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(*size, thumbnail_search_bytes)), '\0');
    head.resize(file.read_at(0, head.data(), head.size()));
    if (head.size() < 4) return false;
    const auto link = exif_thumbnail_link_offset(head);
    if (!link) return false;
    constexpr char zeros[4] = {0, 0, 0, 0};
    return file.write_at(*link, zeros, sizeof zeros) == sizeof zeros;
}

}  // namespace qlm::metadata
