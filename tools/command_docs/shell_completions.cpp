#include "command_docs.h"

namespace qlm::command_docs {
namespace {

constexpr char generated_note[] = "Generated from qlm's command catalog at build time; do not edit.";

std::string join(const std::vector<std::string>& words, const char* separator) {
    std::string text;
    for (const auto& word : words) text += (text.empty() ? "" : separator) + word;
    return text;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

/// 'body' between single quotes. Appended rather than built with a literal
/// in front: GCC 12 at -O3 takes `"'" + string` for an overlapping copy.
std::string single_quoted(const std::string& body) {
    std::string quoted;
    quoted.reserve(body.size() + 2);
    quoted += '\'';
    quoted += body;
    quoted += '\'';
    return quoted;
}

/// 'text' for bash and zsh, where a quote inside ends, escapes and reopens.
std::string posix_quoted(const std::string& text) { return single_quoted(replace_all(text, "'", R"('\'')")); }

/// 'text' for fish, where backslash and quote are escaped inside.
std::string fish_quoted(const std::string& text) {
    return single_quoted(replace_all(replace_all(text, "\\", "\\\\"), "'", "\\'"));
}

/// The options offered anywhere: the global ones except the standard input
/// marker "-", which is typed rather than completed.
std::vector<option_doc> completed_globals(const program_doc& doc) {
    std::vector<option_doc> options;
    for (const auto& option : doc.global_options) {
        if (option.name.size() > 1) options.push_back(option);
    }
    return options;
}

std::vector<std::string> names_of(const std::vector<option_doc>& options) {
    std::vector<std::string> names;
    for (const auto& option : options) names.push_back(option.name);
    return names;
}

std::vector<option_doc> all_options(const program_doc& doc) {
    std::vector<option_doc> options = completed_globals(doc);
    for (const auto& command : doc.commands) {
        for (const auto& option : command.options) {
            bool seen = false;
            for (const auto& known : options) seen = seen || known.name == option.name;
            if (!seen) options.push_back(option);
        }
    }
    return options;
}

bool is_help(const command_doc& command) { return command.command == "help" && command.subcommand.empty(); }

std::string full_name(const command_doc& command) {
    return command.subcommand.empty() ? command.command : command.command + " " + command.subcommand;
}

/// How a command word without its own summary is described: by its subcommands.
std::string command_word_summary(const program_doc& doc, const std::string& word) {
    const auto subcommands = subcommands_of(doc, word);
    if (!subcommands.empty()) return join(subcommands, ", ");
    for (const auto& command : doc.commands) {
        if (command.command == word) return command.summary;
    }
    return {};
}

}  // namespace

std::string bash_completion(const program_doc& doc) {
    const auto words = command_words(doc);
    std::string out = "# bash completion for qlm. " + std::string(generated_note) + "\n";
    out += R"sh(
# Adds the user's tags that start with $1, quoted for the command line.
_qlm_tags() {
    local tag
    while IFS= read -r tag; do
        [[ -n $tag && $tag == "$1"* ]] && COMPREPLY+=("$(printf '%q' "$tag")")
    done < <(QLM_COMPLETING=1 command qlm tag list 2>/dev/null)
}

_qlm_files() {
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$1")
}

_qlm_words() {
    mapfile -t COMPREPLY < <(compgen -W "$1" -- "$2")
}

_qlm() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command= subcommand= i
    COMPREPLY=()
    # The command and subcommand are the first two words that are neither an
    # option nor an option's value.
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
)sh";
    out += "            " + join(options_with_values(doc), "|") + ") ((i++)) ;;\n";
    out += R"sh(            -*) ;;
            *)
                if [[ -z $command ]]; then command=${COMP_WORDS[i]}
                elif [[ -z $subcommand ]]; then subcommand=${COMP_WORDS[i]}
                fi ;;
        esac
    done
    case $prev in
)sh";
    for (const auto& option : all_options(doc)) {
        switch (kind_of_value(option)) {
        case value_kind::none: break;
        case value_kind::tag_name:
            out += "        " + option.name;
            if (!short_form(option).empty()) {
                out += '|';
                out += short_form(option);
            }
            out += ") _qlm_tags \"$cur\"; return ;;\n";
            break;
        case value_kind::path: out += "        " + option.name + ") _qlm_files \"$cur\"; return ;;\n"; break;
        case value_kind::number_range:
            out += "        " + option.name + ") _qlm_words '" + number_range_words(option) + "' \"$cur\"; return ;;\n";
            break;
        case value_kind::free_text: out += "        " + option.name + ") return ;;\n"; break;
        }
    }
    out += "    esac\n";
    out += "    local globals=" + posix_quoted(join(names_of(completed_globals(doc)), " ")) + "\n";
    out += R"sh(    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then _qlm_words "$globals" "$cur"; else _qlm_words )sh" +
           posix_quoted(join(words, " ")) + R"sh( "$cur"; fi
        return
    fi
    local entry=$command
    case $command in
)sh";
    for (const auto& word : words) {
        const auto subcommands = subcommands_of(doc, word);
        if (subcommands.empty()) continue;
        out += "        " + word + ")\n";
        out += "            if [[ -z $subcommand ]]; then\n";
        out += "                if [[ $cur == -* ]]; then _qlm_words \"$globals\" \"$cur\"; else _qlm_words " +
               posix_quoted(join(subcommands, " ")) + " \"$cur\"; fi\n";
        out += "                return\n            fi\n";
        out += "            entry+=\" $subcommand\" ;;\n";
    }
    out += R"sh(    esac
    local options= paths=0 topics=
    case $entry in
)sh";
    for (const auto& command : doc.commands) {
        out += "        " + posix_quoted(full_name(command)) + ")";
        if (!command.options.empty()) out += " options=" + posix_quoted(join(names_of(command.options), " ")) + ";";
        if (command.takes_paths) out += " paths=1;";
        if (is_help(command)) out += " topics=" + posix_quoted(join(words, " ")) + ";";
        out += " ;;\n";
    }
    out += R"sh(        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        _qlm_words "$options $globals" "$cur"
    elif ((paths)); then
        _qlm_files "$cur"
    elif [[ -n $topics && -z $subcommand ]]; then
        _qlm_words "$topics" "$cur"
    fi
}
complete -F _qlm qlm
)sh";
    return out;
}

