#pragma once
// The two descriptions of qlm built from the catalog: text help for people
// and, with --json, one object for tools and agents.

#include "cli/command_catalog.h"

#include <string>

namespace qlm {

/// The program version, as printed by --version.
inline constexpr char version_text[] = "1.0.14.0";

/// "qlm tag add --tag <name>... <path>...": the usage line of one command.
std::wstring usage_line(const catalog::command_spec& spec);

/// The whole text help for the topic (a command word, or empty for all).
/// The topic must be empty or a known command word.
std::wstring help_text(const std::wstring& topic);

/// The JSON description for the topic, without the final line feed.
std::string help_json(const std::wstring& topic);

/// Prints help for the topic in the chosen form; an unknown topic is a usage
/// error. Returns the exit code.
int print_help(const std::wstring& topic, bool json);

}  // namespace qlm
