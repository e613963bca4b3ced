#include "batch_processor/action_table.h"

#include "batch_processor/icon_actions.h"
#include "batch_processor/tag_rating_actions.h"
#include "commands_runner/context_menu_command.h"
#include "platform/text.h"
#include "services/autotag_service.h"
#include "services/face_service.h"

#include <array>
#include <stdexcept>

namespace sortwell::batch_processor {
namespace {

// Actions whose handlers are not part of this build yet. Each leaves this
// list when its handler is installed in default_action_table.
constexpr std::array not_yet_built = {
    // the organizer
    action_type::organize_folder, action_type::organize_undo};

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
    // Local AI services.
    handler_for(table, action_type::auto_tag) = [](batch_processor_callbacks& callbacks, const std::wstring& path,
                                                   const std::wstring&) { services::auto_tag_file(callbacks, path); };
    handler_for(table, action_type::recognize_faces) = [](batch_processor_callbacks&, const std::wstring& path,
                                                          const std::wstring&) { services::recognize_faces(path); };
    handler_for(table, action_type::revoke_faces) = [](batch_processor_callbacks&, const std::wstring& path,
                                                       const std::wstring&) { services::revoke_faces(path); };
    handler_for(table, action_type::forget_person) = [](batch_processor_callbacks&, const std::wstring& path,
                                                        const std::wstring& parameters) {
        services::forget_person(path, parameters);
    };
    handler_for(table, action_type::wipe_all_people) = [](batch_processor_callbacks&, const std::wstring& path,
                                                          const std::wstring&) { services::wipe_all_people(path); };
    // Icons: the builtin and the custom icon share one handler; "default" removes.
    for (const action_type action : {action_type::icon_set_builtin_icon, action_type::icon_set_custom_icon,
                                     action_type::icon_set_default_icon}) {
        const bool remove = action == action_type::icon_set_default_icon;
        handler_for(table, action) = [remove](batch_processor_callbacks&, const std::wstring& path,
                                              const std::wstring& parameters) {
            apply_icon_action(path, parameters, remove);
        };
    }
    // User commands from the context menu.
    handler_for(table, action_type::run_context_menu_command) = [](batch_processor_callbacks&, const std::wstring& spec,
                                                                   const std::wstring& parameters) {
        commands_runner::run_context_menu_command_action(spec, parameters);
    };
    return table;
}

}  // namespace sortwell::batch_processor