namespace {

/// An _arguments spec: '*--tag[A tag name.]:name:_qlm_tags'.
std::string zsh_option_spec(const option_doc& option) {
    std::string description = replace_all(replace_all(option.description, "[", "\\["), "]", "\\]");
    std::string spec = (option.repeatable ? "*" : "") + option.name + "[" + description + "]";
    const std::string message = replace_all(option.value.size() > 2 ? option.value.substr(1, option.value.size() - 2) : "value", ":", "\\:");
    switch (kind_of_value(option)) {
    case value_kind::none: break;
    case value_kind::tag_name: spec += ":" + message + ":_qlm_tags"; break;
    case value_kind::path: spec += ":" + message + ":_files"; break;
    case value_kind::number_range: spec += ":" + message + ":(" + number_range_words(option) + ")"; break;
    case value_kind::free_text: spec += ":" + message + ": "; break;
    }
    return posix_quoted(spec);
}

std::string zsh_described(const std::string& word, const std::string& description) {
    return posix_quoted(replace_all(word, ":", "\\:") + ":" + description);
}

}  // namespace

std::string zsh_completion(const program_doc& doc) {
    const auto words = command_words(doc);
    std::string out = "#compdef qlm\n# zsh completion for qlm. " + std::string(generated_note) + "\n";
    out += R"sh(
_qlm_tags() {
  local -a tags
  tags=(${(f)"$(_call_program tags QLM_COMPLETING=1 qlm tag list 2>/dev/null)"})
  compadd -a tags
}

_qlm() {
  local -a global_options
  global_options=(
)sh";
    for (const auto& option : completed_globals(doc)) out += "    " + zsh_option_spec(option) + "\n";
    out += R"sh(  )
  if (( CURRENT == 2 )); then
    if [[ $PREFIX == -* ]]; then
      _arguments : $global_options
    else
      local -a commands
      commands=(
)sh";
    for (const auto& word : words) out += "        " + zsh_described(word, command_word_summary(doc, word)) + "\n";
    out += R"sh(      )
      _describe -t commands 'qlm command' commands
    fi
    return
  fi
  local entry=$words[2]
  case $entry in
)sh";
    for (const auto& word : words) {
        const auto subcommands = subcommands_of(doc, word);
        if (subcommands.empty()) continue;
        out += "    " + word + ")\n";
        out += "      if (( CURRENT == 3 )); then\n";
        out += "        local -a subcommands\n        subcommands=(\n";
        for (const auto& command : doc.commands) {
            if (command.command == word) out += "          " + zsh_described(command.subcommand, command.summary) + "\n";
        }
        out += "        )\n";
        out += "        _describe -t subcommands " + posix_quoted(word + " subcommand") + " subcommands\n";
        out += "        return\n      fi\n";
        out += "      entry+=\" $words[3]\"\n";
        out += "      shift words\n      (( CURRENT-- )) ;;\n";
    }
    out += R"sh(  esac
  # _arguments takes the first word for the command name.
  shift words
  (( CURRENT-- ))
  case $entry in
)sh";
    for (const auto& command : doc.commands) {
        out += "    ";
        out += posix_quoted(full_name(command));
        out += ")\n      _arguments : $global_options";
        for (const auto& option : command.options) {
            out += ' ';
            out += zsh_option_spec(option);
            if (!short_form(option).empty()) {
                option_doc short_option = option;
                short_option.name = short_form(option);
                out += ' ';
                out += zsh_option_spec(short_option);
            }
        }
        if (command.takes_paths) out += " '*:path:_files'";
        if (is_help(command)) {
            out += " '1:command:(";
            out += join(words, " ");
            out += ")'";
        }
        out += " ;;\n";
    }
    out += R"sh(  esac
}

