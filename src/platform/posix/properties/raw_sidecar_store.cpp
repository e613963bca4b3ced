#include "platform/posix/properties/raw_sidecar_store.h"

#include "formats/file_extension.h"
#include "formats/xmp_text_edit.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/posix/imaging/exiv2_support.h"
#include "platform/posix/properties/hierarchical_keywords.h"
#include "platform/posix/properties/photo_properties.h"
#include "platform/posix/properties/property_set.h"
#include "platform/posix/properties/staged_values.h"
#include "platform/rating_scale.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <exiv2/exiv2.hpp>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::property_store::posix {
namespace {

using formats::xmp_edit;
using formats::xmp_name;

constexpr formats::xmp_name subject_name{"http://purl.org/dc/elements/1.1/", "dc", "subject"};
constexpr formats::xmp_name description_name{"http://purl.org/dc/elements/1.1/", "dc", "description"};
constexpr formats::xmp_name title_name{"http://purl.org/dc/elements/1.1/", "dc", "title"};
constexpr formats::xmp_name rating_name{"http://ns.adobe.com/xap/1.0/", "xmp", "Rating"};
constexpr formats::xmp_name percent_name{"http://ns.microsoft.com/photo/1.2/", "MicrosoftPhoto", "Rating"};
constexpr formats::xmp_name user_comment_name{"http://ns.adobe.com/exif/1.0/", "exif", "UserComment"};
// A sidecar is text; one larger than this is not a sidecar.
constexpr std::size_t sidecar_limit = 64u << 20;

// The keyword trees a sidecar may hold, which follow its flat list.
struct tree_list {
    std::string_view key;
    formats::xmp_name name;
    formats::xmp_edit::form form;
};
constexpr std::array<tree_list, 2> tree_lists = {{
    {"Xmp.lr.hierarchicalSubject", {"http://ns.adobe.com/lightroom/1.0/", "lr", "hierarchicalSubject"}, xmp_edit::form::bag},
    {"Xmp.digiKam.TagsList", {"http://www.digikam.org/ns/1.0/", "digiKam", "TagsList"}, xmp_edit::form::seq},
}};

std::string utf8(const std::wstring& text) { return platform::text::to_utf8(text); }
std::wstring wide(const std::string& text) { return platform::text::from_utf8(text); }

bool exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Exiv2 keys by text: an XmpKey of a prefix Exiv2 has not met throws.
const Exiv2::Xmpdatum* find(const Exiv2::XmpData& xmp, std::string_view key) {
    for (const auto& datum : xmp) {
        if (datum.key() == key) return &datum;
    }
    return nullptr;
}

using platform::rating_scale::number_of;
using platform::rating_scale::stars_of;
using platform::rating_scale::value_of_stars;

std::optional<std::wstring> lang_alt_default(const Exiv2::XmpData& xmp, std::string_view key) {
    const auto* datum = find(xmp, key);
    if (!datum) return std::nullopt;
    if (const auto* alt = dynamic_cast<const Exiv2::LangAltValue*>(&datum->value())) {
        if (alt->value_.empty()) return std::wstring();
        const auto found = alt->value_.find("x-default");
        return wide(found != alt->value_.end() ? found->second : alt->value_.begin()->second);
    }
    return wide(datum->toString());
}

// One of the four owned properties from one XMP source; empty when that
// source does not hold it.
property_value read_owned(const Exiv2::XmpData& xmp, const property_key& key) {
    if (key == key_keywords) {
        if (const auto* subject = find(xmp, "Xmp.dc.subject")) {
            std::vector<std::wstring> tags;
            for (long i = 0; i < subject->count(); ++i) tags.push_back(wide(subject->toString(i)));
            return property_value::make_strings(std::move(tags));
        }
        if (auto leaves = hierarchy_leaves(xmp); !leaves.empty()) return property_value::make_strings(std::move(leaves));
        return {};
    }
    if (key == key_rating) {
        std::optional<long> stars, percent;
        if (const auto* datum = find(xmp, "Xmp.xmp.Rating")) stars = number_of(datum->toString());
        if (const auto* datum = find(xmp, "Xmp.MicrosoftPhoto.Rating")) percent = number_of(datum->toString());
        if (percent && *percent >= 0 && *percent <= 99 &&
            (!stars || static_cast<long>(stars_of(static_cast<std::uint32_t>(*percent))) == *stars)) {
            return property_value::make_ui4(static_cast<std::uint32_t>(*percent));
        }
        if (stars) return property_value::make_ui4(value_of_stars(*stars));
        return {};
    }
    const bool comment = key == key_comment;
    auto text = lang_alt_default(xmp, comment ? "Xmp.dc.description" : "Xmp.dc.title");
    if (!text && comment) text = lang_alt_default(xmp, "Xmp.exif.UserComment");
    return text ? property_value::make_lpwstr(std::move(*text)) : property_value{};
}

bool is_owned(const property_key& key) {
    return key == key_keywords || key == key_rating || key == key_comment || key == key_title;
}

bool accepts(const property_key& key, const property_value& value) {
    if (value.type == value_type::empty) return true;
    if (key == key_keywords) return value.type == value_type::vector_lpwstr;
    if (key == key_rating) return value.type == value_type::ui4 || value.type == value_type::i4;
    return value.type == value_type::lpwstr || value.type == value_type::bstr;
}

// The raw's parser picked from its first bytes, without Exiv2 asking every
// format it knows: TIFF-based raws, Olympus' and Panasonic's variants.
Exiv2::Image::AutoPtr open_raw(const std::string& path) {
    Exiv2::BasicIo::AutoPtr io(new Exiv2::FileIo(path));
    if (io->open() != 0) return Exiv2::Image::AutoPtr();
    Exiv2::byte head[4] = {};
    const long got = io->read(head, 4);
    io->close();
    if (got != 4) return Exiv2::Image::AutoPtr();
    const std::string_view magic(reinterpret_cast<const char*>(head), 4);
    if (magic == std::string_view("II*\0", 4) || magic == std::string_view("MM\0*", 4)) {
        return Exiv2::newTiffInstance(io, false);
    }
    if (magic == "IIRO" || magic == "IIRS" || magic == "MMOR") return Exiv2::newOrfInstance(io, false);
    if (magic == std::string_view("IIU\0", 4)) return Exiv2::newRw2Instance(io, false);
    return Exiv2::Image::AutoPtr();
}

// Reads exactly `size` bytes at `offset`.
bool read_at(int descriptor, std::uint64_t offset, void* into, std::size_t size) {
    auto* bytes = static_cast<char*>(into);
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(descriptor, bytes + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

// The XMP packet of a TIFF-based raw (tag 700 of IFD0), read with three
// small reads instead of a parse of the whole structure: a raw is large,
// and a read of its tags wants nothing else from it. Empty when there is
// none or the structure does not hold one where it belongs.
std::string embedded_xmp_packet(const std::string& path) {
    constexpr std::size_t largest_packet = 16u << 20;
    const platform::posix::unique_descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!file) return {};
    const int descriptor = file.get();
    unsigned char header[8] = {};
    if (!read_at(descriptor, 0, header, sizeof header)) return {};
    const bool little = header[0] == 'I' && header[1] == 'I';
    if (!little && !(header[0] == 'M' && header[1] == 'M')) return {};
    const auto u16 = [little](const unsigned char* at) {
        return static_cast<std::uint16_t>(little ? at[0] | (at[1] << 8) : (at[0] << 8) | at[1]);
    };
    const auto u32 = [little](const unsigned char* at) {
        return little ? std::uint32_t{at[0]} | (std::uint32_t{at[1]} << 8) | (std::uint32_t{at[2]} << 16) |
                            (std::uint32_t{at[3]} << 24)
                      : (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) |
                            std::uint32_t{at[3]};
    };
    if (u16(header + 2) != 42) return {};
    const std::uint32_t ifd = u32(header + 4);
    unsigned char count_bytes[2] = {};
    if (!read_at(descriptor, ifd, count_bytes, 2)) return {};
    const std::uint16_t count = u16(count_bytes);
    std::vector<unsigned char> entries(std::size_t{count} * 12);
    if (entries.empty() || !read_at(descriptor, std::uint64_t{ifd} + 2, entries.data(), entries.size())) return {};
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* entry = entries.data() + i * 12;
        const std::uint16_t type = u16(entry + 2);
        if (u16(entry) != 700 || (type != 1 && type != 7)) continue;
        const std::uint32_t size = u32(entry + 4);
        if (size <= 4 || size > largest_packet) return {};
        std::string packet(size, '\0');
        if (!read_at(descriptor, u32(entry + 8), packet.data(), packet.size())) return {};
        return packet;
    }
    return {};
}

// The XMP embedded in the raw, read at open; its EXIF only when a photo
// property is asked for. A raw that cannot be read simply has none.
struct embedded_metadata {
    Exiv2::XmpData xmp;
    std::optional<Exiv2::ExifData> exif;
};

embedded_metadata read_embedded(const std::string& path) {
    embedded_metadata found;
    try {
        if (const std::string packet = embedded_xmp_packet(path); !packet.empty()) {
            if (Exiv2::XmpParser::decode(found.xmp, packet) != 0) found.xmp.clear();
            return found;
        }
        // Olympus' and Panasonic's variants, or XMP not where TIFF puts it.
        auto image = open_raw(path);
        if (image.get()) {
            image->readMetadata();
            found.xmp = image->xmpData();
            found.exif = image->exifData();
        }
    } catch (const std::exception&) {
        // Damaged or unknown raw content: nothing embedded to show.
    }
    return found;
}

const Exiv2::ExifData& embedded_exif(const std::string& path, embedded_metadata& embedded) {
    if (!embedded.exif) {
        embedded.exif.emplace();
        try {
            if (auto image = open_raw(path); image.get()) {
                image->readMetadata();
                *embedded.exif = image->exifData();
            }
        } catch (const std::exception&) {
            embedded.exif->clear();
        }
    }
    return *embedded.exif;
}

class raw_store final : public store {
public:
    raw_store(std::string path, std::string sidecar, bool writable, bool pass_through, int lock)
        : path_(std::move(path)), sidecar_(std::move(sidecar)), writable_(writable), pass_through_(pass_through),
          lock_(lock) {
        embedded_ = read_embedded(path_);
        std::uint32_t error = 0;
        // What was read is what a write may replace: a sidecar another
        // program rewrote meanwhile sends the write back to a fresh read.
        if (auto text = platform::file_system::read_file_identified(wide(sidecar_), sidecar_limit, sidecar_read_,
                                                                    &error)) {
            sidecar_exists_ = true;
            sidecar_text_ = std::move(*text);
            sidecar_parsed_ = parses(sidecar_text_, &sidecar_xmp_);
        } else {
            sidecar_parsed_ = error == win32_error::file_not_found || error == win32_error::path_not_found;
        }
    }
    ~raw_store() override { unlock_file(lock_); }
    raw_store(const raw_store&) = delete;
    raw_store& operator=(const raw_store&) = delete;

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        if (is_photo_read_key(key)) {
            try {
                read_photo_property(embedded_exif(path_, embedded_), key, value);
            } catch (const std::exception&) {
                value = property_value{};
            }
            return s_ok;
        }
        if (!is_owned(key)) {
            if (!pass_through_) return s_ok;
            if (const hresult opened = open_pass_through_set(path_, writable_, set_); failed(opened)) {
                return writable_ ? opened : s_ok;
            }
            return set_->get_value(key, value);
        }
        if (const property_value* staged = staged_.find(key)) {
            value = *staged;
            return s_ok;
        }
        value = current(key);
        return s_ok;
    }

