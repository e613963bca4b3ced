#pragma once
// The static catalog of qlm's fourteen commands. It drives parsing, routing
// and both forms of help.

#include <string>
#include <vector>

namespace qlm::catalog {

struct option_spec {
    std::wstring name;         // with its leading "--"
    std::wstring placeholder;  // value placeholder, empty for none
    bool required = false;
    bool repeatable = false;
    std::wstring description;
};

struct command_spec {
    std::wstring command;
    std::wstring subcommand;  // empty for commands without subcommands
    std::wstring description;
    bool writes = false;
    bool takes_paths = false;
    std::vector<option_spec> options;
    std::wstring example;
};

/// The shared catalog, built once on first use, in display order.
const std::vector<command_spec>& command_catalog();

/// True when the word is the command word of some entry (case-sensitive).
bool is_known_command(const std::wstring& word);

/// "tag add", "info": the command word and, when present, the subcommand.
std::wstring full_command_name(const command_spec& spec);

/// The entry with exactly these words, or nullptr.
const command_spec* find_command(const std::wstring& command, const std::wstring& subcommand);

}  // namespace qlm::catalog
