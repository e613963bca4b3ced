// Linux file system in the Win32 vocabulary.

#include "platform/file_system.h"

#include "platform/file_names.h"
#include "platform/file_safety.h"
#include "platform/file_system_moves.h"
#include "platform/posix/files/descriptor_read.h"
#include "platform/posix/files/descriptor_write.h"
#include "platform/posix/files/file_lock.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/files/filetime.h"
#include "platform/posix/files/hidden_list.h"
#include "platform/posix/files/journaled_write.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <malloc.h>
#include <signal.h>
#include <limits.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace platform::file_system {
namespace {

// Commands read and write whole files one after another; keeping the freed
// top of the heap spares giving it back and faulting it in again per file.
[[maybe_unused]] const int heap_top_kept = ::mallopt(M_TRIM_THRESHOLD, 64 << 20);

using posix::unique_descriptor;

constexpr char attributes_xattr[] = "user.qlm.attributes";

// Bits kept in the extended attribute: everything that has no POSIX home.
constexpr std::uint32_t stored_bits = ~(attribute_directory | attribute_reparse_point | attribute_normal);

std::string narrow(const std::wstring& path) { return platform::text::to_utf8(path); }

std::uint32_t stored_attributes(const std::string& path) {
    char buffer[32] = {};
    const ssize_t n = lgetxattr(path.c_str(), attributes_xattr, buffer, sizeof buffer - 1);
    if (n <= 0) return 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(buffer, &end, 16);
    return static_cast<std::uint32_t>(value) & stored_bits;
}

// `*` matches any run (also empty), `?` exactly one character.
bool wildcard_match(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0, n = 0, star = std::wstring_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == L'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

}  // namespace

const wchar_t separator = L'/';

std::uint32_t get_attributes(const std::wstring& path, std::uint32_t* error) {
    const std::string native = narrow(path);
    struct stat info {};
    if (path.empty() || ::lstat(native.c_str(), &info) != 0) {
        if (error != nullptr) *error = path.empty() ? win32_error::file_not_found : win32_error::from_errno(errno);
        return invalid_attributes;
    }
    std::uint32_t attributes = 0;
    bool is_directory = S_ISDIR(info.st_mode);
    if (S_ISLNK(info.st_mode)) {
        attributes |= attribute_reparse_point;
        struct stat target {};
        is_directory = ::stat(native.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    }
    if (is_directory) attributes |= attribute_directory;
    attributes |= stored_attributes(native);
    if (!is_directory) {
        attributes &= ~attribute_readonly;
        if ((info.st_mode & S_IWUSR) == 0) attributes |= attribute_readonly;
    }
    if (attributes == 0) attributes = attribute_normal;
    if (error != nullptr) *error = win32_error::success;
    return attributes;
}

namespace {

std::uint32_t store_attributes(const std::string& native, std::uint32_t attributes) {
    struct stat info {};
    if (::lstat(native.c_str(), &info) != 0) return win32_error::from_errno(errno);
    const bool is_directory = S_ISDIR(info.st_mode);
    std::uint32_t stored = attributes & stored_bits;
    if (!is_directory && !S_ISLNK(info.st_mode)) {
        const mode_t mode = (attributes & attribute_readonly) != 0 ? (info.st_mode & ~mode_t{S_IWUSR})
                                                                   : (info.st_mode | S_IWUSR);
        if (mode != info.st_mode && ::chmod(native.c_str(), mode & 07777) != 0) return win32_error::from_errno(errno);
        stored &= ~attribute_readonly;
    }
    if (stored == 0) {
        if (::lremovexattr(native.c_str(), attributes_xattr) != 0 && errno != ENODATA) {
            return win32_error::from_errno(errno);
        }
        return win32_error::success;
    }
    char buffer[16];
    const int length = std::snprintf(buffer, sizeof buffer, "0x%08X", stored);
    if (::lsetxattr(native.c_str(), attributes_xattr, buffer, static_cast<std::size_t>(length), 0) != 0) {
        return win32_error::from_errno(errno);
    }
    return win32_error::success;
}

}  // namespace

std::uint32_t set_attributes(const std::wstring& path, std::uint32_t attributes) {
    const std::string native = narrow(path);
    const bool was_hidden = (stored_attributes(native) & attribute_hidden) != 0;
    const std::uint32_t result = store_attributes(native, attributes);
    // File managers hide what their folder's ".hidden" lists.
    const bool hidden = (attributes & attribute_hidden) != 0;
    if (result == win32_error::success && hidden != was_hidden) update_hidden_list(native, hidden);
    return result;
}

std::optional<std::vector<std::wstring>> find_files(const std::wstring& pattern) {
    const auto slash = pattern.find_last_of(L'/');
    const std::wstring folder = slash == std::wstring::npos ? L"." : (slash == 0 ? L"/" : pattern.substr(0, slash));
    const std::wstring name_pattern = slash == std::wstring::npos ? pattern : pattern.substr(slash + 1);
    const posix::unique_directory dir(::opendir(narrow(folder).c_str()));
    if (!dir) return std::nullopt;
    std::vector<std::wstring> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        std::wstring name = platform::text::from_utf8_name(entry->d_name);
        if (wildcard_match(name_pattern, name)) names.push_back(std::move(name));
    }
    if (names.empty()) return std::nullopt;  // FindFirstFileExW fails when nothing matches
    return names;
}

std::optional<std::wstring> full_path(const std::wstring& path) {
    if (path.empty()) return std::nullopt;
    if (path.front() == L'/') return path;
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer) == nullptr) return std::nullopt;
    std::wstring cwd = platform::text::from_utf8_name(buffer);
    if (cwd.empty() || cwd.back() != L'/') cwd.push_back(L'/');
    return cwd + path;
}

