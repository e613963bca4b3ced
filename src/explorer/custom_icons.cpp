#include "explorer/custom_icons.h"

#include "explorer/drive_icon_registry.h"
#include "explorer/folder_overlay.h"
#include "explorer/icon_error.h"
#include "metadata/folder_ini.h"
#include "platform/file_safety.h"
#include "platform/file_streams.h"
#include "platform/file_system.h"
#include "platform/graphics.h"
#include "platform/path_forms.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <stdexcept>

namespace sortwell::explorer {
namespace {

namespace fs = platform::file_system;
namespace shell = platform::shell;

constexpr wchar_t icon_prefix[] = L"sw_folder_";
constexpr wchar_t icon_stream[] = L"sw_icon_data";
// Icons are kilobytes; a bigger source is not read into memory.
constexpr std::size_t largest_icon_source = 64U << 20;

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == fs::separator || folder.back() == L'/')) return folder + name;
    return folder + fs::separator + name;
}

[[noreturn]] void fail(const wchar_t* action, const std::wstring& path, std::uint32_t code) {
    throw std::runtime_error(icon_error_message(action, path, code));
}

void add_attributes(const std::wstring& path, std::uint32_t bits, const wchar_t* read_action,
                    const wchar_t* write_action) {
    std::uint32_t error = 0;
    const std::uint32_t attributes = fs::get_attributes(path, &error);
    if (attributes == fs::invalid_attributes) fail(read_action, path, error);
    if ((attributes & bits) == bits) return;
    if (const std::uint32_t result = fs::set_attributes(path, attributes | bits); result != 0) {
        fail(write_action, path, result);
    }
}

bool is_suite_icon(const std::wstring& name) {
    constexpr std::size_t length = std::size(icon_prefix) - 1;
    return name.size() >= 13 && platform::text::equal_ignore_case(std::wstring_view(name).substr(0, length), icon_prefix) &&
           platform::text::equal_ignore_case(std::wstring_view(name).substr(name.size() - 4), L".ico");
}

// Older icons of ours go before a new one arrives, so a folder keeps one.
void delete_suite_icons(const std::wstring& folder, const std::wstring& keep) {
    for (const std::wstring& name : fs::find_files(join(folder, L"*")).value_or(std::vector<std::wstring>{})) {
        if (!is_suite_icon(name) || name == keep) continue;
        const std::wstring path = join(folder, name);
        const std::uint32_t attributes = fs::get_attributes(path);
        if (attributes != fs::invalid_attributes && (attributes & fs::attribute_readonly) != 0) {
            fs::set_attributes(path, attributes & ~fs::attribute_readonly);
        }
        fs::delete_file(path);
    }
}

// CopyFileW with overwriting allowed: 0 or the Win32 error.
std::uint32_t copy_over(const std::wstring& source, const std::wstring& destination) {
    std::uint32_t error = 0;
    const auto bytes = fs::read_file(source, &error);
    if (!bytes) return error;
    return fs::write_file(destination, *bytes);
}

std::uint32_t hresult_code(std::int32_t result) {
    const auto value = static_cast<std::uint32_t>(result);
    return ((value >> 16) & 0x1FFF) == 7 ? (value & 0xFFFF) : 82;
}

[[noreturn]] void fail_file_icon(const char* step, const std::wstring& path = {}) {
    throw std::runtime_error(path.empty() ? fmt::format("Unable to update file icon. {}", step)
                                          : fmt::format("Unable to update file icon. {} {}", step,
                                                        platform::text::to_utf8(path)));
}

// The bytes of the icon a file gets: an .ico file as it is (a text such as
// "x.ico,0" names x.ico), or for "module,-id" the module's icon group with
// that id made into an .ico.
std::string file_icon_bytes(const std::wstring& source) {
    const auto [module, index] = split_icon_resource(source);
    if (index < 0 && index >= -0xFFFF) {
        auto bytes = platform::graphics::icon_group_file(fs::long_path_form(module), static_cast<std::uint16_t>(-index));
        if (!bytes) fail_file_icon("Failed to open source icon:", source);
        return std::move(*bytes);
    }
    const std::wstring path = fs::long_path_form(module);
    std::uint32_t error = 0;
    if (fs::get_attributes(path, &error) == fs::invalid_attributes) fail_file_icon("Failed to open source icon:", source);
    auto bytes = fs::read_file_at_most(path, largest_icon_source, &error);
    if (!bytes) {
        if (error == fs::file_too_large) fail_file_icon("Failed to get source icon size");
        if (error == 2 || error == 3 || error == 5 || error == 32) fail_file_icon("Failed to open source icon:", source);
        fail_file_icon("Failed to read source icon");
    }
    return std::move(*bytes);
}

}  // namespace

bool is_drive_root(const std::wstring& path) {
    if (path.size() < 2 || path[1] != L':') return false;
    const wchar_t letter = path[0];
    if (!((letter >= L'A' && letter <= L'Z') || (letter >= L'a' && letter <= L'z'))) return false;
    return fs::is_root(path) && !fs::is_unc_share_root(path);
}

