// The imaging component on Linux: Exiv2 on an in-memory copy of the file,
// each WIC query path translated to the Exiv2 key it names in the container.

#include "platform/imaging.h"

#include "platform/file_system.h"
#include "platform/posix/files/descriptor_read.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/imaging/embedded_write_guard.h"
#include "platform/posix/imaging/exiv2_support.h"
#include "platform/posix/properties/property_set.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <exiv2/exiv2.hpp>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>

#include <sys/stat.h>

namespace platform::imaging {
namespace {

namespace ps = platform::property_store;

enum class container { jpeg, tiff, other };

// One open file: its bytes, the Exiv2 image over them and, for a writer,
// the lock that keeps other writers out until the decoder goes away.
struct image_file {
    std::string path;
    bool writable = false;
    int lock = -1;
    std::unique_ptr<std::string> content;
    Exiv2::Image::AutoPtr image;
    container kind = container::other;
    formats::content_type type = formats::content_type::unknown;
    std::optional<platform::posix::exif_preserving_write> exif;  // a writer's, from the EXIF it read
    platform::file_system::file_identity read;                   // a writer's: the file its commit may replace

    image_file() = default;
    image_file(const image_file&) = delete;
    image_file& operator=(const image_file&) = delete;
    ~image_file() { ps::posix::unlock_file(lock); }
};

// What a query path names: an XMP property or an EXIF tag.
struct translated_key {
    bool xmp = false;
    std::string key;  // "Xmp.xmp.Rating" or "Exif.Image.Orientation"
};

std::optional<std::uint16_t> ushort_item(std::string_view item) {
    constexpr std::string_view prefix = "{ushort=";
    if (item.size() <= prefix.size() + 1 || item.substr(0, prefix.size()) != prefix || item.back() != '}') {
        return std::nullopt;
    }
    const std::string digits(item.substr(prefix.size(), item.size() - prefix.size() - 1));
    if (digits.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const unsigned long number = std::strtoul(digits.c_str(), nullptr, 10);
    if (number > 0xFFFF) return std::nullopt;
    return static_cast<std::uint16_t>(number);
}

std::optional<translated_key> xmp_property(std::string_view rest) {
    // "prefix:name" with a namespace Exiv2 knows.
    const auto colon = rest.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 == rest.size() ||
        rest.find('/') != std::string_view::npos) {
        return std::nullopt;
    }
    const std::string prefix(rest.substr(0, colon));
    try {
        if (Exiv2::XmpProperties::ns(prefix).empty()) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return translated_key{true, "Xmp." + prefix + "." + std::string(rest.substr(colon + 1))};
}

std::optional<translated_key> exif_tag(std::string_view group, std::string_view item) {
    const auto tag = ushort_item(item);
    if (!tag) return std::nullopt;
    try {
        return translated_key{false, Exiv2::ExifKey(*tag, std::string(group)).key()};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

std::optional<translated_key> translate(container kind, bool frame_level, const std::wstring& wide_query) {
    const std::string query = platform::text::to_utf8(wide_query);
    const std::string_view q = query;
    if (kind == container::jpeg && frame_level) {
        if (starts_with(q, "/xmp/")) return xmp_property(q.substr(5));
        for (const std::string_view ifd : {std::string_view("/app1/ifd/"), std::string_view("/app1/{ushort=0}/")}) {
            if (starts_with(q, ifd)) {
                const auto rest = q.substr(ifd.size());
                if (starts_with(rest, "exif/")) return exif_tag("Photo", rest.substr(5));
                return exif_tag("Image", rest);
            }
        }
        return std::nullopt;
    }
    if (kind == container::tiff) {
        if (starts_with(q, "/ifd/xmp/")) return xmp_property(q.substr(9));
        if (starts_with(q, "/{ushort=700}/")) return xmp_property(q.substr(14));
        if (starts_with(q, "/ifd/exif/")) return exif_tag("Photo", q.substr(10));
        if (starts_with(q, "/ifd/")) return exif_tag("Image", q.substr(5));
    }
    return std::nullopt;
}

property_value read_value(const Exiv2::Metadatum& datum, bool xmp) {
    const Exiv2::Value& value = datum.value();
    if (xmp) {
        if (const auto* array = dynamic_cast<const Exiv2::XmpArrayValue*>(&value)) {
            std::vector<std::wstring> items;
            for (long i = 0; i < array->count(); ++i) items.push_back(platform::text::from_utf8(array->toString(i)));
            return property_value::make_strings(std::move(items));
        }
        return property_value::make_lpwstr(platform::text::from_utf8(value.toString()));
    }
    switch (value.typeId()) {
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
        if (value.count() == 1) return property_value::make_ui4(static_cast<std::uint32_t>(value.toLong(0)));
        break;
    case Exiv2::signedShort:
    case Exiv2::signedLong:
        if (value.count() == 1) return property_value::make_i4(static_cast<std::int32_t>(value.toLong(0)));
        break;
    case Exiv2::asciiString: return property_value::make_lpwstr(platform::text::from_utf8(value.toString()));
    default: break;
    }
    return property_value::make_lpwstr(platform::text::from_utf8(value.toString()));
}

class exiv2_reader final : public query_reader {
public:
    exiv2_reader(image_file& file, bool frame_level) : file_(&file), frame_level_(frame_level) {}

    hresult get_metadata_by_name(const std::wstring& query, property_value& value) override {
        value = property_value{};
        const auto key = translate(file_->kind, frame_level_, query);
        if (!key) return wincodec_err_propertynotfound;
        try {
            if (key->xmp) {
                const auto& data = file_->image->xmpData();
                const auto it = data.findKey(Exiv2::XmpKey(key->key));
                if (it == data.end()) return wincodec_err_propertynotfound;
                value = read_value(*it, true);
            } else {
                const auto& data = file_->image->exifData();
                const auto it = data.findKey(Exiv2::ExifKey(key->key));
                if (it == data.end()) return wincodec_err_propertynotfound;
                value = read_value(*it, false);
            }
        } catch (const std::exception&) {
            return ps::wincodec_err_badheader;
        }
        return ps::s_ok;
    }

private:
    image_file* file_;
    bool frame_level_;
};

void store_xmp(Exiv2::XmpData& data, const std::string& key, const property_value& value) {
    for (auto it = data.begin(); it != data.end();) {
        if (it->key() == key) it = data.erase(it);
        else ++it;
    }
    const Exiv2::XmpKey xmp_key(key);
    if (value.type == ps::value_type::vector_lpwstr) {
        // An empty list stays an empty array, so that older copies elsewhere
        // in the file are not read in its place.
        Exiv2::TypeId type = Exiv2::XmpProperties::propertyType(xmp_key);
        if (type != Exiv2::xmpSeq && type != Exiv2::xmpAlt) type = Exiv2::xmpBag;
        Exiv2::XmpArrayValue array(type);
        for (const auto& item : value.strings) array.read(platform::text::to_utf8(item));
        data.add(xmp_key, &array);
        return;
    }
    std::string text;
    switch (value.type) {
    case ps::value_type::ui4: text = std::to_string(value.ui4); break;
    case ps::value_type::i4: text = std::to_string(value.i4); break;
    case ps::value_type::lpwstr:
    case ps::value_type::bstr: text = platform::text::to_utf8(value.text); break;
    default: throw std::invalid_argument("type");
    }
    data[key] = text;
}

void store_exif(Exiv2::ExifData& data, const std::string& key, const property_value& value) {
    Exiv2::Exifdatum& datum = data[key];
    switch (value.type) {
    case ps::value_type::ui4:
        if (value.ui4 <= 0xFFFF) datum = static_cast<std::uint16_t>(value.ui4);
        else datum = value.ui4;
        break;
    case ps::value_type::i4: datum = std::to_string(value.i4); break;
    case ps::value_type::lpwstr: datum = platform::text::to_utf8(value.text); break;
    default: throw std::invalid_argument("type");
    }
}

class exiv2_writer final : public query_writer {
public:
    exiv2_writer(image_file& file, bool frame_level) : file_(&file), frame_level_(frame_level) {}

    hresult set_metadata_by_name(const std::wstring& query, const property_value& value) override {
        const auto key = translate(file_->kind, frame_level_, query);
        if (!key) return wincodec_err_propertynotfound;
        try {
            if (key->xmp) store_xmp(file_->image->xmpData(), key->key, value);
            else store_exif(file_->image->exifData(), key->key, value);
        } catch (const std::invalid_argument&) {
            return ps::e_invalidarg;
        } catch (const std::exception&) {
            return ps::wincodec_err_propertynotsupported;
        }
        return ps::s_ok;
    }

private:
    image_file* file_;
    bool frame_level_;
};

class exiv2_encoder final : public fast_metadata_encoder {
public:
    exiv2_encoder(image_file& file, bool frame_level) : file_(&file), frame_level_(frame_level) {}

    hresult get_metadata_query_writer(std::unique_ptr<query_writer>& out) override {
        out = std::make_unique<exiv2_writer>(*file_, frame_level_);
        return ps::s_ok;
    }

    hresult commit() override {
        try {
            return platform::posix::commit_image(*file_->image, file_->path, file_->type, *file_->content, *file_->exif,
                                                 file_->read);
        } catch (const std::bad_alloc&) {
            return ps::e_outofmemory;
        } catch (const std::exception&) {
            return ps::wincodec_err_badheader;
        }
    }

private:
    image_file* file_;
    bool frame_level_;
};

class exiv2_frame final : public frame_decode {
public:
    explicit exiv2_frame(image_file& file) : file_(&file) {}

    hresult get_size(std::uint32_t& width, std::uint32_t& height) override {
        width = static_cast<std::uint32_t>(file_->image->pixelWidth());
        height = static_cast<std::uint32_t>(file_->image->pixelHeight());
        return ps::s_ok;
    }

    hresult get_metadata_query_reader(std::unique_ptr<query_reader>& out) override {
        out = std::make_unique<exiv2_reader>(*file_, true);
        return ps::s_ok;
    }

    image_file& file() { return *file_; }

private:
    image_file* file_;
};

class exiv2_decoder final : public decoder {
public:
    explicit exiv2_decoder(std::unique_ptr<image_file> file) : file_(std::move(file)) {}

    hresult get_frame(std::uint32_t index, std::unique_ptr<frame_decode>& out) override {
        if (index != 0) return ps::e_invalidarg;
        out = std::make_unique<exiv2_frame>(*file_);
        return ps::s_ok;
    }

    image_file& file() { return *file_; }

private:
    std::unique_ptr<image_file> file_;
};

class exiv2_factory final : public factory {
public:
    hresult create_decoder_from_filename(const std::wstring& path, file_access access,
                                         std::unique_ptr<decoder>& out) override {
        out.reset();
        platform::posix::prepare_exiv2();
        auto file = std::make_unique<image_file>();
        file->path = platform::text::to_utf8(path);
        file->writable = access == file_access::read_write;
        struct stat info {};
        if (path.empty() || ::stat(file->path.c_str(), &info) != 0) {
            return ps::from_win32(path.empty() ? win32_error::file_not_found : win32_error::from_errno(errno));
        }
        if (S_ISDIR(info.st_mode)) return ps::from_win32(win32_error::access_denied);
        // A pipe, socket or device is no image; reading it could wait for ever.
        if (!S_ISREG(info.st_mode)) return wincodec_err_componentnotfound;
        if (file->writable) {
            if ((info.st_mode & S_IWUSR) == 0) return ps::e_accessdenied;
            hresult locked = ps::s_ok;
            file->lock = ps::posix::lock_file(file->path, true, ps::from_win32(win32_error::sharing_violation), &locked);
            if (file->lock < 0) return locked;
        }
        // Only the parser of what the content really is, and only for the
        // types whose metadata is written here; anything else (and anything
        // that is not a regular file) is never read whole.
        namespace px = platform::posix;
        file->type = px::sniff_file(file->path);
        if (!formats::has_metadata_handler(file->type)) {
            if (file->writable && file->type != formats::content_type::unknown) {
                px::log_refused_write(file->path,
                                      std::wstring(L"its content is ") + formats::content_type_name(file->type));
            }
            return wincodec_err_componentnotfound;
        }
        std::uint32_t error = 0;
        // A writer reads through its lock: the file whose identity its commit checks.
        std::optional<std::string> bytes;
        if (file->writable) {
            file->read = platform::file_system::identity_of_descriptor(file->lock);
            bytes = platform::file_system::read_descriptor(file->lock, static_cast<std::size_t>(-1), &error);
        } else {
            bytes = platform::file_system::read_file(path, &error);
        }
        if (!bytes) return ps::from_win32(error);
        file->content = std::make_unique<std::string>(std::move(*bytes));
        if (formats::sniff_content_type(*file->content, file->path) != file->type)
            return wincodec_err_componentnotfound;
        try {
            file->image = px::open_image(file->type, reinterpret_cast<const unsigned char*>(file->content->data()),
                                         file->content->size());
        } catch (const std::exception&) {
            return wincodec_err_componentnotfound;
        }
        if (!file->image.get()) return wincodec_err_componentnotfound;
        try {
            file->image->readMetadata();
        } catch (const std::exception&) {
            if (file->writable) px::log_refused_write(file->path, L"its metadata cannot be read");
            return ps::wincodec_err_badheader;
        }
        if (file->writable) {
            if (const std::wstring why = px::embedded_write_refusal(file->type, *file->content, *file->image); !why.empty()) {
                px::log_refused_write(file->path, why);
                return ps::wincodec_err_badheader;
            }
            file->exif.emplace(file->type, *file->content, *file->image);
        } else {
            px::recover_xmp(file->type, *file->content, file->path, *file->image);
        }
        if (file->type == formats::content_type::jpeg)
            file->kind = container::jpeg;
        else if (file->type == formats::content_type::tiff)
            file->kind = container::tiff;
        out = std::make_unique<exiv2_decoder>(std::move(file));
        return ps::s_ok;
    }

    hresult create_fast_metadata_encoder_from_frame(frame_decode& frame,
                                                    std::unique_ptr<fast_metadata_encoder>& out) override {
        auto* ours = dynamic_cast<exiv2_frame*>(&frame);
        if (ours == nullptr) return ps::e_invalidarg;
        return encoder_for(ours->file(), true, out);
    }

    hresult create_fast_metadata_encoder_from_decoder(decoder& source,
                                                      std::unique_ptr<fast_metadata_encoder>& out) override {
        auto* ours = dynamic_cast<exiv2_decoder*>(&source);
        if (ours == nullptr) return ps::e_invalidarg;
        // A JPEG keeps its metadata in the frame; the container has none.
        if (ours->file().kind == container::jpeg) return wincodec_err_unsupportedoperation;
        return encoder_for(ours->file(), false, out);
    }

private:
    static hresult encoder_for(image_file& file, bool frame_level, std::unique_ptr<fast_metadata_encoder>& out) {
        out.reset();
        if (file.kind == container::other) return wincodec_err_unsupportedoperation;
        if (!file.writable) return ps::e_accessdenied;
        out = std::make_unique<exiv2_encoder>(file, frame_level);
        return ps::s_ok;
    }
};

}  // namespace

hresult create_factory(std::unique_ptr<factory>& out) {
    out = std::make_unique<exiv2_factory>();
    return property_store::s_ok;
}

}  // namespace platform::imaging
