// Windows named mutexes: thin wrappers over the kernel mutex calls.

#include "platform/sync.h"

#include <windows.h>

namespace platform::sync {

struct named_mutex::state {
    HANDLE handle = nullptr;
    DWORD error = 0;
    bool owned = false;

    ~state() {
        if (owned) ReleaseMutex(handle);
        if (handle != nullptr) CloseHandle(handle);
    }
};

named_mutex::named_mutex(const std::wstring& name) : state_(std::make_unique<state>()) {
    state_->handle = CreateMutexW(nullptr, FALSE, name.c_str());
    if (state_->handle == nullptr) state_->error = GetLastError();
}

named_mutex::~named_mutex() = default;
named_mutex::named_mutex(named_mutex&& other) noexcept = default;

named_mutex& named_mutex::operator=(named_mutex&& other) noexcept {
    // The unique_ptr move destroys our old state first, which releases and
    // closes the old handle.
    state_ = std::move(other.state_);
    return *this;
}

bool named_mutex::valid() const { return state_ && state_->handle != nullptr; }

std::uint32_t named_mutex::error() const {
    if (!state_) return ERROR_INVALID_HANDLE;
    return state_->error;
}

wait_result named_mutex::wait(std::uint32_t milliseconds) {
    if (!valid()) return wait_result::failed;
    switch (WaitForSingleObject(state_->handle, milliseconds)) {
        case WAIT_OBJECT_0: state_->owned = true; return wait_result::acquired;
        case WAIT_ABANDONED: state_->owned = true; return wait_result::abandoned;
        case WAIT_TIMEOUT: return wait_result::timed_out;
        default: return wait_result::failed;
    }
}

void named_mutex::release() {
    if (!valid() || !state_->owned) return;
    ReleaseMutex(state_->handle);
    state_->owned = false;
}

}  // namespace platform::sync
