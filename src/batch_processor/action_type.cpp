#include "batch_processor/action_type.h"

#include <array>
#include <utility>

namespace sortwell::batch_processor {
namespace {

// In the order names are compared; the icon names come as builtin, custom, default.
constexpr std::array<std::pair<const wchar_t*, action_type>, 24> names = {{
    {L"set_rating", action_type::set_rating},
    {L"remove_rating", action_type::remove_rating},
    {L"remove_tags", action_type::remove_tags},
    {L"toggle_tags", action_type::toggle_tags},
    {L"update_tags", action_type::update_tags},
    {L"auto_tag", action_type::auto_tag},
    {L"paste_as_plain_text", action_type::paste_as_plain_text},
    {L"media_volume_up", action_type::media_volume_up},
    {L"media_volume_down", action_type::media_volume_down},
    {L"media_play_pause", action_type::media_play_pause},
    {L"media_prev_track", action_type::media_prev_track},
    {L"media_next_track", action_type::media_next_track},
    {L"media_microphone_mute", action_type::media_microphone_mute},
    {L"media_microphone_unmute", action_type::media_microphone_unmute},
    {L"icon_set_builtin_icon", action_type::icon_set_builtin_icon},
    {L"icon_set_custom_icon", action_type::icon_set_custom_icon},
    {L"icon_set_default_icon", action_type::icon_set_default_icon},
    {L"run_context_menu_command", action_type::run_context_menu_command},
    {L"organize_folder", action_type::organize_folder},
    {L"organize_undo", action_type::organize_undo},
    {L"recognize_faces", action_type::recognize_faces},
    {L"revoke_faces", action_type::revoke_faces},
    {L"forget_person", action_type::forget_person},
    {L"wipe_all_people", action_type::wipe_all_people},
}};

}  // namespace

action_type action_from_name(const std::wstring& name) {
    for (const auto& [text, action] : names) {
        if (name == text) return action;
    }
    return action_type::unknown;
}

std::wstring action_name(action_type action) {
    const auto value = static_cast<unsigned>(action);
    // The media and paste actions are recognised in jobs but never named back.
    if (value > 5 && value < 17) return L"unknown";
    for (const auto& [text, candidate] : names) {
        if (candidate == action) return text;
    }
    return L"unknown";
}

bool is_tag_or_rating_action(action_type action) { return static_cast<unsigned>(action) <= 4; }

}  // namespace sortwell::batch_processor
