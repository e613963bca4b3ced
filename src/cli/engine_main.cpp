// The engine module's entry: the run of one command line, as main runs it
// where qlm is one program.

#include "cli/engine_entry.h"
#include "cli/run_command.h"
#include "cli/run_frame.h"
#include "platform/console.h"

extern "C" int qlm_engine_main(int argc, char** argv) noexcept {
    return qlm::run(platform::console::arguments(argc, argv), qlm::run_command);
}
