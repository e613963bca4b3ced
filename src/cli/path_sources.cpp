#include "cli/path_sources.h"

#include "cli/output.h"
#include "platform/console.h"
#include "platform/file_system.h"

namespace qlm {

std::wstring decode_utf8_text(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const auto zero = bytes.find('\0');
    if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    return from_utf8(std::string(bytes));
}

bool read_utf8_file(const std::wstring& path, std::wstring& text) {
    const auto bytes = platform::file_system::read_file(path);
    if (!bytes) return false;
    text = decode_utf8_text(*bytes);
    return true;
}

std::wstring read_stdin_text() { return decode_utf8_text(platform::console::read_all_input()); }

std::vector<std::wstring> split_path_lines(std::wstring_view text) {
    std::vector<std::wstring> lines;
    std::size_t start = 0;
    while (start <= text.size()) {
        const auto end = std::min(text.find(L'\n', start), text.size());
        std::wstring_view piece = text.substr(start, end - start);
        const auto first = piece.find_first_not_of(L" \t\r");
        if (first == std::wstring_view::npos) {
            piece = {};
        } else {
            piece = piece.substr(first, piece.find_last_not_of(L" \t\r") - first + 1);
        }
        if (piece.size() >= 2 && piece.front() == L'"' && piece.back() == L'"') {
            piece = piece.substr(1, piece.size() - 2);
        }
        if (!piece.empty()) lines.emplace_back(piece);
        start = end + 1;
    }
    return lines;
}

bool collect_path_arguments(const parsed_arguments& parsed, std::vector<std::wstring>& paths, std::wstring& message) {
    paths = parsed.paths;
    if (parsed.from_file) {
        std::wstring text;
        if (!read_utf8_file(*parsed.from_file, text)) {
            message = L"Could not read the path list '" + *parsed.from_file + L"'.";
            return false;
        }
        for (auto& line : split_path_lines(text)) paths.push_back(std::move(line));
    }
    if (parsed.read_stdin) {
        for (auto& line : split_path_lines(read_stdin_text())) paths.push_back(std::move(line));
    }
    return true;
}

}  // namespace qlm
