#include "cli/path_sources.h"

#include "cli/output.h"
#include "platform/console.h"
#include "platform/file_names.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <algorithm>

namespace qlm {

std::wstring decode_utf8_text(std::string_view bytes, bool names) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    const auto zero = bytes.find('\0');
    if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
    return names ? platform::text::from_utf8_name(bytes) : from_utf8(std::string(bytes));
}

text_read read_utf8_file(const std::wstring& path, std::wstring& text, std::size_t limit, bool names) {
    std::uint32_t error = 0;
    const auto bytes = platform::file_system::read_file_at_most(path, limit, &error);
    if (!bytes) return error == platform::file_system::file_too_large ? text_read::too_large : text_read::unreadable;
    text = decode_utf8_text(*bytes, names);
    return text_read::ok;
}

text_read read_stdin_text(std::wstring& text, std::size_t limit, bool names) {
    const auto bytes = platform::console::read_all_input(limit);
    if (!bytes) return text_read::too_large;
    text = decode_utf8_text(*bytes, names);
    return text_read::ok;
}

std::wstring too_large_message(const std::wstring& what, std::size_t limit) {
    return what + L" holds more than " + std::to_wstring(limit >> 20) + L" MiB.";
}

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

std::vector<std::wstring> split_null_separated(std::string_view bytes) {
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::vector<std::wstring> names;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const auto end = std::min(bytes.find('\0', start), bytes.size());
        // Exactly the bytes between the NULs: a name may hold blanks and line breaks.
        if (end > start) names.push_back(platform::text::from_utf8_name(bytes.substr(start, end - start)));
        start = end + 1;
    }
    return names;
}

namespace {

// The paths of one list; false with the message when it is not a list.
bool split_path_list(const std::string& bytes, bool null_separated, const std::wstring& what,
                     std::vector<std::wstring>& paths, std::wstring& message) {
    if (null_separated) {
        for (auto& name : split_null_separated(bytes)) paths.push_back(std::move(name));
        return true;
    }
    if (bytes.find('\0') != std::string::npos) {
        message = what + L" holds NUL characters; give --null (-0) for a NUL-separated list.";
        return false;
    }
    for (auto& line : split_path_lines(decode_utf8_text(bytes, true))) paths.push_back(std::move(line));
    return true;
}

}  // namespace

bool collect_path_arguments(const parsed_arguments& parsed, std::vector<std::wstring>& paths, std::wstring& message) {
    paths = parsed.paths;
    if (parsed.from_file) {
        const std::wstring what = L"The path list '" + *parsed.from_file + L"'";
        std::uint32_t error = 0;
        const auto bytes = platform::file_system::read_file_at_most(*parsed.from_file, path_list_limit, &error);
        if (!bytes && error == platform::file_system::file_too_large) {
            message = too_large_message(what, path_list_limit);
            return false;
        }
        if (!bytes) {
            message = L"Could not read the path list '" + *parsed.from_file + L"'.";
            return false;
        }
        if (!split_path_list(*bytes, parsed.null_separated, what, paths, message)) return false;
    }
    if (parsed.read_stdin) {
        const std::wstring what = L"The path list on standard input";
        const auto bytes = platform::console::read_all_input(path_list_limit);
        if (!bytes) {
            message = too_large_message(what, path_list_limit);
            return false;
        }
        if (!split_path_list(*bytes, parsed.null_separated, what, paths, message)) return false;
    }
    return true;
}

}  // namespace qlm
