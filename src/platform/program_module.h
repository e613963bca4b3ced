#pragma once
// A part of the program that lives in a module beside the executable and is
// loaded only when it is needed. The Linux build splits qlm this way: a small
// front answers --version, help and usage errors, and the engine, which maps
// the metadata libraries (Exiv2, TagLib, libpng ...), is loaded only for the
// commands. Windows ships one qlm.exe, as its installer and shell verbs
// expect, so this facility has no win32 backend and no Windows caller.

#include <string>

namespace platform::program_module {

/// A module's entry: main's arguments in, the process exit code out.
using entry_point = int (*)(int argc, char** argv);

/// Loads the module `file_name` from the folder of the running executable
/// (links resolved, so a link to qlm elsewhere finds the real folder) and
/// returns its exported function `symbol`. The module stays loaded until the
/// process ends. On failure returns nullptr and puts the loader's reason in
/// `error`.
entry_point load(const std::wstring& file_name, const char* symbol, std::wstring& error);

}  // namespace platform::program_module
