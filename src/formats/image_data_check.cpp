#include "formats/image_data_check.h"

#include "formats/tiff_block.h"

#include <algorithm>
#include <cstdint>
#include <set>
#include <vector>

namespace formats {
namespace {

// The image data as views into the file, in order, so that two files are
// compared without copying what may be megabytes of scan data.
using image_pieces = std::vector<std::string_view>;

std::uint8_t byte_at(std::string_view data, std::size_t at) { return static_cast<std::uint8_t>(data[at]); }

std::uint32_t be32(std::string_view data, std::size_t at) {
    return (static_cast<std::uint32_t>(byte_at(data, at)) << 24) | (static_cast<std::uint32_t>(byte_at(data, at + 1)) << 16) |
           (static_cast<std::uint32_t>(byte_at(data, at + 2)) << 8) | byte_at(data, at + 3);
}

std::uint32_t le32(std::string_view data, std::size_t at) {
    return (static_cast<std::uint32_t>(byte_at(data, at + 3)) << 24) | (static_cast<std::uint32_t>(byte_at(data, at + 2)) << 16) |
           (static_cast<std::uint32_t>(byte_at(data, at + 1)) << 8) | byte_at(data, at);
}

std::optional<image_pieces> jpeg_image_data(std::string_view file, std::wstring& why) {
    if (file.size() < 4 || byte_at(file, 0) != 0xFF || byte_at(file, 1) != 0xD8) {
        why = L"the file does not start with a JPEG start-of-image marker";
        return std::nullopt;
    }
    image_pieces image;
    std::size_t at = 2;
    while (at + 1 < file.size()) {
        if (byte_at(file, at) != 0xFF) {
            why = L"a JPEG marker is missing at byte " + std::to_wstring(at);
            return std::nullopt;
        }
        const std::uint8_t marker = byte_at(file, at + 1);
        if (marker == 0xFF) {
            ++at;
            continue;
        }
        if (marker == 0xDA) {
            image.push_back(file.substr(at));
            return image;
        }
        if (marker == 0xD9 || marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x00) {
            why = L"the JPEG header holds an unexpected marker before its first scan";
            return std::nullopt;
        }
        if (at + 4 > file.size()) break;
        const std::size_t length = (static_cast<std::size_t>(byte_at(file, at + 2)) << 8) | byte_at(file, at + 3);
        if (length < 2 || at + 2 + length > file.size()) {
            why = L"a JPEG segment at byte " + std::to_wstring(at) + L" runs past the end of the file";
            return std::nullopt;
        }
        const bool metadata = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (!metadata) image.push_back(file.substr(at, 2 + length));
        at += 2 + length;
    }
    why = L"the JPEG file has no image scan";
    return std::nullopt;
}

std::optional<image_pieces> png_image_data(std::string_view file, std::wstring& why) {
    if (file.size() < 8 || file.substr(0, 8) != "\x89PNG\r\n\x1A\n") {
        why = L"the file does not start with the PNG signature";
        return std::nullopt;
    }
    image_pieces image;
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = be32(file, at);
        if (length > file.size() - at - 12) break;
        const std::string_view type = file.substr(at + 4, 4);
        const std::size_t end = at + 12 + length;
        // Critical chunks have an upper-case first letter.
        if (type[0] >= 'A' && type[0] <= 'Z') image.push_back(file.substr(at, end - at));
        if (type == "IEND") {
            image.push_back(file.substr(end));
            return image;
        }
        at = end;
    }
    why = L"a PNG chunk runs past the end of the file or IEND is missing";
    return std::nullopt;
}

std::optional<image_pieces> tiff_image_data(std::string_view file, std::wstring& why) {
    const tiff_block tiff(file);
    if (!tiff.valid()) {
        why = L"the file does not start with a TIFF header";
        return std::nullopt;
    }
    image_pieces image;
    std::set<std::uint32_t> seen;
    std::uint32_t offset = tiff.first_ifd();
    while (offset != 0) {
        if (!seen.insert(offset).second || seen.size() > 256) {
            why = L"the TIFF directories form a loop";
            return std::nullopt;
        }
        const auto ifd = tiff.read_ifd(offset);
        if (!ifd) {
            why = L"a TIFF directory at byte " + std::to_wstring(offset) + L" runs past the end of the file";
            return std::nullopt;
        }
        for (const auto& [offsets_tag, counts_tag] : {std::pair{0x111, 0x117}, std::pair{0x144, 0x145}}) {
            const tiff_entry* offsets = nullptr;
            const tiff_entry* counts = nullptr;
            for (const auto& entry : ifd->entries) {
                if (entry.tag == offsets_tag) offsets = &entry;
                if (entry.tag == counts_tag) counts = &entry;
            }
            if (offsets == nullptr && counts == nullptr) continue;
            const auto starts = offsets ? tiff.numbers(*offsets) : std::nullopt;
            const auto sizes = counts ? tiff.numbers(*counts) : std::nullopt;
            if (!starts || !sizes || starts->size() != sizes->size()) {
                why = L"a TIFF directory's strip or tile table cannot be read";
                return std::nullopt;
            }
            for (std::size_t i = 0; i < starts->size(); ++i) {
                if ((*starts)[i] > file.size() || (*sizes)[i] > file.size() - (*starts)[i]) {
                    why = L"a TIFF strip or tile lies past the end of the file";
                    return std::nullopt;
                }
                image.push_back(file.substr((*starts)[i], (*sizes)[i]));
            }
        }
        offset = ifd->next;
    }
    return image;
}

std::optional<image_pieces> webp_image_data(std::string_view file, std::wstring& why) {
    if (file.size() < 12 || file.substr(0, 4) != "RIFF" || file.substr(8, 4) != "WEBP") {
        why = L"the file does not start with a WebP header";
        return std::nullopt;
    }
    image_pieces image;
    std::size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::uint32_t length = le32(file, at + 4);
        const std::size_t padded = static_cast<std::size_t>(length) + (length & 1u);
        if (padded > file.size() - at - 8) {
            // The last chunk may lack its pad byte.
            if (length != file.size() - at - 8) break;
        }
        const std::string_view type = file.substr(at, 4);
        const std::size_t end = std::min(file.size(), at + 8 + padded);
        if (type == "VP8 " || type == "VP8L" || type == "ALPH" || type == "ANIM" || type == "ANMF") {
            image.push_back(file.substr(at, 8 + length));
        }
        at = end;
    }
    if (at != file.size()) {
        why = L"a WebP chunk runs past the end of the file";
        return std::nullopt;
    }
    if (image.empty()) {
        why = L"the WebP file has no image chunk";
        return std::nullopt;
    }
    return image;
}

