#include "batch_processor/action_help.h"
#include "command_docs.h"
#include "platform/text.h"

#include <initializer_list>
#include <string_view>

namespace qlm::command_docs {
namespace {

namespace batch = sortwell::batch_processor;

std::string utf8(const std::wstring& text) { return platform::text::to_utf8(text); }

void append(std::string& out, std::initializer_list<std::string_view> pieces) {
    for (const std::string_view piece : pieces) out += piece;
}

}  // namespace

std::string batch_manual_page(const std::string& version) {
    // Appended piece by piece: GCC 12 at -O3 warns falsely about `"literal" + string`.
    std::string out = ".\\\" Generated from sortwell-batch's action list at build time; do not edit.\n";
    append(out, {".TH SORTWELL-BATCH 1 \"\" \"sortwell-batch ", roff(version), "\" \"User Commands\"\n"});
    out += ".SH NAME\nsortwell-batch \\- run a Quillmark batch job file\n";
    out += ".SH SYNOPSIS\n.B sortwell-batch\n\\fIjobfile\\fR [\\fB\\-\\-delete\\fR]\n";
    out += ".SH DESCRIPTION\n";
    out += ".B sortwell-batch\nruns the action a job file names over the paths it lists, printing each\n";
    out += "path's outcome and a summary. A job file is JSON:\n.PP\n.nf\n";
    append(out, {roff(R"({"version": "1", "job": {"guid": "...", "action_type": "set_rating",)"), "\n"});
    append(out, {roff(R"( "action_parameters": "4"}, "files": [{"path": "/photos/harbour.jpg"}]})"), "\n.fi\n"});
    out += ".PP\nThe parameter text is checked before any file is touched.\n";
    out += ".SH OPTIONS\n.TP\n\\fB\\-\\-delete\\fR\nRemove the job file when the job ends.\n";
    out += ".TP\n\\fB\\-\\-help\\fR, \\fB\\-h\\fR\nShow the actions and exit codes.\n";
    out += ".SH ACTIONS\n";
    for (const auto& entry : batch::runnable_actions()) {
        append(out, {".TP\n\\fB", roff(utf8(batch::action_name(entry.action))), "\\fR"});
        if (!entry.parameter_form.empty()) append(out, {" \\fI", roff(utf8(entry.parameter_form)), "\\fR"});
        append(out, {"\n", roff(utf8(entry.summary)), "\n"});
    }
    out += ".SH \"EXIT STATUS\"\n.TP\n.B 0\nEvery file succeeded.\n";
    out += ".TP\n.B 1\nAt least one file did not, or the run was cancelled.\n";
    out += ".TP\n.B 2\nThe command line or the job file could not be used.\n";
    out += ".SH \"SEE ALSO\"\n.BR qlm (1)\n";
    return out;
}

std::string batch_bash_completion() {
    return R"sh(# bash completion for sortwell-batch: its options, then job files.
_sortwell_batch() {
  local current=${COMP_WORDS[COMP_CWORD]}
  if [[ $current == -* ]]; then
    mapfile -t COMPREPLY < <(compgen -W '--delete --help' -- "$current")
  else
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$current")
  fi
}
complete -F _sortwell_batch sortwell-batch
)sh";
}

std::string batch_zsh_completion() {
    return "#compdef sortwell-batch\n"
           "_arguments '--delete[remove the job file when the job ends]' '(- *)'{--help,-h}'[show the actions]' "
           "'1:job file:_files'\n";
}

std::string batch_fish_completion() {
    return "complete -c sortwell-batch -l delete -d 'remove the job file when the job ends'\n"
           "complete -c sortwell-batch -s h -l help -d 'show the actions and exit codes'\n";
}

}  // namespace qlm::command_docs
