#pragma once
// metadata_handle: one open property store for one file or folder, with the
// readers and writers of tags, rating and comment, the folder attribute
// lifting around writes, and the rating scales between the property value
// (0-99) and stars (0-5).

#include "platform/imaging.h"
#include "platform/property_store.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm::metadata {

using platform::property_store::hresult;
using platform::property_store::property_key;
using platform::property_store::property_value;

/// Everything a handle asks of the system: the two store opens, the folder
/// attributes, the pause between retries, and the imaging factory that the
/// write chain falls back to when the store refuses a value. Tests hand a handle a
/// fault-injecting one; everyone else uses system().
class store_access {
public:
    virtual ~store_access() = default;
    virtual hresult open_handler_store(const std::wstring& path, std::uint32_t flags,
                                       std::unique_ptr<platform::property_store::store>& out) const;
    virtual hresult open_property_set(const std::wstring& path, bool writable,
                                      std::unique_ptr<platform::property_store::store>& out) const;
    /// GetFileAttributesW / SetFileAttributesW (0 or the Win32 error).
    virtual std::uint32_t get_attributes(const std::wstring& path, std::uint32_t* error) const;
    virtual std::uint32_t set_attributes(const std::wstring& path, std::uint32_t attributes) const;
    virtual void pause(std::chrono::milliseconds duration) const;
    /// The imaging factory (WIC): S_OK with `out` set, or the failure.
    virtual hresult create_imaging_factory(std::unique_ptr<platform::imaging::factory>& out) const;

    /// The real system.
    static const store_access& system();
};

/// Attributes of a cloud placeholder or offline file: such a path is never
/// opened, so that no open can start a download.
inline constexpr std::uint32_t cloud_attribute_mask = 0x441000;

/// True for the codes that mean "no such file or path": answered quietly.
bool is_not_found(hresult code);

/// Property value (taken as unsigned) to stars: 0 → 0, 1-12 → 1, 13-37 → 2,
/// 38-62 → 3, 63-87 → 4, 88-100 → 5, above 100 → 500 (out of range).
std::uint32_t rating_to_stars(std::uint32_t value);

/// Stars to the property value: 0, 1, 25, 50, 75, 99; anything else 500.
std::uint32_t stars_to_rating(std::uint32_t stars);

class metadata_handle {
public:
    explicit metadata_handle(const store_access& access = store_access::system());
    ~metadata_handle();
    metadata_handle(const metadata_handle&) = delete;
    metadata_handle& operator=(const metadata_handle&) = delete;

    /// Opens for reading with GETPROPERTYSTOREFLAGS `flags`. False for an
    /// empty, missing or cloud path; throws std::runtime_error "Failed to
    /// open metadata 0x{:08X} {}" for other failures (Linux: "Failed to open
    /// metadata: {}" with the system's words).
    bool open_for_reading(const std::wstring& path, std::uint32_t flags);

    /// Opens for writing: the handler store for files, else the property
    /// set. False for an empty, missing or cloud path; throws "Failed to
    /// write new metadata. Error provided by Windows: {} Error code: 0x{:08x}"
    /// (Linux: "… Error provided by the system: {}" with its words alone).
    bool open_for_writing(const std::wstring& path);

    /// Opens the property set read-write, lifting a folder's read-only and
    /// system attributes until close. False when the set cannot be opened.
    bool open_property_set_for_writing(const std::wstring& path);

    /// Releases the store and restores lifted attributes. Never throws.
    void close() noexcept;

    /// Commits (retrying sharing violations, three attempts in all), then
    /// mirrors a folder into desktop.ini. Throws "Failed to commit changes to
    /// metadata. Error: 0x{:08X}" (Linux: "Failed to commit changes to
    /// metadata: {}" with the system's words), or "Failed to get rating"
    /// from the mirror.
    void commit();

    /// Stages a value: up to three attempts with 50 ms pauses, none after
    /// "property not supported" or "access denied". The last result.
    hresult set_value(const property_key& key, const property_value& value);

    /// Reads a value straight from the store; E_FAIL without one.
    hresult get_value(const property_key& key, property_value& value) const;

    /// System.Keywords in stored order; for a folder without them, the tags
    /// of its desktop.ini; otherwise empty.
    std::vector<std::wstring> get_tags() const;

    /// Stars of System.Rating (VT_UI4 or VT_I4); `found` tells whether it was
    /// there. Throws "Failed to get rating" when the store cannot be asked.
    std::uint32_t get_rating(bool& found) const;

    /// System.Comment (VT_LPWSTR or VT_BSTR), empty when absent.
    std::wstring get_comment() const;

    std::uint32_t mode() const { return mode_; }
    const std::wstring& path() const { return path_; }
    bool is_folder() const { return is_folder_; }
    bool offline() const { return offline_; }
    hresult last_error() const { return last_error_; }
    bool has_store() const { return store_ != nullptr; }
    /// The file's whole content when the open read it into memory.
    std::optional<std::string_view> held_content() const {
        return store_ ? store_->held_content() : std::nullopt;
    }
    /// What this handle asks of the system; the write chain asks it too.
    const store_access& access() const { return *access_; }

private:
    bool open_folder_for_reading(const std::wstring& path);
    bool open_property_set_for_reading(const std::wstring& path, hresult& failure);
    void release() noexcept;

    const store_access* access_;
    std::unique_ptr<platform::property_store::store> store_;
    std::uint32_t mode_ = 0;
    std::wstring path_;
    bool is_folder_ = false;
    std::uint32_t saved_attributes_ = 0;
    bool offline_ = false;
    hresult last_error_ = 0;
};

/// Writes one value into the path's property set and commits it, once,
/// without touching attributes. True when both succeeded.
bool write_property_set_value(const std::wstring& path, const property_key& key, const property_value& value,
                              const store_access& access = store_access::system());

/// Appends the elements of a string-vector property of the path's property
/// set. True when at least one was appended.
bool read_property_set_strings(const std::wstring& path, const property_key& key, std::vector<std::wstring>& out,
                               const store_access& access = store_access::system());

/// The text of a commit that failed with `result`, as commit() raises it;
/// also given to a write whose group commit failed after commit() returned.
std::string commit_failure_message(platform::property_store::hresult result);

}  // namespace qlm::metadata
