#include "platform/mapped_file.h"

#include <windows.h>


namespace platform {

void mapped_file::reset() noexcept {
    if (data_ != nullptr) UnmapViewOfFile(data_);
    data_ = nullptr;
    size_ = 0;
}

bool mapped_file::open(const std::wstring& path, std::uint64_t max_size, std::uint32_t* error) {
    reset();
    const auto fail = [error](DWORD code) {
        if (error != nullptr) *error = code;
        return false;
    };
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return fail(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size) || static_cast<std::uint64_t>(size.QuadPart) > max_size) {
        const DWORD code = GetLastError() != 0 ? GetLastError() : ERROR_NOT_ENOUGH_MEMORY;
        CloseHandle(file);
        return fail(code);
    }
    if (size.QuadPart > 0) {
        const HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
        if (mapping == nullptr) {
            const DWORD code = GetLastError();
            CloseHandle(file);
            return fail(code);
        }
        const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
        const DWORD code = GetLastError();
        CloseHandle(mapping);  // the view keeps the mapping alive
        if (view == nullptr) {
            CloseHandle(file);
            return fail(code);
        }
        data_ = view;
        size_ = static_cast<std::size_t>(size.QuadPart);
    }
    CloseHandle(file);
    if (error != nullptr) *error = 0;
    return true;
}

}  // namespace platform
