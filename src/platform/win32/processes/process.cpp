// Windows processes through Toolhelp, CreateProcessW and TerminateProcess.

#include "platform/process.h"

#include "platform/win32/handles.h"

#include <windows.h>
#include <tlhelp32.h>

namespace platform::process {
namespace {

using win32::adopt_handle;
using win32::owned_handle;

bool same_name(const wchar_t* a, const std::wstring& b) {
    return CompareStringOrdinal(a, -1, b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

std::wstring executable_name(const std::wstring& base) { return base + L".exe"; }

std::vector<std::uint32_t> find_by_image_name(const std::wstring& name) {
    std::vector<std::uint32_t> found;
    const owned_handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) return found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
        if (same_name(entry.szExeFile, name)) found.push_back(entry.th32ProcessID);
    }
    return found;
}

start_result start_detached(const std::wstring& executable, const std::wstring& arguments) {
    start_result result;
    std::wstring command_line = L"\"" + executable + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION information{};
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr,
                        &startup, &information)) {
        result.error = GetLastError();
        return result;
    }
    // This program never waits for the process nor stops it.
    adopt_handle(information.hProcess);
    adopt_handle(information.hThread);
    result.started = true;
    result.process_id = information.dwProcessId;
    return result;
}

void set_environment_variable(const std::wstring& name, const std::wstring& value) {
    SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str());
}

bool terminate(std::uint32_t process_id) {
    const owned_handle process = adopt_handle(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id));
    if (!process || !TerminateProcess(process.get(), 1)) return false;
    WaitForSingleObject(process.get(), 5000);
    return true;
}

}  // namespace platform::process
