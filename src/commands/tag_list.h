#pragma once
// `qlm tag list`: the Labelry tag list that the suite's menus and hotkeys offer.

#include "cli/parsed_arguments.h"

namespace qlm::metadata_commands {

/// Loads the tag list and prints its names, one per line or as the JSON
/// object {"command":"tag list","ok":true,"exit_code":0,"tags":[{"name":…}]}.
/// Returns 0, or 3 after the settings_unavailable report when the list
/// cannot be loaded.
int run_tag_list(const parsed_arguments& parsed);

}  // namespace qlm::metadata_commands
