#pragma once
// The actions the batch processor knows, by value and by the name that jobs
// carry. Values 6 to 8 have no name, and 9 to 16 are recognised by name but
// have no handler, so a job naming them reports every file as unexpected.

#include <cstddef>
#include <cstdint>
#include <string>

namespace sortwell::batch_processor {

enum class action_type : std::uint8_t {
    set_rating = 0,
    remove_rating = 1,
    remove_tags = 2,
    toggle_tags = 3,
    update_tags = 4,
    auto_tag = 5,
    paste_as_plain_text = 9,
    media_volume_up = 10,
    media_volume_down = 11,
    media_play_pause = 12,
    media_prev_track = 13,
    media_next_track = 14,
    media_microphone_mute = 15,
    media_microphone_unmute = 16,
    icon_set_builtin_icon = 17,
    icon_set_default_icon = 18,
    icon_set_custom_icon = 19,
    run_context_menu_command = 20,
    organize_folder = 21,
    organize_undo = 22,
    recognize_faces = 23,
    revoke_faces = 24,
    forget_person = 25,
    wipe_all_people = 26,
    unknown = 27,
};

/// Number of action values, 0 to 27: the size of the dispatch table.
inline constexpr std::size_t action_count = 28;

/// The action whose name equals the whole text exactly (case-sensitive);
/// unknown for anything else, never one of the values 6 to 8.
action_type action_from_name(const std::wstring& name);

/// The name of the actions 0 to 5 and 17 to 26; "unknown" for every other
/// value, the recognised media and paste names included.
std::wstring action_name(action_type action);

/// True for the five actions that change tags or the rating (values 0 to 4).
bool is_tag_or_rating_action(action_type action);

}  // namespace sortwell::batch_processor
