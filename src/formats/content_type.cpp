#include "formats/content_type.h"

#include <array>
#include "formats/file_extension.h"

namespace formats {
namespace {

bool starts_with(std::string_view data, std::string_view prefix) {
    return data.size() >= prefix.size() && data.substr(0, prefix.size()) == prefix;
}

bool at(std::string_view data, std::size_t offset, std::string_view text) {
    return data.size() >= offset + text.size() && data.substr(offset, text.size()) == text;
}

// Raw formats that are plain TIFF on the inside: only the name tells them
// apart, and Exiv2's writers for them are not ones we want to run.
bool is_tiff_raw_extension(const std::string& extension) {
    static constexpr std::array<std::string_view, 16> raws = {"arw", "sr2", "srf", "cr2", "nef", "nrw", "dng", "pef",
                                                              "srw", "3fr", "erf", "kdc", "mos", "iiq", "rwl", "dcr"};
    for (const auto raw : raws) {
        if (extension == raw) return true;
    }
    return false;
}

content_type iso_media_type(std::string_view head) {
    // The major brand follows "ftyp"; still-image brands are HEIF's.
    const std::string_view brand = head.size() >= 12 ? head.substr(8, 4) : std::string_view{};
    for (const std::string_view still : {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1", "avif", "avis"}) {
        if (brand == still) return content_type::heif;
    }
    if (brand == "crx ") return content_type::camera_raw;
    return content_type::video;
}

}  // namespace

content_type sniff_content_type(std::string_view head, const std::string& path) {
    if (starts_with(head, "\xFF\xD8\xFF")) return content_type::jpeg;
    if (starts_with(head, "\x89PNG\r\n\x1A\n")) return content_type::png;
    if (starts_with(head, "IIRO") || starts_with(head, "IIRS") || starts_with(head, "MMOR") ||
        starts_with(head, std::string_view("IIU\0", 4)) || starts_with(head, "FUJIFILMCCD-RAW") ||
        starts_with(head, std::string_view("\0MRM", 4)) || at(head, 6, "HEAPCCDR") || starts_with(head, "FOVb")) {
        return content_type::camera_raw;
    }
    if (starts_with(head, std::string_view("II*\0", 4)) || starts_with(head, std::string_view("MM\0*", 4))) {
        if (at(head, 8, "CR") || is_tiff_raw_extension(formats::lower_extension(path))) return content_type::camera_raw;
        return content_type::tiff;
    }
    if (starts_with(head, "RIFF") && head.size() >= 12) {
        if (at(head, 8, "WEBP")) return content_type::webp;
        if (at(head, 8, "AVI ")) return content_type::video;
        return content_type::unknown;
    }
    if (starts_with(head, "%!PS") || starts_with(head, "\xC5\xD0\xD3\xC6")) return content_type::postscript;
    if (starts_with(head, "%PDF")) return content_type::pdf;
    if (starts_with(head, "GIF87a") || starts_with(head, "GIF89a")) return content_type::gif;
    if (starts_with(head, "BM") && head.size() >= 14) return content_type::bmp;
    if (at(head, 4, "ftyp")) return iso_media_type(head);
    for (const std::string_view box : {"moov", "mdat", "wide", "free", "skip", "pnot"}) {
        if (at(head, 4, box)) return content_type::video;
    }
    if (starts_with(head, "\x1A\x45\xDF\xA3") || starts_with(head, std::string_view("\0\0\1\xBA", 4)) ||
        starts_with(head, std::string_view("\0\0\1\xB3", 4)) || starts_with(head, "FLV\x01") ||
        starts_with(head, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")) {
        return content_type::video;
    }
    if (starts_with(head, std::string_view("\0\0\0\x0CjP  \r\n\x87\n", 12)) ||
        starts_with(head, std::string_view("\xFF\x4F\xFF\x51", 4)) || starts_with(head, "\xFF\x0A") ||
        starts_with(head, std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12)) || starts_with(head, "8BPS") ||
        starts_with(head, std::string_view("\0\0\1\0", 4)) || starts_with(head, std::string_view("II+\0", 4)) ||
        starts_with(head, std::string_view("MM\0+", 4))) {
        return content_type::other_image;
    }
    return content_type::unknown;
}

bool has_metadata_handler(content_type type) {
    return type == content_type::jpeg || type == content_type::png || type == content_type::tiff ||
           type == content_type::webp;
}

const wchar_t* content_type_name(content_type type) {
    switch (type) {
    case content_type::jpeg: return L"JPEG";
    case content_type::png: return L"PNG";
    case content_type::tiff: return L"TIFF";
    case content_type::webp: return L"WebP";
    case content_type::camera_raw: return L"camera raw";
    case content_type::postscript: return L"EPS/PostScript";
    case content_type::pdf: return L"PDF";
    case content_type::gif: return L"GIF";
    case content_type::bmp: return L"BMP";
    case content_type::heif: return L"HEIF";
    case content_type::video: return L"video";
    case content_type::other_image: return L"image without a metadata writer";
    case content_type::unknown: break;
    }
    return L"unknown";
}

}  // namespace formats
