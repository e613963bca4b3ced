#include "platform/posix/imaging/embedded_write_guard.h"

#include "formats/exif_ifd_editor.h"
#include "formats/image_data_check.h"
#include "formats/iptc_digest.h"
#include "formats/jpeg_extended_xmp.h"
#include "formats/jpeg_segments.h"
#include "formats/microsoft_photo_uri.h"
#include "formats/xmp_subject_scan.h"
#include "logging/log.h"
#include "platform/file_system.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/posix/imaging/exiv2_support.h"
#include "platform/text.h"

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {
namespace {

std::wstring wide(const std::string& text) { return platform::text::from_utf8(text); }

bool decodes(const std::string& packet) {
    if (packet.empty()) return true;
    Exiv2::XmpData data;
    try {
        return Exiv2::XmpParser::decode(data, packet) == 0;
    } catch (const std::exception&) {
        return false;
    }
}

// The IPTC record sets of a JPEG's Photoshop segments, each checked with
// Exiv2's own decoder: one that fails would be rewritten empty.
bool jpeg_iptc_decodes(std::string_view jpeg) {
    constexpr std::string_view photoshop("Photoshop 3.0\0", 14);
    bool decodes = true;
    formats::walk_jpeg_segments(jpeg, [&](const formats::jpeg_segment& segment) {
        const std::string_view payload = jpeg.substr(segment.payload(), segment.length - 2);
        if (segment.marker != 0xED || payload.substr(0, photoshop.size()) != photoshop) return true;
        const auto* data = reinterpret_cast<const Exiv2::byte*>(payload.data() + photoshop.size());
        const auto size = static_cast<long>(payload.size() - photoshop.size());
        const Exiv2::byte* record = nullptr;
        std::uint32_t header_size = 0;
        std::uint32_t data_size = 0;
        try {
            const int found = Exiv2::Photoshop::locateIptcIrb(data, size, &record, &header_size, &data_size);
            if (found < 0) decodes = false;
            if (found == 0 && record != nullptr) {
                Exiv2::IptcData iptc;
                if (Exiv2::IptcParser::decode(iptc, record + header_size, data_size) != 0) decodes = false;
            }
        } catch (const std::exception&) {
            decodes = false;
        }
        return decodes;
    });
    return decodes;
}

std::string extended_guid(Exiv2::Image& image) {
    // By key text: Exiv2 knows the xmpNote prefix only once a packet used it,
    // and an XmpKey of an unknown prefix throws.
    for (const auto& datum : image.xmpData()) {
        if (datum.key() == "Xmp.xmpNote.HasExtendedXMP") return datum.toString();
    }
    return {};
}

// What Exiv2 wrote, with what other programs' validators expect of it
// corrected in place (no byte moves); nullopt when nothing needs it. PNG
// chunks carry checksums, so a PNG keeps Exiv2's spelling.
std::optional<std::string> corrected(formats::content_type type, std::string_view written) {
    std::optional<std::string> out;
    if (type != formats::content_type::png) out = formats::with_microsoft_photo_uri(written);
    if (type == formats::content_type::jpeg) {
        if (auto digest = formats::with_current_iptc_digest(out ? std::string_view(*out) : written))
            out = std::move(digest);
    }
    return out;
}

Exiv2::Image::AutoPtr open_as(formats::content_type type, Exiv2::BasicIo::AutoPtr& io) {
    switch (type) {
        case formats::content_type::jpeg:
            return Exiv2::newJpegInstance(io, false);
        case formats::content_type::png:
            return Exiv2::newPngInstance(io, false);
        case formats::content_type::tiff:
            return Exiv2::newTiffInstance(io, false);
        case formats::content_type::webp:
            return Exiv2::newWebPInstance(io, false);
        default:
            return Exiv2::Image::AutoPtr();
    }
}

}  // namespace

Exiv2::Image::AutoPtr open_image(formats::content_type type, const std::string& path) {
    if (!formats::has_metadata_handler(type)) return Exiv2::Image::AutoPtr();
    Exiv2::BasicIo::AutoPtr io(new Exiv2::FileIo(path));
    return open_as(type, io);
}

Exiv2::Image::AutoPtr open_image(formats::content_type type, const unsigned char* data, std::size_t size) {
    if (!formats::has_metadata_handler(type)) return Exiv2::Image::AutoPtr();
    Exiv2::BasicIo::AutoPtr io(new Exiv2::MemIo(data, static_cast<long>(size)));
    return open_as(type, io);
}

formats::content_type sniff_file(const std::string& path, byte_buffer* head) {
    if (head) head->clear();
    const unique_descriptor descriptor(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!descriptor) return formats::content_type::unknown;
    struct stat info {};
    byte_buffer local;
    byte_buffer& bytes = head ? *head : local;
    if (::fstat(descriptor.get(), &info) == 0 && S_ISREG(info.st_mode)) {
        const auto wanted = head ? std::min<std::uint64_t>(static_cast<std::uint64_t>(info.st_size), head_length)
                                 : formats::content_sniff_length;
        bytes.resize(static_cast<std::size_t>(wanted));
        std::size_t got = 0;
        while (got < bytes.size()) {
            const ssize_t n =
                ::pread(descriptor.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
            if (!head) break;  // the sniff takes what one read gives
        }
        bytes.resize(got);
    }
    if (bytes.empty()) return formats::content_type::unknown;
    return formats::sniff_content_type(view(bytes).substr(0, formats::content_sniff_length), path);
}

formats::content_type sniff_descriptor(int descriptor, const std::string& path) {
    char bytes[formats::content_sniff_length];
    ssize_t got = -1;
    do {
        got = ::pread(descriptor, bytes, sizeof bytes, 0);
    } while (got < 0 && errno == EINTR);
    if (got <= 0) return formats::content_type::unknown;
    return formats::sniff_content_type(std::string_view(bytes, static_cast<std::size_t>(got)), path);
}

bool head_serves_metadata_read(formats::content_type type, std::string_view head, std::uint64_t file_size) {
    if (head.size() == file_size) return true;
    return type == formats::content_type::jpeg && formats::walk_jpeg_segments(head, [](const formats::jpeg_segment&) {
                                                      return true;
                                                  }) == formats::jpeg_walk_end::scan_or_end;
}

void log_refused_write(const std::string& path, const std::wstring& why) {
    qlm::log_warning(L"Embedded metadata write refused for {}: {}", wide(path), why);
}

std::wstring embedded_write_refusal(formats::content_type type, std::string_view content, Exiv2::Image& image) {
    if (!formats::has_metadata_handler(type))
        return std::wstring(L"its content is ") + formats::content_type_name(type);
    std::wstring why;
    if (!formats::image_data_walks(type, content, why)) return why;
    // Exiv2 empties its XMP data when the packet fails to parse; only then
    // is a second parse worth its time. (The packet is asked for only then:
    // while the data holds values, Exiv2 serialises them anew to answer.)
    if (image.xmpData().empty()) {
        if (const std::string& packet = image.xmpPacket(); !packet.empty() && !decodes(packet)) {
            return L"its XMP packet cannot be parsed whole";
        }
    }
    if (type == formats::content_type::jpeg) {
        if (const auto exif = formats::find_jpeg_exif(content);
            exif && !formats::exif_directories_readable(content.substr(exif->block, exif->block_size))) {
            return L"its EXIF directories cannot be read whole";
        }
        if (!jpeg_iptc_decodes(content)) return L"its IPTC record set cannot be parsed whole";
        if (formats::read_extended_xmp(content, {}).present) return L"its XMP continues in extended XMP segments";
    }
    return {};
}

xmp_recovery recover_xmp(formats::content_type type, std::string_view content, const std::string& path,
                         Exiv2::Image& image) {
    xmp_recovery result;
    // Only an empty XmpData can stand for a packet that did not parse, and
    // asking a filled one for its packet would serialise it anew.
    if (image.xmpData().empty()) {
        const std::string& packet = image.xmpPacket();
        if (!packet.empty() && !decodes(packet)) {
            result.damaged = true;
            result.subject = formats::scan_dc_subject(packet);
            return result;
        }
    }
    if (type != formats::content_type::jpeg) return result;
    const std::string guid = extended_guid(image);
    if (guid.empty()) return result;
    std::optional<std::string> read;
    if (content.empty()) {
        read = platform::file_system::read_file(wide(path), nullptr);
        if (!read) return result;
        content = *read;
    }
    const formats::extended_xmp extension = formats::read_extended_xmp(content, guid);
    if (!extension.complete) return result;
    Exiv2::XmpData extra;
    bool parsed = false;
    try {
        parsed = Exiv2::XmpParser::decode(extra, extension.packet) == 0;
    } catch (const std::exception&) {
    }
    if (!parsed) {
        result.damaged = true;
        result.subject = formats::scan_dc_subject(extension.packet);
        return result;
    }
    auto& xmp = image.xmpData();
    for (const auto& datum : extra) {
        if (xmp.findKey(Exiv2::XmpKey(datum.key())) == xmp.end()) xmp.add(datum);
    }
    return result;
}

property_store::hresult replace_keeping_image_data(const std::string& path, formats::content_type type,
                                                   std::string_view original, std::string_view updated,
                                                   const platform::file_system::file_identity& read,
                                                   const platform::file_system::file_tail& tail) {
    const std::wstring why = formats::image_data_difference(type, original, updated);
    if (!why.empty()) {
        log_refused_write(path, why);
        return property_store::wincodec_err_badheader;
    }
    return write_beside_and_replace(path, updated, read, tail);
}

property_store::hresult commit_image(Exiv2::Image& image, const std::string& path, formats::content_type type,
                                     std::string_view original, exif_preserving_write& exif,
                                     const platform::file_system::file_identity& read,
                                     const platform::file_system::file_tail& tail) {
    exif.take_changes(image);
    image.writeMetadata();
    Exiv2::BasicIo& io = image.io();
    const auto size = static_cast<std::size_t>(io.size());
    std::vector<unsigned char> bytes;
    if (auto* memory = dynamic_cast<Exiv2::MemIo*>(&io); memory != nullptr && size > 0) {
        // The written image is in memory: it is checked and written from
        // there, and copied only when its EXIF block is to be edited.
        const Exiv2::byte* data = memory->mmap(false);
        if (data == nullptr) return property_store::e_fail;
        if (!exif.edits_output()) {
            const std::string_view written(reinterpret_cast<const char*>(data), size);
            if (auto patched = corrected(type, written)) {
                return replace_keeping_image_data(path, type, original, *patched, read, tail);
            }
            return replace_keeping_image_data(path, type, original, written, read, tail);
        }
        bytes.assign(data, data + size);
    } else {
        bytes.resize(size);
        io.seek(0, Exiv2::BasicIo::beg);
        if (!bytes.empty() && io.read(bytes.data(), static_cast<long>(size)) != static_cast<long>(size)) {
            return property_store::e_fail;
        }
    }
    std::wstring why;
    auto kept = exif.finish(std::move(bytes), why);
    if (!kept) {
        log_refused_write(path, why);
        return property_store::wincodec_err_badheader;
    }
    const std::string_view written(reinterpret_cast<const char*>(kept->data()), kept->size());
    if (auto patched = corrected(type, written)) {
        return replace_keeping_image_data(path, type, original, *patched, read, tail);
    }
    return replace_keeping_image_data(path, type, original, written, read, tail);
}

}  // namespace platform::posix
