#include "command_docs.h"

namespace qlm::command_docs {

std::string roff(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\') out += "\\e";
        else if (c == '-') out += "\\-";
        else out += c;
    }
    if (!out.empty() && (out.front() == '.' || out.front() == '\'')) out.insert(0, "\\&");
    return out;
}

namespace {

std::string bold(const std::string& text) { return "\\fB" + roff(text) + "\\fR"; }

std::string option_tag(const option_doc& option) {
    std::string tag = bold(option.name);
    if (!option.value.empty()) tag += " \\fI" + roff(option.value) + "\\fR";
    return tag;
}

}  // namespace

std::string manual_page(const program_doc& doc) {
    std::string out = ".\\\" Generated from qlm's command catalog at build time; do not edit.\n";
    out += ".TH QLM 1 \"\" \"qlm " + roff(doc.version) + "\" \"User Commands\"\n";
    out += ".SH NAME\nqlm \\- Quillmark from the command line\n";
    out += ".SH SYNOPSIS\n.B qlm\n\\fIcommand\\fR [\\fIoptions\\fR] [\\fIpaths\\fR...]\n";
    out += ".SH DESCRIPTION\n";
    out += ".B qlm\nreads and changes the tags, star rating, comment and people of files and folders.\n";
    out += "Paths may use * and ? in their last part.\n";
    out += "With \\fB\\-\\-json\\fR every command prints one JSON object;\n";
    out += "\\fBqlm help \\-\\-json\\fR describes every command for tools and agents.\n";
    out += ".SH COMMANDS\n";
    for (const auto& command : doc.commands) {
        out += ".TP\n" + bold(command.usage) + "\n" + roff(command.summary) + "\n";
        if (!command.options.empty()) {
            out += ".RS\n";
            for (const auto& option : command.options) {
                out += ".TP\n" + option_tag(option) + (option.repeatable ? "..." : "") + "\n" + roff(option.description) + "\n";
            }
            out += ".RE\n";
        }
        out += ".IP\nExample:\n.RS\n.nf\n" + roff(command.example) + "\n.fi\n.RE\n";
    }
    out += ".SH OPTIONS\nThese options apply to every command.\n";
    for (const auto& option : doc.global_options) {
        out += ".TP\n" + option_tag(option) + "\n" + roff(option.description) + "\n";
    }
    out += ".SH \"RESULT STATUSES\"\nWith \\fB\\-\\-json\\fR each target is reported with one of these statuses.\n";
    for (const auto& [status, meaning] : doc.result_statuses) out += ".TP\n" + bold(status) + "\n" + roff(meaning) + "\n";
    out += ".SH \"EXIT STATUS\"\n";
    for (const auto& [code, meaning] : doc.exit_codes) out += ".TP\n" + bold(code) + "\n" + roff(meaning) + "\n";
    out += ".SH FILES\n.TP\n.I /usr/lib/qlm/Content/\nThe default settings, copied to the user's settings folder on first use.\n";
    out += ".TP\n.I ~/.local/share/Verandel/Quillmark/Sortwell/Command Line/Logs/\n";
    out += "The log of every run (under \\fB$XDG_DATA_HOME\\fR when it is set).\n";
    return out;
}

}  // namespace qlm::command_docs
