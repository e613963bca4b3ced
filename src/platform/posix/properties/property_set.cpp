// Property sets in extended attributes. Each property is one attribute whose
// value is its type name, ':' and the value as text, so that getfattr shows
// it and every accepted value comes back bit for bit:
//   ui4:42  i4:-3  r8:0x1.8p+1  filetime:133000000000000000
//   lpwstr:text  bstr:text      (UTF-8; a BSTR may hold zero characters)
//   vector_lpwstr:2:one\0two    (count, then the elements split by NUL)
//   vector_r8:2:0x1p+0;0x1p+1
// Keywords, comment and rating live in the freedesktop attributes that Linux
// file managers show (freedesktop_attributes.h).

#include "platform/posix/properties/property_set.h"

#include "platform/posix/properties/freedesktop_attributes.h"

#include "platform/file_system.h"
#include "platform/posix/files/file_lock.h"
#include "platform/posix/properties/staged_values.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/xattr.h>

namespace platform::property_store::posix {
namespace {

constexpr hresult stg_e_docfilecorrupt = static_cast<hresult>(0x80030109);

std::wstring without_nul(std::wstring text) {
    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return text;
}

std::string hex_double(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%a", value);
    return buffer;
}

bool parse_double(std::string_view text, double& value) {
    if (text.empty() || text.size() > 60) return false;
    const std::string copy(text);
    char* end = nullptr;
    value = std::strtod(copy.c_str(), &end);
    return end == copy.c_str() + copy.size();
}

template <typename T>
bool parse_integer(std::string_view text, T& value) {
    if (text.empty()) return false;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

// Splits "count:rest" of the vector forms.
bool split_count(std::string_view body, std::size_t& count, std::string_view& rest) {
    const auto colon = body.find(':');
    if (colon == std::string_view::npos || !parse_integer(body.substr(0, colon), count)) return false;
    rest = body.substr(colon + 1);
    return true;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// The types the three properties kept in freedesktop attributes can take.
bool fits_freedesktop_home(const property_key& key, value_type type) {
    if (type == value_type::empty) return true;
    if (key == key_keywords) return type == value_type::vector_lpwstr;
    if (key == key_rating) return type == value_type::ui4 || type == value_type::i4;
    return type == value_type::lpwstr || type == value_type::bstr;
}

class xattr_property_set final : public store {
public:
    xattr_property_set(std::string path, bool writable, int lock)
        : path_(std::move(path)), writable_(writable), lock_(lock) {}
    ~xattr_property_set() override { unlock_file(lock_); }
    xattr_property_set(const xattr_property_set&) = delete;
    xattr_property_set& operator=(const xattr_property_set&) = delete;

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        if (const property_value* staged = staged_.find(key)) {
            if (!(staged->type == value_type::lpwstr && staged->null_text)) value = *staged;
            return s_ok;
        }
        if (has_freedesktop_home(key)) return read_freedesktop(path_, key, value);
        const std::string name = attribute_name(key);
        std::string bytes(256, '\0');
        ssize_t n = ::getxattr(path_.c_str(), name.c_str(), bytes.data(), bytes.size());
        if (n < 0 && errno == ERANGE) {
            n = ::getxattr(path_.c_str(), name.c_str(), nullptr, 0);
            if (n >= 0) {
                bytes.assign(static_cast<std::size_t>(n), '\0');
                n = ::getxattr(path_.c_str(), name.c_str(), bytes.data(), bytes.size());
            }
        }
        if (n < 0) {
            if (errno == ENODATA) return s_ok;
            return from_win32(win32_error::from_errno(errno));
        }
        bytes.resize(static_cast<std::size_t>(n));
        if (!decode_value(bytes, value)) {
            value = property_value{};
            return stg_e_docfilecorrupt;
        }
        return s_ok;
    }

    hresult set_value(const property_key& key, const property_value& value) override {
        if (!writable_) return stg_e_accessdenied;
        if (!accepted_type(value.type)) return e_invalidarg;
        if (has_freedesktop_home(key) && !fits_freedesktop_home(key, value.type)) return e_invalidarg;
        staged_.stage(key, value);
        return s_ok;
    }

    hresult commit() override {
        if (!writable_) return stg_e_accessdenied;
        for (const auto& [key, value] : staged_) {
            const bool clear = value.type == value_type::empty || (value.type == value_type::lpwstr && value.null_text);
            const hresult result = has_freedesktop_home(key) ? write_freedesktop(path_, key, value)
                                   : clear                   ? remove(attribute_name(key))
                                                             : store_text(attribute_name(key), encode_value(value));
            if (failed(result)) return result;
        }
        staged_.clear();
        return s_ok;
    }

private:
    hresult store_text(const std::string& name, const std::string& text) {
        if (::setxattr(path_.c_str(), name.c_str(), text.data(), text.size(), 0) != 0) {
            return from_win32(win32_error::from_errno(errno));
        }
        return s_ok;
    }

    hresult remove(const std::string& name) {
        if (::removexattr(path_.c_str(), name.c_str()) != 0 && errno != ENODATA) {
            return from_win32(win32_error::from_errno(errno));
        }
        return s_ok;
    }

    std::string path_;
    bool writable_;
    int lock_;
    staged_values staged_;
};

}  // namespace

std::string attribute_name(const property_key& key) {
    return "user.qlm.prop." + to_string(key.fmtid) + "." + std::to_string(key.pid);
}

bool accepted_type(value_type type) {
    switch (type) {
    case value_type::empty:
    case value_type::i4:
    case value_type::r8:
    case value_type::bstr:
    case value_type::ui4:
    case value_type::lpwstr:
    case value_type::filetime:
    case value_type::vector_r8:
    case value_type::vector_lpwstr: return true;
    }
    return false;
}

std::string encode_value(const property_value& value) {
    switch (value.type) {
    case value_type::empty: return "empty:";
    case value_type::i4: return "i4:" + std::to_string(value.i4);
    case value_type::ui4: return "ui4:" + std::to_string(value.ui4);
    case value_type::r8: return "r8:" + hex_double(value.r8);
    case value_type::filetime: return "filetime:" + std::to_string(value.filetime);
    // An LPWSTR ends at its first zero character; a BSTR carries its length.
    case value_type::lpwstr: return "lpwstr:" + platform::text::to_utf8(without_nul(value.text));
    case value_type::bstr: return "bstr:" + platform::text::to_utf8(value.text);
    case value_type::vector_lpwstr: {
        std::string out = "vector_lpwstr:" + std::to_string(value.strings.size()) + ":";
        for (std::size_t i = 0; i < value.strings.size(); ++i) {
            if (i > 0) out.push_back('\0');
            out += platform::text::to_utf8(without_nul(value.strings[i]));
        }
        return out;
    }
    case value_type::vector_r8: {
        std::string out = "vector_r8:" + std::to_string(value.doubles.size()) + ":";
        for (std::size_t i = 0; i < value.doubles.size(); ++i) {
            if (i > 0) out.push_back(';');
            out += hex_double(value.doubles[i]);
        }
        return out;
    }
    }
    return "empty:";
}

bool decode_value(std::string_view bytes, property_value& value) {
    value = property_value{};
    const auto colon = bytes.find(':');
    if (colon == std::string_view::npos) return false;
    const std::string_view type = bytes.substr(0, colon);
    const std::string_view body = bytes.substr(colon + 1);
    if (type == "empty") return body.empty();
    if (type == "i4") {
        value.type = value_type::i4;
        return parse_integer(body, value.i4);
    }
    if (type == "ui4") {
        value.type = value_type::ui4;
        return parse_integer(body, value.ui4);
    }
    if (type == "filetime") {
        value.type = value_type::filetime;
        return parse_integer(body, value.filetime);
    }
    if (type == "r8") {
        value.type = value_type::r8;
        return parse_double(body, value.r8);
    }
    if (type == "lpwstr" || type == "bstr") {
        value.type = type == "bstr" ? value_type::bstr : value_type::lpwstr;
        value.text = platform::text::from_utf8(body);
        return true;
    }
    std::size_t count = 0;
    std::string_view rest;
    if (type == "vector_lpwstr") {
        value.type = value_type::vector_lpwstr;
        if (!split_count(body, count, rest)) return false;
        if (count == 0) return rest.empty();
        const auto parts = split(rest, '\0');
        if (parts.size() != count) return false;
        for (const auto part : parts) value.strings.push_back(platform::text::from_utf8(part));
        return true;
    }
    if (type == "vector_r8") {
        value.type = value_type::vector_r8;
        if (!split_count(body, count, rest)) return false;
        if (count == 0) return rest.empty();
        const auto parts = split(rest, ';');
        if (parts.size() != count) return false;
        for (const auto part : parts) {
            double number = 0;
            if (!parse_double(part, number)) return false;
            value.doubles.push_back(number);
        }
        return true;
    }
    return false;
}

int lock_file(const std::string& path, bool exclusive, hresult sharing_violation_code, hresult* result) {
    // Readers take no lock: a writer replaces the file whole, so they see
    // the old or the new one.
    if (!exclusive) {
        *result = s_ok;
        return -1;
    }
    int error_number = 0;
    const int descriptor = platform::posix::lock_for_writing(path, O_RDONLY, platform::posix::writer_wait, error_number);
    if (descriptor < 0) {
        *result = error_number == EWOULDBLOCK ? sharing_violation_code : from_win32(win32_error::from_errno(error_number));
        return -1;
    }
    *result = s_ok;
    return descriptor;
}

void unlock_file(int descriptor) { platform::posix::release_lock(descriptor); }

hresult open_pass_through_set(const std::string& path, bool writable, std::unique_ptr<store>& set) {
    if (set) return s_ok;
    return open_xattr_property_set(path, writable, set, writable ? share_lock::none : share_lock::take);
}

hresult open_xattr_property_set(const std::string& path, bool writable, std::unique_ptr<store>& out, share_lock lock) {
    out.reset();
    struct stat info {};
    if (path.empty()) return stg_e_filenotfound;
    if (::stat(path.c_str(), &info) != 0) {
        return errno == ENOENT ? stg_e_filenotfound : from_win32(win32_error::from_errno(errno));
    }
    // Asking for an attribute that is not there tells whether the file
    // system keeps user attributes at all.
    if (::getxattr(path.c_str(), "user.qlm.probe", nullptr, 0) < 0 && errno != ENODATA) {
        if (errno == ENOTSUP) return stg_e_invalidfunction;
        return from_win32(win32_error::from_errno(errno));
    }
    if (writable && !S_ISDIR(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return stg_e_accessdenied;
    int descriptor = -1;
    if (lock == share_lock::take) {
        hresult result = s_ok;
        descriptor = lock_file(path, writable, stg_e_sharingviolation, &result);
        if (failed(result)) return result;
    }
    out = std::make_unique<xattr_property_set>(path, writable, descriptor);
    return s_ok;
}

}  // namespace platform::property_store::posix
