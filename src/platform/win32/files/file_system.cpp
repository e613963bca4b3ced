// Windows file system: thin wrappers over the Win32 calls.

#include "platform/file_system.h"

#include "platform/file_safety.h"
#include "platform/file_system_moves.h"
#include "platform/text.h"
#include "platform/win32/handles.h"
#include "platform/win32_error.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <vector>

namespace platform::file_system {
namespace {

using win32::find_handle;
using file_handle = win32::owned_handle;

// The errors with which GetFileAttributesW says "nothing there" rather than
// "cannot tell": a missing entry or parent, an unknown server, a name the
// file system cannot hold.
bool is_not_found(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == ERROR_BAD_NETPATH ||
           error == ERROR_INVALID_NAME;
}

}  // namespace

const wchar_t separator = L'\\';

std::uint32_t get_attributes(const std::wstring& path, std::uint32_t* error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (error != nullptr) *error = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    return attributes;
}

std::uint32_t set_attributes(const std::wstring& path, std::uint32_t attributes) {
    return SetFileAttributesW(path.c_str(), attributes) ? 0 : GetLastError();
}

std::optional<std::vector<std::wstring>> find_files(const std::wstring& pattern) {
    WIN32_FIND_DATAW data{};
    const find_handle find(
        FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0));
    if (!find) return std::nullopt;
    std::vector<std::wstring> names;
    do {
        names.emplace_back(data.cFileName);
    } while (FindNextFileW(find.get(), &data));
    return names;
}

std::optional<std::wstring> full_path(const std::wstring& path) {
    if (path.empty()) return std::nullopt;
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return std::nullopt;
    std::wstring out(needed, L'\0');
    const DWORD written = GetFullPathNameW(path.c_str(), needed, out.data(), nullptr);
    if (written == 0 || written >= needed) return std::nullopt;
    out.resize(written);
    return out;
}

// The standard library's lexical form already uses the preferred separator
// and the Windows root rules (drive letters, UNC shares).
std::wstring lexically_normal(const std::wstring& path) {
    return std::filesystem::path(path).lexically_normal().wstring();
}

std::wstring path_key(const std::wstring& path) { return platform::text::to_upper_invariant(path); }

std::size_t path_key_hash(std::wstring_view path) {
    return std::hash<std::wstring>{}(platform::text::to_upper_invariant(path));
}

bool same_path_key(std::wstring_view a, std::wstring_view b) {
    return platform::text::to_upper_invariant(a) == platform::text::to_upper_invariant(b);
}

bool exists(const std::wstring& path) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD error = GetLastError();
    if (is_not_found(error)) return false;
    throw std::filesystem::filesystem_error("exists", to_native(path),
                                            std::error_code(static_cast<int>(error), std::system_category()));
}

void create_directories(const std::wstring& path) {
    std::error_code error;
    std::filesystem::create_directories(to_native(path), error);
    if (error) throw std::filesystem::filesystem_error("create_directories", to_native(path), error);
}

namespace {

// The rest of an open file in blocks of 64 KiB, refused (ERROR_FILE_TOO_LARGE)
// as soon as it holds more than `limit` bytes.
std::optional<std::string> read_open_file(HANDLE file, std::size_t limit, std::uint32_t* error) {
    std::string bytes;
    std::string block(65536, '\0');
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, block.data(), static_cast<DWORD>(block.size()), &read, nullptr)) {
            if (error != nullptr) *error = GetLastError();
            return std::nullopt;
        }
        if (read == 0) break;
        if (read > limit - bytes.size()) {
            if (error != nullptr) *error = ERROR_FILE_TOO_LARGE;
            return std::nullopt;
        }
        bytes.append(block.data(), read);
    }
    if (error != nullptr) *error = 0;
    return bytes;
}

}  // namespace

std::optional<std::string> read_file(const std::wstring& path, std::uint32_t* error) {
    return read_file_at_most(path, static_cast<std::size_t>(-1), error);
}

