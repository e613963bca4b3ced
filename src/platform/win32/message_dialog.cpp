// Windows notices: a message box.

#include "platform/message_dialog.h"

#include <windows.h>

namespace platform::message_dialog {

void show(const std::wstring& caption, const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

std::vector<std::wstring> shown_texts() { return {}; }

}  // namespace platform::message_dialog