std::wstring lexically_normal(const std::wstring& path) {
    if (path.empty()) return path;
    const bool absolute = path.front() == L'/';
    std::vector<std::wstring> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto end = std::min(path.find(L'/', start), path.size());
        std::wstring part = path.substr(start, end - start);
        if (part.empty() || part == L".") {
        } else if (part == L"..") {
            if (!parts.empty() && parts.back() != L"..") parts.pop_back();
            else if (!absolute) parts.push_back(part);
        } else {
            parts.push_back(std::move(part));
        }
        start = end + 1;
    }
    std::wstring out = absolute ? L"/" : L"";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out.push_back(L'/');
        out += parts[i];
    }
    if (out.empty()) out = L".";
    return out;
}

std::wstring path_key(const std::wstring& path) { return path; }

std::size_t path_key_hash(std::wstring_view path) { return std::hash<std::wstring_view>{}(path); }

bool same_path_key(std::wstring_view a, std::wstring_view b) { return a == b; }

bool exists(const std::wstring& path) {
    struct stat info {};
    if (::stat(narrow(path).c_str(), &info) == 0) return true;
    if (errno == ENOENT || errno == ENOTDIR) return false;
    throw std::filesystem::filesystem_error("exists", to_native(path), std::error_code(errno, std::generic_category()));
}

void create_directories(const std::wstring& path) {
    std::error_code error;
    std::filesystem::create_directories(to_native(path), error);
    if (error) throw std::filesystem::filesystem_error("create_directories", to_native(path), error);
}

