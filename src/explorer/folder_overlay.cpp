#include "explorer/folder_overlay.h"

#include "explorer/icon_error.h"
#include "logging/log.h"
#include "metadata/atomic_replace.h"
#include "metadata/folder_ini.h"
#include "metadata/metadata_handle.h"
#include "metadata/people_region_xmp.h"
#include "platform/file_system.h"
#include "platform/path_forms.h"
#include "platform/private_profile.h"
#include "platform/shell.h"
#include "platform/sync.h"
#include "platform/text.h"
#include "settings/suite_settings_keys.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <algorithm>
#include <cwchar>
#include <stdexcept>

namespace sortwell::explorer {
namespace {

namespace fs = platform::file_system;
namespace graphics = platform::graphics;
namespace ps = platform::property_store;
namespace shell = platform::shell;

constexpr int canvas_size = 256;
constexpr std::size_t most_tag_icons = 5;
constexpr wchar_t generated_prefix[] = L"sw_tagged_";
// How long a refresh waits for another process's refresh of the same folder.
constexpr std::uint32_t overlay_wait_ms = 30000;

std::size_t name_start(const std::wstring& path) {
    const auto position = path.find_last_of(L"\\/");
    return position == std::wstring::npos ? 0 : position + 1;
}

std::wstring join(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && (folder.back() == fs::separator || folder.back() == L'/')) return folder + name;
    return folder + fs::separator + name;
}

bool exists_quietly(const std::wstring& path) {
    try {
        return !path.empty() && fs::exists(path);
    } catch (const std::exception&) {
        return false;
    }
}

// Settings name icons as "\Content\Icons\x.ico", appended to the program's
// folder as text; the separators become the native ones.
std::wstring under_program(const std::wstring& program_folder, const std::wstring& relative) {
    std::wstring path = program_folder + relative;
    std::replace(path.begin(), path.end(), L'\\', fs::separator);
    return path;
}

std::wstring program_folder_of(const overlay_environment& environment) {
    if (!environment.program_folder.empty()) return environment.program_folder;
    const std::wstring module = fs::module_path();
    const auto position = module.find_last_of(L"\\/");
    return position == std::wstring::npos ? std::wstring() : module.substr(0, position);
}

bool starts_with_generated_prefix(const std::wstring& name) {
    constexpr std::size_t length = std::size(generated_prefix) - 1;
    return name.size() >= length &&
           platform::text::equal_ignore_case(std::wstring_view(name).substr(0, length), generated_prefix);
}

bool has_ico_extension(const std::wstring& name) {
    return name.size() >= 4 && platform::text::equal_ignore_case(std::wstring_view(name).substr(name.size() - 4), L".ico");
}

std::wstring current_icon(const std::wstring& folder) {
    const std::wstring ini = qlm::metadata::folder_ini_path(folder);
    std::wstring icon = platform::private_profile::get_string(L".ShellClassInfo", L"IconResource", L"", ini, 1024);
    if (!icon.empty()) return icon;
    const std::wstring file = platform::private_profile::get_string(L".ShellClassInfo", L"IconFile", L"", ini);
    if (file.empty()) return {};
    const auto index = static_cast<std::int32_t>(platform::private_profile::get_int(L".ShellClassInfo", L"IconIndex", 0, ini));
    return file + L"," + std::to_wstring(index);
}

std::wstring new_overlay_name() {
    const fs::local_time now = fs::now_local();
    return fmt::format(L"{}{:02}.{:07}-{:02}.ico", generated_prefix, now.second, now.hundred_nanoseconds, now.day);
}

void set_attribute_bits(const std::wstring& path, std::uint32_t bits, const wchar_t* action) {
    std::uint32_t error = 0;
    const std::uint32_t attributes = fs::get_attributes(path, &error);
    if (attributes == fs::invalid_attributes) throw std::runtime_error(icon_error_message(action, path, error));
    if ((attributes & bits) == bits) return;
    if (const std::uint32_t result = fs::set_attributes(path, attributes | bits); result != 0) {
        throw std::runtime_error(icon_error_message(action, path, result));
    }
}

std::vector<std::wstring> auto_tags_once() {
    static const std::vector<std::wstring> tags = [] {
        // Without the local AI's settings there are no auto tags to mark.
        try {
            return high_level_settings::get_auto_tags();
        } catch (const std::exception&) {
            return std::vector<std::wstring>{};
        }
    }();
    return tags;
}

std::vector<all_tags_settings::tag_entry> user_tag_list() {
    all_tags_settings::settings_file list;
    if (!list.load(false)) return {};
    return list.tags;
}

// The overlay icons of the folder's tags, in tag order, at most five; an
// auto tag (counted once) adds the auto-tag icon last.
std::vector<std::wstring> tag_icon_paths(const std::vector<std::wstring>& tags, const overlay_environment& environment,
                                         const std::wstring& program_folder) {
    const auto list = environment.tag_list ? environment.tag_list() : user_tag_list();
    const auto auto_tags = environment.auto_tags ? environment.auto_tags() : auto_tags_once();
    std::vector<std::wstring> icons;
    bool auto_tag_seen = false;
    for (const std::wstring& tag : tags) {
        if (icons.size() + (auto_tag_seen ? 1 : 0) >= most_tag_icons) break;
        if (std::find(auto_tags.begin(), auto_tags.end(), tag) != auto_tags.end()) {
            auto_tag_seen = true;
            continue;
        }
        const auto entry = std::find_if(list.begin(), list.end(),
                                        [&tag](const all_tags_settings::tag_entry& e) { return e.name == tag; });
        if (entry == list.end() || !entry->icon_when_tagged || entry->icon_when_tagged->empty()) continue;
        const std::wstring& icon = *entry->icon_when_tagged;
        icons.push_back(exists_quietly(icon) ? icon : under_program(program_folder, icon));
    }
    if (auto_tag_seen) icons.push_back(under_program(program_folder, L"\\Content\\Icons\\auto_tag_action.ico"));
    return icons;
}

std::optional<graphics::image> extract_base(const std::wstring& path, int index) {
    auto picture = graphics::extract_icon(path, index, canvas_size);
    if (!picture) qlm::log_error(L"folder_overlay: unable to extract base icon '{}' index={}", path, index);
    return picture;
}

std::optional<graphics::image> base_image(const std::wstring& folder, const std::wstring& base) {
    if (base.empty()) {
        // Most folders show the stock icon, which does not change while we
        // run: decoded and scaled once, not once per folder of a job.
        static const std::optional<graphics::image> stock = []() -> std::optional<graphics::image> {
            const auto found = shell::stock_folder_icon();
            if (!found) return std::nullopt;
            return extract_base(found->first, found->second);
        }();
        return stock;
    }
    auto [path, index] = split_icon_resource(base);
    if (!exists_quietly(path)) path = join(folder, path);
    return extract_base(path, index);
}

}  // namespace

