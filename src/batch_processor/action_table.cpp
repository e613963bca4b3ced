#include "batch_processor/action_table.h"

#include "batch_processor/tag_rating_actions.h"
#include "organizer/organize_folder.h"
#include "platform/text.h"

#include <array>
#include <stdexcept>

namespace sortwell::batch_processor {
namespace {

// Actions whose handlers are not part of this build yet. Each leaves this
// list when its handler is installed in default_action_table.
constexpr std::array not_yet_built = {
    // local AI services
    action_type::auto_tag, action_type::recognize_faces, action_type::revoke_faces, action_type::forget_person,
    action_type::wipe_all_people,
    // icons
    action_type::icon_set_builtin_icon, action_type::icon_set_default_icon, action_type::icon_set_custom_icon,
    // user commands
    action_type::run_context_menu_command};

// Stands in for a missing handler, so a job that names the action fails file
// by file with a readable reason instead of being taken for an unknown action.
action_handler not_available(action_type action) {
    return [action](batch_processor_callbacks&, const std::wstring&, const std::wstring&) {
        throw std::runtime_error("The action " + platform::text::to_utf8(action_name(action)) +
                                 " is not available in this build");
    };
}

}  // namespace

action_table default_action_table() {
    action_table table;
    for (const action_type action : not_yet_built) handler_for(table, action) = not_available(action);
    handler_for(table, action_type::set_rating) = [](batch_processor_callbacks&, const std::wstring& path,
                                                     const std::wstring& parameters) {
        apply_set_rating(path, parameters);
    };
    handler_for(table, action_type::remove_rating) = [](batch_processor_callbacks&, const std::wstring& path,
                                                        const std::wstring&) { apply_remove_rating(path); };
    handler_for(table, action_type::remove_tags) = [](batch_processor_callbacks&, const std::wstring& path,
                                                      const std::wstring&) { apply_remove_tags(path); };
    handler_for(table, action_type::toggle_tags) = [](batch_processor_callbacks&, const std::wstring& path,
                                                      const std::wstring& parameters) {
        apply_toggle_tags(path, parameters);
    };
    handler_for(table, action_type::update_tags) = [](batch_processor_callbacks&, const std::wstring& path,
                                                      const std::wstring& parameters) {
        apply_update_tags(path, parameters);
    };
    // The organizer: the path is the folder, the parameter the scheme.
    handler_for(table, action_type::organize_folder) = [](batch_processor_callbacks& callbacks,
                                                          const std::wstring& path, const std::wstring& parameters) {
        organizer::organize_folder(callbacks, path, parameters);
    };
    handler_for(table, action_type::organize_undo) = [](batch_processor_callbacks& callbacks,
                                                        const std::wstring& path, const std::wstring&) {
        organizer::organize_undo(callbacks, path);
    };
    return table;
}

}  // namespace sortwell::batch_processor