std::uint32_t write_new_file(const std::wstring& path, const void* bytes, std::size_t length, bool flush) {
    unique_descriptor fd(::open(narrow(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!fd) return win32_error::from_errno(errno);
    std::uint32_t result = win32_error::success;
    if (platform::posix::write_all(fd.get(), bytes, length) != length) result = win32_error::from_errno(errno);
    if (result == win32_error::success && flush && ::fsync(fd.get()) != 0) result = win32_error::from_errno(errno);
    if (posix::close_checked(fd) != 0 && result == win32_error::success) result = win32_error::from_errno(errno);
    return result;
}

namespace {

void flush_folder(const std::string& folder) {
    const unique_descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return;
    ::fsync(fd.get());
}

// Folders whose flush waits for the end of the open folder_flush_batch.
struct pending_folder_flushes {
    std::mutex guard;
    int depth = 0;
    std::set<std::string> folders;
};

pending_folder_flushes& pending_flushes() {
    static pending_folder_flushes pending;
    return pending;
}

}  // namespace

// The folder entry of a rename is only durable once the folder is flushed;
// inside a batch that happens once per folder, after its last rename.
void flush_parent_folder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    auto& pending = pending_flushes();
    {
        const std::lock_guard lock(pending.guard);
        if (pending.depth > 0) {
            pending.folders.insert(std::move(folder));
            return;
        }
    }
    flush_folder(folder);
}

void flush_folders(const std::set<std::string>& folders) {
    auto& pending = pending_flushes();
    {
        const std::lock_guard lock(pending.guard);
        for (const std::string& folder : folders) pending.folders.erase(folder);
    }
    for (const std::string& folder : folders) flush_folder(folder);
}

namespace {

// Copies every extended attribute of `from` onto `to`. The user namespace
// (property set, attributes) must come across; others are best effort.
std::uint32_t copy_extended_attributes(const std::string& from, const std::string& to) {
    ssize_t size = ::listxattr(from.c_str(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP ? win32_error::success : win32_error::from_errno(errno);
    if (size == 0) return win32_error::success;
    std::string names(static_cast<std::size_t>(size), '\0');
    size = ::listxattr(from.c_str(), names.data(), names.size());
    if (size < 0) return win32_error::from_errno(errno);
    names.resize(static_cast<std::size_t>(size));
    std::string value;
    for (std::size_t start = 0; start < names.size();) {
        const std::string name = names.c_str() + start;
        start += name.size() + 1;
        if (name.empty()) continue;
        const bool required = name.rfind("user.", 0) == 0;
        ssize_t length = ::getxattr(from.c_str(), name.c_str(), nullptr, 0);
        if (length >= 0) {
            value.assign(static_cast<std::size_t>(length), '\0');
            length = ::getxattr(from.c_str(), name.c_str(), value.data(), value.size());
        }
        if (length < 0 ||
            ::setxattr(to.c_str(), name.c_str(), value.data(), static_cast<std::size_t>(length), 0) != 0) {
            if (required) return win32_error::from_errno(errno);
        }
    }
    return win32_error::success;
}

// Every extended attribute of a path, by name.
std::map<std::string, std::string> extended_attributes_of(const std::string& path) {
    std::map<std::string, std::string> out;
    ssize_t size = ::listxattr(path.c_str(), nullptr, 0);
    std::string names(size > 0 ? static_cast<std::size_t>(size) : 0, '\0');
    if (size > 0) size = ::listxattr(path.c_str(), names.data(), names.size());
    names.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
    for (std::size_t start = 0; start < names.size();) {
        const std::string name = names.c_str() + start;
        start += name.size() + 1;
        if (name.empty()) continue;
        std::string value;
        ssize_t length = ::getxattr(path.c_str(), name.c_str(), nullptr, 0);
        if (length > 0) {
            value.assign(static_cast<std::size_t>(length), '\0');
            length = ::getxattr(path.c_str(), name.c_str(), value.data(), value.size());
        }
        value.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
        out.emplace(name, std::move(value));
    }
    return out;
}

// True when `source` already has the mode, owner and extended attributes
// that replacing `target` (stat in `info`) would give it.
bool carries_protection_of(const std::string& target, const struct stat& info, const std::string& source) {
    struct stat own {};
    if (::stat(source.c_str(), &own) != 0 || (own.st_mode & 07777) != (info.st_mode & 07777)) return false;
    if (own.st_uid != info.st_uid || own.st_gid != info.st_gid) return false;
    return extended_attributes_of(target) == extended_attributes_of(source);
}

}  // namespace

bool process_running(std::uint32_t id) {
    if (id == 0 || id > static_cast<std::uint32_t>(INT_MAX)) return false;
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

namespace {

// Deletes what dead processes left beside their targets in one folder; a
// temporary of a running process (another writer) stays.
void sweep_temporaries(const std::string& folder) {
    const posix::unique_directory dir(::opendir(folder.c_str()));
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get())) {
        const auto owner = temporary_owner(platform::text::from_utf8_name(entry->d_name));
        if (!owner || *owner == process_id() || process_running(*owner)) continue;
        ::unlinkat(::dirfd(dir.get()), entry->d_name, 0);
    }
}

void sweep_once(const std::string& path) {
    finish_interrupted_writes(path);
    static std::mutex guard;
    static std::set<std::string> swept;
    const auto slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    {
        const std::lock_guard lock(guard);
        if (!swept.insert(folder).second) return;
    }
    sweep_temporaries(folder);
}

}  // namespace

namespace {

// Flushes the open file to disk and closes it; the first failure of the two
// is the answer (a failed close can be the only sign of lost data).
std::uint32_t flush_and_close(unique_descriptor& fd) {
    std::uint32_t result = ::fsync(fd.get()) == 0 ? win32_error::success : win32_error::from_errno(errno);
    if (posix::close_checked(fd) != 0 && result == win32_error::success) result = win32_error::from_errno(errno);
    return result;
}

// Creates `temporary`, private from its creation, gives it the protection of
// the target `info` describes (none: a new file's default mode) before any
// byte, then writes the bytes and the tail after them and flushes it all.
// On failure nothing of it is left.
std::uint32_t fill_temporary(const std::string& target, const struct stat* info, const std::string& temporary,
                             const void* bytes, std::size_t length, const file_tail& tail = {},
                             unique_descriptor* kept_open = nullptr) {
    unique_descriptor fd(
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, info ? 0600 : 0666));
    if (!fd) return win32_error::from_errno(errno);
    std::uint32_t result = win32_error::success;
    if (info) {
        // Only root may give a file away; a user's own files keep their owner anyway.
        if (::fchown(fd.get(), info->st_uid, info->st_gid) != 0 && errno != EPERM) {
            result = win32_error::from_errno(errno);
        }
        if (result == win32_error::success && ::fchmod(fd.get(), info->st_mode & 07777) != 0) {
            result = win32_error::from_errno(errno);
        }
        if (result == win32_error::success) result = copy_extended_attributes(target, temporary);
    }
    if (result == win32_error::success && platform::posix::write_all(fd.get(), bytes, length) != length) {
        result = win32_error::from_errno(errno);
    }
    if (result == win32_error::success) result = copy_tail(fd.get(), length, tail);
    if (result == win32_error::success && kept_open != nullptr) {
        // Flushed later through this descriptor, which has seen every write-back error since its creation.
        *kept_open = std::move(fd);
        return result;
    }
    if (result == win32_error::success) result = flush_and_close(fd);
    if (result != win32_error::success) ::unlink(temporary.c_str());
    return result;
}

// Renaming over a pipe, socket or device would put a file in its place.
bool replaceable(const struct stat& info) { return S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) != 0; }

}  // namespace

