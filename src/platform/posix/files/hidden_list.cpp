#include "platform/posix/files/hidden_list.h"

#include "platform/file_names.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/win32_error.h"

#include <vector>

namespace platform::file_system {
namespace {

// A list this long is not one this program keeps; it is left alone.
constexpr std::size_t list_limit = 1u << 20;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool write_list(const std::wstring& list, const std::string& text) {
    const std::wstring temporary = temporary_name_beside(list);
    if (write_temporary(list, temporary, text.data(), text.size()) != win32_error::success) return false;
    std::uint32_t error = 0;
    const bool exists = get_attributes(list, &error) != invalid_attributes;
    const std::uint32_t result = exists ? replace_file(list, temporary) : move_file(temporary, list);
    if (result != win32_error::success) delete_file(temporary);
    return result == win32_error::success;
}

}  // namespace

void update_hidden_list(const std::string& path, bool hidden) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.front() == '.' || name.find_first_of("\r\n") != std::string::npos) return;
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
    const std::wstring list = text::from_utf8_name(folder == "/" ? "/.hidden" : folder + "/.hidden");

    std::string text;
    std::uint32_t error = 0;
    if (const auto bytes = read_file_at_most(list, list_limit, &error)) {
        text = *bytes;
    } else if (error != win32_error::file_not_found && error != win32_error::path_not_found) {
        return;
    }
    std::vector<std::string> lines = lines_of(text);
    std::vector<std::string> kept;
    bool listed = false;
    for (auto& line : lines) {
        // A list written on Windows may end its lines with CR LF.
        const bool same = line == name || line == name + "\r";
        listed = listed || same;
        if (!same || hidden) kept.push_back(std::move(line));
    }
    if (listed == hidden) return;
    if (hidden) kept.push_back(name);
    if (kept.empty()) {
        delete_file(list);
        return;
    }
    std::string updated;
    for (const auto& line : kept) updated += line + '\n';
    write_list(list, updated);
}

void move_hidden_listing(const std::string& from, const std::string& to) {
    std::uint32_t error = 0;
    const std::uint32_t attributes = get_attributes(text::from_utf8_name(to), &error);
    if (attributes == invalid_attributes || (attributes & attribute_hidden) == 0) return;
    update_hidden_list(from, false);
    update_hidden_list(to, true);
}

}  // namespace platform::file_system
