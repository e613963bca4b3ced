#include "platform/posix/properties/freedesktop_attributes.h"

#include "platform/posix/properties/property_set.h"
#include "platform/rating_scale.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <charconv>

#include <sys/xattr.h>

namespace platform::property_store::posix {
namespace {

constexpr const char* tags_attribute = "user.xdg.tags";
constexpr const char* comment_attribute = "user.xdg.comment";
constexpr const char* rating_attribute = "user.baloo.rating";

hresult from_errno(int error) { return from_win32(win32_error::from_errno(error)); }

// The attribute's bytes, nullopt when absent; *result carries other errors.
std::optional<std::string> read_attribute(const std::string& path, const char* name, hresult* result) {
    *result = s_ok;
    std::string bytes(256, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t n = ::getxattr(path.c_str(), name, bytes.data(), bytes.size());
        if (n >= 0) {
            bytes.resize(static_cast<std::size_t>(n));
            return bytes;
        }
        if (errno == ENODATA) return std::nullopt;
        if (errno != ERANGE) break;
        // Grown by another writer between the two calls: ask again.
        const ssize_t size = ::getxattr(path.c_str(), name, nullptr, 0);
        if (size < 0) break;
        bytes.assign(static_cast<std::size_t>(size) + 1, '\0');
    }
    *result = from_errno(errno);
    return std::nullopt;
}

hresult store_attribute(const std::string& path, const char* name, const std::string& bytes) {
    if (::setxattr(path.c_str(), name, bytes.data(), bytes.size(), 0) != 0) return from_errno(errno);
    return s_ok;
}

hresult remove_attribute(const std::string& path, const char* name) {
    if (::removexattr(path.c_str(), name) != 0 && errno != ENODATA) return from_errno(errno);
    return s_ok;
}

using platform::rating_scale::stars_of;
using platform::rating_scale::value_of_stars;

hresult read_tags(const std::string& path, property_value& value) {
    hresult result = s_ok;
    const auto joined = read_attribute(path, tags_attribute, &result);
    if (!joined) return result;
    const std::string exact_name = attribute_name(key_keywords);
    const auto exact = read_attribute(path, exact_name.c_str(), &result);
    property_value typed;
    if (exact && decode_value(*exact, typed) && typed.type == value_type::vector_lpwstr &&
        join_tags(typed.strings) == *joined) {
        value = std::move(typed);
        return s_ok;
    }
    value = property_value::make_strings(split_tags(*joined));
    return s_ok;
}

hresult write_tags(const std::string& path, const property_value& value) {
    const std::string exact_name = attribute_name(key_keywords);
    if (value.type == value_type::empty || value.strings.empty()) {
        if (const hresult result = remove_attribute(path, tags_attribute); failed(result)) return result;
        return remove_attribute(path, exact_name.c_str());
    }
    // The exact list first: a reader that meets only the new user.xdg.tags
    // takes the split form, never a stale exact list.
    if (const hresult result = store_attribute(path, exact_name.c_str(), encode_value(value)); failed(result)) {
        return result;
    }
    return store_attribute(path, tags_attribute, join_tags(value.strings));
}

constexpr const char* rating_base_attribute = "user.qlm.mirror.rating";
constexpr const char* comment_base_attribute = "user.qlm.mirror.comment";

bool holds_tag(const std::vector<std::wstring>& tags, const std::wstring& tag) {
    for (const auto& held : tags) {
        if (held == tag) return true;
    }
    return false;
}

// True when write_tags would leave the two attributes as they are.
bool tags_mirrored(const property_value& value, const std::optional<std::string>& joined,
                   const std::optional<std::string>& exact) {
    if (value.type == value_type::empty || value.strings.empty()) return !joined && !exact;
    return value.type == value_type::vector_lpwstr && exact && *exact == encode_value(value) && joined &&
           *joined == join_tags(value.strings);
}

bool merge_tags(const std::string& path, property_value& embedded) {
    hresult result = s_ok;
    const auto theirs = read_attribute(path, tags_attribute, &result);
    if (failed(result)) return false;
    const std::string exact_name = attribute_name(key_keywords);
    const auto exact = read_attribute(path, exact_name.c_str(), &result);
    if (failed(result)) return false;
    if (!theirs && !exact) return tags_mirrored(embedded, theirs, exact);
    std::vector<std::wstring> base;
    property_value typed;
    if (exact && decode_value(*exact, typed) && typed.type == value_type::vector_lpwstr) base = typed.strings;
    const std::string their_text = theirs.value_or(std::string());
    if (exact && join_tags(base) == their_text) return tags_mirrored(embedded, theirs, exact);
    const auto their_tags = split_tags(their_text);
    std::vector<std::wstring> merged;
    if (embedded.type == value_type::vector_lpwstr) {
        for (const auto& tag : embedded.strings) {
            if (!holds_tag(base, tag) || holds_tag(their_tags, tag)) merged.push_back(tag);
        }
    }
    for (const auto& tag : their_tags) {
        if (!holds_tag(base, tag) && !holds_tag(merged, tag)) merged.push_back(tag);
    }
    embedded = merged.empty() ? property_value{} : property_value::make_strings(std::move(merged));
    return false;
}

// The file-manager text a rating or comment value is mirrored as; empty
// for none.
std::string mirror_text(const property_key& key, const property_value& value) {
    if (key == key_rating) {
        const std::uint32_t raw = value.type == value_type::ui4 ? value.ui4
                                  : value.type == value_type::i4 && value.i4 > 0 ? static_cast<std::uint32_t>(value.i4)
                                                                                  : 0;
        return raw == 0 ? std::string() : std::to_string(baloo_rating_of(raw));
    }
    if ((value.type != value_type::lpwstr && value.type != value_type::bstr) || value.null_text) return {};
    return platform::text::to_utf8(value.text.substr(0, value.text.find(L'\0')));
}

class file_manager_store final : public store {
public:
    explicit file_manager_store(std::string path) : path_(std::move(path)) {}

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        if (has_freedesktop_home(key) && failed(read_freedesktop(path_, key, value))) value = property_value{};
        return s_ok;
    }
    hresult set_value(const property_key&, const property_value&) override { return stg_e_accessdenied; }
    hresult commit() override { return stg_e_accessdenied; }

private:
    std::string path_;
};

}  // namespace

