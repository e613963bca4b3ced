// Linux property stores: the image handler over Exiv2 and the property set
// in extended attributes.
//
// Where the image handler keeps each property (written to every place the
// format has, so that no stale copy stays behind; read from the first place
// that holds a value):
//   System.Keywords  Xmp.dc.subject (bag), Iptc.Application2.Keywords
//                    (with the UTF-8 character set marker), Exif.Image.XPKeywords
//                    (UCS-2LE, ";"-separated); Windows' LastKeywordXMP/IPTC
//                    records follow where the file has them
//   System.Rating    Xmp.xmp.Rating (stars), Xmp.MicrosoftPhoto.Rating (0-99),
//                    Exif.Image.Rating (stars), Exif.Image.RatingPercent (0-99)
//   System.Comment   Xmp.exif.UserComment (x-default), Exif.Image.XPComment,
//                    Exif.Photo.UserComment (UNICODE, in the Exif byte order)
//   System.Title     Xmp.dc.title (x-default), Exif.Image.XPTitle
// Exiv2 never writes to the path: a write open works on a copy in memory and
// commit puts the result in place through a temporary file beside it.

#include "platform/property_store.h"

#include "formats/text_list.h"
#include "platform/file_system.h"
#include "platform/posix/files/descriptor_read.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/files/journaled_write.h"
#include "platform/posix/imaging/embedded_write_guard.h"
#include "platform/posix/imaging/exiv2_support.h"
#include "platform/posix/imaging/rewrite_source.h"
#include "platform/posix/properties/audio_properties.h"
#include "platform/posix/properties/audio_store.h"
#include "platform/posix/properties/freedesktop_attributes.h"
#include "platform/posix/properties/hierarchical_keywords.h"
#include "platform/posix/properties/iptc_text.h"
#include "platform/posix/properties/photo_properties.h"
#include "platform/posix/properties/property_set.h"
#include "platform/posix/properties/raw_sidecar_store.h"
#include "platform/posix/properties/staged_values.h"
#include "platform/rating_scale.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>

#include <sys/stat.h>

namespace platform::property_store {
namespace {

using formats::content_type;
using platform::posix::prepare_exiv2;
namespace guard = platform::posix;

constexpr hresult e_notimpl = static_cast<hresult>(0x80004001);

std::string utf8(const std::wstring& text) { return platform::text::to_utf8(text); }
std::wstring wide(const std::string& text) { return platform::text::from_utf8(text); }

std::vector<std::uint16_t> to_utf16(const std::wstring& text) {
    std::vector<std::uint16_t> units;
    for (const wchar_t ch : text) {
        auto code = static_cast<std::uint32_t>(ch);
        if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
        if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(code));
        }
    }
    return units;
}

std::wstring from_utf16(const std::vector<std::uint16_t>& units) {
    std::wstring text;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const std::uint32_t unit = units[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            text.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00u)));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            text.push_back(L'\xFFFD');
        } else {
            text.push_back(static_cast<wchar_t>(unit));
        }
    }
    return text;
}

// A comment value re-orders its UCS-2 text to the byte order asked for; the
// file's own order leaves its bytes as they are.
std::vector<Exiv2::byte> value_bytes(const Exiv2::Value& value, Exiv2::ByteOrder order = Exiv2::littleEndian) {
    std::vector<Exiv2::byte> bytes(static_cast<std::size_t>(value.size()));
    if (!bytes.empty()) value.copy(bytes.data(), order);
    return bytes;
}

std::vector<std::uint16_t> units_of(const Exiv2::byte* data, std::size_t size, bool little_endian) {
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        units.push_back(little_endian ? static_cast<std::uint16_t>(data[i] | (data[i + 1] << 8))
                                      : static_cast<std::uint16_t>((data[i] << 8) | data[i + 1]));
    }
    while (!units.empty() && units.back() == 0) units.pop_back();
    return units;
}

