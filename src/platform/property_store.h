#pragma once
// Property stores in the vocabulary of the Windows property system: keys
// {fmtid, pid}, typed values and HRESULTs.
//
// Two stores can be opened for a path:
// - the handler store (SHGetPropertyStoreFromParsingName on Windows). On
//   Linux images go through Exiv2: the handler keeps System.Keywords,
//   System.Rating, System.Comment and System.Title inside the file and
//   passes every other property through to the property set. MP3, FLAC, Ogg
//   Vorbis and M4A files go through TagLib, which keeps the rating and
//   comment where players read them (posix/properties/audio_store.h). A read-write
//   open of a type without a handler fails; a read open of such a type reads
//   its property set. A handler-only read open of it sees the keywords,
//   comment and rating of the file-manager attributes below (on Linux they
//   are that file's own metadata) and nothing else; on Windows such a type
//   keeps the system's rule.
//   Content is rewritten crash-safely (temp file beside the
//   target, flushed, renamed over it, mode, owner and xattrs carried over).
// - the property set (StgOpenStorageEx + PSCreatePropertyStoreFromProperty-
//   SetStorage on Windows). On Linux: one "user.qlm.prop.{FMTID}.pid"
//   extended attribute per property, typed text; a file system without user
//   extended attributes refuses the open with STG_E_INVALIDFUNCTION, which is
//   what an NTFS property-set open answers on a FAT volume. System.Keywords,
//   System.Comment and System.Rating live where Linux file managers keep
//   them: user.xdg.tags (comma-separated; the exact list, which may hold
//   commas, also typed, and trusted only while it joins to user.xdg.tags),
//   user.xdg.comment, and user.baloo.rating in half-stars 0-10 (written as
//   stars x 2; n read as a 0-99 value of round-half-up n/2 stars, a half
//   star by a value other than those stars' own). Photos (JPEG, PNG, TIFF,
//   WebP) keep the three in the file and mirror them there on every write;
//   a read applies what a file manager changed since (posix/
//   freedesktop_attributes.h). Camera raw files keep them in their XMP
//   sidecar (posix/properties/raw_sidecar_store.h).
// On Linux an open store holds an flock for its life in place of the share
// modes: writers exclusive, property-set readers shared; an open that meets
// another holder fails with a sharing violation.
// On both, set_value only stages a change; commit makes it durable.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::property_store {

using hresult = std::int32_t;

inline constexpr hresult s_ok = 0;
inline constexpr hresult s_false = 1;
inline constexpr hresult e_fail = static_cast<hresult>(0x80004005);
inline constexpr hresult e_invalidarg = static_cast<hresult>(0x80070057);
inline constexpr hresult e_outofmemory = static_cast<hresult>(0x8007000E);
inline constexpr hresult e_accessdenied = static_cast<hresult>(0x80070005);
inline constexpr hresult stg_e_invalidfunction = static_cast<hresult>(0x80030001);
inline constexpr hresult stg_e_filenotfound = static_cast<hresult>(0x80030002);
inline constexpr hresult stg_e_accessdenied = static_cast<hresult>(0x80030005);
inline constexpr hresult stg_e_sharingviolation = static_cast<hresult>(0x80030020);
inline constexpr hresult wincodec_err_propertynotsupported = static_cast<hresult>(0x88982F41);
inline constexpr hresult wincodec_err_badheader = static_cast<hresult>(0x88982F61);

/// HRESULT_FROM_WIN32: values of 0 or below are taken as they are.
hresult from_win32(std::uint32_t error);

/// True for the failure codes (high bit set).
inline bool failed(hresult result) { return result < 0; }

struct guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::array<std::uint8_t, 8> data4{};
    friend bool operator==(const guid&, const guid&) = default;
};

struct property_key {
    guid fmtid;
    std::uint32_t pid = 0;
    friend bool operator==(const property_key&, const property_key&) = default;
};

inline constexpr guid summary_information{0xF29F85E0, 0x4FF9, 0x1068, {0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9}};
inline constexpr guid media_file_summary{0x64440492, 0x4C8B, 0x11D1, {0x8B, 0x70, 0x08, 0x00, 0x36, 0xB1, 0x1A, 0x03}};

