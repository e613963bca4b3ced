#pragma once
// The hidden intent log beside the undo journal ("sw_organize_undo.wal"):
// what an organize or undo run is about to do, one JSON line each, written
// before it happens. A run that ends normally deletes it; one that dies
// leaves it, and the next organize or undo in that folder settles every
// move it names before doing anything else, so no file is lost or left
// out of the journal.

#include "organizer/undo_journal.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::organizer {

inline constexpr wchar_t intent_log_file_name[] = L"sw_organize_undo.wal";

/// The lines of one log, as parsed. A line that does not parse (the torn
/// end of a crashed write) ends the log.
struct intent_entries {
    bool found = false;  // the first line named a folder
    bool undo = false;   // written by an undo run
    std::wstring folder;
    std::vector<std::wstring> created_folders;  // relative
    struct move {
        std::wstring from;  // full paths
        std::wstring to;
        bool done = false;           // known to have happened (carried from a recovery)
        std::ptrdiff_t undone = -1;  // undo: the journal index being restored
    };
    std::vector<move> moves;
};

/// Parses a log's text; never throws.
intent_entries parse_intent_log(std::string_view text);

/// Writes one run's intents. Every method reports failure by returning false
/// (the Win32 error in last_error); an organize run stops before a move its
/// log could not record.
class intent_log {
public:
    explicit intent_log(const std::wstring& folder);

    /// Empties or creates the log, records the folder (and whether this is
    /// an undo), marks it hidden.
    bool start(bool undo);
    /// Before a folder is created.
    bool created_folder(const std::wstring& relative);
    /// Before a move; `sync_now` makes it durable at once (a cross-volume
    /// move deletes its source before the next periodic flush).
    bool move(const std::wstring& from, const std::wstring& to, bool sync_now);
    /// A move that a recovery found done, kept in the journal of this run.
    bool done(const std::wstring& from, const std::wstring& to);
    /// Undo: before journal move `index` is put back from `from` to `to`;
    /// `sync_now` as for move.
    bool undone(std::size_t index, const std::wstring& from, const std::wstring& to, bool sync_now);
    /// Flushes what was written; false when that failed.
    bool sync();
    /// Deletes the log: the journal now says everything it said.
    void remove();

    const std::wstring& path() const { return path_; }
    /// The Win32 error of the last failed write, 0 when none failed.
    std::uint32_t last_error() const { return error_; }

private:
    bool write_line(const std::string& line, bool sync_now);

    std::wstring path_;
    platform::file_system::append_file file_;
    std::size_t unsynced_ = 0;
    std::uint32_t error_ = 0;
};

/// What a recovery settled.
struct recovery_result {
    bool found = false;
    bool undo = false;
    /// Organize log: the moves that happened, as journal entries, in order,
    /// and the created folders that exist.
    std::vector<journal_move> moved;
    std::vector<std::wstring> created_folders;
    /// Undo log: how many journal moves were found put back.
    std::size_t restored = 0;
};

/// Settles a leftover log in the folder. For each intended move: only the
/// target exists → moved; only the source → not moved (a cross-volume
/// temporary is deleted); both → when their sizes are equal the source is
/// deleted (moved), else the partial target (not moved). An undo log's
/// restored moves are dropped from the journal, which is rewritten; an
/// organize log's moves become the journal. The log is deleted once the
/// journal holds what it knew. Entries that lead outside `scope` are
/// neither settled nor kept: nothing they name is deleted.
recovery_result recover_intent_log(const journal_scope& scope);

}  // namespace sortwell::organizer