std::optional<std::string> read_file_at_most(const std::wstring& path, std::size_t limit, std::uint32_t* error) {
    const file_handle file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        if (error != nullptr) *error = GetLastError();
        return std::nullopt;
    }
    return read_open_file(file.get(), limit, error);
}

namespace {

// Volume and file index, size, last-write and change time of an open file.
std::optional<file_identity> identity_of_handle(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandle(file, &info) ||
        !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        return std::nullopt;
    }
    file_identity identity;
    identity.exists = true;
    identity.volume = info.dwVolumeSerialNumber;
    identity.index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    identity.write_time = basic.LastWriteTime.QuadPart;
    identity.change_time = basic.ChangeTime.QuadPart;
    return identity;
}

}  // namespace

file_identity identify_file(const std::wstring& path, std::uint32_t* error) {
    const file_handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    std::optional<file_identity> identity;
    if (file) identity = identity_of_handle(file.get());
    if (!identity) {
        const DWORD failure = GetLastError();
        if (error != nullptr) *error = is_not_found(failure) ? ERROR_FILE_NOT_FOUND : failure;
        return {};
    }
    if (error != nullptr) *error = ERROR_SUCCESS;
    return *identity;
}

std::optional<std::string> read_file_identified(const std::wstring& path, std::size_t limit, file_identity& identity,
                                                std::uint32_t* error) {
    identity = file_identity{};
    const file_handle file(CreateFileW(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        const DWORD failure = GetLastError();
        if (error != nullptr) *error = is_not_found(failure) ? ERROR_FILE_NOT_FOUND : failure;
        return std::nullopt;
    }
    const auto taken = identity_of_handle(file.get());
    if (!taken) {
        if (error != nullptr) *error = GetLastError();
        return std::nullopt;
    }
    identity = *taken;
    return read_open_file(file.get(), limit, error);
}

std::uint32_t replace_if_unchanged(const std::wstring& target, const std::wstring& temporary,
                                   const file_identity& read) {
    DWORD result = ERROR_SUCCESS;
    if (!read.exists) {
        // Without MOVEFILE_REPLACE_EXISTING a file that appeared meanwhile stays.
        if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
            result = GetLastError();
            if (result == ERROR_ALREADY_EXISTS || result == ERROR_FILE_EXISTS) result = file_changed;
        }
    } else {
        std::optional<file_identity> now;
        {
            const file_handle file(CreateFileW(target.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (file) {
                now = identity_of_handle(file.get());
            } else if (!is_not_found(GetLastError())) {
                result = GetLastError();
            }
        }
        if (result == ERROR_SUCCESS && (!now || *now != read)) result = file_changed;
        if (result == ERROR_SUCCESS && !ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, 0, nullptr, nullptr)) {
            result = GetLastError();
        }
    }
    if (result != ERROR_SUCCESS) {
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temporary.c_str());
    }
    return result;
}

std::uint32_t write_file(const std::wstring& path, std::string_view bytes) {
    // CreateFileW documents that CREATE_ALWAYS with FILE_ATTRIBUTE_NORMAL
    // refuses an existing read-only, hidden or system file. Asking first keeps
    // that answer where the refusal is not enforced (Wine: hidden and system
    // are not checked, and read-only is a mode bit that root ignores).
    constexpr DWORD refused = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (attributes & refused) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    const file_handle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    // One WriteFile takes at most a DWORD's worth; texts here are far smaller,
    // the loop only keeps a huge one from being cut silently.
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 0x40000000u));
        DWORD written = 0;
        if (!WriteFile(file.get(), bytes.data() + done, chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_DISK_FULL;
        done += written;
    }
    return 0;
}

std::uint32_t touch(const std::wstring& path) {
    const file_handle file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // Null creation and access times leave them as they are.
    if (!SetFileTime(file.get(), nullptr, nullptr, &now)) return GetLastError();
    return 0;
}