// The Windows XP* tags: UCS-2 little-endian bytes with a closing zero.
Exiv2::DataValue xp_value(const std::wstring& text) {
    std::vector<Exiv2::byte> bytes;
    for (const auto unit : to_utf16(text)) {
        bytes.push_back(static_cast<Exiv2::byte>(unit & 0xFF));
        bytes.push_back(static_cast<Exiv2::byte>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    Exiv2::DataValue value(Exiv2::unsignedByte);
    value.read(bytes.data(), static_cast<long>(bytes.size()), Exiv2::littleEndian);
    return value;
}

void add_xp(Exiv2::ExifData& exif, const char* key, const std::wstring& text) {
    const Exiv2::DataValue value = xp_value(text);
    exif.add(Exiv2::ExifKey(key), &value);
}

std::wstring xp_text(const Exiv2::Value& value) {
    const auto bytes = value_bytes(value);
    return from_utf16(units_of(bytes.data(), bytes.size(), true));
}

template <typename Data>
void erase_key(Data& data, const std::string& key) {
    for (auto it = data.begin(); it != data.end();) {
        if (it->key() == key) it = data.erase(it);
        else ++it;
    }
}

std::optional<std::wstring> lang_alt_default(const Exiv2::XmpData& xmp, const char* key) {
    const auto it = xmp.findKey(Exiv2::XmpKey(key));
    if (it == xmp.end()) return std::nullopt;
    if (const auto* alt = dynamic_cast<const Exiv2::LangAltValue*>(&it->value())) {
        if (alt->value_.empty()) return std::nullopt;
        const auto found = alt->value_.find("x-default");
        return wide(found != alt->value_.end() ? found->second : alt->value_.begin()->second);
    }
    return wide(it->toString());
}

void set_lang_alt_default(Exiv2::XmpData& xmp, const char* key, const std::wstring& text) {
    erase_key(xmp, key);
    Exiv2::LangAltValue value;
    value.value_["x-default"] = utf8(text);
    xmp.add(Exiv2::XmpKey(key), &value);
}

std::optional<long> integer_of(const Exiv2::Value& value) {
    if (value.count() < 1) return std::nullopt;
    return platform::rating_scale::number_of(value.toString(0));
}

using platform::rating_scale::stars_of;
using platform::rating_scale::value_of_stars;

bool is_owned(const property_key& key) {
    return key == key_keywords || key == key_rating || key == key_comment || key == key_title;
}

class image_store final : public store {
public:
    // `content` backs the image's memory I/O (Exiv2 does not copy it) and
    // must outlive it.
    image_store(std::string path, bool writable, bool pass_through, std::unique_ptr<guard::byte_buffer> content,
                Exiv2::Image::AutoPtr image, int lock, formats::content_type type, guard::xmp_recovery recovery = {},
                platform::file_system::file_identity read = {}, platform::file_system::file_tail tail = {})
        : path_(std::move(path)),
          writable_(writable),
          pass_through_(pass_through),
          content_(std::move(content)),
          image_(std::move(image)),
          lock_(lock),
          type_(type),
          recovery_(std::move(recovery)),
          read_(read),
          tail_(tail) {
        if (writable_) exif_keeper_.emplace(type_, guard::view(*content_), *image_);
        had_exif_ = !image_->exifData().empty();
        had_exif_ifd_ = has_exif_ifd(image_->exifData());
    }
    ~image_store() override { posix::unlock_file(lock_); }
    image_store(const image_store&) = delete;
    image_store& operator=(const image_store&) = delete;

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        if (posix::is_photo_read_key(key)) {
            try {
                posix::read_photo_property(image_->exifData(), key, value);
            } catch (const std::exception&) {
                value = property_value{};
                return wincodec_err_badheader;
            }
            return s_ok;
        }
        if (!is_owned(key)) {
            if (!pass_through_) return s_ok;
            if (const hresult opened = property_set(); failed(opened)) return writable_ ? opened : s_ok;
            return set_->get_value(key, value);
        }
        if (const property_value* staged = staged_.find(key)) {
            value = *staged;
            return s_ok;
        }
        // Where the embedded XMP did not parse, a write went to the property
        // set instead; what it holds is newer than the lenient reading.
        if (recovery_.damaged && pass_through_ && !failed(property_set()) && !failed(set_->get_value(key, value)) &&
            value.type != value_type::empty) {
            return s_ok;
        }
        value = property_value{};
        try {
            read_owned(key, value);
        } catch (const std::exception&) {
            value = property_value{};
            return wincodec_err_badheader;
        }
        // A reader lists the file's attributes once instead of reading each
        // one the merge looks at; most photos have none.
        if (!file_manager_listed_) {
            file_manager_listed_ = true;
            file_manager_attributes_ = writable_ || posix::may_hold_file_manager_change(path_);
        }
        if (file_manager_attributes_) posix::merge_file_manager_change(path_, key, value);
        return s_ok;
    }

    std::optional<std::string_view> held_content() const override {
        if (!whole_file_) return std::nullopt;
        return guard::view(*content_);
    }
    // A read's content turned out to be the whole file, not only its head.
    void hold_whole_file() { whole_file_ = content_ != nullptr; }

    hresult set_value(const property_key& key, const property_value& value) override {
        if (!writable_) return stg_e_accessdenied;
        // A file whose XMP did not parse keeps its own bytes; the values go
        // where the chain's next place would put them.
        if (!is_owned(key) || recovery_.damaged) {
            if (is_owned(key) && !accepts(key, value)) return wincodec_err_propertynotsupported;
            if (const hresult opened = property_set(); failed(opened)) return opened;
            return set_->set_value(key, value);
        }
        if (!accepts(key, value)) return wincodec_err_propertynotsupported;
        staged_.stage(key, value);
        return s_ok;
    }

    hresult commit() override {
        if (!writable_) return stg_e_accessdenied;
        return posix::commit_staged(staged_, set_.get(), [this] {
            try {
                // Every write mirrors the three file-manager properties, and
                // persists what a file manager changed in them meanwhile.
                std::vector<std::pair<property_key, property_value>> mirrored;
                for (const property_key& key : {key_keywords, key_rating, key_comment}) {
                    if (const property_value* staged = staged_.find(key)) {
                        mirrored.emplace_back(key, *staged);
                        continue;
                    }
                    property_value embedded;
                    read_owned(key, embedded);
                    property_value merged = embedded;
                    const bool held = posix::merge_file_manager_change(path_, key, merged);
                    if (!(merged == embedded)) apply(key, merged);
                    // The new file carries the old one's attributes: what they hold already needs no write.
                    if (!held) mirrored.emplace_back(key, std::move(merged));
                }
                for (const auto& [key, value] : staged_) apply(key, value);
                if (type_ == formats::content_type::jpeg) complete_new_exif();
                // An open commit group may take the rename, unless the
                // property set has writes of its own to make after it.
                platform::file_system::file_tail tail = tail_;
                if (set_ == nullptr) tail.writer_lock = lock_;
                const hresult written = guard::commit_image(*image_, path_, type_, guard::view(*content_), *exif_keeper_, read_,
                                                            tail);
                if (!failed(written)) {
                    // A staged new file gets its mirrors before its rename.
                    const std::string mirror = platform::file_system::staged_content(path_);
                    for (const auto& [key, value] : mirrored) posix::mirror_to_file_manager(mirror, key, value);
                }
                return written;
            } catch (const std::bad_alloc&) {
                throw;
            } catch (const std::exception&) {
                return wincodec_err_badheader;
            }
        });
    }

private:
    hresult property_set() { return posix::open_pass_through_set(path_, writable_, set_); }

    static bool accepts(const property_key& key, const property_value& value) {
        if (value.type == value_type::empty) return true;
        if (key == key_keywords) return value.type == value_type::vector_lpwstr;
        if (key == key_rating) return value.type == value_type::ui4 || value.type == value_type::i4;
        return value.type == value_type::lpwstr || value.type == value_type::bstr;
    }

    bool can_write(Exiv2::MetadataId id) const {
        const auto mode = image_->checkMode(id);
        return mode == Exiv2::amWrite || mode == Exiv2::amReadWrite;
    }

    Exiv2::ByteOrder exif_order() const {
        const auto order = image_->byteOrder();
        return order == Exiv2::bigEndian ? Exiv2::bigEndian : Exiv2::littleEndian;
    }

    void read_owned(const property_key& key, property_value& value) const {
        const auto& xmp = image_->xmpData();
        const auto& exif = image_->exifData();
        const auto& iptc = image_->iptcData();
        if (key == key_keywords) {
            if (const auto it = xmp.findKey(Exiv2::XmpKey("Xmp.dc.subject")); it != xmp.end()) {
                std::vector<std::wstring> tags;
                for (long i = 0; i < it->count(); ++i) tags.push_back(wide(it->toString(i)));
                value = property_value::make_strings(std::move(tags));
                return;
            }
            std::vector<std::wstring> tags;
            if (recovery_.subject) {
                for (const auto& tag : *recovery_.subject) tags.push_back(wide(tag));
                if (!tags.empty()) {
                    value = property_value::make_strings(std::move(tags));
                    return;
                }
            }
            const bool utf8_marked = posix::iptc_marked_utf8(iptc);
            for (const auto& datum : iptc) {
                if (datum.key() == "Iptc.Application2.Keywords") {
                    tags.push_back(posix::decode_iptc_text(datum.toString(), utf8_marked));
                }
            }
            if (tags.empty()) {
                if (const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.XPKeywords")); it != exif.end()) {
                    tags = formats::split_list(xp_text(it->value()));
                }
            }
            // A file that keeps only a keyword tree shows the tree's leaves.
            if (tags.empty()) tags = posix::hierarchy_leaves(xmp);
            if (!tags.empty()) value = property_value::make_strings(std::move(tags));
        } else if (key == key_rating) {
            std::optional<long> stars, percent;
            if (const auto it = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Rating")); it != xmp.end()) stars = integer_of(it->value());
            if (const auto it = xmp.findKey(Exiv2::XmpKey("Xmp.MicrosoftPhoto.Rating")); it != xmp.end()) {
                percent = integer_of(it->value());
            }
            if (!stars && !percent) {
                if (const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.Rating")); it != exif.end()) stars = integer_of(it->value());
                if (const auto it = exif.findKey(Exiv2::ExifKey("Exif.Image.RatingPercent")); it != exif.end()) {
                    percent = integer_of(it->value());
                }
            }
            // The stars are what other photo software edits; the percent only
            // refines them while it still agrees.
            if (percent && *percent >= 0 && (!stars || static_cast<long>(stars_of(static_cast<std::uint32_t>(*percent))) == *stars)) {
                value = property_value::make_ui4(static_cast<std::uint32_t>(*percent));
            } else if (stars && *stars < 0) {
                value = property_value::make_i4(-1);  // rejected: no stars, but a value a clear removes
            } else if (stars) {
                value = property_value::make_ui4(value_of_stars(*stars));
            }
        } else if (key == key_comment) {
            if (auto text = lang_alt_default(xmp, "Xmp.exif.UserComment")) {
                value = property_value::make_lpwstr(std::move(*text));
            } else if (const auto xp = exif.findKey(Exiv2::ExifKey("Exif.Image.XPComment")); xp != exif.end()) {
                value = property_value::make_lpwstr(xp_text(xp->value()));
            } else if (const auto user = exif.findKey(Exiv2::ExifKey("Exif.Photo.UserComment")); user != exif.end()) {
                value = property_value::make_lpwstr(user_comment_text(user->value()));
            }
        } else if (key == key_title) {
            if (auto text = lang_alt_default(xmp, "Xmp.dc.title")) {
                value = property_value::make_lpwstr(std::move(*text));
            } else if (const auto xp = exif.findKey(Exiv2::ExifKey("Exif.Image.XPTitle")); xp != exif.end()) {
                value = property_value::make_lpwstr(xp_text(xp->value()));
            }
        }
    }

    static bool has_exif_ifd(const Exiv2::ExifData& exif) {
        return std::any_of(exif.begin(), exif.end(),
                           [](const Exiv2::Exifdatum& datum) { return datum.groupName() == "Photo"; });
    }

    // Where a write makes a JPEG's first EXIF block or its first Exif IFD,
    // it adds the tags readers require of them, as exiftool does: the
    // resolution (from the JFIF header, else 72 dpi) and sample positioning
    // in IFD0; the versions, components, colour space and size in the Exif IFD.
    void complete_new_exif() {
        auto& exif = image_->exifData();
        if (exif.empty()) return;
        const auto put = [&exif](const char* key, const Exiv2::Value& value) {
            if (exif.findKey(Exiv2::ExifKey(key)) == exif.end()) exif.add(Exiv2::ExifKey(key), &value);
        };
        std::uint16_t units = 2, x_density = 72, y_density = 72;
        const std::string_view bytes = guard::view(*content_);
        if (bytes.size() >= 20 && bytes.substr(2, 2) == "\xFF\xE0" && bytes.substr(6, 5) == std::string_view("JFIF\0", 5)) {
            const auto byte = [&](std::size_t at) { return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at])); };
            const std::uint16_t x = static_cast<std::uint16_t>((byte(14) << 8) | byte(15));
            const std::uint16_t y = static_cast<std::uint16_t>((byte(16) << 8) | byte(17));
            if (x != 0 && y != 0 && byte(13) <= 2) {
                units = byte(13) == 0 ? std::uint16_t{1} : byte(13) == 1 ? std::uint16_t{2} : std::uint16_t{3};
                x_density = x;
                y_density = y;
            }
        }
        if (!had_exif_) {
            put("Exif.Image.XResolution", Exiv2::URationalValue(Exiv2::URational(x_density, 1)));
            put("Exif.Image.YResolution", Exiv2::URationalValue(Exiv2::URational(y_density, 1)));
            put("Exif.Image.ResolutionUnit", Exiv2::UShortValue(units));
            put("Exif.Image.YCbCrPositioning", Exiv2::UShortValue(1));
        }
        if (had_exif_ifd_ || !has_exif_ifd(exif)) return;
        Exiv2::DataValue version(Exiv2::undefined);
        version.read(reinterpret_cast<const Exiv2::byte*>("0232"), 4, Exiv2::littleEndian);
        put("Exif.Photo.ExifVersion", version);
        Exiv2::DataValue components(Exiv2::undefined);
        static constexpr Exiv2::byte ycbcr[] = {1, 2, 3, 0};
        components.read(ycbcr, 4, Exiv2::littleEndian);
        put("Exif.Photo.ComponentsConfiguration", components);
        Exiv2::DataValue flashpix(Exiv2::undefined);
        flashpix.read(reinterpret_cast<const Exiv2::byte*>("0100"), 4, Exiv2::littleEndian);
        put("Exif.Photo.FlashpixVersion", flashpix);
        put("Exif.Photo.ColorSpace", Exiv2::UShortValue(0xFFFF));
        if (image_->pixelWidth() > 0 && image_->pixelHeight() > 0) {
            put("Exif.Photo.PixelXDimension", Exiv2::ULongValue(static_cast<std::uint32_t>(image_->pixelWidth())));
            put("Exif.Photo.PixelYDimension", Exiv2::ULongValue(static_cast<std::uint32_t>(image_->pixelHeight())));
        }
    }

    std::wstring user_comment_text(const Exiv2::Value& value) const {
        const auto bytes = value_bytes(value, exif_order());
        if (bytes.size() < 8) return {};
        const std::string header(reinterpret_cast<const char*>(bytes.data()), 8);
        if (std::memcmp(header.data(), "UNICODE\0", 8) == 0) {
            return from_utf16(units_of(bytes.data() + 8, bytes.size() - 8, exif_order() == Exiv2::littleEndian));
        }
        std::string text(reinterpret_cast<const char*>(bytes.data()) + 8, bytes.size() - 8);
        if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        return wide(text);
    }

    void apply(const property_key& key, const property_value& value) {
        auto& xmp = image_->xmpData();
        auto& exif = image_->exifData();
        auto& iptc = image_->iptcData();
        const bool has_exif = can_write(Exiv2::mdExif);
        const bool has_iptc = can_write(Exiv2::mdIptc);
        const std::wstring text =
            value.type == value_type::lpwstr || value.type == value_type::bstr ? (value.null_text ? L"" : value.text) : L"";
        if (key == key_keywords) {
            property_value before;
            read_owned(key_keywords, before);
            // The tree lists (Windows' LastKeywordXMP among them) follow in
            // their own form; Windows' flat record of the IPTC keywords
            // follows where the file has one, or Windows reconciles against
            // the stale lists.
            // Added first, so that a list emptied by the removal still takes them.
            posix::follow_keyword_addition(xmp, posix::added_tags(before.strings, value.strings));
            posix::follow_keyword_removal(xmp, posix::removed_tags(before.strings, value.strings));
            const bool windows_iptc = xmp.findKey(Exiv2::XmpKey("Xmp.MicrosoftPhoto.LastKeywordIPTC")) != xmp.end();
            erase_key(xmp, "Xmp.MicrosoftPhoto.LastKeywordIPTC");
            erase_key(xmp, "Xmp.dc.subject");
            if (has_iptc) erase_key(iptc, "Iptc.Application2.Keywords");
            if (has_exif) erase_key(exif, "Exif.Image.XPKeywords");
            if (value.strings.empty()) return;
            Exiv2::XmpArrayValue bag(Exiv2::xmpBag);
            std::wstring joined;
            for (const auto& tag : value.strings) {
                bag.read(utf8(tag));
                // XPKeywords separates by ";": such a tag would come back split.
                if (tag.find(L';') != std::wstring::npos) continue;
                if (!joined.empty()) joined += L';';
                joined += tag;
            }
            xmp.add(Exiv2::XmpKey("Xmp.dc.subject"), &bag);
            if (windows_iptc) xmp.add(Exiv2::XmpKey("Xmp.MicrosoftPhoto.LastKeywordIPTC"), &bag);
            if (has_iptc) {
                posix::mark_iptc_utf8(iptc);
                for (const auto& tag : value.strings) {
                    Exiv2::StringValue keyword(posix::iptc_keyword(tag));
                    iptc.add(Exiv2::IptcKey("Iptc.Application2.Keywords"), &keyword);
                }
            }
            if (has_exif && !joined.empty()) add_xp(exif, "Exif.Image.XPKeywords", joined);
        } else if (key == key_rating) {
            erase_key(xmp, "Xmp.xmp.Rating");
            erase_key(xmp, "Xmp.MicrosoftPhoto.Rating");
            if (has_exif) {
                erase_key(exif, "Exif.Image.Rating");
                erase_key(exif, "Exif.Image.RatingPercent");
            }
            std::uint32_t percent = value.type == value_type::ui4 ? value.ui4
                                    : value.type == value_type::i4 && value.i4 > 0 ? static_cast<std::uint32_t>(value.i4)
                                                                                   : 0;
            if (percent == 0) return;
            if (percent > 99) percent = 99;
            const unsigned stars = stars_of(percent);
            xmp["Xmp.xmp.Rating"] = std::to_string(stars);
            xmp["Xmp.MicrosoftPhoto.Rating"] = std::to_string(percent);
            if (has_exif) {
                exif["Exif.Image.Rating"] = static_cast<std::uint16_t>(stars);
                exif["Exif.Image.RatingPercent"] = static_cast<std::uint16_t>(percent);
            }
        } else if (key == key_comment) {
            erase_key(xmp, "Xmp.exif.UserComment");
            if (has_exif) {
                erase_key(exif, "Exif.Image.XPComment");
                erase_key(exif, "Exif.Photo.UserComment");
            }
            if (text.empty()) return;
            set_lang_alt_default(xmp, "Xmp.exif.UserComment", text);
            if (has_exif) {
                add_xp(exif, "Exif.Image.XPComment", text);
                std::vector<Exiv2::byte> bytes(8);
                std::memcpy(bytes.data(), "UNICODE\0", 8);
                const bool little = exif_order() == Exiv2::littleEndian;
                for (const auto unit : to_utf16(text)) {
                    bytes.push_back(static_cast<Exiv2::byte>(little ? unit & 0xFF : unit >> 8));
                    bytes.push_back(static_cast<Exiv2::byte>(little ? unit >> 8 : unit & 0xFF));
                }
                Exiv2::DataValue comment(Exiv2::undefined);
                comment.read(bytes.data(), static_cast<long>(bytes.size()), exif_order());
                exif.add(Exiv2::ExifKey("Exif.Photo.UserComment"), &comment);
            }
        } else if (key == key_title) {
            erase_key(xmp, "Xmp.dc.title");
            if (has_exif) erase_key(exif, "Exif.Image.XPTitle");
            if (text.empty()) return;
            set_lang_alt_default(xmp, "Xmp.dc.title", text);
            if (has_exif) add_xp(exif, "Exif.Image.XPTitle", text);
        }
    }

    std::string path_;
    bool writable_;
    bool pass_through_;
    std::unique_ptr<guard::byte_buffer> content_;
    bool whole_file_ = false;
    Exiv2::Image::AutoPtr image_;
    int lock_;  // the exclusive lock a writer holds on the file, else -1
    formats::content_type type_;
    guard::xmp_recovery recovery_;
    platform::file_system::file_identity read_;  // what a writer read, which its commit may replace
    platform::file_system::file_tail tail_;      // a writer's: the rest of a big file after content_
    bool file_manager_listed_ = false;           // whether file_manager_attributes_ was taken
    bool file_manager_attributes_ = true;        // false: the file holds nothing merge_file_manager_change reads
    std::optional<guard::exif_preserving_write> exif_keeper_;
    bool had_exif_ = false;      // the file had EXIF when opened
    bool had_exif_ifd_ = false;  // ... and an Exif IFD in it
    std::unique_ptr<store> set_;
    posix::staged_values staged_;
};

}  // namespace

