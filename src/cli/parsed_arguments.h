#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qlm {

/// The command line after tokenizing. Owned by the run frame for the run.
struct parsed_arguments {
    std::wstring command;
    std::wstring subcommand;
    std::vector<std::wstring> paths;  // command-line order
    bool json = false;
    bool dry_run = false;
    bool help = false;
    bool version = false;
    bool read_stdin = false;  // a lone "-" was given as a path
    bool recursive = false;   // folders among the targets are walked
    bool null_separated = false;  // path lists are separated by NUL, not lines
    bool quiet = false;       // only failures and the summary
    std::vector<std::wstring> tags;  // command-line order, duplicates kept
    std::optional<std::wstring> stars;
    std::optional<std::wstring> text;
    std::optional<std::wstring> text_file;
    std::optional<std::wstring> from_file;
    std::wstring error;  // the first usage error, empty when none
};

}  // namespace qlm