bool read_first_byte(const std::wstring& path) {
    const file_handle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char byte = 0;
    DWORD read = 0;
    return ReadFile(file.get(), &byte, 1, &read, nullptr) && read >= 1;
}
std::optional<std::uint64_t> last_write_time(const std::wstring& path, std::uint32_t* error) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        if (error != nullptr) *error = GetLastError();
        return std::nullopt;
    }
    if (error != nullptr) *error = 0;
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
}

bool copy_file(const std::wstring& source, const std::wstring& destination) {
    if (!CopyFileW(source.c_str(), destination.c_str(), TRUE)) {
        const std::error_code error(static_cast<int>(GetLastError()), std::system_category());
        throw std::filesystem::filesystem_error("copy_file", std::filesystem::path(source),
                                                std::filesystem::path(destination), error);
    }
    return true;
}

std::uint32_t delete_file(const std::wstring& path) { return DeleteFileW(path.c_str()) ? 0 : GetLastError(); }

std::filesystem::path to_native(const std::wstring& path) { return std::filesystem::path(path); }

std::wstring module_path() {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return {};
        if (n < buffer.size()) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::optional<std::wstring> local_app_data() {
    static std::mutex guard;
    static std::optional<std::wstring> cached;
    const std::lock_guard lock(guard);
    if (cached) return cached;
    PWSTR folder = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) cached = folder;
    CoTaskMemFree(folder);
    return cached;
}

bool process_running(std::uint32_t id) {
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;  // runs, under another user
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

namespace {

// Deletes what dead processes left beside their targets in one folder; a
// temporary of a running process (another writer) stays.
void sweep_once(const std::wstring& temporary) {
    static std::mutex guard;
    static std::vector<std::wstring> swept;
    const auto slash = temporary.find_last_of(L"\\/");
    const std::wstring folder = slash == std::wstring::npos ? L"." : temporary.substr(0, slash);
    {
        const std::lock_guard lock(guard);
        const std::wstring key = path_key(folder);
        if (std::find(swept.begin(), swept.end(), key) != swept.end()) return;
        swept.push_back(key);
    }
    WIN32_FIND_DATAW data{};
    const find_handle find(FindFirstFileExW((folder + L"\\*.tmp").c_str(), FindExInfoBasic, &data,
                                            FindExSearchNameMatch, nullptr, 0));
    if (!find) return;
    do {
        const auto owner = temporary_owner(data.cFileName);
        if (!owner || *owner == process_id() || process_running(*owner)) continue;
        const std::wstring path = folder + L"\\" + data.cFileName;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find.get(), &data));
}

}  // namespace

std::uint32_t write_temporary(const std::wstring& target, const std::wstring& temporary, const void* bytes,
                              std::size_t length) {
    if (length > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    if (replacing && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    sweep_once(temporary);
    // The target's security descriptor from the creation on, so that a
    // private file is never readable by others through its temporary.
    std::vector<unsigned char> descriptor;
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    if (replacing) {
        constexpr SECURITY_INFORMATION wanted = DACL_SECURITY_INFORMATION;
        DWORD needed = 0;
        GetFileSecurityW(target.c_str(), wanted, nullptr, 0, &needed);
        if (needed > 0) {
            descriptor.resize(needed);
            if (GetFileSecurityW(target.c_str(), wanted, descriptor.data(), needed, &needed)) {
                security.lpSecurityDescriptor = descriptor.data();
            }
        }
    }
    const file_handle file(CreateFileW(temporary.c_str(), GENERIC_WRITE | DELETE, 0, &security, CREATE_NEW,
                                       replacing ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD result = ERROR_SUCCESS;
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes, static_cast<DWORD>(length), &written, nullptr)) result = GetLastError();
    else if (written != length) result = ERROR_WRITE_FAULT;
    else if (!FlushFileBuffers(file.get())) result = GetLastError();
    if (result != ERROR_SUCCESS) {
        // Deleted once the handle closes; the name is gone for others at once.
        FILE_DISPOSITION_INFO dispose{TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &dispose, sizeof dispose);
    }
    return result;
}

std::uint32_t write_new_file(const std::wstring& path, const void* bytes, std::size_t length, bool flush) {
    if (length > 0xFFFFFFFFu) return ERROR_INVALID_PARAMETER;
    const file_handle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes, static_cast<DWORD>(length), &written, nullptr)) return GetLastError();
    if (written != length) return ERROR_WRITE_FAULT;
    if (flush && !FlushFileBuffers(file.get())) return GetLastError();
    return ERROR_SUCCESS;
}