    hresult set_value(const property_key& key, const property_value& value) override {
        if (!writable_) return stg_e_accessdenied;
        if (!is_owned(key)) {
            if (const hresult opened = open_pass_through_set(path_, writable_, set_); failed(opened)) return opened;
            return set_->set_value(key, value);
        }
        if (!accepts(key, value)) return wincodec_err_propertynotsupported;
        if (!sidecar_parsed_) return wincodec_err_badheader;
        staged_.stage(key, value);
        return s_ok;
    }

    hresult commit() override {
        if (!writable_) return stg_e_accessdenied;
        return commit_staged(staged_, set_.get(), [this] { return write_sidecar(); });
    }

private:
    static bool parses(const std::string& text, Exiv2::XmpData* xmp) {
        try {
            return Exiv2::XmpParser::decode(*xmp, text) == 0;
        } catch (const std::exception&) {
            return false;
        }
    }

    property_value current(const property_key& key) const {
        if (sidecar_parsed_) {
            if (auto value = read_owned(sidecar_xmp_, key); value.type != value_type::empty) return value;
        }
        return read_owned(embedded_.xmp, key);
    }

    // True when the raw's own XMP holds the property, so that clearing it
    // must leave an explicit empty value in the sidecar, which wins.
    bool embedded_holds(const property_key& key) const {
        return read_owned(embedded_.xmp, key).type != value_type::empty;
    }