std::uint32_t write_temporary(const std::wstring& target, const std::wstring& temporary, const void* bytes,
                              std::size_t length) {
    const std::string native_target = narrow(target);
    const std::string native = narrow(temporary);
    struct stat info {};
    const bool replacing = ::stat(native_target.c_str(), &info) == 0;
    if (replacing && !replaceable(info)) return win32_error::access_denied;
    sweep_once(native);
    return fill_temporary(native_target, replacing ? &info : nullptr, native, bytes, length);
}

std::uint32_t replace_file(const std::wstring& replaced, const std::wstring& replacement) {
    const std::string target = narrow(replaced);
    const std::string source = narrow(replacement);
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0) return win32_error::from_errno(errno);
    if (!replaceable(info)) return win32_error::access_denied;
    // A replacement from write_temporary already carries all this and was
    // synced with it; a second sync would only cost another disk flush.
    if (!carries_protection_of(target, info, source)) {
        if (const std::uint32_t error = copy_extended_attributes(target, source); error != win32_error::success) {
            return error;
        }
        // Only root may give a file away; a user's own files keep their owner anyway.
        if (::chown(source.c_str(), info.st_uid, info.st_gid) != 0 && errno != EPERM) {
            return win32_error::from_errno(errno);
        }
        if (::chmod(source.c_str(), info.st_mode & 07777) != 0) return win32_error::from_errno(errno);
        // The carried attributes must be on disk before the name points at them.
        if (unique_descriptor fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC)); fd) {
            const int synced = ::fsync(fd.get());
            fd.reset();
            if (synced != 0) return win32_error::from_errno(errno);
        }
    }
    if (::rename(source.c_str(), target.c_str()) != 0) return win32_error::from_errno(errno);
    flush_parent_folder(target);
    return win32_error::success;
}