std::pair<std::wstring, int> split_icon_resource(const std::wstring& resource) {
    const auto comma = resource.find_last_of(L',');
    if (comma == std::wstring::npos) return {resource, 0};
    const std::wstring tail = resource.substr(comma + 1);
    std::size_t start = (!tail.empty() && (tail[0] == L'-' || tail[0] == L'+')) ? 1 : 0;
    if (start >= tail.size() || tail.find_first_not_of(L"0123456789", start) != std::wstring::npos || tail.size() > 10) {
        return {resource, 0};
    }
    return {resource.substr(0, comma), static_cast<int>(std::wcstol(tail.c_str(), nullptr, 10))};
}

bool is_generated_overlay_icon(const std::wstring& resource) {
    const std::wstring path = split_icon_resource(resource).first;
    return starts_with_generated_prefix(path.substr(name_start(path)));
}

void delete_stale_overlay_icons(const std::wstring& folder, const std::wstring& keep) {
    const auto names = fs::find_files(join(folder, L"*"));
    if (!names) return;
    for (const std::wstring& name : *names) {
        if (!starts_with_generated_prefix(name) || !has_ico_extension(name)) continue;
        const std::wstring path = join(folder, name);
        if (!keep.empty() && fs::same_file(path, keep)) continue;
        const std::uint32_t attributes = fs::get_attributes(path);
        if (attributes != fs::invalid_attributes && (attributes & fs::attribute_readonly) != 0) {
            fs::set_attributes(path, attributes & ~fs::attribute_readonly);
        }
        fs::delete_file(path);
    }
}

