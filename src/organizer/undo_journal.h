#pragma once
// The record an organize run leaves in the folder it organized
// ("sw_organize_undo.json", hidden), from which undo moves everything back.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::organizer {

inline constexpr wchar_t journal_file_name[] = L"sw_organize_undo.json";

struct journal_move {
    std::wstring from;  // the full path before the run
    std::wstring to;    // relative to the organized folder when inside it, else full
    bool operator==(const journal_move&) const = default;
};

struct journal_record {
    std::wstring folder;
    std::vector<std::wstring> created_folders;  // relative, in creation order
    std::vector<journal_move> moves;            // in the order they happened
    bool operator==(const journal_record&) const = default;
};

/// The folder joined with "sw_organize_undo.json".
std::wstring journal_path(const std::wstring& folder);

/// The journal's text: JSON with a four-blank indent, keys "version" ("1.0"),
/// "folder", "created_folders", "moves" ("from", "to"), lines ending CR LF.
std::string journal_text(const journal_record& record);

/// The record in a journal's text: string members taken, others skipped.
/// Throws std::runtime_error "Undo journal is not valid JSON" when the text
/// does not parse or its root is not an object.
journal_record parse_journal(std::string_view text);

/// Writes the journal, flushed to disk, and marks it hidden (other attributes kept). Throws
/// std::runtime_error "Failed to write undo journal" when it cannot be written.
void write_journal(const journal_record& record, const std::wstring& path);

/// Reads a journal. Throws std::runtime_error "Failed to open undo journal"
/// when it cannot be read, and the errors of parse_journal.
journal_record read_journal(const std::wstring& path);

/// True for a path that does not depend on a current folder: "/…" on Linux;
/// "C:\…", "\\server\…" or "\…" on Windows.
bool is_rooted(const std::wstring& path);

/// The folder joined with a relative path; a rooted path stays as it is.
std::wstring resolve_in(const std::wstring& folder, const std::wstring& path);

/// The path relative to the folder when it lies inside it, else unchanged.
std::wstring relative_to(const std::wstring& folder, const std::wstring& path);

/// Where the entries of a folder's journal and intent log may lead. Both are
/// files anyone who can write the folder can plant, so a path is taken only
/// when it lies inside the organized folder or, for a destination, inside a
/// placement root of the user's own settings: no "." or ".." step and no
/// symbolic link or junction on the way down from there.
struct journal_scope {
    std::wstring folder;
    std::vector<std::wstring> placement_roots;  // rooted folders outside `folder` that runs may fill

    /// The full path of a moved file's old place ("from"), or nullopt.
    std::optional<std::wstring> source(const std::wstring& from) const;
    /// The full path of a moved file's new place ("to"), or nullopt.
    std::optional<std::wstring> destination(const std::wstring& to) const;
};

/// The full path `path` names inside `root` (`path` relative to it, or
/// absolute beneath it), or nullopt when it leads elsewhere.
std::optional<std::wstring> path_inside(const std::wstring& root, const std::wstring& path);

/// The rooted folder a placement pattern's literal start names ("/photos"
/// for "/photos/<Date>"), or empty when the pattern is relative.
std::wstring placement_root(const std::wstring& pattern);

/// The folder a path names an entry of ("/" for "/a"), empty without a separator.
std::wstring parent_of(const std::wstring& path);

}  // namespace sortwell::organizer
