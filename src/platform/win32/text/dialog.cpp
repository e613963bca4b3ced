// Windows message dialog: a modal message box.

#include "platform/dialog.h"

#include <windows.h>

namespace platform::dialog {

void message_dialog(const std::wstring& text) {
    MessageBoxW(nullptr, text.c_str(), L"Quillmark", MB_OK | MB_ICONINFORMATION);
}

}  // namespace platform::dialog
