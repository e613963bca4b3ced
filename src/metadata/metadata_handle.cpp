#include "metadata/metadata_handle.h"

#include "metadata/file_changed_error.h"
#include "metadata/folder_ini.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/rating_scale.h"
#include "platform/system_words.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <fmt/format.h>

#include <stdexcept>
#include <thread>

namespace qlm::metadata {

namespace ps = platform::property_store;
namespace fs = platform::file_system;

namespace {

constexpr hresult share_violation_storage = static_cast<hresult>(0x80030020);
constexpr hresult share_violation_win32 = static_cast<hresult>(0x80070020);
constexpr std::chrono::milliseconds retry_pause{50};

bool cloud_or_offline(std::uint32_t attributes) { return (attributes & cloud_attribute_mask) != 0; }

std::string message_of(hresult code) { return platform::text::to_utf8(ps::message_text(code)); }

// The system's words for a failure, as this system's messages quote them.
std::string words_of(hresult code) { return platform::text::to_utf8(platform::system_words::words_or_code(code)); }

}  // namespace

hresult store_access::open_handler_store(const std::wstring& path, std::uint32_t flags,
                                         std::unique_ptr<ps::store>& out) const {
    return ps::open_handler_store(path, flags, out);
}

hresult store_access::open_property_set(const std::wstring& path, bool writable, std::unique_ptr<ps::store>& out) const {
    return ps::open_property_set(path, writable, out);
}

std::uint32_t store_access::get_attributes(const std::wstring& path, std::uint32_t* error) const {
    return fs::get_attributes(path, error);
}

std::uint32_t store_access::set_attributes(const std::wstring& path, std::uint32_t attributes) const {
    return fs::set_attributes(path, attributes);
}

void store_access::pause(std::chrono::milliseconds duration) const { std::this_thread::sleep_for(duration); }

hresult store_access::create_imaging_factory(std::unique_ptr<platform::imaging::factory>& out) const {
    return platform::imaging::create_factory(out);
}

const store_access& store_access::system() {
    static const store_access instance;
    return instance;
}

bool is_not_found(hresult code) {
    return code == ps::stg_e_filenotfound || code == ps::from_win32(platform::win32_error::file_not_found) ||
           code == ps::from_win32(platform::win32_error::path_not_found);
}

std::uint32_t rating_to_stars(std::uint32_t value) {
    return value <= 100 ? platform::rating_scale::stars_of(value) : 500;
}

std::uint32_t stars_to_rating(std::uint32_t stars) {
    return stars <= 5 ? platform::rating_scale::value_of_stars(stars) : 500;
}

metadata_handle::metadata_handle(const store_access& access) : access_(&access) {}

metadata_handle::~metadata_handle() { close(); }

void metadata_handle::release() noexcept {
    store_.reset();
    mode_ = 0;
}

void metadata_handle::close() noexcept {
    release();
    if (saved_attributes_ != 0 && !path_.empty()) {
        // A failed restore cannot be undone here; the next write lifts again.
        access_->set_attributes(path_, saved_attributes_);
    }
    saved_attributes_ = 0;
    path_.clear();
    is_folder_ = false;
}

bool metadata_handle::open_property_set_for_reading(const std::wstring& path, hresult& failure) {
    std::uint32_t error = 0;
    const std::uint32_t attributes = access_->get_attributes(path, &error);
    if (attributes == fs::invalid_attributes) {
        last_error_ = ps::from_win32(error);
        failure = last_error_;
        return false;
    }
    if (cloud_or_offline(attributes)) {
        offline_ = true;
        failure = ps::s_false;
        return false;
    }
    std::unique_ptr<ps::store> opened;
    const hresult result = access_->open_property_set(path, false, opened);
    if (ps::failed(result)) {
        last_error_ = result;
        failure = result;
        return false;
    }
    store_ = std::move(opened);
    mode_ = 1;
    path_ = path;
    is_folder_ = (attributes & fs::attribute_directory) != 0;
    return true;
}

bool metadata_handle::open_folder_for_reading(const std::wstring& path) {
    is_folder_ = true;
    offline_ = false;
    last_error_ = 0;
    if (store_ && path_ == path) return true;
    hresult failure = 0;
    return open_property_set_for_reading(path, failure);
}

bool metadata_handle::open_for_reading(const std::wstring& path, std::uint32_t flags) {
    if (path.empty()) return false;
    if (!path_.empty() && path_ != path) close();
    std::uint32_t error = 0;
    const std::uint32_t attributes = access_->get_attributes(path, &error);
    if (attributes == fs::invalid_attributes) {
        // Gone or out of reach since it was listed: say which.
        last_error_ = ps::from_win32(error);
        return false;
    }
    if (cloud_or_offline(attributes)) return false;
    if ((attributes & fs::attribute_directory) != 0) return open_folder_for_reading(path);

    release();
    if (flags == ps::gps_handler_properties_only && (attributes & fs::attribute_reparse_point) != 0) {
        flags = ps::gps_default;
    }
    std::unique_ptr<ps::store> opened;
    hresult result = access_->open_handler_store(path, flags, opened);
    if (ps::failed(result) && flags != ps::gps_default) result = access_->open_handler_store(path, ps::gps_default, opened);
    if (!ps::failed(result)) {
        store_ = std::move(opened);
        mode_ = 1;
        path_ = path;
        return true;
    }

    hresult failure = 0;
    if (open_property_set_for_reading(path, failure)) return true;
    if (failure == ps::s_false) return false;  // turned out to be a cloud file
    const hresult code = failure < 1 ? failure : ps::from_win32(static_cast<std::uint32_t>(failure));
    if (is_not_found(code)) return false;
    if (!platform::system_words::codes_beside_words()) {
        throw std::runtime_error(fmt::format("Failed to open metadata: {}", words_of(code)));
    }
    throw std::runtime_error(fmt::format("Failed to open metadata 0x{:08X} {}", static_cast<std::uint32_t>(code),
                                         message_of(code)));
}

bool metadata_handle::open_for_writing(const std::wstring& path) {
    if (path.empty()) return false;
    if (!path_.empty() && path_ != path) close();
    const std::uint32_t attributes = access_->get_attributes(path, nullptr);
    if (attributes == fs::invalid_attributes || cloud_or_offline(attributes)) return false;
    if ((attributes & fs::attribute_directory) != 0) {
        is_folder_ = true;
        return open_property_set_for_writing(path);
    }
    if (store_) close();
    std::unique_ptr<ps::store> opened;
    const hresult handler = access_->open_handler_store(path, ps::gps_read_write, opened);
    if (!ps::failed(handler)) {
        store_ = std::move(opened);
        mode_ = 2;
        path_ = path;
        return true;
    }
    if (open_property_set_for_writing(path)) return true;
    if (is_not_found(handler)) return false;
    if (!platform::system_words::codes_beside_words()) {
        // A read-only file refuses every place the chain tries; that is the
        // reason to give, not the first handler's.
        const bool read_only = (attributes & fs::attribute_readonly) != 0;
        throw std::runtime_error(fmt::format("Failed to write new metadata. Error provided by {}: {}",
                                             platform::text::to_utf8(platform::system_words::system_name()),
                                             read_only ? words_of(ps::e_accessdenied) + " (the file is read-only)"
                                                       : words_of(handler)));
    }
    throw std::runtime_error(fmt::format("Failed to write new metadata. Error provided by Windows: {} Error code: 0x{:08x}",
                                         message_of(handler), static_cast<std::uint32_t>(handler)));
}

bool metadata_handle::open_property_set_for_writing(const std::wstring& path) {
    if (!path_.empty() && path_ != path) close();
    if (store_ && path_ == path) {
        if (mode_ == 2) return true;
        close();
    }
    const bool keep_folder_flag = is_folder_;
    const std::uint32_t attributes = access_->get_attributes(path, nullptr);
    if (attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0 &&
        (attributes & (fs::attribute_readonly | fs::attribute_system)) != 0) {
        const std::uint32_t lifted = attributes & ~(fs::attribute_readonly | fs::attribute_system);
        if (access_->set_attributes(path, lifted) == 0) saved_attributes_ = attributes;
    }
    std::unique_ptr<ps::store> opened;
    const hresult result = access_->open_property_set(path, true, opened);
    if (ps::failed(result)) {
        if (saved_attributes_ != 0 && !path.empty()) access_->set_attributes(path, saved_attributes_);
        saved_attributes_ = 0;
        is_folder_ = keep_folder_flag;
        return false;
    }
    store_ = std::move(opened);
    mode_ = 2;
    path_ = path;
    is_folder_ = attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0;
    return true;
}

hresult metadata_handle::set_value(const property_key& key, const property_value& value) {
    if (!store_) return ps::e_fail;
    hresult result = ps::e_fail;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) access_->pause(retry_pause);
        result = store_->set_value(key, value);
        if (!ps::failed(result)) break;
        if (result == ps::wincodec_err_propertynotsupported || result == ps::stg_e_accessdenied) break;
    }
    return result;
}

