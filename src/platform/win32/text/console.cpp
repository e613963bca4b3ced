// Windows standard streams: UTF-16 to a console, UTF-8 bytes to a file or pipe.

#include "platform/console.h"

#include "platform/text.h"
#include "platform/unique_resource.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <climits>

namespace platform::console {
namespace {

// Windows calls the control handler on a thread of its own.
std::atomic<void (*)()> interrupt_callback{nullptr};

BOOL WINAPI console_ctrl_handler(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        if (const auto callback = interrupt_callback.load(); callback != nullptr) callback();
        return TRUE;
    }
    return FALSE;  // close, logoff, shutdown: default handling ends the process
}

struct argument_vector_traits {
    using type = LPWSTR*;
    static type invalid() noexcept { return nullptr; }
    static void close(type vector) noexcept { LocalFree(vector); }
};

}  // namespace

void write(stream target, std::wstring_view text) {
    const HANDLE handle = GetStdHandle(target == stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    // A UTF-16 unit becomes at most three UTF-8 bytes; beyond this bound the
    // bytes would not fit the length of one WriteFile.
    if (text.size() > INT_MAX / 4) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        DWORD written = 0;
        WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = platform::text::to_utf8(text);
    DWORD written = 0;
    WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

bool is_terminal(stream target) {
    const HANDLE handle = GetStdHandle(target == stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::optional<std::string> read_all_input(std::size_t limit) {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    std::string bytes;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return bytes;
    std::string block(65536, '\0');
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, block.data(), static_cast<DWORD>(block.size()), &read, nullptr) || read == 0) break;
        if (read > limit - bytes.size()) return std::nullopt;
        bytes.append(block.data(), read);
    }
    return bytes;
}

std::vector<std::wstring> arguments(int, char**) {
    // argv is in the ANSI code page; the UTF-16 command line is the truth.
    std::vector<std::wstring> out;
    int count = 0;
    const unique_resource<argument_vector_traits> vector(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!vector) return out;
    for (int i = 0; i < count; ++i) out.emplace_back(vector.get()[i]);
    return out;
}

void install_interrupt_handler(void (*on_interrupt)()) {
    interrupt_callback.store(on_interrupt);
    SetConsoleCtrlHandler(console_ctrl_handler, TRUE);
}

}  // namespace platform::console
