// Names of the temporary files a replace writes beside its target; the same
// on both systems, so that either recognises the other's leftovers.

#include "platform/file_system.h"

#include "platform/file_safety.h"
#include "platform/text.h"

#include <atomic>

namespace platform::file_system {
namespace {

constexpr std::size_t longest_name = 255;  // bytes of a name on Linux, units on Windows

bool is_separator(wchar_t c) { return c == L'/' || c == separator; }

// Reads decimal digits from `at`; nullopt when there are none or too many.
std::optional<std::uint64_t> number_at(std::wstring_view text, std::size_t& at) {
    const std::size_t start = at;
    std::uint64_t value = 0;
    while (at < text.size() && text[at] >= L'0' && text[at] <= L'9' && at - start < 19) {
        value = value * 10 + static_cast<std::uint64_t>(text[at] - L'0');
        ++at;
    }
    if (at == start) return std::nullopt;
    return value;
}

}  // namespace

std::wstring temporary_name_beside(const std::wstring& target) {
    static std::atomic<std::uint64_t> sequence{0};
    const std::uint64_t number = sequence.fetch_add(1);
    std::size_t name_start = target.size();
    while (name_start > 0 && !is_separator(target[name_start - 1])) --name_start;
    const std::wstring suffix = L".qlm-" + std::to_wstring(process_id()) + L"-" + std::to_wstring(tick_count()) +
                                L"-" + std::to_wstring(number) + L".tmp";
    std::wstring name = target.substr(name_start);
    // A long name would make the temporary's name too long to create.
    while (!name.empty() && text::to_utf8(name).size() + 1 + suffix.size() > longest_name) name.pop_back();
    return target.substr(0, name_start) + L"." + name + suffix;
}

std::optional<std::uint32_t> temporary_owner(std::wstring_view name) {
    constexpr std::wstring_view tail = L".tmp";
    constexpr std::wstring_view marker = L".qlm-";
    if (name.size() < tail.size() || name.substr(name.size() - tail.size()) != tail) return std::nullopt;
    const std::size_t at = name.rfind(marker);
    if (at == std::wstring_view::npos) return std::nullopt;
    std::size_t cursor = at + marker.size();
    const auto pid = number_at(name, cursor);
    if (!pid || *pid > 0xFFFFFFFFu || cursor >= name.size() || name[cursor++] != L'-') return std::nullopt;
    if (!number_at(name, cursor) || cursor >= name.size() || name[cursor++] != L'-') return std::nullopt;
    if (!number_at(name, cursor) || cursor != name.size() - tail.size()) return std::nullopt;
    return static_cast<std::uint32_t>(*pid);
}

}  // namespace platform::file_system
