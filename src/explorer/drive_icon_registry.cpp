#include "explorer/drive_icon_registry.h"

#include "platform/property_store.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <stdexcept>

namespace sortwell::explorer {
namespace {

namespace registry = platform::registry;

// A default value of up to 4,096 characters and its terminating zero.
constexpr std::size_t default_value_bytes = (4096 + 1) * 2;

[[noreturn]] void fail(const wchar_t* action, const std::wstring& drive, std::uint32_t code) {
    namespace ps = platform::property_store;
    std::wstring text = ps::message_text(ps::from_win32(code));
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    throw std::runtime_error(platform::text::to_utf8(fmt::format(
        L"Could not {} the custom icon for drive '{}'.\n\nQLM could not update the per-user Explorer drive-icon "
        L"registry entry. Verify that your account can update HKEY_CURRENT_USER\\Software\\Classes and try "
        L"again.\n\nWindows error {}: {}",
        action, drive, code, text)));
}

bool read_text(const registry::key& key, const std::wstring& name, std::wstring& out) {
    registry::value value;
    if (key.get_value(name, value, default_value_bytes) != 0 || value.type != registry::type_sz) return false;
    out = value.text;
    return true;
}

}  // namespace

std::wstring drive_icon_key(wchar_t letter) {
    const wchar_t upper = (letter >= L'a' && letter <= L'z') ? static_cast<wchar_t>(letter - L'a' + L'A') : letter;
    return fmt::format(L"Software\\Classes\\Applications\\Explorer.exe\\Drives\\{}\\DefaultIcon", upper);
}

void register_drive_icon(const std::wstring& drive, wchar_t letter, const std::wstring& icon) {
    registry::key key;
    if (const auto error = registry::create_key(registry::root::current_user, drive_icon_key(letter), key); error != 0) {
        fail(L"register", drive, error);
    }
    registry::value flag;
    const bool backed_up = key.get_value(drive_icon_had_original_value, flag) == 0 &&
                           flag.type == registry::type_dword;
    if (!backed_up) {
        std::wstring original;
        const bool had_original = read_text(key, L"", original);
        if (const auto error = key.set_dword(drive_icon_had_original_value, had_original ? 1 : 0); error != 0) {
            fail(L"back up the existing icon for", drive, error);
        }
        if (had_original) {
            if (const auto error = key.set_string(drive_icon_original_value, original); error != 0) {
                fail(L"back up the existing icon for", drive, error);
            }
        }
    }
    const std::wstring applied = icon + L",0";
    for (const wchar_t* name : {L"", drive_icon_applied_value}) {
        if (const auto error = key.set_string(name, applied); error != 0) fail(L"register", drive, error);
    }
}

void restore_drive_icon(const std::wstring& drive, wchar_t letter) {
    registry::key key;
    const auto opened = registry::open_key(registry::root::current_user, drive_icon_key(letter), true, key);
    if (opened == platform::win32_error::file_not_found) return;
    if (opened != 0) fail(L"restore", drive, opened);
    std::wstring applied;
    if (!read_text(key, drive_icon_applied_value, applied)) return;
    std::wstring current;
    if (!read_text(key, L"", current) || current != applied) {
        throw std::runtime_error(platform::text::to_utf8(
            fmt::format(L"Could not restore the default icon for drive '{}'.\n\nAnother application changed this "
                        L"drive's icon after QLM. QLM left that newer setting unchanged.",
                        drive)));
    }
    registry::value flag;
    std::wstring original;
    std::uint32_t error = 0;
    if (key.get_value(drive_icon_had_original_value, flag) == 0 && flag.type == registry::type_dword &&
        flag.dword == 1 && read_text(key, drive_icon_original_value, original)) {
        error = key.set_string(L"", original);
    } else if (const auto deleted = key.delete_value(L""); deleted != platform::win32_error::file_not_found) {
        error = deleted;
    }
    if (error != 0) fail(L"restore", drive, error);
    for (const wchar_t* name : {drive_icon_applied_value, drive_icon_had_original_value, drive_icon_original_value}) {
        const auto deleted = key.delete_value(name);
        if (deleted != 0 && deleted != platform::win32_error::file_not_found) fail(L"restore", drive, deleted);
    }
}

}  // namespace sortwell::explorer
