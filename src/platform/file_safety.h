#pragma once
// What keeps files whole and private around a write, and bounded reads of
// outside input.
//
// A replace writes a temporary file beside its target (hidden, named by
// temporary_name_beside, file_system.h) that carries the target's protection
// from its creation, so that a crash at any moment leaves the old file and
// at worst a private leftover, which the next write beside it sweeps.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::file_system {

/// The Win32 error of a file or input above its size limit.
inline constexpr std::uint32_t file_too_large = 223;

/// The id of the process that made the temporary file named `name` (a name
/// from temporary_name_beside, or the visible form earlier versions used,
/// without the leading "."), or nullopt when the name is not one of ours.
/// Wildcard reads skip such names.
std::optional<std::uint32_t> temporary_owner(std::wstring_view name);

/// True when a process with this id is running.
bool process_running(std::uint32_t id);

/// Creates `temporary` (a name from temporary_name_beside(target)) for a
/// later replace of `target` and writes and flushes all bytes into it. The
/// file carries the target's protection before its first byte: Linux, the
/// target's mode, owner and extended attributes (a missing target: the
/// default mode); Windows, the target's security descriptor, and the hidden
/// attribute while the target exists. A read-only target is refused (5)
/// before anything is created. Before the first temporary in a folder, this
/// process deletes the temporaries that dead processes left there. 0 or the
/// Win32 error; on failure nothing of the temporary is left.
std::uint32_t write_temporary(const std::wstring& target, const std::wstring& temporary, const void* bytes,
                              std::size_t length);

/// The Win32 error of a replace whose target is no longer the file that was
/// read (ERROR_FILE_INVALID, "externally altered"): another program renamed
/// a file over it, changed it or created it meanwhile. Nothing was written.
inline constexpr std::uint32_t file_changed = 1006;

/// Which file a path named when it was read, and in which state: volume and
/// file index (Linux: device and inode), size, last-write and change time.
/// Two looks at a file nobody touched in between give equal identities; a
/// rename over the path, a write, a change of mode, owner or attributes do not.
struct file_identity {
    bool exists = false;  // false: the path named nothing
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    std::uint64_t size = 0;
    std::int64_t write_time = 0;   // Linux: nanoseconds; Windows: FILETIME units
    std::int64_t change_time = 0;  // likewise
    friend bool operator==(const file_identity&, const file_identity&) = default;
};

/// Reads a whole file as read_file_at_most does, with the identity of what
/// was read taken from the same open before its first byte. A missing file
/// gives nullopt with file_not_found and an identity that does not exist.
std::optional<std::string> read_file_identified(const std::wstring& path, std::size_t limit, file_identity& identity,
                                                std::uint32_t* error = nullptr);

/// The identity of the file the path names now (links followed); one that
/// does not exist, with the Win32 error in *error, when there is none or it
/// cannot be asked. Taken before a read, it makes a later replace fail
/// rather than overwrite a change made during the read.
file_identity identify_file(const std::wstring& path, std::uint32_t* error = nullptr);

/// Puts `temporary` (from write_temporary) in place of `target` only when
/// the path still names the very file `read` describes, unchanged; for a
/// `read` that did not exist, only when no file appeared there meanwhile.
/// Linux closes the window: the two are exchanged (renameat2 with
/// RENAME_EXCHANGE), what came out is checked, and exchanged back when it is
/// not what was read. Windows compares the identity through a handle just
/// before ReplaceFileW. 0, file_changed (the target is as the other program
/// left it) or another Win32 error; on every failure the temporary is gone.
std::uint32_t replace_if_unchanged(const std::wstring& target, const std::wstring& temporary,
                                   const file_identity& read);

/// write_temporary then replace_if_unchanged: 0 or the Win32 error.
std::uint32_t write_if_unchanged(const std::wstring& target, const file_identity& read, const void* bytes,
                                 std::size_t length);

/// The new content of a file from its current one (nullptr: there is none);
/// nullopt leaves the file as it is.
using file_edit = std::function<std::optional<std::string>(const std::string* current)>;

/// A read, edit and crash-safe replace that never writes over what another
/// program wrote: when the file changed between the read and the replace,
/// the edit starts again from a fresh read, up to `attempts` times in all,
/// and then the result is file_changed. Files above `limit` bytes are
/// refused (file_too_large). 0 or the Win32 error.
std::uint32_t rewrite_file(const std::wstring& path, std::size_t limit, const file_edit& edit, int attempts = 5);

/// While one lives, the replaces and moves of this process leave the flush
/// of their folder entries to its end, where each folder is flushed once,
/// after its last rename (Linux; Windows flushes inside ReplaceFileW and
/// MoveFileExW, so there it changes nothing). Batches nest; the outermost
/// one flushes.
class folder_flush_batch {
public:
    folder_flush_batch();
    ~folder_flush_batch();
    folder_flush_batch(const folder_flush_batch&) = delete;
    folder_flush_batch& operator=(const folder_flush_batch&) = delete;
};

/// While one lives on this thread, the whole-file replaces of photos whose
/// writer holds the file's lock (Linux) write their temporary without
/// flushing it and leave the rename to the group: commit() flushes the
/// staged temporaries together (one fsync for a group of one, one syncfs for
/// more), then exchanges each with its target in the order they were
/// staged, checked as replace_if_unchanged checks, flushes each folder once
/// and only then runs the when_committed steps of each target, in order.
/// Each target keeps its writer lock until its rename. A failed flush fails
/// the whole group: every target stays its old file and every temporary is
/// deleted. Replaces made while the group commits are not staged. Windows
/// stages nothing (ReplaceFileW replaces at once). The destructor commits.
class commit_group {
public:
    commit_group();
    ~commit_group();
    commit_group(const commit_group&) = delete;
    commit_group& operator=(const commit_group&) = delete;

    /// Commits what is staged; a no-op when nothing is.
    void commit() noexcept;

    /// True when what is staged should be committed before the next file:
    /// 64 files, 64 MiB, or the oldest staged 100 ms ago.
    bool due() const;

    /// True when a replace of `path` is staged: a second write of it must
    /// wait for the commit.
    bool holds(const std::wstring& path) const;

private:
    bool owner_ = false;  // false: nested in another group, which commits
};

/// Runs `done` with 0 once the replace staged for `path` is in place and its
/// folder flushed, or with the Win32 error (file_changed included) once it
/// failed and the file is as it was; at once with 0 when nothing is staged
/// for `path`. `done` must not raise.
void when_committed(const std::wstring& path, std::function<void(std::uint32_t error)> done);

/// Reads a whole file in blocks of 64 KiB as read_file does, but gives up
/// as soon as it holds more than `limit` bytes (nullopt, file_too_large;
/// the rest is never read), so that an endless source cannot exhaust memory.
std::optional<std::string> read_file_at_most(const std::wstring& path, std::size_t limit,
                                             std::uint32_t* error = nullptr);

/// The metadata a file keeps beside its content where a failed write may
/// have put some: Linux, its user extended attributes (links followed);
/// Windows keeps none there, so a snapshot is empty.
struct extended_attributes {
    std::vector<std::pair<std::string, std::string>> values;  // name, value
    bool taken = false;                                       // false when they could not be read
};

/// The file's extended attributes now.
extended_attributes snapshot_extended_attributes(const std::wstring& path);

/// Puts back a snapshot: attributes added since are removed, changed and
/// removed ones set to their old values, the others left alone. 0 or the
/// Win32 error; a snapshot that was not taken changes nothing.
std::uint32_t restore_extended_attributes(const std::wstring& path, const extended_attributes& snapshot);

}  // namespace platform::file_system
