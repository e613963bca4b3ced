#pragma once
// Prints the rows of every metadata command, read or write, as text or as one
// JSON object, and decides the exit code.

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"
#include "commands/file_state.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm::metadata_commands {

/// The rows of one run, added one at a time in target order. Text-form error
/// rows go to `on_error` as they are added; everything else waits for
/// finish, because the JSON head and the text summary depend on every row.
/// JSON rows wait as compact UTF-8 text, not as row objects.
class result_sheet {
public:
    struct counts {
        int changed = 0;
        int unchanged = 0;
        int ok = 0;
        int failed = 0;
        int rows() const { return changed + unchanged + ok + failed; }
    };

    /// `row_count` is the number of rows the run will add.
    result_sheet(const catalog::command_spec& spec, const parsed_arguments& parsed, field_mask mask,
                 std::size_t row_count, std::function<void(const std::wstring&)> on_error);

    void add(const target_result& row);

    /// Hands the standard-output text to `out` in one or more pieces.
    /// Returns 1 when a row failed or the run was cancelled, else 0.
    int finish(bool cancelled, const std::function<void(std::wstring_view)>& out) const;

private:
    static constexpr std::size_t piece_size = 64 * 1024;
    const catalog::command_spec& spec_;
    const parsed_arguments& parsed_;
    field_mask mask_;
    bool single_comment_;
    std::function<void(const std::wstring&)> on_error_;
    counts counts_;
    std::vector<std::string> json_rows_;
    std::wstring text_;
};

/// A sheet whose error rows are printed on standard error at once.
result_sheet printing_sheet(const catalog::command_spec& spec, const parsed_arguments& parsed, field_mask mask,
                            std::size_t row_count);

/// Prints the sheet on standard output with the cancellation flag as it is
/// now; returns its exit code.
int print_sheet(const result_sheet& sheet);

/// The text that print_results writes to standard output (error rows go to
/// standard error separately), or the JSON document when parsed.json is set.
/// Exposed for tests; cancelled is the state of the cancellation flag.
std::wstring format_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                            const std::vector<target_result>& results, field_mask mask, bool cancelled);

/// Prints the rows: error rows at once on standard error (text form), the
/// rest gathered on standard output. Returns 1 when a row failed or the run
/// was cancelled, else 0.
int print_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                  const std::vector<target_result>& results, field_mask mask);

}  // namespace qlm::metadata_commands
