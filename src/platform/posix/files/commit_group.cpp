// Group commit of whole-file replaces: the temporaries of several targets are
// flushed by one call, then renamed one by one in the order they came.

#include "platform/file_safety.h"
#include "platform/posix/files/file_lock.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <chrono>
#include <set>
#include <utility>
#include <vector>

#include <unistd.h>

namespace platform::file_system {
namespace {

constexpr std::size_t most_files = 64;
constexpr std::uint64_t most_bytes = 64ull << 20;
constexpr std::chrono::milliseconds oldest{100};

struct staged_replace {
    std::string target;
    std::string temporary;
    platform::posix::unique_descriptor descriptor;  // the temporary, open since its creation, closed once flushed
    file_identity read;
    int lock = -1;  // a copy of the writer's lock, released after the rename
    std::vector<std::function<void(std::uint32_t)>> done;
};

struct group_state {
    std::vector<staged_replace> staged;
    std::uint64_t bytes = 0;
    std::chrono::steady_clock::time_point first;
    bool committing = false;
};

// The group open on this thread; the worker that writes a job's files runs
// on one thread, and the readers beside it never stage.
thread_local group_state* open_group = nullptr;

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

// One file: its own fsync. Several: one syncfs per file system they are on,
// which writes them all with one journal commit instead of one each. Each
// call goes through the descriptor of the group's first temporary on that
// file system, open before any of the group was written, so that it reports
// every write-back error of the group.
std::uint32_t flush_temporaries(const std::vector<staged_replace>& staged) {
    if (staged.size() == 1) {
        return ::fsync(staged.front().descriptor.get()) == 0 ? win32_error::success : win32_error::from_errno(errno);
    }
    std::set<std::uint64_t> volumes;
    for (const staged_replace& item : staged) {
        if (!volumes.insert(item.read.volume).second) continue;
        if (::syncfs(item.descriptor.get()) != 0) return win32_error::from_errno(errno);
    }
    return win32_error::success;
}

// The latest replace staged for `target` in the open group, if any.
staged_replace* find_staged(const std::string& target) {
    if (group_state* group = open_group) {
        for (auto it = group->staged.rbegin(); it != group->staged.rend(); ++it) {
            if (it->target == target) return &*it;
        }
    }
    return nullptr;
}

void run_steps(staged_replace& item, std::uint32_t result) {
    for (auto& step : item.done) step(result);
}

}  // namespace

commit_group::commit_group() {
    if (open_group != nullptr) return;
    open_group = new group_state;
    owner_ = true;
}

commit_group::~commit_group() {
    if (!owner_) return;
    commit();
    delete open_group;
    open_group = nullptr;
}

bool commit_group::due() const {
    const group_state* group = open_group;
    if (group == nullptr || group->staged.empty()) return false;
    return group->staged.size() >= most_files || group->bytes >= most_bytes ||
           std::chrono::steady_clock::now() - group->first >= oldest;
}

bool commit_group::holds(const std::wstring& path) const { return find_staged(text::to_utf8(path)) != nullptr; }

void commit_group::commit() noexcept {
    group_state* group = open_group;
    if (!owner_ || group == nullptr || group->staged.empty() || group->committing) return;
    std::vector<staged_replace> staged;
    staged.swap(group->staged);
    group->bytes = 0;
    group->committing = true;
    std::vector<std::uint32_t> results(staged.size(), win32_error::success);
    const std::uint32_t flushed = flush_temporaries(staged);
    for (staged_replace& item : staged) item.descriptor.reset();
    {
        std::set<std::string> folders;
        // The folders are flushed after the last rename, once for all their targets.
        const folder_flush_batch deferred;
        for (std::size_t i = 0; i < staged.size(); ++i) {
            staged_replace& item = staged[i];
            if (flushed != win32_error::success) {
                // Nothing of the group is renamed: every target stays its old file.
                ::unlink(item.temporary.c_str());
                results[i] = flushed;
            } else {
                results[i] = commit_if_unchanged(item.target, item.temporary, item.read);
                if (results[i] == win32_error::success) folders.insert(folder_of(item.target));
            }
            platform::posix::release_lock(item.lock);
            item.lock = -1;
        }
        flush_folders(folders);
    }
    for (std::size_t i = 0; i < staged.size(); ++i) run_steps(staged[i], results[i]);
    group->committing = false;
}

bool staging_replaces() { return open_group != nullptr && !open_group->committing; }

bool stage_replace(const std::string& target, const std::string& temporary, platform::posix::unique_descriptor& descriptor,
                   const file_identity& read, int writer_lock, std::uint64_t bytes) {
    group_state* group = open_group;
    if (group == nullptr || group->committing || writer_lock < 0) return false;
    const int lock = platform::posix::share_lock(writer_lock);
    if (lock < 0) return false;
    if (group->staged.empty()) group->first = std::chrono::steady_clock::now();
    group->staged.push_back(staged_replace{target, temporary, std::move(descriptor), read, lock, {}});
    group->bytes += bytes;
    return true;
}

std::string staged_content(const std::string& target) {
    const staged_replace* staged = find_staged(target);
    return staged != nullptr ? staged->temporary : target;
}

void when_committed(const std::wstring& path, std::function<void(std::uint32_t error)> done) {
    if (staged_replace* staged = find_staged(text::to_utf8(path))) {
        staged->done.push_back(std::move(done));
        return;
    }
    done(win32_error::success);
}

}  // namespace platform::file_system
