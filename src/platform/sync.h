#pragma once
// Named mutexes that serialise work across processes of the suite.
//
// Windows: a kernel mutex (CreateMutexW, WaitForSingleObject, ReleaseMutex).
// It belongs to the thread that acquired it and may be re-acquired by it.
//
// Linux: flock() on a lock file per name in the per-user runtime folder
// ($XDG_RUNTIME_DIR, else /tmp/qlm-<uid>, created private to the user) under
// "qlm-mutex/". The kernel drops the lock when its holder dies, as Windows
// abandons a mutex whose owner ended. The holder writes its process id into
// the file and clears it on release, so a waiter that finds an id left behind
// knows the previous owner died holding it and reports `abandoned` (also
// when nobody had the mutex open at the time, where Windows would have let
// the mutex vanish and report a plain acquisition). A lock
// belongs to the object, not the thread; a second object of the same name in
// the same process waits like another process would. The "Local\" and
// "Global\" prefixes only choose a namespace on Windows; on Linux the runtime
// folder is per user already, so both name the same lock.

#include <cstdint>
#include <memory>
#include <string>

namespace platform::sync {

/// How a wait ended (WAIT_OBJECT_0, WAIT_ABANDONED, WAIT_TIMEOUT, WAIT_FAILED).
enum class wait_result { acquired, abandoned, timed_out, failed };

/// One handle to a named mutex. Move-only; the destructor releases the mutex
/// when this handle owns it, then closes the handle.
class named_mutex {
public:
    /// CreateMutexW(nullptr, FALSE, name): opens or creates the mutex without
    /// taking it. valid() tells whether that worked; error() says why not.
    explicit named_mutex(const std::wstring& name);
    ~named_mutex();
    named_mutex(named_mutex&& other) noexcept;
    named_mutex& operator=(named_mutex&& other) noexcept;
    named_mutex(const named_mutex&) = delete;
    named_mutex& operator=(const named_mutex&) = delete;

    /// True when the mutex exists and can be waited on.
    bool valid() const;

    /// The Win32 error of the failed creation, 0 when valid.
    std::uint32_t error() const;

    /// Waits up to `milliseconds` for ownership. `acquired` and `abandoned`
    /// both mean this handle now owns the mutex.
    wait_result wait(std::uint32_t milliseconds);

    /// Gives up ownership taken by wait(); nothing when not owned.
    void release();

    struct state;

private:
    std::unique_ptr<state> state_;
};

/// True when the wait ended in ownership: a mutex whose previous owner died
/// holding it counts as acquired, since its owner can no longer finish.
inline bool owns(wait_result result) { return result == wait_result::acquired || result == wait_result::abandoned; }

}  // namespace platform::sync
