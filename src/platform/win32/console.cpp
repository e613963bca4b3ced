// Windows standard streams: UTF-16 to a console, UTF-8 bytes to a file or pipe.

#include "platform/console.h"

#include "platform/text.h"

#include <windows.h>
#include <shellapi.h>

#include <climits>

namespace platform::console {
namespace {

void (*interrupt_callback)() = nullptr;

BOOL WINAPI console_ctrl_handler(DWORD event) {
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        if (interrupt_callback != nullptr) interrupt_callback();
        return TRUE;
    }
    return FALSE;  // close, logoff, shutdown: default handling ends the process
}

}  // namespace

void write(stream target, std::wstring_view text) {
    const HANDLE handle = GetStdHandle(target == stream::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
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

std::string read_all_input() {
    const HANDLE handle = GetStdHandle(STD_INPUT_HANDLE);
    std::string bytes;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return bytes;
    std::string block(65536, '\0');
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(handle, block.data(), static_cast<DWORD>(block.size()), &read, nullptr) || read == 0) break;
        bytes.append(block.data(), read);
    }
    return bytes;
}

std::vector<std::wstring> arguments(int, char**) {
    // argv is in the ANSI code page; the UTF-16 command line is the truth.
    std::vector<std::wstring> out;
    int count = 0;
    LPWSTR* vector = CommandLineToArgvW(GetCommandLineW(), &count);
    if (vector == nullptr) return out;
    for (int i = 0; i < count; ++i) out.emplace_back(vector[i]);
    LocalFree(vector);
    return out;
}

void install_interrupt_handler(void (*on_interrupt)()) {
    interrupt_callback = on_interrupt;
    SetConsoleCtrlHandler(console_ctrl_handler, TRUE);
}

}  // namespace platform::console
