#include "batch_processor/action_help.h"

#include "formats/text_list.h"

#include <algorithm>
#include <cwctype>

namespace sortwell::batch_processor {
namespace {

bool is_whole_number_up_to(const std::wstring& text, int highest) {
    if (text.empty() || text.size() > 2) return false;
    int value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9') return false;
        value = value * 10 + (c - L'0');
    }
    return value <= highest;
}

// "+Tag;-Tag;=": every piece but "=" names a tag after its sign.
std::optional<std::wstring> update_tags_problem(const std::wstring& parameters) {
    for (const std::wstring& piece : formats::split_list(parameters)) {
        if (piece == L"=") continue;
        if ((piece[0] != L'+' && piece[0] != L'-') || piece.size() < 2) {
            std::wstring problem = L"each change must be +TAG, -TAG or =, separated by ';' (not '";
            problem += piece;
            problem += L"')";
            return problem;
        }
    }
    return std::nullopt;
}

}  // namespace

const std::vector<action_help>& runnable_actions() {
    static const std::vector<action_help> actions = {
        {action_type::set_rating, L"STARS (0 to 5)", L"sets the star rating"},
        {action_type::remove_rating, L"", L"removes the star rating"},
        {action_type::remove_tags, L"", L"removes every tag"},
        {action_type::toggle_tags, L"TAG;TAG;...", L"adds each tag a file lacks, removes each it has"},
        {action_type::update_tags, L"+TAG;-TAG;=", L"adds (+) and removes (-) tags; = clears them first"},
        {action_type::auto_tag, L"", L"tags photos through the local AI service"},
        {action_type::icon_set_builtin_icon, L"ICON (.ico file or module,-id)", L"gives a file or folder an icon"},
        {action_type::icon_set_default_icon, L"", L"gives back the default icon"},
        {action_type::icon_set_custom_icon, L"ICON (.ico file or module,-id)", L"gives a file or folder an icon"},
        {action_type::run_context_menu_command, L"run_as_admin=0|1;nShow=N;keep_window_open=0|1",
         L"runs each entry's program with its arguments"},
        {action_type::organize_folder, L"by_type|photos_pattern|music_pattern",
         L"sorts the files of each folder into subfolders"},
        {action_type::organize_undo, L"", L"puts back what the last organize_folder moved"},
        {action_type::recognize_faces, L"", L"names the people in photos through the local AI service"},
        {action_type::revoke_faces, L"", L"removes the people found in photos"},
        {action_type::forget_person, L"NAME", L"removes one person from photos"},
        {action_type::wipe_all_people, L"", L"removes every person from photos"},
    };
    return actions;
}

std::optional<std::wstring> parameter_problem(action_type action, const std::wstring& parameters) {
    switch (action) {
    case action_type::set_rating:
        if (!is_whole_number_up_to(parameters, 5)) return L"rating must be a whole number from 0 to 5";
        return std::nullopt;
    case action_type::update_tags:
        return update_tags_problem(parameters);
    case action_type::toggle_tags:
        for (const wchar_t c : parameters) {
            if (c != L';' && !std::iswspace(static_cast<wint_t>(c))) return std::nullopt;
        }
        return L"toggle_tags needs at least one tag name";
    case action_type::icon_set_builtin_icon:
    case action_type::icon_set_custom_icon:
        if (parameters.empty()) return L"the icon must name an .ico file or module,-id";
        return std::nullopt;
    case action_type::organize_folder:
        if (parameters != L"by_type" && parameters != L"photos_pattern" && parameters != L"music_pattern") {
            return L"the scheme must be by_type, photos_pattern or music_pattern";
        }
        return std::nullopt;
    case action_type::forget_person:
        if (parameters.empty()) return L"forget_person needs the person's name";
        return std::nullopt;
    case action_type::run_context_menu_command: {
        for (const std::wstring& piece : formats::split_list(parameters)) {
            if (piece.rfind(L"nShow=", 0) == 0 && !is_whole_number_up_to(piece.substr(6), 11)) {
                return L"nShow must be a whole number from 0 to 11";
            }
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::wstring batch_help_text() {
    std::wstring text =
        L"usage: sortwell-batch JOBFILE [--delete]\n"
        L"\n"
        L"Runs a batch job file: {\"version\": \"1\", \"job\": {\"guid\": \"...\", \"action_type\": ACTION,\n"
        L"\"action_parameters\": TEXT}, \"files\": [{\"path\": PATH}, ...]}\n"
        L"\n"
        L"Options:\n"
        L"  --delete    remove the job file when the job ends\n"
        L"  --help, -h  show this help\n"
        L"\n"
        L"Actions (action_type, then the form of action_parameters):\n";
    for (const action_help& entry : runnable_actions()) {
        std::wstring line = L"  ";
        line += action_name(entry.action);
        line.resize(std::max<std::size_t>(line.size() + 1, 27), L' ');
        line += entry.parameter_form.empty() ? L"(none)" : entry.parameter_form;
        text += line + L"\n      " + entry.summary + L"\n";
    }
    text +=
        L"\n"
        L"Exit codes:\n"
        L"  0  every file succeeded\n"
        L"  1  at least one file did not, or the run was cancelled\n"
        L"  2  the command line or the job file could not be used\n";
    return text;
}

}  // namespace sortwell::batch_processor