hresult open_handler_store(const std::wstring& path, std::uint32_t flags, std::unique_ptr<store>& out) {
    out.reset();
    const std::string native = utf8(path);
    // A write a crash left half done in this folder is finished before anything there is read.
    if (!path.empty()) platform::file_system::finish_interrupted_writes(native);
    struct stat info {};
    if (path.empty() || ::stat(native.c_str(), &info) != 0) {
        return from_win32(path.empty() ? win32_error::file_not_found : win32_error::from_errno(errno));
    }
    const bool writable = (flags & gps_read_write) != 0;
    if (S_ISDIR(info.st_mode)) {
        if (writable) return e_notimpl;
        return posix::open_xattr_property_set(native, false, out);
    }
    // Pipes, sockets and devices hold no embedded metadata, and opening their
    // content could wait for ever: their property set is all there is.
    const bool has_content = S_ISREG(info.st_mode);
    if (writable && !has_content) return e_accessdenied;
    // Raw camera files are never rewritten: their handler works on the sidecar.
    if (has_content && posix::is_sidecar_raw(native)) return posix::open_raw_store(native, flags, out);
    if (has_content && posix::is_audio_file(native)) {
        // Audio that does not parse as its type is left to the property set.
        const hresult audio = posix::open_audio_store(native, flags, out);
        if (!failed(audio) || (writable && audio != e_notimpl)) return audio;
        if (writable) return e_notimpl;
    }
    prepare_exiv2();
    // Exiv2 parses only what the content really is, and only the types it
    // writes safely; the rest has no embedded metadata here.
    guard::byte_buffer head;
    if (writable) {
        // Writers keep each other out for the store's life, as the handler's
        // exclusive share mode does on Windows.
        hresult locked = s_ok;
        const int lock = (info.st_mode & S_IWUSR) != 0
                             ? posix::lock_file(native, true, from_win32(win32_error::sharing_violation), &locked)
                             : -1;
        struct unlock_on_failure {
            int descriptor;
            ~unlock_on_failure() { posix::unlock_file(descriptor); }
        } guard{lock};
        // The writer's descriptor serves the sniff, so the file is opened once;
        // without it, the sniff still decides whether this is a type we write.
        const formats::content_type type =
            lock >= 0 ? guard::sniff_descriptor(lock, native) : guard::sniff_file(native);
        if (!formats::has_metadata_handler(type)) {
            if (type != formats::content_type::unknown) {
                guard::log_refused_write(native, std::wstring(L"its content is ") + formats::content_type_name(type));
            }
            return e_notimpl;
        }
        if ((info.st_mode & S_IWUSR) == 0) return e_accessdenied;
        if (lock < 0) return locked;
        std::uint32_t error = 0;
        // Through the descriptor that holds the writer lock: the inode the
        // lock was won on, without opening the path again. Its identity
        // before the first byte is what the commit may replace.
        const platform::file_system::file_identity read = platform::file_system::identity_of_descriptor(lock);
        // A big photo is held only up to its image data, which the commit
        // copies from this descriptor into the new file.
        auto source = platform::posix::read_for_rewrite(lock, type, &error);
        if (!source) return from_win32(error);
        auto content = std::make_unique<guard::byte_buffer>(std::move(source->head));
        Exiv2::Image::AutoPtr image;
        try {
            image = guard::open_image(type, reinterpret_cast<const unsigned char*>(content->data()), content->size());
        } catch (const std::exception&) {
            return e_notimpl;  // no handler for this content
        }
        if (!image.get()) return e_notimpl;
        const auto mode = image->checkMode(Exiv2::mdXmp);
        if (mode != Exiv2::amWrite && mode != Exiv2::amReadWrite) return e_notimpl;
        try {
            image->readMetadata();
        } catch (const std::exception&) {
            // Damaged data can make Exiv2 throw more than its own errors.
            guard::log_refused_write(native, L"its metadata cannot be read");
            return wincodec_err_badheader;
        }
        // A write that could not keep everything the file holds goes to the
        // chain's next place instead.
        auto recovery = guard::recover_xmp(type, guard::view(*content), native, *image);
        if (recovery.damaged) {
            guard::log_refused_write(native, L"its XMP packet cannot be parsed whole; the values go to its property set");
        } else if (const std::wstring why = guard::embedded_write_refusal(type, guard::view(*content), *image);
                   !why.empty()) {
            guard::log_refused_write(native, why);
            return wincodec_err_badheader;
        }
        out = std::make_unique<image_store>(native, true, true, std::move(content), std::move(image), lock, type,
                                            std::move(recovery), read, source->tail);
        guard.descriptor = -1;
        return s_ok;
    }
    const bool pass_through = (flags & gps_handler_properties_only) == 0;
    // A read takes the file's head in the same open as the sniff.
    const formats::content_type type = guard::sniff_file(native, &head);
    try {
        std::unique_ptr<guard::byte_buffer> held;
        Exiv2::Image::AutoPtr image;
        if (guard::head_serves_metadata_read(type, guard::view(head), static_cast<std::uint64_t>(info.st_size))) {
            held = std::make_unique<guard::byte_buffer>(std::move(head));
            image = guard::open_image(type, reinterpret_cast<const unsigned char*>(held->data()), held->size());
        } else {
            image = guard::open_image(type, native);
        }
        if (image.get()) {
            image->readMetadata();
            auto recovery = guard::recover_xmp(type, {}, native, *image);
            const bool whole = held && held->size() == static_cast<std::uint64_t>(info.st_size);
            auto opened = std::make_unique<image_store>(native, false, pass_through, std::move(held), std::move(image),
                                                        -1, type, std::move(recovery));
            if (whole) opened->hold_whole_file();
            out = std::move(opened);
            return s_ok;
        }
    } catch (const std::exception&) {
        // Not an image Exiv2 knows, or a damaged one: its property set is all there is.
    }
    // Only audio (by name) is handed to TagLib, and never a pipe or device.
    if (auto audio = has_content && posix::is_audio_file(native) ? posix::open_audio_read_store(native, pass_through)
                                                                 : nullptr) {
        out = std::move(audio);
        return s_ok;
    }
    // A volume without property sets still lets the shell read a file: it
    // just has nothing to show.
    if (pass_through) {
        const hresult result = posix::open_xattr_property_set(native, false, out);
        if (result != stg_e_invalidfunction) return result;
    }
    out = posix::open_file_manager_store(native);
    return s_ok;
}

