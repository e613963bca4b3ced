#include "support/exiftool.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <cstdlib>

namespace qlm::testing {

bool exiftool_available() {
    static const bool available = [] {
        const temp_folder folder;
        const std::string out = platform::text::to_utf8(folder / L"version.txt");
        const std::string command = "exiftool -ver > \"" + out + "\" 2>&1";
        return std::system(command.c_str()) == 0 && !read_bytes(folder / L"version.txt").empty();
    }();
    return available;
}

std::optional<std::string> run_exiftool(const std::string& arguments, const std::wstring& file) {
    const temp_folder folder;
    const std::string out = platform::text::to_utf8(folder / L"exiftool.txt");
    const std::string command =
        "exiftool " + arguments + " \"" + platform::text::to_utf8(file) + "\" > \"" + out + "\" 2>&1";
    if (std::system(command.c_str()) != 0) return std::nullopt;
    return read_bytes(folder / L"exiftool.txt");
}

}  // namespace qlm::testing
