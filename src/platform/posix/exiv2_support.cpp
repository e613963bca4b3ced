#include "platform/posix/exiv2_support.h"

#include "platform/file_names.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <exiv2/exiv2.hpp>

#include <filesystem>
#include <mutex>

namespace platform::posix {

void prepare_exiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize();
    });
}

property_store::hresult write_beside_and_replace(const std::string& path, const std::vector<unsigned char>& bytes) {
    // The temporary file must sit on the target's volume for the rename.
    std::error_code error_code;
    const auto resolved = std::filesystem::canonical(path, error_code);
    const std::wstring target = platform::text::from_utf8_name(error_code ? path : resolved.string());
    const std::wstring temporary = platform::file_system::temporary_name_beside(target);
    std::uint32_t error = platform::file_system::write_temporary(target, temporary, bytes.data(), bytes.size());
    if (error != 0) return property_store::from_win32(error);
    error = platform::file_system::replace_file(target, temporary);
    if (error != 0) platform::file_system::delete_file(temporary);
    return property_store::from_win32(error);
}

}  // namespace platform::posix
