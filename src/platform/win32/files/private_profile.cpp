// Private profile files through the Windows functions themselves.

#include "platform/private_profile.h"

#include <windows.h>

#include <vector>

namespace platform::private_profile {

std::wstring get_string(const std::wstring& section, const std::wstring& key, const std::wstring& fallback,
                        const std::wstring& path, std::size_t buffer_size) {
    if (buffer_size == 0) return {};
    std::vector<wchar_t> buffer(buffer_size, L'\0');
    const DWORD length = GetPrivateProfileStringW(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                                  static_cast<DWORD>(buffer.size()), path.c_str());
    return std::wstring(buffer.data(), length);
}

std::uint32_t get_int(const std::wstring& section, const std::wstring& key, std::int32_t fallback,
                      const std::wstring& path) {
    return GetPrivateProfileIntW(section.c_str(), key.c_str(), fallback, path.c_str());
}

bool write_string(const std::wstring& section, const wchar_t* key, const wchar_t* value, const std::wstring& path) {
    return WritePrivateProfileStringW(section.c_str(), key, value, path.c_str()) != FALSE;
}

}  // namespace platform::private_profile