std::uint32_t replace_existing_file(const std::string& path, const void* bytes, std::size_t length,
                                    const file_identity& read, const file_tail& tail, const struct stat* seen) {
    struct stat info {};
    if (seen != nullptr) {
        info = *seen;
    } else if (::stat(path.c_str(), &info) != 0) {
        return win32_error::from_errno(errno);
    }
    if (!replaceable(info)) return win32_error::access_denied;
    // Changed since the read already: nothing to write beside it.
    if (identity_of(info) != read) return file_changed;
    const std::wstring target = platform::text::from_utf8_name(path);
    const std::string temporary = narrow(temporary_name_beside(target));
    sweep_once(temporary);
    // A writer holding the lock may leave the flush and rename to the open
    // commit group; a file rewritten in place behind its journal may not.
    const bool staged = tail.writer_lock >= 0 && seen != nullptr && staging_replaces() && !must_keep_identity(info);
    unique_descriptor open_temporary;
    const std::uint32_t result =
        fill_temporary(path, &info, temporary, bytes, length, tail, staged ? &open_temporary : nullptr);
    if (result != win32_error::success) return result;
    if (staged) {
        if (stage_replace(path, temporary, open_temporary, read, tail.writer_lock, length + tail.length)) {
            return win32_error::success;
        }
        // The group would not take it: flushed here, as any other replace.
        if (const std::uint32_t flushed = flush_and_close(open_temporary); flushed != win32_error::success) {
            ::unlink(temporary.c_str());
            return flushed;
        }
    }
    return commit_if_unchanged(path, temporary, read);
}

folder_flush_batch::folder_flush_batch() {
    auto& pending = pending_flushes();
    const std::lock_guard lock(pending.guard);
    ++pending.depth;
}

folder_flush_batch::~folder_flush_batch() {
    auto& pending = pending_flushes();
    std::set<std::string> folders;
    {
        const std::lock_guard lock(pending.guard);
        if (--pending.depth > 0) return;
        folders.swap(pending.folders);
    }
    for (const std::string& folder : folders) flush_folder(folder);
}

std::uint32_t move_file(const std::wstring& from, const std::wstring& to) {
    const std::string target = narrow(to);
    struct stat info {};
    // MoveFileExW without MOVEFILE_REPLACE_EXISTING never replaces a file.
    if (::lstat(target.c_str(), &info) == 0) return win32_error::already_exists;
    const std::string source = narrow(from);
    if (::rename(source.c_str(), target.c_str()) != 0) return win32_error::from_errno(errno);
    flush_parent_folder(target);
    move_hidden_listing(source, target);
    return win32_error::success;
}

extended_attributes snapshot_extended_attributes(const std::wstring& path) {
    extended_attributes snapshot;
    const std::string native = narrow(path);
    std::string names(1024, '\0');
    ssize_t size = 0;
    for (;;) {
        size = ::listxattr(native.c_str(), names.data(), names.size());
        if (size >= 0 || errno != ERANGE) break;
        names.resize(names.size() * 4);
    }
    if (size < 0) {
        snapshot.taken = errno == ENOTSUP;  // nothing can have been put there
        return snapshot;
    }
    names.resize(static_cast<std::size_t>(size));
    for (std::size_t start = 0; start < names.size();) {
        const std::string name = names.c_str() + start;
        start += name.size() + 1;
        if (name.rfind("user.", 0) != 0) continue;
        const ssize_t length = ::getxattr(native.c_str(), name.c_str(), nullptr, 0);
        if (length < 0) return snapshot;
        std::string value(static_cast<std::size_t>(length), '\0');
        const ssize_t read = ::getxattr(native.c_str(), name.c_str(), value.data(), value.size());
        if (read < 0) return snapshot;
        value.resize(static_cast<std::size_t>(read));
        snapshot.values.emplace_back(name, std::move(value));
    }
    snapshot.taken = true;
    return snapshot;
}

