#pragma once
// One-line text helpers the suites share: UTF-8 of wide text, which path
// style this build uses, and searches in captured log text.

#include "platform/file_system.h"
#include "platform/text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace qlm::testing {

inline std::string utf8(const std::wstring& text) { return platform::text::to_utf8(text); }

/// True on the Windows build, where paths use backslashes.
inline bool on_windows() { return platform::file_system::separator == L'\\'; }

/// True when the text holds the part anywhere.
inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

/// True when one of the messages (log_capture::messages) is exactly the wanted one.
inline bool has_message(const std::vector<std::string>& messages, const std::string& wanted) {
    return std::find(messages.begin(), messages.end(), wanted) != messages.end();
}

}  // namespace qlm::testing
