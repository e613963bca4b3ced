#include "explorer/icon_error.h"

#include "platform/property_store.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace sortwell::explorer {

std::wstring icon_error_advice(std::uint32_t code) {
    switch (code) {
        case 2:
        case 3:
            return L"The location could not be found. Verify that the drive or network share is connected and try "
                   L"again.";
        case 5:
        case 1314:
            return L"Access was denied. Make sure your account has Modify permission for this folder or drive root, "
                   L"including permission to change file and folder attributes.";
        case 19:
            return L"The location is write-protected. Remove write protection or choose a location where you have "
                   L"Modify permission.";
        case 39:
        case 112:
            return L"The destination is out of space. Free some space and try again.";
        case 53:
        case 67:
        case 1201:
        case 1222:
        case 1231:
        case 2250:
            return L"The network location is unavailable. Reconnect to the network or mapped drive, verify the server "
                   L"and share name, and try again.";
        default:
            return L"Verify that the location is connected, writable, and that your account has Modify permission, "
                   L"then try again.";
    }
}

std::string icon_error_message(const std::wstring& action, const std::wstring& path, std::uint32_t code) {
    namespace ps = platform::property_store;
    std::wstring system_text = ps::message_text(ps::from_win32(code));
    // The system's texts end in a line break that the message does not want.
    while (!system_text.empty() && (system_text.back() == L'\n' || system_text.back() == L'\r')) system_text.pop_back();
    return platform::text::to_utf8(fmt::format(L"Could not {} '{}'.\n\n{}\n\nWindows error {}: {}", action, path,
                                               icon_error_advice(code), code, system_text));
}

}  // namespace sortwell::explorer