void apply_folder_icon(const std::wstring& folder, const std::wstring& resource) {
    const auto [file, index] = resource.empty() ? std::pair<std::wstring, int>{} : split_icon_resource(resource);
    const std::int32_t result = shell::set_folder_icon(folder, file, index);
    if (result < 0) {
        qlm::log_error(L"folder_overlay: SHGetSetFolderCustomSettings failed for '{}' result=0x{:08X}", folder,
                       static_cast<std::uint32_t>(result));
        throw std::runtime_error("Failed to update folder icon");
    }
    if (!resource.empty()) {
        set_attribute_bits(folder, fs::attribute_readonly | fs::attribute_system, L"enable icon customization on");
        set_attribute_bits(qlm::metadata::folder_ini_path(folder), fs::attribute_hidden | fs::attribute_system,
                           L"protect the icon settings in");
    }
    shell::update_image(folder);
    shell::change_notify(shell::event_assoc_changed, shell::flag_id_list);
    shell::change_notify(shell::event_update_dir, shell::flag_path | shell::flag_flush, folder);
    shell::change_notify(shell::event_update_item, shell::flag_path, folder);
}

bool save_png_icon(const graphics::image& picture, const std::wstring& path) {
    const auto png = graphics::encode_png(picture);
    if (!png) return false;
    std::string bytes;
    auto put16 = [&bytes](std::uint32_t v) {
        bytes.push_back(static_cast<char>(v & 0xFF));
        bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
    };
    auto put32 = [&put16](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0);  // reserved
    put16(1);  // icon
    put16(1);  // one image
    bytes.push_back(static_cast<char>(picture.width % 256));
    bytes.push_back(static_cast<char>(picture.height % 256));
    bytes.push_back(0);  // no palette
    bytes.push_back(0);
    put16(1);   // planes
    put16(32);  // bits per pixel
    put32(static_cast<std::uint32_t>(png->size()));
    put32(22);  // the PNG follows the one directory entry
    bytes += *png;
    // Never a torn or empty icon for desktop.ini to name: a full disk leaves no file.
    return qlm::metadata::replace_file_atomically(path, bytes.data(), bytes.size());
}

graphics::image compose_overlay(const std::optional<graphics::image>& base, const std::vector<std::wstring>& tag_icons,
                                std::uint32_t stars, const std::wstring& star_icon, int dpi) {
    graphics::image canvas(canvas_size, canvas_size);
    if (base) graphics::draw(canvas, *base, 0, 0, canvas_size, canvas_size, true);

    // MulDiv rounds: 64 at 120 DPI is 80, 10 is 13 (12.5 rounded up).
    auto scaled = [dpi](int value) { return (value * dpi + 48) / 96; };
    const int s64 = scaled(64);
    const int size = std::max(scaled(10), std::min(s64, 128));
    const int step = std::min(s64 / 3, 26);
    int drawn = 0;
    for (const std::wstring& path : tag_icons) {
        if (drawn == static_cast<int>(most_tag_icons)) break;
        const auto icon = graphics::extract_icon(path, 0, size);
        if (!icon) {
            qlm::log_error(L"folder_overlay: unable to load tag overlay '{}'", path);
            continue;
        }
        graphics::draw(canvas, *icon, step * drawn, canvas_size - size, size, size);
        ++drawn;
    }

    if (stars > 0) {
        constexpr int star_size = 35;
        const auto star = graphics::extract_icon(star_icon, 0, star_size);
        if (!star) {
            qlm::log_error(L"folder_overlay: rating overlay not available '{}'", star_icon);
        } else {
            for (std::uint32_t i = 0; i < stars; ++i) {
                const int x = 221 - 36 * static_cast<int>(i);
                if (x < 0) break;
                graphics::draw(canvas, *star, x, 2, star_size, star_size);
            }
        }
    }
    return canvas;
}

