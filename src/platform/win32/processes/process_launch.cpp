// Windows program starts: thin wrappers over CreateProcessW, ShellExecuteExW,
// the shell's automation objects and the version resource API.

#include "platform/process_launch.h"

#include "platform/win32/handles.h"
#include "platform/win32/shell/com_support.h"

#include <windows.h>
#include <exdisp.h>
#include <oleauto.h>
#include <shellapi.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <winver.h>

#include <vector>

namespace platform::process {
namespace {

using platform::win32::com_ptr;

// The GUIDs of the shell automation objects, spelled out so that the build
// does not depend on which of them the import library carries.
constexpr GUID clsid_shell = {0x13709620, 0xc279, 0x11ce, {0xa4, 0x9e, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
constexpr GUID clsid_shell_windows = {0x9ba05972, 0xf6a8, 0x11cf, {0xa4, 0x42, 0x00, 0xa0, 0xc9, 0x0a, 0x8f, 0x39}};
constexpr GUID iid_shell_dispatch2 = {0xa4c6892c, 0x3ba9, 0x11d2, {0x9d, 0xea, 0x00, 0xc0, 0x4f, 0xb1, 0x61, 0x62}};
constexpr GUID iid_shell_windows = {0x85cb6900, 0x4d95, 0x11cf, {0x96, 0x0c, 0x00, 0x80, 0xc7, 0xf4, 0xee, 0x85}};
constexpr GUID iid_shell_folder_view_dual = {
    0xe7a1af80, 0x4d96, 0x11cf, {0x96, 0x0c, 0x00, 0x80, 0xc7, 0xf4, 0xee, 0x85}};
constexpr GUID sid_top_level_browser = {0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};

using platform::win32::adopt_handle;
using platform::win32::owned_handle;

struct started_process {
    owned_handle process;
    owned_handle thread;
};

// CreateProcessW may write into the command line, so it gets its own copy.
DWORD create_process(const std::wstring& command_line, DWORD flags, bool use_show, int show,
                     started_process& started) {
    std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
    buffer.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (use_show) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = static_cast<WORD>(show);
    }
    PROCESS_INFORMATION information{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &information)) {
        return GetLastError();
    }
    started.process = adopt_handle(information.hProcess);
    started.thread = adopt_handle(information.hThread);
    return ERROR_SUCCESS;
}

std::uint32_t wait_for_exit(HANDLE process) {
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0xFFFFFFFF;
    if (!GetExitCodeProcess(process, &code)) code = 0xFFFFFFFF;
    return code;
}

SHELLEXECUTEINFOW run_as_info(const std::wstring& executable, const std::wstring& parameters, int show) {
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.lpVerb = L"runas";
    info.lpFile = executable.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = show;
    return info;
}

class bstr {
public:
    explicit bstr(const std::wstring& text) : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~bstr() { SysFreeString(value_); }
    bstr(const bstr&) = delete;
    bstr& operator=(const bstr&) = delete;
    BSTR get() const { return value_; }

private:
    BSTR value_;
};

class variant {
public:
    variant() { VariantInit(&value_); }
    explicit variant(const std::wstring& text) : variant() {
        value_.vt = VT_BSTR;
        value_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    explicit variant(long number) : variant() {
        value_.vt = VT_I4;
        value_.lVal = number;
    }
    ~variant() { VariantClear(&value_); }
    variant(const variant&) = delete;
    variant& operator=(const variant&) = delete;
    VARIANT& get() { return value_; }

private:
    VARIANT value_;
};

// The cmd.exe window itself stays hidden (0); the program it starts follows
// the start option in the parameters.
bool execute(IShellDispatch2* shell, const std::wstring& program, const std::wstring& parameters) {
    const bstr file(program);
    variant arguments{parameters}, folder{std::wstring{}}, verb{std::wstring{L"open"}}, show{0L};
    return SUCCEEDED(shell->ShellExecute(file.get(), arguments.get(), folder.get(), verb.get(), show.get()));
}

bool execute_through_shell_object(const std::wstring& program, const std::wstring& parameters) {
    com_ptr<IShellDispatch2> shell;
    if (FAILED(CoCreateInstance(clsid_shell, nullptr, CLSCTX_INPROC_SERVER, iid_shell_dispatch2, shell.put_void()))) {
        return false;
    }
    return execute(shell.get(), program, parameters);
}

// The running Explorer's desktop: its folder view's Application object starts
// programs inside Explorer, with Explorer's rights.
bool execute_through_desktop(const std::wstring& program, const std::wstring& parameters) {
    com_ptr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(clsid_shell_windows, nullptr, CLSCTX_LOCAL_SERVER, iid_shell_windows,
                                windows.put_void()))) {
        return false;
    }
    variant desktop_location(static_cast<long>(CSIDL_DESKTOP)), empty;
    long window_handle = 0;
    com_ptr<IDispatch> desktop;
    if (windows->FindWindowSW(&desktop_location.get(), &empty.get(), SWC_DESKTOP, &window_handle, SWFO_NEEDDISPATCH,
                              desktop.put()) != S_OK ||
        desktop.get() == nullptr) {
        return false;
    }
    com_ptr<IServiceProvider> services;
    if (FAILED(desktop->QueryInterface(IID_IServiceProvider, services.put_void()))) return false;
    com_ptr<IShellBrowser> browser;
    if (FAILED(services->QueryService(sid_top_level_browser, IID_IShellBrowser, browser.put_void()))) return false;
    com_ptr<IShellView> view;
    if (FAILED(browser->QueryActiveShellView(view.put()))) return false;
    com_ptr<IDispatch> background;
    if (FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.put_void()))) return false;
    com_ptr<IShellFolderViewDual> folder_view;
    if (FAILED(background->QueryInterface(iid_shell_folder_view_dual, folder_view.put_void()))) return false;
    com_ptr<IDispatch> application;
    if (FAILED(folder_view->get_Application(application.put()))) return false;
    com_ptr<IShellDispatch2> shell;
    if (FAILED(application->QueryInterface(iid_shell_dispatch2, shell.put_void()))) return false;
    return execute(shell.get(), program, parameters);
}

}  // namespace

