#include "platform/posix/files/file_lock.h"

#include "platform/posix/files/unique_descriptor.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::posix {
namespace {

using inode = std::pair<dev_t, ino_t>;

// The inodes this process holds locked, by descriptor.
std::mutex held_guard;
std::map<int, inode> held;

bool held_here(const inode& file) {
    return std::any_of(held.begin(), held.end(), [&](const auto& entry) { return entry.second == file; });
}

}  // namespace

int lock_for_writing(const std::string& path, int flags, std::chrono::milliseconds wait, int& error_number) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        // O_NONBLOCK: opening a named pipe must not wait for a writer.
        unique_descriptor fd(::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK));
        if (!fd) {
            error_number = errno;
            return -1;
        }
        struct stat locked {};
        if (::fstat(fd.get(), &locked) != 0) {
            error_number = errno;
            return -1;
        }
        if (!S_ISREG(locked.st_mode) && !S_ISDIR(locked.st_mode)) {
            error_number = EACCES;  // pipes, sockets and devices hold no metadata of ours
            return -1;
        }
        const inode file{locked.st_dev, locked.st_ino};
        {
            const std::lock_guard guard(held_guard);
            if (held_here(file)) {
                error_number = EWOULDBLOCK;
                return -1;
            }
        }
        for (;;) {
            if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) break;
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) {
                error_number = errno;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        // The holder before us may have renamed a new file over the path.
        struct stat current {};
        if (::stat(path.c_str(), &current) == 0 && current.st_dev == locked.st_dev && current.st_ino == locked.st_ino) {
            const std::lock_guard guard(held_guard);
            if (!held_here(file)) {
                held.emplace(fd.get(), file);
                error_number = 0;
                return fd.release();  // owned by the caller until release_lock
            }
        }
        fd.reset();
        if (std::chrono::steady_clock::now() >= deadline) {
            error_number = EWOULDBLOCK;
            return -1;
        }
    }
}

int share_lock(int descriptor) {
    const std::lock_guard guard(held_guard);
    const auto found = held.find(descriptor);
    if (found == held.end()) return -1;
    const int copy = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (copy >= 0) held.emplace(copy, found->second);
    return copy;
}

void release_lock(int descriptor) noexcept {
    if (descriptor < 0) return;
    {
        const std::lock_guard guard(held_guard);
        held.erase(descriptor);
    }
    unique_descriptor{descriptor}.reset();  // the flock goes with the descriptor
}

}  // namespace platform::posix
