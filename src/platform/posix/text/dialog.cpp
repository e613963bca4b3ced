// Linux message dialog: the text on standard error.

#include "platform/dialog.h"

#include "platform/console.h"

namespace platform::dialog {

void message_dialog(const std::wstring& text) { console::write(console::stream::error, text + L"\n"); }

}  // namespace platform::dialog
