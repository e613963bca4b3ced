#include "batch_processor/action_table.h"

#include "batch_processor/icon_actions.h"
#include "batch_processor/tag_rating_actions.h"
#include "commands_runner/context_menu_command.h"
#include "organizer/organize_folder.h"
#include "services/autotag_service.h"
#include "services/face_service.h"

namespace sortwell::batch_processor {

action_table default_action_table() {
    action_table table;
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
