#pragma once

#include "cli/parsed_arguments.h"

#include <string>
#include <vector>

namespace qlm {

/// Tokenizes the arguments (element 0, the program, is skipped). Never fails:
/// the first problem lands in the error field and tokenizing stops there.
parsed_arguments parse_command_line(const std::vector<std::wstring>& arguments);

}  // namespace qlm
