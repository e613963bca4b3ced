#pragma once
// The standard streams and the interrupt key. Windows writes UTF-16 to a
// console with WriteConsoleW and UTF-8 bytes to a redirected stream; Linux
// terminals take UTF-8, so both cases write UTF-8 bytes there. SIGPIPE is
// ignored on Linux so that a closed pipe never ends the run.

#include <string>
#include <string_view>
#include <vector>

namespace platform::console {

enum class stream { output, error };

/// Writes the whole text to the stream. Failures (no handle, closed pipe,
/// full disk) are ignored: output never fails a run.
void write(stream target, std::wstring_view text);

/// All bytes of standard input, read in blocks of 64 KiB until a read fails
/// or returns nothing. A missing handle gives an empty string.
std::string read_all_input();

/// True when the stream is a terminal (a console on Windows) rather than a
/// file or pipe, so that a caller may redraw a line in place.
bool is_terminal(stream target);

/// The program's arguments as wide texts, element 0 (the program) included.
/// Windows takes them from the UTF-16 command line; Linux decodes argv as
/// UTF-8.
std::vector<std::wstring> arguments(int argc, char** argv);

/// Installs the interrupt handler: Ctrl+C and Ctrl+Break (SIGINT on Linux)
/// call on_interrupt and the process keeps running; every other ending event
/// keeps its default handling. on_interrupt must be async-signal-safe.
void install_interrupt_handler(void (*on_interrupt)());

}  // namespace platform::console
