#pragma once
// Cue sheets of a music folder: the audio files they reference stay where
// they are, because renaming or moving them would break the sheets.

#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::organizer {

/// A cue sheet's text: UTF-16 after FF FE or FE FF, else UTF-8 (a mark
/// skipped), else the system's ANSI code page. Throws std::runtime_error
/// "Invalid cue sheet encoding; no music was organized." when none fits.
std::wstring decode_cue_text(std::string_view bytes);

/// The names of the FILE lines of a cue sheet, in order. Throws
/// std::runtime_error "Invalid cue FILE reference; no music was organized."
/// for a FILE line without a name or without a file type after it, and
/// "Cue sheet has no FILE references; no music was organized." when there is
/// no FILE line.
std::vector<std::wstring> cue_file_references(std::wstring_view text);

/// The form in which referenced and listed files are compared: absolute,
/// lexically normal, lower case.
std::wstring cue_path_key(const std::wstring& path);

/// The keys of every file referenced by the ".cue" files directly in the
/// folder. Throws the errors above, and "Could not read a cue sheet; no music
/// was organized." for a sheet that cannot be read or is over 4 MiB.
std::set<std::wstring> collect_cue_files(const std::wstring& folder);

}  // namespace sortwell::organizer
