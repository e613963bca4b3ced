#pragma once
// The Labelry tag list ("All Tags.json"): the tags the suite's menus, hotkeys
// and folder overlays offer, in display order.

#include "settings/common_settings_file.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace all_tags_settings {

inline constexpr wchar_t folder_name[] = L"Settings";
inline constexpr wchar_t file_stem[] = L"All Tags";

/// One tag of the list. Optional fields are absent when the file does not
/// hold them as strings.
struct tag_entry {
    std::wstring name;
    std::optional<std::int32_t> order;  // "order" in JSON: a decimal string
    std::optional<std::wstring> icon_not_tagged;
    std::optional<std::wstring> icon_when_tagged;
    std::optional<std::wstring> keyboard;

    bool operator==(const tag_entry&) const = default;
};

class settings_file final : public common::setting_utilities::common_settings_file {
public:
    /// The tag list of the running program: folder "Settings", stem "All Tags".
    settings_file();

    /// The tag list of a given module, under an explicit root instead of
    /// LocalAppData when one is given.
    settings_file(std::wstring module, const std::optional<std::wstring>& app_data_root);

    /// Replaces the members with the file's values, key by key. False (and
    /// nothing changed) when the file cannot be read or its root is not an
    /// object.
    bool read() override;

    /// Writes the members as pretty-printed JSON (4-blank indent, UTF-8
    /// without byte-order mark). Returns true; a file that cannot be opened
    /// is not reported.
    bool save() override;

    std::wstring version;
    std::int32_t window_height = 0;
    std::int32_t window_width = 0;
    std::vector<tag_entry> tags;  // file order; nothing sorts it
};

/// The tag names of the user's list, or of the module's default copy when
/// the user has none, read without creating or seeding anything; nullopt
/// when neither can be read.
std::optional<std::vector<std::wstring>> read_tag_names_only(const std::wstring& module);

/// The JSON text that save() writes for the given members.
std::string to_json_text(const settings_file& settings);

}  // namespace all_tags_settings
