// qlm: tags, ratings, comments and people of files and folders.

#include "cli/run_command.h"
#include "cli/run_frame.h"
#include "platform/console.h"

int main(int argc, char** argv) { return qlm::run(platform::console::arguments(argc, argv), qlm::run_command); }
