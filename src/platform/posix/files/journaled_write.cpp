#include "platform/posix/files/journaled_write.h"

#include "logging/log.h"
#include "platform/file_system.h"
#include "platform/posix/files/descriptor_write.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <mutex>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::file_system {
namespace {

constexpr std::string_view journal_marker = ".qlm-journal-";
constexpr std::size_t longest_name = 255;

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

std::string name_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The journal is durable only once its folder entry is.
bool flush_folder_now(const std::string& folder) {
    const posix::unique_descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd) return false;
    return ::fsync(fd.get()) == 0;
}

// Copies the whole journal over the start of the target, cuts the target to
// its length and flushes it. 0 or the errno value.
int copy_into(int journal, int target) {
    char block[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(journal, block, sizeof block, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) break;
        if (platform::posix::write_all(target, block, static_cast<std::size_t>(n), offset) != static_cast<std::size_t>(n)) {
            return errno;
        }
        offset += n;
    }
    if (::ftruncate(target, offset) != 0) return errno;
    if (::fsync(target) != 0) return errno;
    return 0;
}

// The process id in a journal's name, or nullopt when the name is no journal.
std::optional<std::pair<std::string, std::uint32_t>> parse_journal_name(const std::string& name) {
    const auto at = name.rfind(journal_marker);
    if (name.empty() || name[0] != '.' || at == std::string::npos || at <= 1) return std::nullopt;
    const std::string digits = name.substr(at + journal_marker.size());
    if (digits.empty() || digits.size() > 10 || digits.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return std::pair{name.substr(1, at - 1), static_cast<std::uint32_t>(std::stoul(digits))};
}

void finish_one(const std::string& folder, const std::string& journal_name, const std::string& target_name) {
    const std::string journal = folder + "/" + journal_name;
    const std::string target = folder + "/" + target_name;
    posix::unique_descriptor from(::open(journal.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!from) return;
    posix::unique_descriptor to(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    const bool target_opened = static_cast<bool>(to);
    int failure = !to ? errno : copy_into(from.get(), to.get());
    to.reset();
    from.reset();
    if (!target_opened && failure == ENOENT) {
        ::unlink(journal.c_str());
        return;
    }
    if (failure != 0) {
        qlm::log_error(L"Could not finish the interrupted write of {} from its journal: error {}",
                       text::from_utf8(target), win32_error::from_errno(failure));
        return;
    }
    ::unlink(journal.c_str());
    flush_folder_now(folder);
    qlm::log_warning(L"Finished the interrupted write of {} from its journal", text::from_utf8(target));
}

}  // namespace

bool must_keep_identity(const struct stat& info) {
    if (info.st_nlink > 1) return true;
    const uid_t self = ::geteuid();
    return self != 0 && info.st_uid != self;
}

std::optional<std::uint32_t> write_in_place(const std::string& target, const std::string& temporary,
                                            const file_identity& read) {
    const std::string name = name_of(target);
    const std::string suffix = std::string(journal_marker) + std::to_string(::getpid());
    if (1 + name.size() + suffix.size() > longest_name) return std::nullopt;
    const std::string folder = folder_of(target);
    const std::string journal = folder + "/." + name + suffix;
    if (::rename(temporary.c_str(), journal.c_str()) != 0) return win32_error::from_errno(errno);
    posix::unique_descriptor from(::open(journal.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    posix::unique_descriptor to(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    std::uint32_t result = win32_error::success;
    struct stat now {};
    if (!from || !to) {
        result = win32_error::from_errno(errno);
    } else if (::fstat(to.get(), &now) != 0) {
        result = win32_error::from_errno(errno);
    } else if (identity_of(now) != read) {
        result = file_changed;
    } else if (!flush_folder_now(folder)) {
        result = win32_error::from_errno(errno);
    } else if (const int failure = copy_into(from.get(), to.get()); failure != 0) {
        // The journal stays: the next look at the folder finishes the write.
        return win32_error::from_errno(failure);
    }
    from.reset();
    to.reset();
    ::unlink(journal.c_str());
    if (result == win32_error::success) flush_parent_folder(target);
    return result;
}

void finish_interrupted_writes(const std::string& path) {
    static std::mutex guard;
    static std::set<std::string> looked_at;
    const std::string folder = folder_of(path);
    {
        const std::lock_guard lock(guard);
        if (!looked_at.insert(folder).second) return;
    }
    posix::unique_directory dir(::opendir(folder.c_str()));
    if (!dir) return;
    std::vector<std::pair<std::string, std::string>> found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        const auto parsed = parse_journal_name(name);
        if (!parsed || parsed->second == process_id() || process_running(parsed->second)) continue;
        found.emplace_back(name, parsed->first);
    }
    dir.reset();
    for (const auto& [journal, target] : found) finish_one(folder, journal, target);
}

}  // namespace platform::file_system