_qlm "$@"
)sh";
    return out;
}

std::string fish_completion(const program_doc& doc) {
    const auto words = command_words(doc);
    std::string out = "# fish completion for qlm. " + std::string(generated_note) + "\n";
    out += R"sh(
# The command and subcommand words typed so far, without options and their values.
function __qlm_words
    set -l skip 0
    for token in (commandline -opc)[2..-1]
        if test $skip = 1
            set skip 0
            continue
        end
        switch $token
)sh";
    out += "            case " + join(options_with_values(doc), " ") + "\n";
    out += R"sh(                set skip 1
            case '-*'
            case '*'
                echo $token
        end
    end
end

# True when exactly these words have been typed (the next one is being completed).
function __qlm_at
    set -l words (__qlm_words)
    test (count $words) -eq (count $argv); and test "$words" = "$argv"
end

# True when the words typed so far begin with these.
function __qlm_under
    set -l words (__qlm_words)
    set -l n (count $argv)
    test (count $words) -ge $n; or return 1
    test "$words[1..$n]" = "$argv"
end

complete -c qlm -f
)sh";
    for (const auto& option : completed_globals(doc)) {
        out += "complete -c qlm -l " + option.name.substr(2);
        if (kind_of_value(option) == value_kind::path) out += " -r -F";
        out += " -d " + fish_quoted(option.description) + "\n";
    }
    for (const auto& word : words) {
        out += "complete -c qlm -n __qlm_at -a " + word + " -d " + fish_quoted(command_word_summary(doc, word)) + "\n";
    }
    for (const auto& command : doc.commands) {
        if (!command.subcommand.empty()) {
            out += "complete -c qlm -n " + fish_quoted("__qlm_at " + command.command) + " -a " + command.subcommand +
                   " -d " + fish_quoted(command.summary) + "\n";
        }
        const std::string under = fish_quoted("__qlm_under " + full_name(command));
        for (const auto& option : command.options) {
            out += "complete -c qlm -n " + under + " -l " + option.name.substr(2);
            if (!short_form(option).empty()) {
                out += " -s ";
                out += short_form(option).substr(1);
            }
            switch (kind_of_value(option)) {
            case value_kind::none: break;
            case value_kind::tag_name: out += " -x -a '(env QLM_COMPLETING=1 qlm tag list 2>/dev/null)'"; break;
            case value_kind::path: out += " -r -F"; break;
            case value_kind::number_range: out += " -x -a " + fish_quoted(number_range_words(option)); break;
            case value_kind::free_text: out += " -x"; break;
            }
            out += " -d " + fish_quoted(option.description) + "\n";
        }
        if (command.takes_paths) out += "complete -c qlm -n " + under + " -F\n";
        if (is_help(command)) out += "complete -c qlm -n '__qlm_at help' -a " + fish_quoted(join(words, " ")) + "\n";
    }
    return out;
}

}  // namespace qlm::command_docs