std::unique_ptr<store> open_file_manager_store(const std::string& path) {
    return std::make_unique<file_manager_store>(path);
}

bool has_freedesktop_home(const property_key& key) {
    return key == key_keywords || key == key_comment || key == key_rating;
}

std::string join_tags(const std::vector<std::wstring>& tags) {
    std::string joined;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (i > 0) joined += ',';
        joined += platform::text::to_utf8(tags[i]);
    }
    return joined;
}

std::vector<std::wstring> split_tags(std::string_view joined) {
    std::vector<std::wstring> tags;
    std::size_t start = 0;
    while (start <= joined.size()) {
        const auto comma = joined.find(',', start);
        const auto end = comma == std::string_view::npos ? joined.size() : comma;
        if (end > start) tags.push_back(platform::text::from_utf8(joined.substr(start, end - start)));
        start = end + 1;
    }
    return tags;
}

unsigned baloo_rating_of(std::uint32_t value) { return stars_of(value > 99 ? 99 : value) * 2; }

std::optional<std::uint32_t> value_of_baloo_rating(std::string_view text) {
    unsigned half_stars = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), half_stars);
    if (error != std::errc{} || end != text.data() + text.size() || half_stars == 0) return std::nullopt;
    const unsigned stars = half_stars >= 10 ? 5 : (half_stars + 1) / 2;
    // A half star reads as the stars it rounds to, by a value that is not
    // the one writing those stars stores, so that setting them still writes.
    if (half_stars < 10 && half_stars % 2 == 1) return stars == 1 ? 6u : value_of_stars(stars) - 5;
    return value_of_stars(stars);
}

hresult read_freedesktop(const std::string& path, const property_key& key, property_value& value) {
    value = property_value{};
    if (key == key_keywords) return read_tags(path, value);
    hresult result = s_ok;
    if (key == key_comment) {
        if (auto text = read_attribute(path, comment_attribute, &result); text && !text->empty()) {
            value = property_value::make_lpwstr(platform::text::from_utf8(*text));
        }
        return result;
    }
    if (key == key_rating) {
        if (const auto text = read_attribute(path, rating_attribute, &result)) {
            if (const auto rating = value_of_baloo_rating(*text)) value = property_value::make_ui4(*rating);
        }
        return result;
    }
    return e_invalidarg;
}

