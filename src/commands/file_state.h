#pragma once
// One target's metadata and one result row of a metadata command.

#include "cli/target_expansion.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// Bits of the fields a command reads and shows.
using field_mask = std::uint32_t;
inline constexpr field_mask field_tags = 1;
inline constexpr field_mask field_rating = 2;
inline constexpr field_mask field_comment = 4;
inline constexpr field_mask field_people = 8;
inline constexpr field_mask field_all = 15;

struct file_state {
    std::vector<std::wstring> tags;    // stored order
    std::uint32_t rating = 0;          // stars 0-5
    std::wstring comment;              // empty when none
    std::vector<std::wstring> people;  // distinct ignoring case, region order
    // False when the stored rating is not what writing `rating` stars would
    // store (a half star set in Dolphin, a photo marked rejected), so that
    // setting the same stars still writes.
    bool rating_settled = true;
};

struct target_result {
    std::wstring path;
    std::wstring status;  // "ok", "changed", "unchanged" or "error"
    std::wstring code;
    std::wstring message;
    std::optional<file_state> before;
    std::optional<file_state> after;
};

/// Marks the row as failed with the code word and message.
inline void set_error(target_result& result, std::wstring code, std::wstring message) {
    result.status = L"error";
    result.code = std::move(code);
    result.message = std::move(message);
}

/// A new row for the target: already failed when the target arrived with an
/// error (missing path, pattern without matches), otherwise without a status.
inline target_result start_row(const target_entry& target) {
    target_result row;
    row.path = target.path;
    if (!target.error_code.empty()) set_error(row, target.error_code, target.error_message);
    return row;
}

}  // namespace qlm::metadata_commands
