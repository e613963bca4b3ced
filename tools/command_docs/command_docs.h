#pragma once
// The shell completions and the manual page of qlm, written from the same
// description `qlm help --json` prints, so they cannot disagree with it.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qlm::command_docs {

struct option_doc {
    std::string name;         // "--tag", or "-" for the standard input marker
    std::string value;        // the value placeholder, empty when it takes none
    bool repeatable = false;
    std::string description;
};

struct command_doc {
    std::string command;      // "tag"
    std::string subcommand;   // "add", empty for commands without one
    std::string summary;
    std::string usage;
    bool takes_paths = false;
    std::vector<option_doc> options;
    std::string example;
};

struct program_doc {
    std::string version;
    std::string usage;
    std::vector<option_doc> global_options;
    std::vector<std::pair<std::string, std::string>> exit_codes;       // code, meaning
    std::vector<std::pair<std::string, std::string>> result_statuses;  // status, meaning
    std::vector<command_doc> commands;                                 // catalog order
};

/// Reads the JSON form of the help. Throws std::runtime_error when the text
/// is not such a description.
program_doc parse_description(std::string_view json);

/// The command words in catalog order, each once.
std::vector<std::string> command_words(const program_doc& doc);

/// The subcommands of one command word in catalog order (empty for none).
std::vector<std::string> subcommands_of(const program_doc& doc, const std::string& command);

/// The one-letter form of an option ("-t" for "--tag"), empty for none.
std::string short_form(const option_doc& option);

/// Every option, global or of a command, that takes a value, each once,
/// short forms included.
std::vector<std::string> options_with_values(const program_doc& doc);

/// What a completion offers for an option's value.
enum class value_kind { none, tag_name, path, number_range, free_text };
value_kind kind_of_value(const option_doc& option);

/// The numbers of a "<0-5>" placeholder, space-separated.
std::string number_range_words(const option_doc& option);

/// Files as installed: bash-completion's completions/qlm, zsh's _qlm,
/// fish's vendor_completions.d/qlm.fish and man1/qlm.1.
std::string bash_completion(const program_doc& doc);
std::string zsh_completion(const program_doc& doc);
std::string fish_completion(const program_doc& doc);
std::string manual_page(const program_doc& doc);

/// Text for a roff line: backslashes and dashes escaped, and a leading dot or
/// quote kept from being read as a request.
std::string roff(const std::string& text);

/// sortwell-batch's manual page and completions, from its action list.
std::string batch_manual_page(const std::string& version);
std::string batch_bash_completion();
std::string batch_zsh_completion();
std::string batch_fish_completion();

}  // namespace qlm::command_docs
