// Named streams on Windows: NTFS alternate data streams, "path:name".

#include "platform/file_streams.h"

#include "platform/path_forms.h"
#include "platform/win32/handles.h"

#include <windows.h>

#include <algorithm>

namespace platform::file_system {
namespace {

win32::owned_handle open_stream(const std::wstring& path, const std::wstring& stream, DWORD access,
                                DWORD disposition) {
    return win32::owned_handle(CreateFileW(long_path_form(stream_path(path, stream)).c_str(), access,
                                           FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

std::wstring stream_path(const std::wstring& path, const std::wstring& stream) { return path + L":" + stream; }

std::uint32_t open_stream_for_writing(const std::wstring& path, const std::wstring& stream) {
    const auto file = open_stream(path, stream, GENERIC_WRITE, OPEN_ALWAYS);
    return !file ? GetLastError() : ERROR_SUCCESS;
}

std::uint32_t write_stream(const std::wstring& path, const std::wstring& stream, std::string_view bytes) {
    const auto file = open_stream(path, stream, GENERIC_WRITE, CREATE_ALWAYS);
    if (!file) return GetLastError();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1U << 30));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_DISK_FULL;
        done += written;
    }
    return ERROR_SUCCESS;
}

std::optional<std::string> read_stream(const std::wstring& path, const std::wstring& stream, std::uint32_t* error) {
    const auto file = open_stream(path, stream, GENERIC_READ, OPEN_EXISTING);
    std::string bytes;
    LARGE_INTEGER size{};
    if (!file || !GetFileSizeEx(file.get(), &size)) {
        if (error != nullptr) *error = GetLastError();
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1U << 30));
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr) || read == 0) break;
        done += read;
    }
    bytes.resize(done);
    if (error != nullptr) *error = ERROR_SUCCESS;
    return bytes;
}

std::uint32_t delete_stream(const std::wstring& path, const std::wstring& stream) {
    if (DeleteFileW(long_path_form(stream_path(path, stream)).c_str())) return ERROR_SUCCESS;
    return GetLastError();
}

}  // namespace platform::file_system