std::uint32_t restore_extended_attributes(const std::wstring& path, const extended_attributes& snapshot) {
    if (!snapshot.taken) return win32_error::success;
    const extended_attributes now = snapshot_extended_attributes(path);
    if (!now.taken) return win32_error::access_denied;
    const std::string native = narrow(path);
    const auto find = [](const extended_attributes& in, const std::string& name) -> const std::string* {
        for (const auto& [key, value] : in.values) {
            if (key == name) return &value;
        }
        return nullptr;
    };
    std::uint32_t result = win32_error::success;
    for (const auto& [name, value] : now.values) {
        if (find(snapshot, name) == nullptr && ::removexattr(native.c_str(), name.c_str()) != 0 && errno != ENODATA) {
            result = win32_error::from_errno(errno);
        }
    }
    for (const auto& [name, value] : snapshot.values) {
        const std::string* current = find(now, name);
        if (current != nullptr && *current == value) continue;
        if (::setxattr(native.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
            result = win32_error::from_errno(errno);
        }
    }
    return result;
}

std::uint64_t tick_count() {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

std::optional<std::string> read_file(const std::wstring& path, std::uint32_t* error) {
    return read_file_at_most(path, static_cast<std::size_t>(-1), error);
}

namespace {

template <typename Buffer>
std::optional<Buffer> read_whole(int descriptor, std::size_t limit, std::uint32_t* error) {
    struct stat info {};
    Buffer bytes;
    if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
        bytes.resize(std::min<std::size_t>(static_cast<std::size_t>(info.st_size), limit));
    }
    std::size_t filled = 0;
    char block[65536];
    for (;;) {
        const bool into_buffer = filled < bytes.size();
        const ssize_t n = into_buffer ? ::read(descriptor, bytes.data() + filled, bytes.size() - filled)
                                      : ::read(descriptor, block, sizeof block);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error != nullptr) *error = win32_error::from_errno(errno);
            return std::nullopt;
        }
        if (n == 0) break;
        if (static_cast<std::size_t>(n) > limit - filled) {
            if (error != nullptr) *error = file_too_large;
            return std::nullopt;
        }
        if (!into_buffer) bytes.insert(bytes.end(), block, block + n);
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    if (error != nullptr) *error = win32_error::success;
    return bytes;
}

}  // namespace

std::optional<std::string> read_descriptor(int descriptor, std::size_t limit, std::uint32_t* error) {
    return read_whole<std::string>(descriptor, limit, error);
}

std::optional<platform::posix::byte_buffer> read_descriptor_bytes(int descriptor, std::size_t limit,
                                                                  std::uint32_t* error) {
    return read_whole<platform::posix::byte_buffer>(descriptor, limit, error);
}

