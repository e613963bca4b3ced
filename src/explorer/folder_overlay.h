#pragma once
// Folder overlay icons: Explorer does not ask icon handlers about folders,
// so a tagged or rated folder gets a custom icon of its own, composed of its
// previous icon, up to five tag icons along the bottom and its stars along
// the top, stored hidden in the folder as sw_tagged_<time>.ico.

#include "platform/graphics.h"
#include "platform/property_store.h"
#include "settings/all_tags_settings.h"
#include "settings/high_level_settings.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace sortwell::explorer {

/// The property that keeps a folder's icon from before its first overlay.
inline constexpr platform::property_store::property_key saved_icon_key{
    {0xE0E51E6E, 0x58C4, 0x4BA1, {0xB7, 0x28, 0x97, 0xA8, 0x4D, 0x37, 0xA5, 0x12}}, 2};

/// What the refresh reads besides the folder: where the program lives (for
/// "\Content\Icons\…"), the screen's DPI, and the settings. Defaults are the
/// running program's; tests give their own.
struct overlay_environment {
    std::wstring program_folder;  // empty: the folder of the running executable
    int dpi = 0;                  // 0: the desktop's
    high_level_settings::settings_file* settings = nullptr;  // null: the process-wide one
    std::function<std::vector<all_tags_settings::tag_entry>()> tag_list;  // empty: the user's tag list
    std::function<std::vector<std::wstring>()> auto_tags;                 // empty: read once per process
};

/// An icon resource text split at its last comma: the path and the index
/// (a text whose tail is not a decimal number is all path, index 0).
std::pair<std::wstring, int> split_icon_resource(const std::wstring& resource);

/// True when the file name of the resource's path begins with "sw_tagged_"
/// (ignoring case).
bool is_generated_overlay_icon(const std::wstring& resource);

/// Deletes every generated overlay icon of the folder except `keep` (the
/// same file, not the same text); failures are ignored.
void delete_stale_overlay_icons(const std::wstring& folder, const std::wstring& keep);

/// Sets the folder's icon (an empty text removes it), marks the folder and
/// its desktop.ini as Explorer expects of a customised folder, and tells
/// the shell. Throws std::runtime_error "Failed to update folder icon", or
/// the attribute failure's message.
void apply_folder_icon(const std::wstring& folder, const std::wstring& resource);

/// Writes the picture as an ICO file holding one PNG image (created anew).
bool save_png_icon(const platform::graphics::image& picture, const std::wstring& path);

/// The 256 x 256 overlay picture: the base, then the tag icons (at most five)
/// along the bottom edge sized for the DPI, then `stars` copies of the star
/// icon along the top edge from the right. Icons that cannot be loaded are
/// logged and left out; a missing star icon leaves the stars out.
platform::graphics::image compose_overlay(const std::optional<platform::graphics::image>& base,
                                          const std::vector<std::wstring>& tag_icons, std::uint32_t stars,
                                          const std::wstring& star_icon, int dpi);

/// Recomposes the folder's icon from its tags and rating, or puts its
/// previous icon back when there is nothing to show. Failures are logged,
/// never raised.
void refresh_folder_overlay(const std::wstring& folder, const overlay_environment& environment = {});

}  // namespace sortwell::explorer
