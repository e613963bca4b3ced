#pragma once
// A modal text with an OK button, for notices a run cannot leave unsaid.
// Windows shows a message box; Linux has no desktop to assume, so the text
// goes to standard error, and tests read what was shown.

#include <string>
#include <vector>

namespace platform::message_dialog {

/// Shows the text under the caption and returns when the user closed it
/// (MessageBoxW with MB_OK | MB_ICONINFORMATION; Linux: "caption: text" on
/// standard error).
void show(const std::wstring& caption, const std::wstring& text);

/// The texts shown so far by this process (Linux); empty on Windows.
std::vector<std::wstring> shown_texts();

}  // namespace platform::message_dialog
