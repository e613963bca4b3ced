#include "support/outside_tools.h"

#include "platform/file_system.h"
#include "platform/text.h"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace qlm::testing {

std::string run_tool(const std::string& command_line, int* exit_code) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path output = std::filesystem::temp_directory_path() /
        ("qlm-tool-" + std::to_string(platform::file_system::process_id()) + "-" + std::to_string(counter++) + ".out");
    const int status = std::system((command_line + " > '" + output.string() + "' 2>/dev/null").c_str());
    if (exit_code != nullptr) *exit_code = status;
    std::ifstream in(output, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    std::error_code ignored;
    std::filesystem::remove(output, ignored);
    return content.str();
}

bool tool_available(const std::string& program) {
    // The path it prints, not only the status: a shell that lacks `command`
    // (Wine's) may still answer 0.
    int status = 0;
    return !run_tool("command -v " + program, &status).empty() && status == 0;
}

std::string shell_quote(const std::wstring& path) {
    std::string out = "'";
    for (const char ch : platform::text::to_utf8(path)) {
        if (ch == '\'') out += "'\\''";
        else out.push_back(ch);
    }
    return out + "'";
}

std::string getfattr(const std::wstring& path, const std::string& name) {
    return run_tool("getfattr --only-values -n " + name + " " + shell_quote(path));
}

std::wstring make_image(const std::wstring& path, const std::string& options) {
    int status = 0;
    run_tool("convert -size 64x48 xc:red " + options + " " + shell_quote(path), &status);
    return status == 0 ? path : std::wstring();
}

std::string exiftool_value(const std::wstring& path, const std::string& tag) {
    std::string out = run_tool("exiftool -m -n -s -s -s -sep ', ' '" + tag + "' " + shell_quote(path));
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string exiftool_output(const std::string& options, const std::wstring& path) {
    return run_tool("exiftool " + options + " " + shell_quote(path));
}

std::vector<std::string> exiftool_values(const std::wstring& path, const std::vector<std::string>& tags) {
    std::string command = "exiftool -m -n -f -s -s -s -sep ', '";
    for (const auto& tag : tags) command += " '" + tag + "'";
    const std::string out = run_tool(command + " " + shell_quote(path));
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        const auto end = out.find('\n', start);
        lines.push_back(out.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

}  // namespace qlm::testing