    bool edit(std::string& text, const formats::xmp_name& name, const std::optional<formats::xmp_edit>& change) const {
        auto edited = formats::edit_xmp_property(std::move(text), name, change);
        if (!edited) return false;
        text = std::move(*edited);
        return true;
    }

    // The tree lists the sidecar holds take added tags as top-level entries
    // and lose the entries that end in removed ones.
    bool follow_in_trees(std::string& text, const std::vector<std::wstring>& before,
                         const std::vector<std::wstring>& after) const {
        Exiv2::XmpData trees = sidecar_xmp_;
        follow_keyword_addition(trees, added_tags(before, after));
        follow_keyword_removal(trees, removed_tags(before, after));
        for (const auto& list : tree_lists) {
            if (!find(sidecar_xmp_, list.key)) continue;
            const auto* datum = find(trees, list.key);
            std::vector<std::string> entries;
            for (long i = 0; datum && i < datum->count(); ++i) entries.push_back(datum->toString(i));
            std::optional<formats::xmp_edit> change;
            if (!entries.empty()) change = formats::xmp_edit{list.form, std::move(entries)};
            if (!edit(text, list.name, change)) return false;
        }
        return true;
    }

    bool apply(std::string& text, const property_key& key, const property_value& value) const {
        const auto text_of = [&] {
            return value.type == value_type::lpwstr || value.type == value_type::bstr
                       ? (value.null_text ? std::string() : utf8(value.text))
                       : std::string();
        };
        if (key == key_keywords) {
            std::vector<std::string> items;
            for (const auto& tag : value.strings) items.push_back(utf8(tag));
            if (!follow_in_trees(text, current(key).strings, value.strings)) return false;
            if (items.empty() && !embedded_holds(key)) return edit(text, subject_name, std::nullopt);
            return edit(text, subject_name, formats::xmp_edit{formats::xmp_edit::form::bag, std::move(items)});
        }
        if (key == key_rating) {
            std::uint32_t percent = value.type == value_type::ui4                   ? value.ui4
                                    : value.type == value_type::i4 && value.i4 > 0 ? static_cast<std::uint32_t>(value.i4)
                                                                                    : 0;
            if (percent > 99) percent = 99;
            const bool keep_percent = formats::has_xmp_property(text, percent_name);
            if (percent == 0) {
                if (!edit(text, percent_name, std::nullopt)) return false;
                if (!embedded_holds(key)) return edit(text, rating_name, std::nullopt);
                return edit(text, rating_name, formats::xmp_edit{formats::xmp_edit::form::simple, {"0"}});
            }
            if (!edit(text, rating_name,
                      formats::xmp_edit{formats::xmp_edit::form::simple, {std::to_string(stars_of(percent))}})) {
                return false;
            }
            // Windows' percent only stays where the sidecar already had one.
            return !keep_percent || edit(text, percent_name,
                                         formats::xmp_edit{formats::xmp_edit::form::simple, {std::to_string(percent)}});
        }
        const std::string content = text_of();
        const formats::xmp_name& name = key == key_comment ? description_name : title_name;
        std::optional<formats::xmp_edit> change;
        if (!content.empty() || embedded_holds(key))
            change = formats::xmp_edit{formats::xmp_edit::form::lang_alt, {content}};
        if (!edit(text, name, change)) return false;
        if (key == key_comment && formats::has_xmp_property(text, user_comment_name)) {
            return edit(text, user_comment_name, change);
        }
        return true;
    }