void refresh_folder_overlay(const std::wstring& folder, const overlay_environment& environment) {
    try {
        // One refresh of a folder at a time, across processes: another one
        // deleting "stale" icons would take away the icon this one just named.
        platform::sync::named_mutex mutex(
            qlm::metadata::path_mutex_name(L"Local\\QLM.FolderOverlay.", fs::full_path(folder).value_or(folder)));
        if (!mutex.valid() || !platform::sync::owns(mutex.wait(overlay_wait_ms))) {
            qlm::log_error(L"folder_overlay: refresh failed for {}", folder);
            return;
        }
        std::vector<std::wstring> tags;
        std::uint32_t stars = 0;
        std::wstring saved;
        {
            qlm::metadata::metadata_handle handle;
            if (!handle.open_for_reading(folder, ps::gps_default)) return;
            tags = handle.get_tags();
            stars = qlm::metadata::get_folder_rating(handle);
            ps::property_value value;
            if (ps::failed(handle.get_value(saved_icon_key, value))) throw std::runtime_error("Failed to get property value");
            if (value.type == ps::value_type::lpwstr || value.type == ps::value_type::bstr) saved = value.text;
        }
        auto& settings = environment.settings != nullptr ? *environment.settings : high_level_settings::instance();
        if (!high_level_settings::show_tags_overlay(settings)) tags.clear();
        if (!high_level_settings::show_rating_overlay(settings)) stars = 0;

        const std::wstring current = current_icon(folder);
        const bool current_generated = !current.empty() && is_generated_overlay_icon(current);
        const std::wstring base = current_generated ? saved : current;

        if (tags.empty() && stars == 0) {
            if (current_generated) {
                apply_folder_icon(folder, base);
                qlm::metadata::write_property_set_value(folder, saved_icon_key, ps::property_value::make_null_lpwstr());
                if (base.empty()) {
                    const std::uint32_t attributes = fs::get_attributes(folder);
                    if (attributes != fs::invalid_attributes) {
                        fs::set_attributes(folder, attributes & ~(fs::attribute_readonly | fs::attribute_system));
                    }
                }
            }
            delete_stale_overlay_icons(folder, L"");
            return;
        }

        const graphics::session session;
        const std::wstring program_folder = program_folder_of(environment);
        const auto icons = tag_icon_paths(tags, environment, program_folder);
        const std::wstring star_setting =
            settings.get_string(high_level_settings::sortwell_app_id, high_level_settings::rating_overlay_icon_key,
                                high_level_settings::rating_overlay_icon_default);
        const std::wstring star_icon = star_setting.size() >= 2 && star_setting[1] == L':'
                                           ? star_setting
                                           : under_program(program_folder, star_setting);
        const int dpi = environment.dpi > 0 ? environment.dpi : graphics::desktop_dpi();
        const graphics::image canvas = compose_overlay(base_image(folder, base), icons, stars, star_icon, dpi);

        const std::wstring icon_path = join(folder, new_overlay_name());
        if (!save_png_icon(canvas, icon_path)) {
            qlm::log_error(L"folder_overlay: failed to save overlay icon {}", icon_path);
            return;
        }
        const std::uint32_t attributes = fs::get_attributes(icon_path);
        if (attributes != fs::invalid_attributes) fs::set_attributes(icon_path, attributes | fs::attribute_hidden);
        apply_folder_icon(folder, icon_path);
        delete_stale_overlay_icons(folder, icon_path);
        if (!current_generated || saved != base) {
            qlm::metadata::write_property_set_value(folder, saved_icon_key, ps::property_value::make_lpwstr(base));
        }
    } catch (const std::exception& error) {
        qlm::log_error(L"folder_overlay: refresh failed. Details: {}", platform::text::from_utf8(error.what()));
    } catch (...) {
        qlm::log_error(L"folder_overlay: refresh failed for {}", folder);
    }
}

}  // namespace sortwell::explorer
