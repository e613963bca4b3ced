// Writes the shell completions and manual pages of qlm and sortwell-batch into the given folder:
//   qlm_command_docs OUTPUT_FOLDER
// The build runs it after every change of the catalog.

#include "cli/help.h"
#include "command_docs.h"

#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>

namespace {

void write_file(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: qlm_command_docs OUTPUT_FOLDER\n";
        return 2;
    }
    try {
        namespace docs = qlm::command_docs;
        const docs::program_doc doc = docs::parse_description(qlm::help_json(L""));
        const std::filesystem::path folder = argv[1];
        std::filesystem::create_directories(folder);
        write_file(folder / "qlm.bash", docs::bash_completion(doc));
        write_file(folder / "_qlm", docs::zsh_completion(doc));
        write_file(folder / "qlm.fish", docs::fish_completion(doc));
        write_file(folder / "qlm.1", docs::manual_page(doc));
        write_file(folder / "sortwell-batch.bash", docs::batch_bash_completion());
        write_file(folder / "_sortwell-batch", docs::batch_zsh_completion());
        write_file(folder / "sortwell-batch.fish", docs::batch_fish_completion());
        write_file(folder / "sortwell-batch.1", docs::batch_manual_page(doc.version));
    } catch (const std::exception& error) {
        std::cerr << "qlm_command_docs: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
