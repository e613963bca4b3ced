// Windows moves, folders and times of the organizer: thin wrappers.

#include "platform/file_system_moves.h"

#include "platform/path_forms.h"

#include <windows.h>

#include <string>

namespace platform::file_system {
namespace {

std::uint64_t filetime_value(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

std::optional<std::uint64_t> creation_time(const std::wstring& path, std::uint32_t* error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(long_path_form(path).c_str(), GetFileExInfoStandard, &data)) {
        if (error != nullptr) *error = GetLastError();
        return std::nullopt;
    }
    if (error != nullptr) *error = 0;
    return filetime_value(data.ftCreationTime);
}

std::optional<local_time> to_local_time(std::uint64_t filetime) {
    FILETIME utc{static_cast<DWORD>(filetime & 0xFFFFFFFFu), static_cast<DWORD>(filetime >> 32)};
    SYSTEMTIME universal{};
    SYSTEMTIME local{};
    if (!FileTimeToSystemTime(&utc, &universal) || !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
        return std::nullopt;
    }
    local_time result;
    result.year = local.wYear;
    result.month = local.wMonth;
    result.day = local.wDay;
    result.hour = local.wHour;
    result.minute = local.wMinute;
    result.second = local.wSecond;
    result.hundred_nanoseconds = static_cast<std::uint32_t>(filetime % 10000000ULL);
    return result;
}

std::uint32_t move_file_no_replace(const std::wstring& from, const std::wstring& to) {
    if (MoveFileW(long_path_form(from).c_str(), long_path_form(to).c_str())) return 0;
    return GetLastError();
}

std::uint32_t flush_folder(const std::wstring&) { return 0; }

std::wstring move_temporary_name(const std::wstring& to) {
    // MoveFileW keeps its own temporaries; this name is never created here.
    const auto slash = to.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? std::wstring() : to.substr(0, slash + 1);
    const std::wstring name = slash == std::wstring::npos ? to : to.substr(slash + 1);
    return folder + L"." + name + L".qlm-move.tmp";
}

std::uint32_t create_directory(const std::wstring& path) {
    if (CreateDirectoryW(long_path_form(path).c_str(), nullptr)) return 0;
    return GetLastError();
}

std::uint32_t remove_directory(const std::wstring& path) {
    if (RemoveDirectoryW(long_path_form(path).c_str())) return 0;
    return GetLastError();
}

std::wstring error_text(std::uint32_t error) {
    if (error == changed_during_move) {
        return L"The file was changed by another program during the move; it was left where it was.";
    }
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 ? std::wstring(buffer, length) : L"Unknown error " + std::to_wstring(error) + L".";
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

std::uint32_t append_file::open(const std::wstring& path, bool truncate) {
    close();
    const HANDLE file = CreateFileW(long_path_form(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                    truncate ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return 0;
}

std::uint32_t append_file::append(std::string_view bytes) {
    if (handle_ == -1) return ERROR_INVALID_HANDLE;
    while (!bytes.empty()) {
        const DWORD chunk = bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), chunk, &written, nullptr))
            return GetLastError();
        if (written == 0) return ERROR_DISK_FULL;
        bytes.remove_prefix(written);
    }
    return 0;
}

std::uint32_t append_file::sync() {
    if (handle_ == -1) return ERROR_INVALID_HANDLE;
    return FlushFileBuffers(reinterpret_cast<HANDLE>(handle_)) ? 0 : GetLastError();
}

void append_file::close() noexcept {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(std::exchange(handle_, -1)));
}

}  // namespace platform::file_system
