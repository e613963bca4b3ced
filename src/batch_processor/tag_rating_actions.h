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

/// The integer at the start of UTF-8 text as the C runtime's atoi reads it:
/// leading white space, an optional sign, decimal digits up to the first
/// other character; 0 without digits; saturated at the int limits.
int parse_leading_integer(const std::string& text);

}  // namespace sortwell::batch_processor
