#pragma once
// The handlers of the five actions that change a file's or folder's tags and
// star rating. Each decides the new value and writes it through the metadata
// store; the worker's after-steps tell the shell and viewers.

#include <string>
#include <vector>

namespace sortwell::batch_processor {

/// The pieces of a parameter string between ";" separators, in order. Empty
/// pieces are dropped; blanks are kept as part of a piece.
std::vector<std::wstring> split_parameters(const std::wstring& parameters);

/// Applies tokens "=" (clear), "+name" (add when missing, compared ignoring
/// ASCII case) and "-name" (remove the first match). Writes and commits only
/// when the list changed. Raises the store's errors.
void apply_update_tags(const std::wstring& path, const std::wstring& parameters);

/// Toggles each name of the list (exact comparison): removes the first tag
/// equal to it, or appends it. The list is taken from the first call in the
/// process and kept for every later call. Always commits.
void apply_toggle_tags(const std::wstring& path, const std::wstring& parameters);

/// Removes every tag and commits.
void apply_remove_tags(const std::wstring& path);

/// Sets the rating to the stars read from the parameters as atoi reads them
/// ("3" → 3, "" or letters → 0), and commits.
void apply_set_rating(const std::wstring& path, const std::wstring& parameters);

/// Sets the rating to 0 stars and commits.
void apply_remove_rating(const std::wstring& path);

/// How many write attempts the last of the handlers above made on this
/// thread, counted from where a write_attempt_spent left the count. A write
/// handed to a commit group counts as made when the group renames it.
int write_attempts_made();

/// True when a file that already had `made` attempts may be written again.
bool write_attempts_left(int made);

/// While one lives on a thread, the handlers above continue the count of
/// write attempts at `made`: the file is written again because its grouped
/// replace found it changed by another program.
class write_attempt_spent {
public:
    explicit write_attempt_spent(int made);
    ~write_attempt_spent();
    write_attempt_spent(const write_attempt_spent&) = delete;
    write_attempt_spent& operator=(const write_attempt_spent&) = delete;

private:
    int saved_;
};

/// The integer at the start of UTF-8 text as the C runtime's atoi reads it:
/// leading white space, an optional sign, decimal digits up to the first
/// other character; 0 without digits; saturated at the int limits.
int parse_leading_integer(const std::string& text);

}  // namespace sortwell::batch_processor
