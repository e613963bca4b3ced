// Linux program starts: Windows command lines split by the Windows rules and
// started with posix_spawn. No elevation, no desktop shell, no system folder.

#include "platform/process_launch.h"

#include "platform/file_system.h"
#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::process {
namespace {

using descriptor = posix::unique_descriptor;

// The argument vector of one start, kept alive for posix_spawn.
class spawn_arguments {
public:
    explicit spawn_arguments(const std::wstring& command_line) {
        for (const auto& argument : split_command_line(command_line)) strings_.push_back(text::to_utf8(argument));
        for (auto& s : strings_) pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
    }
    bool empty() const { return strings_.empty() || strings_.front().empty(); }
    char* const* argv() const { return pointers_.data(); }
    // PATH is searched only for a bare name, as CreateProcessW searches only then.
    bool search_path() const { return strings_.front().find('/') == std::string::npos; }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

class spawn_setup {
public:
    // The program starts with default signal handling and nothing blocked:
    // what we ignore (SIGPIPE) is not its business.
    explicit spawn_setup(short flags = 0) {
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawnattr_init(&attributes);
        sigset_t signals;
        ::sigemptyset(&signals);
        ::posix_spawnattr_setsigmask(&attributes, &signals);
        ::sigaddset(&signals, SIGPIPE);
        ::sigaddset(&signals, SIGINT);
        ::posix_spawnattr_setsigdefault(&attributes, &signals);
        ::posix_spawnattr_setflags(&attributes,
                                   static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
    }
    ~spawn_setup() {
        ::posix_spawn_file_actions_destroy(&actions);
        ::posix_spawnattr_destroy(&attributes);
    }
    spawn_setup(const spawn_setup&) = delete;
    spawn_setup& operator=(const spawn_setup&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

int spawn(pid_t* pid, const spawn_arguments& arguments, const spawn_setup& setup) {
    const auto function = arguments.search_path() ? ::posix_spawnp : ::posix_spawn;
    return function(pid, arguments.argv()[0], &setup.actions, &setup.attributes, arguments.argv(), environ);
}

std::uint32_t exit_code_of(int status) {
    if (WIFEXITED(status)) return static_cast<std::uint32_t>(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return 128 + static_cast<std::uint32_t>(WTERMSIG(status));
    return 0xFFFFFFFF;
}

bool is_program(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && ::access(path.c_str(), X_OK) == 0;
}

}  // namespace

wait_outcome run_and_wait(const std::wstring& command_line, int) {
    const spawn_arguments arguments(command_line);
    if (arguments.empty()) return {false, 0, win32_error::file_not_found};
    spawn_setup setup;
    pid_t pid = 0;
    if (const int error = spawn(&pid, arguments, setup); error != 0) {
        return {false, 0, win32_error::from_errno(error)};
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return {true, 0xFFFFFFFF, 0};
    }
    return {true, exit_code_of(status), 0};
}

wait_outcome run_elevated_and_wait(const std::wstring&, const std::wstring&, int) {
    return {false, 0, win32_error::not_supported};
}

std::uint32_t start_elevated(const std::wstring&, const std::wstring&, int) { return win32_error::not_supported; }

std::uint32_t start_command_detached(const std::wstring& command_line, int) {
    const spawn_arguments arguments(command_line);
    if (arguments.empty()) return win32_error::file_not_found;
    spawn_setup setup(POSIX_SPAWN_SETSID);
    ::posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    // A short-lived middle process starts the program and ends, so that the
    // program belongs to init and never lingers as our unwaited child. It
    // reports the start's errno through a pipe.
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return win32_error::from_errno(errno);
    const descriptor report_read(ends[0]);
    descriptor report_write(ends[1]);
    const pid_t middle = ::fork();
    if (middle == 0) {
        pid_t pid = 0;
        const int error = spawn(&pid, arguments, setup);
        const ssize_t written = ::write(report_write.get(), &error, sizeof error);
        ::_exit(written == sizeof error ? 0 : 1);
    }
    report_write.reset();
    int error = 0;
    if (middle < 0) {
        error = errno;
    } else {
        ssize_t got = -1;
        do {
            got = ::read(report_read.get(), &error, sizeof error);
        } while (got < 0 && errno == EINTR);
        if (got != sizeof error) error = ECHILD;
        int status = 0;
        while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
        }
    }
    return error == 0 ? win32_error::success : win32_error::from_errno(error);
}

bool start_through_shell(const std::wstring&, const std::wstring&) { return false; }

std::wstring system_folder() { return {}; }

bool window_show_values_apply() { return false; }

std::vector<std::wstring> pwsh_candidates() {
    std::vector<std::wstring> candidates;
    if (const char* path = std::getenv("PATH"); path != nullptr) {
        std::string_view rest = path;
        while (true) {
            const std::size_t colon = rest.find(':');
            const std::string_view folder = rest.substr(0, colon);
            if (!folder.empty()) {
                const std::filesystem::path program = std::filesystem::path(folder) / "pwsh";
                if (is_program(program)) {
                    std::error_code error;
                    const auto resolved = std::filesystem::canonical(program, error);
                    candidates.push_back(text::from_utf8((error ? program : resolved).string()));
                    break;
                }
            }
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }
    std::vector<std::filesystem::path> installed;
    std::error_code error;
    for (std::filesystem::directory_iterator it("/opt/microsoft/powershell", error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.starts_with(".")) continue;
        if (is_program(it->path() / "pwsh")) installed.push_back(it->path() / "pwsh");
    }
    std::sort(installed.begin(), installed.end());
    for (const auto& program : installed) candidates.push_back(text::from_utf8(program.string()));
    return candidates;
}

std::optional<file_version> pwsh_version(const std::wstring& pwsh_path) {
    const std::filesystem::path library = file_system::to_native(pwsh_path).parent_path() / "pwsh.dll";
    return product_version(text::from_utf8(library.string()));
}

std::optional<file_version> product_version(const std::wstring& path) {
    const auto bytes = file_system::read_file(path);
    if (!bytes) return std::nullopt;
    return pe_product_version(*bytes);
}

}  // namespace platform::process
