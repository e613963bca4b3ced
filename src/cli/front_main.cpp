// qlm's front where the engine is a module of its own: --version, help and
// the usage errors are answered here without loading the engine's libraries;
// every other command line goes to the engine, which runs it whole.

#include "cli/command_line_parser.h"
#include "cli/engine_entry.h"
#include "cli/output.h"
#include "cli/run_frame.h"
#include "platform/console.h"
#include "platform/program_module.h"

#include <stdexcept>

int main(int argc, char** argv) {
    const std::vector<std::wstring> arguments = platform::console::arguments(argc, argv);
    std::wstring reason;
    if (qlm::routed_command(qlm::parse_command_line(arguments)) != nullptr) {
        if (const auto engine = platform::program_module::load(QLM_ENGINE_MODULE, engine_entry_name, reason)) {
            return engine(argc, argv);
        }
    }
    // The frame runs no command here; a missing engine is reported as any
    // failed command is (exit code 1, internal_error, a log line).
    return qlm::run(arguments, [&reason](const qlm::catalog::command_spec&, const qlm::parsed_arguments&) -> int {
        throw std::runtime_error("Could not load the engine module: " + qlm::to_utf8(reason));
    });
}
