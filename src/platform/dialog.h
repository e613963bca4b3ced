#pragma once
// The suite's modal message to the user. Windows shows a message box with an
// OK button; Linux has no desktop session to count on, so the text goes to
// standard error, followed by a line end.

#include <string>

namespace platform::dialog {

/// Shows the text and returns when the user has dismissed it (MessageBoxW
/// with MB_OK and the caption "Quillmark"). Failures are ignored.
void message_dialog(const std::wstring& text);

}  // namespace platform::dialog
