// The registry on Windows: thin wrappers over the registry API and the
// shell's association query.

#include "platform/registry.h"

#include <windows.h>
#include <shlwapi.h>

#include <mutex>

namespace platform::registry {

struct key_state {
    HKEY handle = nullptr;
};

namespace {

// 64-bit keys also when a 32-bit build of the program runs under WOW64.
constexpr REGSAM wow64_view = KEY_WOW64_64KEY;

HKEY predefined(root where) {
    switch (where) {
        case root::current_user:
            return HKEY_CURRENT_USER;
        case root::classes_root:
            return HKEY_CLASSES_ROOT;
        case root::local_machine:
            return HKEY_LOCAL_MACHINE;
    }
    return HKEY_CURRENT_USER;
}

HKEY handle_of(const key& k) { return k.state() == nullptr ? nullptr : k.state()->handle; }

std::uint32_t enumerate(HKEY handle, bool sub_keys, std::vector<std::wstring>& out, std::size_t max_name) {
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    std::wstring name(max_name + 1, L'\0');
    for (DWORD index = 0;; ++index) {
        auto length = static_cast<DWORD>(name.size());
        const LONG result = sub_keys ? RegEnumKeyExW(handle, index, name.data(), &length, nullptr, nullptr, nullptr,
                                                     nullptr)
                                     : RegEnumValueW(handle, index, name.data(), &length, nullptr, nullptr, nullptr,
                                                     nullptr);
        if (result == ERROR_NO_MORE_ITEMS) return 0;
        if (result == ERROR_MORE_DATA) continue;  // a name longer than asked for is passed over
        if (result != ERROR_SUCCESS) return static_cast<std::uint32_t>(result);
        out.emplace_back(name.data(), length);
    }
}

}  // namespace

key::key() = default;
key::~key() { close(); }
key::key(key&& other) noexcept = default;
key& key::operator=(key&& other) noexcept {
    if (this != &other) {
        close();
        state_ = std::move(other.state_);
    }
    return *this;
}

void key::close() noexcept {
    if (state_ != nullptr && state_->handle != nullptr) RegCloseKey(state_->handle);
    state_.reset();
}

void key::reset(std::unique_ptr<key_state> state) noexcept {
    close();
    state_ = std::move(state);
}

std::uint32_t key::get_value(const std::wstring& name, value& out, std::size_t max_bytes) const {
    const HKEY handle = handle_of(*this);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    std::wstring buffer((max_bytes + 1) / 2 + 1, L'\0');
    DWORD type = 0;
    auto size = static_cast<DWORD>(max_bytes);
    const LONG result = RegQueryValueExW(handle, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                                         &size);
    if (result != ERROR_SUCCESS) return static_cast<std::uint32_t>(result);
    out = value{};
    out.type = type;
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        // The stored data need not end in a zero; cut at the first one.
        std::wstring text(buffer.data(), size / sizeof(wchar_t));
        if (const auto zero = text.find(L'\0'); zero != std::wstring::npos) text.resize(zero);
        out.text = std::move(text);
    } else if (type == REG_DWORD && size == sizeof(DWORD)) {
        out.dword = *reinterpret_cast<const DWORD*>(buffer.data());
    }
    return 0;
}

std::uint32_t key::set_string(const std::wstring& name, const std::wstring& text) {
    const HKEY handle = handle_of(*this);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return static_cast<std::uint32_t>(
        RegSetValueExW(handle, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes));
}

std::uint32_t key::set_dword(const std::wstring& name, std::uint32_t data) {
    const HKEY handle = handle_of(*this);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    const DWORD stored = data;
    return static_cast<std::uint32_t>(
        RegSetValueExW(handle, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored), sizeof(stored)));
}

std::uint32_t key::delete_value(const std::wstring& name) {
    const HKEY handle = handle_of(*this);
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    return static_cast<std::uint32_t>(RegDeleteValueW(handle, name.c_str()));
}

std::uint32_t key::sub_key_names(std::vector<std::wstring>& out, std::size_t max_name) const {
    return enumerate(handle_of(*this), true, out, max_name);
}

std::uint32_t key::value_names(std::vector<std::wstring>& out, std::size_t max_name) const {
    return enumerate(handle_of(*this), false, out, max_name);
}

std::uint32_t open_key(root where, const std::wstring& path, bool writable, key& out) {
    out.close();
    HKEY handle = nullptr;
    const REGSAM access = KEY_READ | (writable ? KEY_WRITE : 0) | wow64_view;
    const LONG result = RegOpenKeyExW(predefined(where), path.c_str(), 0, access, &handle);
    if (result != ERROR_SUCCESS) return static_cast<std::uint32_t>(result);
    out.reset(std::make_unique<key_state>(key_state{handle}));
    return 0;
}

std::uint32_t create_key(root where, const std::wstring& path, key& out) {
    out.close();
    HKEY handle = nullptr;
    const LONG result = RegCreateKeyExW(predefined(where), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                        KEY_READ | KEY_WRITE | wow64_view, nullptr, &handle, nullptr);
    if (result != ERROR_SUCCESS) return static_cast<std::uint32_t>(result);
    out.reset(std::make_unique<key_state>(key_state{handle}));
    return 0;
}

std::uint32_t delete_tree(root where, const std::wstring& path) {
    return static_cast<std::uint32_t>(RegDeleteTreeW(predefined(where), path.c_str()));
}

std::optional<std::wstring> association_progid(const std::wstring& extension) {
    DWORD length = 0;
    if (AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_PROGID, extension.c_str(), nullptr, nullptr, &length) != S_FALSE ||
        length == 0) {
        return std::nullopt;
    }
    std::wstring text(length, L'\0');
    if (FAILED(AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_PROGID, extension.c_str(), nullptr, text.data(), &length))) {
        return std::nullopt;
    }
    if (const auto zero = text.find(L'\0'); zero != std::wstring::npos) text.resize(zero);
    return text;
}

read_phase::read_phase() = default;
read_phase::~read_phase() = default;

void override_hives(const std::wstring& folder) {
    static std::mutex guard;
    const std::lock_guard lock(guard);
    if (folder.empty()) {
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        return;
    }
    // The override keys live in the real per-user hive; undo any earlier
    // override first so that they are not nested inside each other.
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
    const auto slash = folder.find_last_of(L"\\/");
    const std::wstring base =
        L"Software\\Verandel\\Quillmark\\Isolated\\" + (slash == std::wstring::npos ? folder : folder.substr(slash + 1));
    // HKCR is the private user's classes, as the merged view would show them.
    // Every key is made before the first override, which would redirect the rest.
    const std::pair<HKEY, const wchar_t*> targets[] = {
        {HKEY_CURRENT_USER, L"HKCU"}, {HKEY_LOCAL_MACHINE, L"HKLM"}, {HKEY_CLASSES_ROOT, L"HKCU\\Software\\Classes"}};
    HKEY handles[3] = {nullptr, nullptr, nullptr};
    for (std::size_t i = 0; i < 3; ++i) {
        RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\" + targets[i].second).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &handles[i], nullptr);
    }
    for (std::size_t i = 0; i < 3; ++i) {
        if (handles[i] == nullptr) continue;
        RegOverridePredefKey(targets[i].first, handles[i]);
        RegCloseKey(handles[i]);
    }
}

}  // namespace platform::registry
