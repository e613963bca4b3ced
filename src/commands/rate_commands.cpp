#include "commands/rate_commands.h"

#include "cli/output.h"
#include "commands/result_printer.h"

namespace qlm::metadata_commands {

using sortwell::batch_processor::action_type;

std::optional<std::uint32_t> parse_stars(const std::wstring& value) {
    if (value.size() != 1 || value[0] < L'0' || value[0] > L'5') return std::nullopt;
    return static_cast<std::uint32_t>(value[0] - L'0');
}

change_request make_rating_request(std::uint32_t stars) {
    change_request request;
    request.already_applied = [stars](const file_state& state) { return state.rating == stars; };
    request.expected_state = [stars](const file_state& state) {
        file_state after = state;
        after.rating = stars;
        return after;
    };
    if (stars == 0) {
        request.action = action_type::remove_rating;
    } else {
        request.action = action_type::set_rating;
        request.action_parameters = std::to_wstring(stars);
    }
    request.unsupported_message = L"This file type cannot store a rating.";
    return request;
}

int run_rate_change(const catalog::command_spec& spec, const parsed_arguments& parsed,
                    const std::vector<target_entry>& targets) {
    std::uint32_t stars = 0;
    if (spec.subcommand == L"set") {
        const std::optional<std::uint32_t> given = parse_stars(parsed.stars.value_or(L""));
        if (!given) {
            return print_error_report(parsed.json, 2, L"usage", L"--stars must be a whole number from 0 to 5.");
        }
        stars = *given;
    }
    return print_results(spec, parsed, run_metadata_change(targets, field_rating, make_rating_request(stars), parsed.dry_run),
                         field_rating);
}

}  // namespace qlm::metadata_commands
