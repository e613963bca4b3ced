#pragma once
// The registry in the Win32 vocabulary: predefined roots, keys opened by
// path, REG_SZ and REG_DWORD values, Win32 error numbers.
//
// Windows: the registry API (RegOpenKeyExW, RegCreateKeyExW, … with
// KEY_WOW64_64KEY) and AssocQueryStringW.
//
// Linux keeps a per-user hive of its own, a JSON file at
// <LocalAppData>/Verandel/Quillmark/Registry/HKCU.json:
//   {"values": [{"name": "", "type": "REG_SZ", "data": "text"},
//               {"name": "n", "type": "REG_DWORD", "data": 1}],
//    "keys": {"Software": {"values": [...], "keys": {...}}}}
// - Key and value names compare ignoring case and keep the case they were
//   created with; the default value has the empty name; values and sub-keys
//   enumerate in creation order.
// - Every write takes an flock on "HKCU.json.lock", re-reads the hive and
//   replaces it through a flushed temporary beside it, so readers (who take
//   no lock) see the old or the new hive. A hive that cannot be written
//   answers 5 (access denied); one that is not a hive answers 1009 (corrupt
//   registry) to writers and reads as empty.
// - HKLM is read-only: the first "Verandel/Quillmark/Registry/HKLM.json"
//   found under $XDG_CONFIG_DIRS (default /etc/xdg).
// - HKCR opens HKCU\Software\Classes\<path> when that key exists, else
//   HKLM's; writes through HKCR go to HKCU.
// - The association of an extension is the desktop id that mimeapps.list
//   names as the default application of the extension's MIME type (from the
//   shared MIME database's globs2).
// A parsed hive is cached until its file changes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::registry {

enum class root { current_user, classes_root, local_machine };

inline constexpr std::uint32_t type_sz = 1;     // REG_SZ
inline constexpr std::uint32_t type_dword = 4;  // REG_DWORD

inline constexpr std::uint32_t error_more_data = 234;      // ERROR_MORE_DATA
inline constexpr std::uint32_t error_no_more_items = 259;  // ERROR_NO_MORE_ITEMS
inline constexpr std::uint32_t error_badkey = 1010;        // ERROR_BADKEY
inline constexpr std::uint32_t error_baddb = 1009;         // ERROR_BADDB
inline constexpr std::uint32_t error_key_deleted = 1018;   // ERROR_KEY_DELETED

/// One value: REG_SZ text (without its terminating zero) or a REG_DWORD.
/// Other types read back with their type and nothing else.
struct value {
    std::uint32_t type = 0;
    std::wstring text;
    std::uint32_t dword = 0;
};

struct key_state;  // the backend's handle

/// An open key (HKEY). Move-only; the destructor closes it.
class key {
public:
    key();
    ~key();
    key(key&& other) noexcept;
    key& operator=(key&& other) noexcept;
    key(const key&) = delete;
    key& operator=(const key&) = delete;

    bool is_open() const { return state_ != nullptr; }

    /// RegQueryValueExW: 0 with the value; 2 when it is missing; 234 when
    /// its data take more than `max_bytes` (a string counts its UTF-16 units
    /// and terminating zero, two bytes each).
    std::uint32_t get_value(const std::wstring& name, value& out, std::size_t max_bytes = 4096) const;

    /// RegSetValueExW with REG_SZ (length including the terminating zero): 0
    /// or the Win32 error.
    std::uint32_t set_string(const std::wstring& name, const std::wstring& text);

    /// RegSetValueExW with REG_DWORD: 0 or the Win32 error.
    std::uint32_t set_dword(const std::wstring& name, std::uint32_t data);

    /// RegDeleteValueW: 0, 2 when the value is missing, or the Win32 error.
    std::uint32_t delete_value(const std::wstring& name);

    /// RegEnumKeyExW until ERROR_NO_MORE_ITEMS: the sub-key names of up to
    /// `max_name` characters in the registry's order. 0 or the Win32 error.
    std::uint32_t sub_key_names(std::vector<std::wstring>& out, std::size_t max_name = 256) const;

    /// RegEnumValueW likewise: the value names in the registry's order.
    std::uint32_t value_names(std::vector<std::wstring>& out, std::size_t max_name = 256) const;

    /// Closes the key (RegCloseKey); nothing when it is not open.
    void close() noexcept;

    /// The backend's handle; for the backends only.
    key_state* state() const { return state_.get(); }
    void reset(std::unique_ptr<key_state> state) noexcept;

private:
    std::unique_ptr<key_state> state_;
};

/// RegOpenKeyExW with KEY_READ (KEY_READ | KEY_WRITE when `writable`):
/// 0 with `out` open, 2 when the key does not exist, or the Win32 error.
std::uint32_t open_key(root where, const std::wstring& path, bool writable, key& out);

/// RegCreateKeyExW with KEY_READ | KEY_WRITE: opens the key, creating it and
/// its missing parents. 0 with `out` open, or the Win32 error.
std::uint32_t create_key(root where, const std::wstring& path, key& out);

/// RegDeleteTreeW of the key and everything below it: 0, 2 when the key
/// does not exist, or the Win32 error.
std::uint32_t delete_tree(root where, const std::wstring& path);

/// AssocQueryStringW with ASSOCSTR_PROGID and no flags (the size asked
/// first, then the text): the ProgID the shell associates with the
/// extension (".jpg"), or nullopt.
std::optional<std::wstring> association_progid(const std::wstring& extension);

/// While one lives (they nest), the hives are looked at on disk once and then
/// answered from memory, as is the association of each extension, so that a
/// run over many files does not ask the file system the same question per
/// file. Writes of this process still go to disk and are seen at once; a
/// change by another process is seen by the next phase or command. Windows:
/// nothing, the registry API caches itself.
class read_phase {
public:
    read_phase();
    ~read_phase();
    read_phase(const read_phase&) = delete;
    read_phase& operator=(const read_phase&) = delete;
};

/// Points HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process at private
/// hives, so that tests never touch the user's own registry; an empty text
/// goes back to the real ones. Linux: the hive files HKCU.json and HKLM.json
/// in `folder`. Windows: RegOverridePredefKey with the keys
/// HKCU\Software\Verandel\Quillmark\Isolated\<folder's last component>\HKCU
/// and …\HKLM.
void override_hives(const std::wstring& folder);

}  // namespace platform::registry