std::string commit_failure_message(hresult result) {
    if (!platform::system_words::codes_beside_words()) {
        return fmt::format("Failed to commit changes to metadata: {}", words_of(result));
    }
    return fmt::format("Failed to commit changes to metadata. Error: 0x{:08X}", static_cast<std::uint32_t>(result));
}

void metadata_handle::commit() {
    if (!store_) return;
    hresult result = ps::s_ok;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) access_->pause(retry_pause);
        result = store_->commit();
        // Only a file that someone else holds open is worth waiting for.
        if (result != share_violation_storage && result != share_violation_win32) break;
    }
    // Nothing was written over the other program's change; the caller may start again.
    if (result == ps::from_win32(fs::file_changed)) throw file_changed_error();
    if (ps::failed(result)) throw std::runtime_error(commit_failure_message(result));
    if (is_folder_) write_folder_ini(*this);
}

hresult metadata_handle::get_value(const property_key& key, property_value& value) const {
    value = property_value{};
    if (!store_) return ps::e_fail;
    return store_->get_value(key, value);
}

std::vector<std::wstring> metadata_handle::get_tags() const {
    property_value value;
    if (store_ && !ps::failed(store_->get_value(ps::key_keywords, value)) &&
        value.type == ps::value_type::vector_lpwstr) {
        return value.strings;
    }
    if (is_folder_) return read_folder_ini_tags(path_);
    return {};
}