std::uint32_t replace_file(const std::wstring& replaced, const std::wstring& replacement) {
    return ReplaceFileW(replaced.c_str(), replacement.c_str(), nullptr, 0, nullptr, nullptr) ? ERROR_SUCCESS
                                                                                            : GetLastError();
}

// Both ReplaceFileW and MoveFileExW (write-through) flush as they go.
folder_flush_batch::folder_flush_batch() = default;
folder_flush_batch::~folder_flush_batch() = default;

// ReplaceFileW flushes and replaces each file at once: nothing is staged, so
// a group has nothing to commit and every step runs at once.
commit_group::commit_group() = default;
commit_group::~commit_group() = default;
void commit_group::commit() noexcept {}
bool commit_group::due() const { return false; }
bool commit_group::holds(const std::wstring&) const { return false; }

void when_committed(const std::wstring&, std::function<void(std::uint32_t error)> done) { done(0); }

std::uint32_t move_file(const std::wstring& from, const std::wstring& to) {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? ERROR_SUCCESS : GetLastError();
}

extended_attributes snapshot_extended_attributes(const std::wstring&) {
    extended_attributes snapshot;
    snapshot.taken = true;  // nothing is kept beside a file's content here
    return snapshot;
}

std::uint32_t restore_extended_attributes(const std::wstring&, const extended_attributes&) { return ERROR_SUCCESS; }

std::uint64_t tick_count() { return GetTickCount64(); }

std::uint32_t process_id() { return GetCurrentProcessId(); }

std::uint32_t thread_id() { return GetCurrentThreadId(); }

local_time now_local() {
    FILETIME utc{};
    GetSystemTimePreciseAsFileTime(&utc);
    // One conversion from UTC to local parts serves now and a file's times.
    const auto local = to_local_time((static_cast<std::uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime);
    return local ? *local : local_time{};
}

}  // namespace platform::file_system

namespace platform::file_system {

namespace {

// Positioned I/O on a synchronous handle: the offset rides in an OVERLAPPED.
OVERLAPPED at_offset(std::uint64_t offset) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return at;
}

}  // namespace

std::uint32_t exclusive_file::open(const std::wstring& path) {
    close();
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    handle_ = reinterpret_cast<std::intptr_t>(file);
    return ERROR_SUCCESS;
}

std::optional<std::uint64_t> exclusive_file::size() const {
    LARGE_INTEGER size{};
    if (handle_ == -1 || !GetFileSizeEx(reinterpret_cast<HANDLE>(handle_), &size)) return std::nullopt;
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::size_t exclusive_file::read_at(std::uint64_t offset, void* buffer, std::size_t length) const {
    std::size_t done = 0;
    while (handle_ != -1 && done < length) {
        OVERLAPPED at = at_offset(offset + done);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, 0x40000000u));
        DWORD read = 0;
        if (!ReadFile(reinterpret_cast<HANDLE>(handle_), static_cast<char*>(buffer) + done, chunk, &read, &at) ||
            read == 0) {
            break;
        }
        done += read;
    }
    return done;
}

std::size_t exclusive_file::write_at(std::uint64_t offset, const void* bytes, std::size_t length) {
    std::size_t done = 0;
    while (handle_ != -1 && done < length) {
        OVERLAPPED at = at_offset(offset + done);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(length - done, 0x40000000u));
        DWORD written = 0;
        if (!WriteFile(reinterpret_cast<HANDLE>(handle_), static_cast<const char*>(bytes) + done, chunk, &written,
                       &at) ||
            written == 0) {
            break;
        }
        done += written;
    }
    return done;
}

void exclusive_file::close() noexcept {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

}  // namespace platform::file_system