void set_folder_icon(const std::wstring& target, const std::wstring& icon_source, bool remove,
                     const icon_file_operations& operations) {
    const auto copy = operations.copy ? operations.copy : copy_over;
    std::uint32_t error = 0;
    const std::uint32_t attributes = fs::get_attributes(fs::long_path_form(target), &error);
    if (attributes == fs::invalid_attributes) fail(L"access", target, error);
    if ((attributes & fs::attribute_directory) == 0) {
        throw std::runtime_error(platform::text::to_utf8(
            fmt::format(L"Could not customize '{}'. The selected item is not a folder or drive.", target)));
    }
    if (fs::is_unc_share_root(target)) {
        throw std::runtime_error(platform::text::to_utf8(fmt::format(
            L"Windows Explorer does not support a distinct custom icon for the network-share root '{}'.\n\n"
            L"Explorer displays this item as a network-share object instead of the filesystem folder behind it. "
            L"QLM has not changed the folder. Custom icons remain available for folders inside the share and for "
            L"drive-letter objects.",
            target)));
    }
    const bool drive_root = is_drive_root(target);

    std::wstring icon_name;
    std::wstring icon_path;
    bool per_user = false;
    if (remove) {
        if (!drive_root) delete_suite_icons(target, L"");
    } else {
        const fs::local_time now = fs::now_local();
        icon_name = fmt::format(L"{}{:02}.{:07}-{:02}.ico", icon_prefix, now.second, now.hundred_nanoseconds, now.day);
        icon_path = join(target, icon_name);
        delete_suite_icons(target, icon_name);
        bool present = false;
        try {
            present = fs::exists(target) && fs::exists(fs::long_path_form(target));
        } catch (const std::exception&) {
        }
        if (!present) throw std::runtime_error("Target folder does not exist");
        const std::uint32_t copied = copy(fs::long_path_form(icon_source), fs::long_path_form(icon_path));
        if (copied != 0 && drive_root && (copied == 5 || copied == 1314)) {
            // A root we may not write to: the icon lives in the user's profile.
            const wchar_t letter = target[0] >= L'a' ? static_cast<wchar_t>(target[0] - L'a' + L'A') : target[0];
            const std::wstring storage =
                join(join(join(join(fs::local_app_data().value_or(L""), L"Verandel"), L"Quillmark"), L"DriveIcons"),
                     std::wstring(1, letter));
            try {
                fs::create_directories(storage);
            } catch (const std::exception&) {
                fail(L"create per-user icon storage in", storage, platform::win32_error::access_denied);
            }
            icon_path = join(storage, icon_name);
            if (const std::uint32_t again = copy(fs::long_path_form(icon_source), fs::long_path_form(icon_path));
                again != 0) {
                fail(L"copy the icon into", storage, again);
            }
            per_user = true;
        } else if (copied != 0) {
            fail(L"copy the icon into", target, copied);
        }
        add_attributes(icon_path, fs::attribute_hidden, L"hide", L"hide");
    }

    if (!per_user) {
        if (platform::text::utf16_length(target) + platform::text::utf16_length(icon_name) >= 260) {
            throw std::runtime_error("File Explorer does not support long paths for custom folder icons");
        }
        const std::int32_t result = shell::set_folder_icon(target, icon_name, 0);
        if (result < 0) fail(L"write icon settings to", target, hresult_code(result));
    }

    const std::wstring ini = qlm::metadata::folder_ini_path(target);
    if (remove) {
        if (drive_root) restore_drive_icon(target, target[0]);
    } else if (!drive_root) {
        add_attributes(target, fs::attribute_readonly | fs::attribute_system, L"enable icon customization on",
                       L"enable icon customization on");
        add_attributes(ini, fs::attribute_hidden | fs::attribute_system, L"read attributes for",
                       L"protect the icon settings in");
    } else {
        if (!per_user) {
            add_attributes(ini, fs::attribute_hidden | fs::attribute_system, L"read icon settings from",
                           L"protect the icon settings in");
        }
        register_drive_icon(target, target[0], icon_path);
    }

    shell::update_image(target);
    shell::change_notify(shell::event_assoc_changed, shell::flag_id_list);
    shell::change_notify(shell::event_update_dir, shell::flag_path | shell::flag_flush, target);
    shell::change_notify(shell::event_update_item, shell::flag_path, target);
}

void set_file_icon(const std::wstring& target, const std::wstring& icon_source, bool remove) {
    const std::wstring path = fs::long_path_form(target);
    if (remove) {
        std::uint32_t error = fs::delete_stream(path, icon_stream);
        if (error != 0 && error != platform::win32_error::file_not_found) {
            const std::uint32_t attributes = fs::get_attributes(path, &error);
            if (attributes == fs::invalid_attributes) fail(L"make writable", target, error);
            if (const std::uint32_t result = fs::set_attributes(path, attributes & ~fs::attribute_readonly); result != 0) {
                fail(L"make writable", target, result);
            }
            error = fs::delete_stream(path, icon_stream);
            if (error != 0 && error != platform::win32_error::file_not_found) {
                fail_file_icon("Failed to open target stream:", fs::stream_path(target, icon_stream));
            }
        }
    } else {
        const std::string bytes = file_icon_bytes(icon_source);
        if (fs::open_stream_for_writing(path, icon_stream) != 0) {
            fail_file_icon("Failed to open target stream:", fs::stream_path(target, icon_stream));
        }
        if (fs::write_stream(path, icon_stream, bytes) != 0) fail_file_icon("Failed to write stream data");
    }
    // Explorer asks the icon handler again for a file whose time changed.
    fs::touch(path);
}

}  // namespace sortwell::explorer