hresult open_property_set(const std::wstring& path, bool writable, std::unique_ptr<store>& out) {
    return posix::open_xattr_property_set(utf8(path), writable, out);
}

std::wstring handler_sidecar(const std::wstring& path) {
    const std::string native = utf8(path);
    if (!posix::is_sidecar_raw(native)) return {};
    return wide(posix::raw_sidecar_path(native));
}

std::wstring message_text(hresult code) {
    switch (static_cast<std::uint32_t>(code)) {
    case 0x00000000u: return L"The operation completed successfully.";
    case 0x80004001u: return L"Not implemented";
    case 0x80004005u: return L"Unspecified error";
    case 0x80070001u: return L"Incorrect function.";
    case 0x80070002u: return L"The system cannot find the file specified.";
    case 0x80070003u: return L"The system cannot find the path specified.";
    case 0x80070005u: return L"Access is denied.";
    case 0x8007000Eu: return L"Not enough memory resources are available to complete this operation.";
    case 0x80070020u: return L"The process cannot access the file because it is being used by another process.";
    case 0x80070004u: return L"The system cannot open the file.";
    case 0x80070006u: return L"The handle is invalid.";
    case 0x80070011u: return L"The system cannot move the file to a different disk drive.";
    case 0x80070013u: return L"The media is write protected.";
    case 0x80070015u: return L"The device is not ready.";
    case 0x80070021u: return L"The process cannot access the file because another process has locked a portion of the file.";
    case 0x80070032u: return L"The request is not supported.";
    case 0x80070057u: return L"The parameter is incorrect.";
    case 0x8007006Du: return L"The pipe has been ended.";
    case 0x8007007Bu: return L"The filename, directory name, or volume label syntax is incorrect.";
    case 0x80070091u: return L"The directory is not empty.";
    case 0x800700B7u: return L"Cannot create a file when that file already exists.";
    case 0x800700CEu: return L"The filename or extension is too long.";
    case 0x800700DFu: return L"The file size exceeds the limit allowed and cannot be saved.";
    case 0x80070459u: return L"No mapping for the Unicode character exists in the target multi-byte code page.";
    case 0x8007045Du: return L"The request could not be performed because of an I/O device error.";
    case 0x80070476u: return L"An attempt was made to create more links on a file than the file system supports.";
    case 0x800704C7u: return L"The operation was canceled by the user.";
    case 0x8007050Fu: return L"The requested file operation failed because the storage quota was exceeded.";
    case 0x800705B4u: return L"This operation returned because the timeout period expired.";
    case 0x80070781u: return L"The name of the file cannot be resolved by the system.";
    case 0x80070070u: return L"There is not enough space on the disk.";
    case 0x80030001u: return L"Unable to perform requested operation.";
    case 0x80030002u: return L"%1 could not be found.";
    case 0x80030005u: return L"Access Denied.";
    case 0x80030020u: return L"A share violation has occurred.";
    case 0x80030109u: return L"The compound file %1 is corrupt.";
    case 0x88982F41u: return L"The property is not supported.";
    case 0x88982F61u: return L"The image header is unrecognized.";
    default: return L"Unknown error";
    }
}

}  // namespace platform::property_store
