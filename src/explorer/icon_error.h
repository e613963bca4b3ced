#pragma once
// The one long, friendly message with which icon work reports a failure:
// what could not be done to which path, advice chosen by the Win32 error
// code, and the code with the system's text for it.

#include <cstdint>
#include <string>

namespace sortwell::explorer {

/// The advice for a Win32 error code (not found, access denied,
/// write-protected, out of space, network unavailable, anything else).
std::wstring icon_error_advice(std::uint32_t code);

/// "Could not {action} '{path}'.\n\n{advice}\n\nWindows error {code}: {text}"
/// as UTF-8.
std::string icon_error_message(const std::wstring& action, const std::wstring& path, std::uint32_t code);

}  // namespace sortwell::explorer