std::optional<image_pieces> image_pieces_of(content_type type, std::string_view file, std::wstring& why) {
    switch (type) {
    case content_type::jpeg: return jpeg_image_data(file, why);
    case content_type::png: return png_image_data(file, why);
    case content_type::tiff: return tiff_image_data(file, why);
    case content_type::webp: return webp_image_data(file, why);
    default: break;
    }
    why = std::wstring(L"no image data check exists for ") + content_type_name(type) + L" files";
    return std::nullopt;
}

// True when the two piece lists join to the same bytes.
bool same_bytes(const image_pieces& left, const image_pieces& right) {
    std::size_t left_size = 0;
    std::size_t right_size = 0;
    for (const auto piece : left) left_size += piece.size();
    for (const auto piece : right) right_size += piece.size();
    if (left_size != right_size) return false;
    std::size_t i = 0;
    std::size_t j = 0;
    std::string_view a;
    std::string_view b;
    for (;;) {
        while (a.empty() && i < left.size()) a = left[i++];
        while (b.empty() && j < right.size()) b = right[j++];
        if (a.empty() || b.empty()) return a.empty() && b.empty();
        const std::size_t n = std::min(a.size(), b.size());
        if (a.substr(0, n) != b.substr(0, n)) return false;
        a.remove_prefix(n);
        b.remove_prefix(n);
    }
}

}  // namespace

std::optional<std::string> image_data_of(content_type type, std::string_view file, std::wstring& why) {
    const auto pieces = image_pieces_of(type, file, why);
    if (!pieces) return std::nullopt;
    std::string image;
    for (const auto piece : *pieces) image.append(piece);
    return image;
}

bool image_data_walks(content_type type, std::string_view file, std::wstring& why) {
    return image_pieces_of(type, file, why).has_value();
}

std::wstring image_data_difference(content_type type, std::string_view original, std::string_view updated) {
    std::wstring why;
    const auto before = image_pieces_of(type, original, why);
    if (!before) return why;
    const auto after = image_pieces_of(type, updated, why);
    if (!after) return L"the rewritten file cannot be walked: " + why;
    if (!same_bytes(*before, *after)) return L"the rewritten file would not keep the image data byte for byte";
    return {};
}

}  // namespace formats
