// Linux named mutexes: flock() on one lock file per name in the per-user
// runtime folder. The kernel releases the lock when the holder dies.

#include "platform/sync.h"

#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::sync {
namespace {

// A folder we create must be ours alone; one planted by another user could be
// used to hold our locks or read our lock files.
std::uint32_t ensure_private_folder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return win32_error::from_errno(errno);
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return win32_error::from_errno(errno);
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 077) != 0) {
        return win32_error::access_denied;
    }
    return win32_error::success;
}

// $XDG_RUNTIME_DIR is private to the user by the base directory rules; the
// /tmp fallback is made private here.
std::uint32_t lock_folder(std::string& folder) {
    std::string runtime;
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg != nullptr && xdg[0] == '/') {
        runtime = xdg;
    } else {
        runtime = "/tmp/qlm-" + std::to_string(::getuid());
        if (const std::uint32_t error = ensure_private_folder(runtime); error != win32_error::success) return error;
    }
    folder = runtime + "/qlm-mutex";
    return ensure_private_folder(folder);
}

// The namespace prefix only matters on Windows. Every byte outside a small
// safe set is percent-encoded, so distinct names give distinct files.
std::string lock_file_name(std::wstring_view name) {
    for (const std::wstring_view prefix : {std::wstring_view(L"Local\\"), std::wstring_view(L"Global\\")}) {
        if (name.starts_with(prefix)) {
            name.remove_prefix(prefix.size());
            break;
        }
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : platform::text::to_utf8(name)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool safe = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
                          byte == '.' || byte == '-' || byte == '_';
        if (safe) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0x0F]);
        }
    }
    return out + ".lock";
}

}  // namespace

struct named_mutex::state {
    posix::unique_descriptor fd;
    std::uint32_t error = 0;
    bool owned = false;

    void unlock() {
        // Clearing the id first tells the next owner that we let go on purpose.
        if (::ftruncate(fd.get(), 0) != 0) {
            // The next owner will see our id and report the mutex abandoned,
            // which it treats as acquired anyway.
        }
        ::flock(fd.get(), LOCK_UN);
        owned = false;
    }

    ~state() {
        if (owned) unlock();
    }
};

named_mutex::named_mutex(const std::wstring& name) : state_(std::make_unique<state>()) {
    if (name.empty()) {
        state_->error = win32_error::invalid_name;
        return;
    }
    std::string folder;
    if (const std::uint32_t error = lock_folder(folder); error != win32_error::success) {
        state_->error = error;
        return;
    }
    const std::string path = folder + "/" + lock_file_name(name);
    state_->fd.reset(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!state_->fd) state_->error = win32_error::from_errno(errno);
}

named_mutex::~named_mutex() = default;
named_mutex::named_mutex(named_mutex&& other) noexcept = default;

named_mutex& named_mutex::operator=(named_mutex&& other) noexcept {
    // Destroying our old state releases and closes the old lock first.
    state_ = std::move(other.state_);
    return *this;
}

bool named_mutex::valid() const { return state_ && state_->fd; }

std::uint32_t named_mutex::error() const {
    if (!state_) return win32_error::invalid_handle;
    return state_->error;
}

wait_result named_mutex::wait(std::uint32_t milliseconds) {
    if (!valid()) return wait_result::failed;
    if (state_->owned) return wait_result::acquired;
    // flock has no time-out of its own; poll with short sleeps. INFINITE
    // (0xFFFFFFFF) blocks in the kernel instead.
    constexpr std::uint32_t infinite = 0xFFFFFFFF;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        const int operation = milliseconds == infinite ? LOCK_EX : (LOCK_EX | LOCK_NB);
        if (::flock(state_->fd.get(), operation) == 0) break;
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) return wait_result::failed;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) return wait_result::timed_out;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(deadline - now,
                                                                                   std::chrono::milliseconds(5)));
    }
    state_->owned = true;
    struct stat info {};
    const bool abandoned = ::fstat(state_->fd.get(), &info) == 0 && info.st_size > 0;
    const std::string id = std::to_string(::getpid());
    if (::ftruncate(state_->fd.get(), 0) != 0 || ::pwrite(state_->fd.get(), id.data(), id.size(), 0) < 0) {
        // Without our id a crash of ours would look like a clean release;
        // the lock itself is held all the same.
    }
    return abandoned ? wait_result::abandoned : wait_result::acquired;
}

void named_mutex::release() {
    if (!valid() || !state_->owned) return;
    state_->unlock();
}

}  // namespace platform::sync
