#include "batch_processor/icon_actions.h"

#include "explorer/custom_icons.h"
#include "explorer/folder_overlay.h"
#include "explorer/icon_error.h"
#include "explorer/shell_registration.h"
#include "platform/file_system.h"
#include "platform/path_forms.h"
#include "platform/shell.h"

#include <stdexcept>

namespace sortwell::batch_processor {

void apply_icon_action(const std::wstring& path, const std::wstring& parameters, bool remove) {
    namespace fs = platform::file_system;
    explorer::register_shell_handlers(path);
    std::uint32_t error = 0;
    const std::uint32_t attributes = fs::get_attributes(fs::long_path_form(path), &error);
    if (attributes == fs::invalid_attributes) throw std::runtime_error(explorer::icon_error_message(L"access", path, error));
    if ((attributes & fs::attribute_directory) != 0) {
        explorer::set_folder_icon(path, parameters, remove);
        explorer::refresh_folder_overlay(path);
        return;
    }
    platform::shell::change_notify(platform::shell::event_update_item,
                                   platform::shell::flag_path | platform::shell::flag_flush, path);
    explorer::set_file_icon(path, parameters, remove);
}

}  // namespace sortwell::batch_processor
