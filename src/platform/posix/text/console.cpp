// Linux standard streams: terminals and pipes both take UTF-8 bytes.

#include "platform/console.h"

#include "platform/file_names.h"
#include "platform/posix/files/descriptor_write.h"
#include "platform/text.h"

#include <cerrno>
#include <csignal>
#include <signal.h>
#include <unistd.h>

namespace platform::console {
namespace {

void (*interrupt_callback)() = nullptr;

// C linkage for the signal API; static, or GCC would export the C name from
// this unnamed namespace into the global one.
extern "C" {
static void on_sigint(int) {
    if (interrupt_callback != nullptr) interrupt_callback();
}
}

// A closed pipe or a full disk: output never fails a run.
void write_all(int fd, const std::string& bytes) {
    (void)platform::posix::write_all(fd, bytes.data(), bytes.size());
}

}  // namespace

void write(stream target, std::wstring_view text) {
    if (text.empty()) return;
    write_all(target == stream::output ? STDOUT_FILENO : STDERR_FILENO, platform::text::to_utf8(text));
}

std::optional<std::string> read_all_input(std::size_t limit) {
    std::string bytes;
    std::string block(65536, '\0');
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (static_cast<std::size_t>(n) > limit - bytes.size()) return std::nullopt;
        bytes.append(block.data(), static_cast<std::size_t>(n));
    }
    return bytes;
}

bool is_terminal(stream target) { return ::isatty(target == stream::output ? STDOUT_FILENO : STDERR_FILENO) == 1; }

std::vector<std::wstring> arguments(int argc, char** argv) {
    std::vector<std::wstring> out;
    out.reserve(static_cast<std::size_t>(argc));
    for (int i = 0; i < argc; ++i) out.push_back(platform::text::from_utf8_name(argv[i]));
    return out;
}

void install_interrupt_handler(void (*on_interrupt)()) {
    interrupt_callback = on_interrupt;
    struct sigaction action {};
    action.sa_handler = on_sigint;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    // A reader that went away must not end the run (Windows reports a failed
    // write instead of raising a signal).
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

}  // namespace platform::console
