#pragma once
// The entry of the engine module: where qlm is split into a front and an
// engine, the front hands it every command line that runs a command.

/// The exported name of the entry, for the front's lookup.
inline constexpr char engine_entry_name[] = "qlm_engine_main";

/// Runs the whole command line (main's arguments) exactly as the one-program
/// qlm does, log line included, and returns the process exit code. No
/// exception crosses into the front, whose C++ runtime is its own.
extern "C" int qlm_engine_main(int argc, char** argv) noexcept;