bool may_hold_file_manager_change(const std::string& path) {
    char names[4096];
    const ssize_t size = ::listxattr(path.c_str(), names, sizeof names);
    // Without user attributes on the volume every read fails, which merges nothing.
    if (size < 0) return errno != ENOTSUP;
    const std::string keywords = attribute_name(key_keywords);
    for (std::size_t at = 0; at < static_cast<std::size_t>(size);) {
        const std::string_view name(names + at);
        at += name.size() + 1;
        for (const std::string_view read : {std::string_view(tags_attribute), std::string_view(keywords),
                                            std::string_view(rating_attribute), std::string_view(rating_base_attribute),
                                            std::string_view(comment_attribute), std::string_view(comment_base_attribute)}) {
            if (name == read) return true;
        }
    }
    return false;
}

bool merge_file_manager_change(const std::string& path, const property_key& key, property_value& embedded) {
    if (key == key_keywords) return merge_tags(path, embedded);
    if (key != key_rating && key != key_comment) return false;
    const bool rating = key == key_rating;
    hresult result = s_ok;
    const auto theirs = read_attribute(path, rating ? rating_attribute : comment_attribute, &result);
    if (failed(result)) return false;
    const auto base = read_attribute(path, rating ? rating_base_attribute : comment_base_attribute, &result);
    if (failed(result)) return false;
    if (theirs == base) {
        // mirror_to_file_manager writes both or removes both.
        const std::string text = mirror_text(key, embedded);
        return text.empty() ? !theirs : theirs == text;
    }
    embedded = property_value{};
    if (!theirs || theirs->empty()) return false;
    if (!rating) {
        embedded = property_value::make_lpwstr(platform::text::from_utf8(*theirs));
    } else if (const auto value = value_of_baloo_rating(*theirs)) {
        embedded = property_value::make_ui4(*value);
    }
    return false;
}

void mirror_to_file_manager(const std::string& path, const property_key& key, const property_value& value) {
    if (key == key_keywords) {
        write_tags(path, value);
        return;
    }
    if (key != key_rating && key != key_comment) return;
    const std::string text = mirror_text(key, value);
    const char* attribute = key == key_rating ? rating_attribute : comment_attribute;
    const char* base = key == key_rating ? rating_base_attribute : comment_base_attribute;
    // The attribute first: a reader between the two takes it as a change,
    // which is the value just written.
    if (text.empty()) {
        if (!failed(remove_attribute(path, attribute))) remove_attribute(path, base);
        return;
    }
    if (!failed(store_attribute(path, attribute, text))) store_attribute(path, base, text);
}

hresult write_freedesktop(const std::string& path, const property_key& key, const property_value& value) {
    if (key == key_keywords) {
        if (value.type != value_type::empty && value.type != value_type::vector_lpwstr) return e_invalidarg;
        return write_tags(path, value);
    }
    // Copies the typed attribute held before these had their own home.
    const std::string typed_name = attribute_name(key);
    if (const hresult result = remove_attribute(path, typed_name.c_str()); failed(result)) return result;
    if (key == key_comment) {
        if (value.type != value_type::empty && value.type != value_type::lpwstr && value.type != value_type::bstr) {
            return e_invalidarg;
        }
        std::wstring text = value.null_text ? std::wstring() : value.text;
        // An LPWSTR ends at its first zero character.
        if (value.type == value_type::lpwstr) text = text.substr(0, text.find(L'\0'));
        if (value.type == value_type::empty || text.empty()) return remove_attribute(path, comment_attribute);
        return store_attribute(path, comment_attribute, platform::text::to_utf8(text));
    }
    if (key == key_rating) {
        std::uint32_t raw = 0;
        if (value.type == value_type::ui4) raw = value.ui4;
        else if (value.type == value_type::i4) raw = value.i4 > 0 ? static_cast<std::uint32_t>(value.i4) : 0;
        else if (value.type != value_type::empty) return e_invalidarg;
        if (raw == 0) return remove_attribute(path, rating_attribute);
        return store_attribute(path, rating_attribute, std::to_string(baloo_rating_of(raw)));
    }
    return e_invalidarg;
}

}  // namespace platform::property_store::posix
