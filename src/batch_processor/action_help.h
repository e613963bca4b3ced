#pragma once
// What sortwell-batch tells people about the actions it runs: the form of
// each action's parameter text and a check of that text, made before any
// file is touched. The help, the manual page and the checks read this one
// list, so they cannot disagree.

#include "batch_processor/action_type.h"

#include <optional>
#include <string>
#include <vector>

namespace sortwell::batch_processor {

struct action_help {
    action_type action;
    std::wstring parameter_form;  // "" when the action takes no parameter text
    std::wstring summary;
};

/// The actions a job can name and run, in value order.
const std::vector<action_help>& runnable_actions();

/// Why the parameter text cannot work for the action; nothing when it can.
std::optional<std::wstring> parameter_problem(action_type action, const std::wstring& parameters);

/// The text of `sortwell-batch --help`.
std::wstring batch_help_text();

}  // namespace sortwell::batch_processor