wait_outcome run_and_wait(const std::wstring& command_line, int show) {
    started_process started;
    if (const DWORD error = create_process(command_line, 0, true, show, started); error != ERROR_SUCCESS) {
        return {false, 0, error};
    }
    return {true, wait_for_exit(started.process.get()), 0};
}

wait_outcome run_elevated_and_wait(const std::wstring& executable, const std::wstring& parameters, int show) {
    SHELLEXECUTEINFOW info = run_as_info(executable, parameters, show);
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    if (!ShellExecuteExW(&info)) return {false, 0, GetLastError()};
    const owned_handle process = adopt_handle(info.hProcess);
    if (!process) return {false, 0, ERROR_INVALID_HANDLE};
    return {true, wait_for_exit(process.get()), 0};
}

std::uint32_t start_elevated(const std::wstring& executable, const std::wstring& parameters, int show) {
    SHELLEXECUTEINFOW info = run_as_info(executable, parameters, show);
    return ShellExecuteExW(&info) ? ERROR_SUCCESS : GetLastError();
}

std::uint32_t start_command_detached(const std::wstring& command_line, int show) {
    started_process started;
    return create_process(command_line, DETACHED_PROCESS, show != 1, show, started);
}

bool start_through_shell(const std::wstring& program, const std::wstring& parameters) {
    // S_FALSE (already initialised on this thread) also takes a reference
    // that must be given back.
    const HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const bool started =
        execute_through_shell_object(program, parameters) || execute_through_desktop(program, parameters);
    if (SUCCEEDED(initialised)) CoUninitialize();
    return started;
}

std::wstring system_folder() {
    wchar_t buffer[MAX_PATH];
    const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return std::wstring(buffer, length);
}

bool window_show_values_apply() { return true; }

std::vector<std::wstring> pwsh_candidates() {
    std::vector<std::wstring> candidates;
    wchar_t found[MAX_PATH];
    const DWORD length = SearchPathW(nullptr, L"pwsh.exe", nullptr, MAX_PATH, found, nullptr);
    if (length > 0 && length < MAX_PATH) candidates.emplace_back(found, length);

    wchar_t program_files[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, program_files))) {
        return candidates;
    }
    const std::wstring root = std::wstring(program_files) + L"\\PowerShell\\";
    WIN32_FIND_DATAW entry{};
    const platform::win32::find_handle find(FindFirstFileW((root + L"*").c_str(), &entry));
    if (!find) return candidates;
    do {
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || entry.cFileName[0] == L'.') continue;
        const std::wstring program = root + entry.cFileName + L"\\pwsh.exe";
        const DWORD attributes = GetFileAttributesW(program.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            candidates.push_back(program);
        }
    } while (FindNextFileW(find.get(), &entry));
    return candidates;
}

std::optional<file_version> pwsh_version(const std::wstring& pwsh_path) { return product_version(pwsh_path); }

std::optional<file_version> product_version(const std::wstring& path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> data(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::nullopt;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixed_size) || fixed == nullptr ||
        fixed_size < sizeof(VS_FIXEDFILEINFO)) {
        return std::nullopt;
    }
    return file_version{static_cast<int>(HIWORD(fixed->dwProductVersionMS)),
                        static_cast<int>(LOWORD(fixed->dwProductVersionMS)),
                        static_cast<int>(HIWORD(fixed->dwProductVersionLS))};
}

}  // namespace platform::process
