// Linux processes through /proc, posix_spawn and signals.

#include "platform/process.h"

#include "platform/posix/files/unique_descriptor.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string_view>
#include <memory>
#include <thread>

extern char** environ;

namespace platform::process {
namespace {

std::string base_name(std::string path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The state letter of /proc/<pid>/stat, after the parenthesised name (which
// may itself hold blanks and parentheses).
char process_state(const std::string& folder) {
    std::ifstream stat(folder + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) return '?';
    return text[close + 2];
}

std::string image_name(const std::string& folder) {
    char buffer[4096];
    const ssize_t length = ::readlink((folder + "/exe").c_str(), buffer, sizeof buffer - 1);
    if (length > 0) {
        std::string target(buffer, static_cast<std::size_t>(length));
        constexpr std::string_view deleted = " (deleted)";
        if (target.ends_with(deleted)) target.resize(target.size() - deleted.size());
        return base_name(target);
    }
    // Another user's process: its argv[0] is still readable.
    std::ifstream command_line(folder + "/cmdline", std::ios::binary);
    std::string first;
    std::getline(command_line, first, '\0');
    return base_name(first);
}

bool ascii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Ordinal comparison ignoring case; plain ASCII names, the usual case, are
// compared without converting them.
bool same_name(const std::string& image, const std::string& wanted) {
    if (ascii(image) && ascii(wanted)) {
        return image.size() == wanted.size() &&
               std::equal(image.begin(), image.end(), wanted.begin(), [](char a, char b) {
                   const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
                   return lower(a) == lower(b);
               });
    }
    return platform::text::equal_ignore_case(platform::text::from_utf8(image), platform::text::from_utf8(wanted));
}

}  // namespace

std::wstring executable_name(const std::wstring& base) { return base; }

std::vector<std::uint32_t> find_by_image_name(const std::wstring& name) {
    std::vector<std::uint32_t> found;
    const std::string wanted = platform::text::to_utf8(name);
    const posix::unique_directory proc(::opendir("/proc"));
    if (!proc) return found;
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const unsigned long pid = std::strtoul(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || pid == 0) continue;
        const std::string folder = std::string("/proc/") + entry->d_name;
        const std::string image = image_name(folder);
        if (image.empty() || !same_name(image, wanted)) continue;
        if (process_state(folder) == 'Z') continue;  // ended, not yet reaped
        found.push_back(static_cast<std::uint32_t>(pid));
    }
    return found;
}

start_result start_detached(const std::wstring& executable, const std::wstring& arguments) {
    start_result result;
    const std::string path = platform::text::to_utf8(executable);
    const std::string argument = platform::text::to_utf8(arguments);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    for (const int fd : {0, 1, 2}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    }
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    if (!argument.empty()) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        result.error = platform::win32_error::from_errno(error);
        return result;
    }
    result.started = true;
    result.process_id = static_cast<std::uint32_t>(pid);
    return result;
}

void set_environment_variable(const std::wstring& name, const std::wstring& value) {
    const std::string key = platform::text::to_utf8(name);
    if (value.empty()) {
        ::unsetenv(key.c_str());
    } else {
        ::setenv(key.c_str(), platform::text::to_utf8(value).c_str(), 1);
    }
}

bool terminate(std::uint32_t process_id) {
    const auto pid = static_cast<pid_t>(process_id);
    if (pid <= 0 || ::kill(pid, SIGKILL) != 0) return false;
    // A child of ours would stay listed as a zombie until reaped.
    for (int i = 0; i < 200; ++i) {
        const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
        if (reaped == pid || (reaped < 0 && errno == ECHILD)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace platform::process
