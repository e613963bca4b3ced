#pragma once
// Owners for the kernel and find handles the Windows backends hold, one
// definition for every backend (see platform/unique_resource.h).

#include "platform/unique_resource.h"

#include <windows.h>

namespace platform::win32 {

/// A kernel handle (file, process, thread, snapshot), closed with CloseHandle.
struct handle_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type handle) noexcept { CloseHandle(handle); }
};
using owned_handle = unique_resource<handle_traits>;

/// Takes a handle from a call that says "none" with NULL rather than
/// INVALID_HANDLE_VALUE (OpenProcess, CreateProcessW, ShellExecuteExW).
inline owned_handle adopt_handle(HANDLE handle) {
    return owned_handle(handle == nullptr ? INVALID_HANDLE_VALUE : handle);
}

/// A FindFirstFileW search, closed with FindClose.
struct find_traits {
    using type = HANDLE;
    static type invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void close(type find) noexcept { FindClose(find); }
};
using find_handle = unique_resource<find_traits>;

}  // namespace platform::win32
