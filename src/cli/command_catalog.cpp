#include "cli/command_catalog.h"

#include "platform/file_system.h"

namespace qlm::catalog {
namespace {

option_spec tag_option() {
    return {L"--tag", L"<name>", true, true, L"A tag name. Repeat for several tags; -t is short for --tag."};
}
option_spec stars_option() { return {L"--stars", L"<0-5>", true, false, L"Star rating. 0 removes the rating."}; }
option_spec text_option() {
    return {L"--text", L"<text>", false, false, L"The comment text. Use '-' to read it from standard input."};
}
option_spec text_file_option() {
    return {L"--text-file", L"<path>", false, false, L"Read the comment text from a UTF-8 file."};
}

// A folder of photos as the system running the program writes it.
std::wstring info_example() {
    return platform::file_system::separator == L'/' ? L"qlm info --json ~/Photos/*.jpg"
                                                   : L"qlm info --json C:\\Photos\\*.jpg";
}

std::vector<command_spec> build_catalog() {
    return {
        {L"info", L"", L"Show the tags, rating, comment and people of files and folders.", false, true, {},
         info_example()},
        {L"tag", L"list", L"List the tags defined in Labelry (the tags the menus and hotkeys offer).", false, false,
         {}, L"qlm tag list --json"},
        {L"tag", L"get", L"Show the tags on files and folders.", false, true, {}, L"qlm tag get report.docx"},
        {L"tag", L"add", L"Add tags, keeping the ones already there.", true, true, {tag_option()},
         L"qlm tag add --tag Work --tag Urgent report.docx"},
        {L"tag", L"remove", L"Remove tags, keeping the others.", true, true, {tag_option()},
         L"qlm tag remove --tag Urgent report.docx"},
        {L"tag", L"set", L"Replace all tags with exactly the ones given.", true, true, {tag_option()},
         L"qlm tag set --tag Archive *.pdf"},
        {L"tag", L"clear", L"Remove every tag.", true, true, {}, L"qlm tag clear report.docx"},
        {L"rate", L"get", L"Show the star rating (0-5) of files and folders.", false, true, {},
         L"qlm rate get photo.jpg"},
        {L"rate", L"set", L"Set the star rating.", true, true, {stars_option()}, L"qlm rate set --stars 4 photo.jpg"},
        {L"rate", L"clear", L"Remove the rating.", true, true, {}, L"qlm rate clear photo.jpg"},
        {L"comment", L"get", L"Show the Remarkly comment of files and folders.", false, true, {},
         L"qlm comment get notes.pdf"},
        {L"comment", L"set", L"Replace the comment. Give exactly one of --text or --text-file.", true, true,
         {text_option(), text_file_option()}, L"qlm comment set --text \"Reviewed\" notes.pdf"},
        {L"comment", L"clear", L"Remove the comment.", true, true, {}, L"qlm comment clear notes.pdf"},
        {L"help", L"", L"Show help. With --json, describe every command for tools and agents.", false, false, {},
         L"qlm help --json"},
    };
}

}  // namespace

const std::vector<command_spec>& command_catalog() {
    static const std::vector<command_spec> catalog = build_catalog();
    return catalog;
}

bool is_known_command(const std::wstring& word) {
    for (const auto& spec : command_catalog()) {
        if (spec.command == word) return true;
    }
    return false;
}

std::wstring full_command_name(const command_spec& spec) {
    return spec.subcommand.empty() ? spec.command : spec.command + L" " + spec.subcommand;
}

const command_spec* find_command(const std::wstring& command, const std::wstring& subcommand) {
    for (const auto& spec : command_catalog()) {
        if (spec.command == command && spec.subcommand == subcommand) return &spec;
    }
    return nullptr;
}

}  // namespace qlm::catalog