inline constexpr property_key key_title{summary_information, 2};
inline constexpr property_key key_keywords{summary_information, 5};
inline constexpr property_key key_comment{summary_information, 6};
inline constexpr property_key key_rating{media_file_summary, 9};

/// "{F29F85E0-4FF9-1068-AB91-08002B27B3D9}": upper-case registry form.
std::string to_string(const guid& id);

/// PROPVARIANT types the stores accept (VARENUM values).
enum class value_type : std::uint16_t {
    empty = 0,        // VT_EMPTY
    i4 = 3,           // VT_I4
    r8 = 5,           // VT_R8
    bstr = 8,         // VT_BSTR
    ui4 = 19,         // VT_UI4
    lpwstr = 31,      // VT_LPWSTR
    filetime = 64,    // VT_FILETIME
    vector_r8 = 0x1005,
    vector_lpwstr = 0x101F,
};

/// A typed value. `text` holds LPWSTR/BSTR content; `null_text` marks a
/// string value whose pointer is null (which clears the property).
struct property_value {
    value_type type = value_type::empty;
    std::uint32_t ui4 = 0;
    std::int32_t i4 = 0;
    double r8 = 0.0;
    std::uint64_t filetime = 0;
    std::wstring text;
    bool null_text = false;
    std::vector<std::wstring> strings;
    std::vector<double> doubles;

    static property_value make_ui4(std::uint32_t v);
    static property_value make_i4(std::int32_t v);
    static property_value make_r8(double v);
    static property_value make_filetime(std::uint64_t v);
    static property_value make_lpwstr(std::wstring v);
    static property_value make_null_lpwstr();
    static property_value make_bstr(std::wstring v);
    static property_value make_strings(std::vector<std::wstring> v);
    static property_value make_doubles(std::vector<double> v);

    friend bool operator==(const property_value&, const property_value&) = default;
};

/// One open store (IPropertyStore). Not thread-safe; close by destruction.
class store {
public:
    virtual ~store() = default;
    /// S_OK with the value (VT_EMPTY when the property is absent), or a
    /// failure code.
    virtual hresult get_value(const property_key& key, property_value& value) = 0;
    /// Stages a value; durable only after commit. A failure code when the
    /// store refuses it (read-only store: STG_E_ACCESSDENIED).
    virtual hresult set_value(const property_key& key, const property_value& value) = 0;
    /// Makes every staged value durable.
    virtual hresult commit() = 0;
    /// The file's whole content when the store read it into memory (a small
    /// photo opened for reading), so that another reader of the same open
    /// need not read the file again; valid while the store lives.
    virtual std::optional<std::string_view> held_content() const { return std::nullopt; }
};

/// GETPROPERTYSTOREFLAGS values the system passes.
inline constexpr std::uint32_t gps_default = 0;
inline constexpr std::uint32_t gps_handler_properties_only = 1;
inline constexpr std::uint32_t gps_read_write = 2;

/// The handler store of a file (SHGetPropertyStoreFromParsingName). On
/// success `out` holds the store.
hresult open_handler_store(const std::wstring& path, std::uint32_t flags, std::unique_ptr<store>& out);

/// The property set of a file or folder (StgOpenStorageEx with STGFMT_FILE,
/// read with STGM_SHARE_DENY_WRITE or read-write with STGM_SHARE_EXCLUSIVE,
/// then PSCreatePropertyStoreFromPropertySetStorage).
hresult open_property_set(const std::wstring& path, bool writable, std::unique_ptr<store>& out);

/// The XMP sidecar in which the handler of the file's type keeps its tags,
/// rating and comment, or empty when the handler keeps them in the file
/// itself. Linux: TIFF-based camera raw files (.dng .cr2 .nef .arw .orf
/// .rw2 .pef .srw) are never rewritten; their sidecar is "name.ext.xmp", or
/// an existing "name.xmp". Windows: always empty (the system's raw codecs
/// keep the metadata). Looks at the name and at which sidecar exists.
std::wstring handler_sidecar(const std::wstring& path);

/// The system's message text for a code (FormatMessageW; Linux: our own
/// table of the codes this system meets, else "Unknown error").
std::wstring message_text(hresult code);

}  // namespace platform::property_store