std::uint32_t metadata_handle::get_rating(bool& found) const {
    found = false;
    if (!store_) return 0;
    property_value value;
    if (ps::failed(store_->get_value(ps::key_rating, value))) throw std::runtime_error("Failed to get rating");
    if (value.type == ps::value_type::ui4) {
        found = true;
        return rating_to_stars(value.ui4);
    }
    if (value.type == ps::value_type::i4) {
        found = true;
        // Below zero: a photo marked rejected, which has no stars.
        return value.i4 < 0 ? 0 : rating_to_stars(static_cast<std::uint32_t>(value.i4));
    }
    return 0;
}

std::wstring metadata_handle::get_comment() const {
    property_value value;
    if (!store_ || ps::failed(store_->get_value(ps::key_comment, value))) return {};
    if ((value.type == ps::value_type::lpwstr || value.type == ps::value_type::bstr) && !value.null_text) {
        return value.text;
    }
    return {};
}

bool write_property_set_value(const std::wstring& path, const property_key& key, const property_value& value,
                              const store_access& access) {
    if (path.empty()) return false;
    std::unique_ptr<ps::store> opened;
    if (ps::failed(access.open_property_set(path, true, opened))) return false;
    return !ps::failed(opened->set_value(key, value)) && !ps::failed(opened->commit());
}

bool read_property_set_strings(const std::wstring& path, const property_key& key, std::vector<std::wstring>& out,
                               const store_access& access) {
    std::unique_ptr<ps::store> opened;
    if (path.empty() || ps::failed(access.open_property_set(path, false, opened))) return false;
    property_value value;
    if (ps::failed(opened->get_value(key, value)) || value.type != ps::value_type::vector_lpwstr) return false;
    out.insert(out.end(), value.strings.begin(), value.strings.end());
    return !value.strings.empty();
}

}  // namespace qlm::metadata
