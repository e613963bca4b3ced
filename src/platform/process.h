#pragma once
// Other processes: finding them by executable name, starting one detached,
// ending one by id.
//
// Windows: a Toolhelp snapshot lists the processes with their executable
// file names; CreateProcessW starts one with DETACHED_PROCESS and a hidden
// window, its handles closed at once. Linux: /proc lists them; a process's
// name is the base name of /proc/<pid>/exe, else of its argv[0] (the kernel's
// `comm` stops at 15 characters, too short for the suite's names), and
// zombies are skipped, as Windows forgets a process that has ended.
// posix_spawn starts one in a session of its own with its standard streams
// on /dev/null and no other descriptors; its argv holds the path and the
// argument text, if any, as one more element.

#include <cstdint>
#include <string>
#include <vector>

namespace platform::process {

/// The file name of a program called `base`: "base.exe" on Windows, the
/// base itself on Linux.
std::wstring executable_name(const std::wstring& base);

/// Ids of the running processes whose executable file name equals `name`
/// ignoring case (ordinal). Empty when none runs or the list cannot be
/// taken.
std::vector<std::uint32_t> find_by_image_name(const std::wstring& name);

/// The outcome of a start: the new process's id, or the Win32 error of the
/// failed start (2 for a missing file, 5 for one that cannot be executed).
struct start_result {
    bool started = false;
    std::uint32_t process_id = 0;
    std::uint32_t error = 0;
};

/// Starts the executable detached from this process and returns without
/// waiting. `arguments` follows the quoted path on the Windows command line
/// ("\"path\" arguments"); on Linux it is one argument when not empty.
start_result start_detached(const std::wstring& executable, const std::wstring& arguments);

/// Sets a variable of this process's environment, which the processes it
/// starts inherit; an empty value removes it.
void set_environment_variable(const std::wstring& name, const std::wstring& value);

/// Ends the process with the given id at once (TerminateProcess; SIGKILL,
/// and the zombie reaped when it is a child of this process). For tests and
/// tools that must not leave a process behind; false when it could not.
bool terminate(std::uint32_t process_id);

}  // namespace platform::process