    hresult write_sidecar() {
        std::string text = sidecar_text_;
        for (const auto& [key, value] : staged_) {
            if (!apply(text, key, value)) return wincodec_err_badheader;
        }
        // What goes out must read back: an edit that broke the packet is
        // never written over a good one.
        Exiv2::XmpData check;
        if (!parses(text, &check)) return wincodec_err_badheader;
        namespace fs = platform::file_system;
        const std::wstring target = wide(sidecar_);
        if (const std::uint32_t result = fs::write_if_unchanged(target, sidecar_read_, text.data(), text.size());
            result != 0) {
            return from_win32(result);
        }
        sidecar_read_ = fs::identify_file(target);
        sidecar_text_ = std::move(text);
        sidecar_xmp_ = std::move(check);
        sidecar_exists_ = true;
        return s_ok;
    }

    std::string path_;
    std::string sidecar_;
    bool writable_;
    bool pass_through_;
    int lock_;
    embedded_metadata embedded_;
    std::string sidecar_text_;
    Exiv2::XmpData sidecar_xmp_;
    bool sidecar_exists_ = false;
    platform::file_system::file_identity sidecar_read_;  // the sidecar as read, which a write may replace
    bool sidecar_parsed_ = true;
    std::unique_ptr<store> set_;
    staged_values staged_;
};

}  // namespace

bool is_sidecar_raw(const std::string& path) {
    const std::string extension = formats::lower_extension(path);
    for (const std::string_view raw : {"dng", "cr2", "nef", "arw", "orf", "rw2", "pef", "srw"}) {
        if (extension == raw) return true;
    }
    return false;
}

std::string raw_sidecar_path(const std::string& path) {
    const std::string full = path + ".xmp";
    if (exists(full)) return full;
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash + 1)) {
        const std::string base = path.substr(0, dot) + ".xmp";
        if (exists(base)) return base;
    }
    return full;
}

hresult open_raw_store(const std::string& path, std::uint32_t flags, std::unique_ptr<store>& out) {
    out.reset();
    platform::posix::prepare_exiv2();
    const bool writable = (flags & gps_read_write) != 0;
    int lock = -1;
    if (writable) {
        hresult locked = s_ok;
        lock = lock_file(path, true, from_win32(win32_error::sharing_violation), &locked);
        if (lock < 0) return locked;
    }
    try {
        out = std::make_unique<raw_store>(path, raw_sidecar_path(path), writable,
                                           (flags & gps_handler_properties_only) == 0, lock);
    } catch (...) {
        unlock_file(lock);
        throw;
    }
    return s_ok;
}

}  // namespace platform::property_store::posix