std::optional<std::string> read_file_at_most(const std::wstring& path, std::size_t limit, std::uint32_t* error) {
    const unique_descriptor fd(::open(narrow(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (error != nullptr) *error = win32_error::from_errno(errno);
        return std::nullopt;
    }
    return read_descriptor(fd.get(), limit, error);
}

std::uint32_t write_file(const std::wstring& path, std::string_view bytes) {
    const std::string native = narrow(path);
    // CREATE_ALWAYS with normal attributes refuses an existing read-only,
    // hidden or system file whoever asks; open() would not refuse root.
    constexpr std::uint32_t refused = attribute_readonly | attribute_hidden | attribute_system | attribute_directory;
    if (const std::uint32_t attributes = get_attributes(path);
        attributes != invalid_attributes && (attributes & refused) != 0) {
        return win32_error::access_denied;
    }
    unique_descriptor fd(::open(native.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!fd) return errno == EISDIR ? win32_error::access_denied : win32_error::from_errno(errno);
    std::uint32_t result = win32_error::success;
    if (platform::posix::write_all(fd.get(), bytes.data(), bytes.size()) != bytes.size()) {
        result = win32_error::from_errno(errno);
    }
    if (posix::close_checked(fd) != 0 && result == win32_error::success) result = win32_error::from_errno(errno);
    return result;
}

std::uint32_t touch(const std::wstring& path) {
    // UTIME_OMIT keeps the access time; Linux has no creation time to keep.
    const std::array<struct timespec, 2> times = {{{0, UTIME_OMIT}, {0, UTIME_NOW}}};
    if (::utimensat(AT_FDCWD, narrow(path).c_str(), times.data(), 0) != 0) return win32_error::from_errno(errno);
    return win32_error::success;
}

bool read_first_byte(const std::wstring& path) {
    const unique_descriptor fd(::open(narrow(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) return false;
    char byte = 0;
    ssize_t n = 0;
    do {
        n = ::read(fd.get(), &byte, 1);
    } while (n < 0 && errno == EINTR);
    return n >= 1;
}

std::optional<std::uint64_t> last_write_time(const std::wstring& path, std::uint32_t* error) {
    struct stat info {};
    if (path.empty() || ::stat(narrow(path).c_str(), &info) != 0) {
        if (error != nullptr) *error = path.empty() ? win32_error::file_not_found : win32_error::from_errno(errno);
        return std::nullopt;
    }
    if (error != nullptr) *error = win32_error::success;
    return platform::posix::filetime_of(info.st_mtim.tv_sec, info.st_mtim.tv_nsec);
}

bool copy_file(const std::wstring& source, const std::wstring& destination) {
    std::error_code error;
    const bool copied = std::filesystem::copy_file(to_native(source), to_native(destination),
                                                   std::filesystem::copy_options::none, error);
    if (error) throw std::filesystem::filesystem_error("copy_file", to_native(source), to_native(destination), error);
    return copied;
}

std::uint32_t delete_file(const std::wstring& path) {
    const std::string native = narrow(path);
    struct stat info {};
    if (::lstat(native.c_str(), &info) != 0) return win32_error::from_errno(errno);
    if (S_ISDIR(info.st_mode)) return win32_error::access_denied;
    // DeleteFileW refuses a read-only file; unlink would not look at the mode.
    if (S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0) return win32_error::access_denied;
    // A hidden file leaves its folder's ".hidden" with it (dot names never are in it).
    const std::size_t slash = native.find_last_of('/');
    const bool listed = native.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") != 0 &&
                        (stored_attributes(native) & attribute_hidden) != 0;
    if (::unlink(native.c_str()) != 0) return win32_error::from_errno(errno);
    if (listed) update_hidden_list(native, false);
    return win32_error::success;
}

std::filesystem::path to_native(const std::wstring& path) { return std::filesystem::path(narrow(path)); }

std::wstring module_path() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return platform::text::from_utf8_name(std::string_view(buffer, static_cast<std::size_t>(n)));
}

std::optional<std::wstring> local_app_data() {
    static std::mutex guard;
    static std::optional<std::wstring> cached;
    const std::lock_guard lock(guard);
    if (cached) return cached;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        cached = platform::text::from_utf8_name(xdg);
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        cached = platform::text::from_utf8_name(home) + L"/.local/share";
    }
    return cached;
}

std::uint32_t process_id() { return static_cast<std::uint32_t>(::getpid()); }

std::uint32_t thread_id() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

local_time now_local() {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return to_local_time(platform::posix::filetime_of(now.tv_sec, now.tv_nsec)).value_or(local_time{});
}

}  // namespace platform::file_system

namespace platform::file_system {

std::uint32_t exclusive_file::open(const std::wstring& path) {
    close();
    const std::string native = narrow(path);
    struct stat info {};
    if (path.empty() || ::stat(native.c_str(), &info) != 0) {
        return path.empty() ? win32_error::file_not_found : win32_error::from_errno(errno);
    }
    // As on Windows, a read-only file refuses a write open even for root.
    if (S_ISDIR(info.st_mode) || (info.st_mode & S_IWUSR) == 0) return win32_error::access_denied;
    // No sharing: another writer of this process is refused, another
    // process's writer waited for.
    int failure = 0;
    const int fd = platform::posix::lock_for_writing(native, O_RDWR, platform::posix::writer_wait, failure);
    if (fd < 0) return failure == EWOULDBLOCK ? win32_error::sharing_violation : win32_error::from_errno(failure);
    handle_ = fd;
    return win32_error::success;
}

std::optional<std::uint64_t> exclusive_file::size() const {
    struct stat info {};
    if (handle_ == -1 || ::fstat(static_cast<int>(handle_), &info) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t exclusive_file::read_at(std::uint64_t offset, void* buffer, std::size_t length) const {
    std::size_t done = 0;
    while (handle_ != -1 && done < length) {
        const ssize_t n = ::pread(static_cast<int>(handle_), static_cast<char*>(buffer) + done, length - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t exclusive_file::write_at(std::uint64_t offset, const void* bytes, std::size_t length) {
    if (handle_ == -1) return 0;
    return platform::posix::write_all(static_cast<int>(handle_), bytes, length, static_cast<off_t>(offset));
}

void exclusive_file::close() noexcept {
    if (handle_ != -1) platform::posix::release_lock(static_cast<int>(handle_));
    handle_ = -1;
}

}  // namespace platform::file_system
