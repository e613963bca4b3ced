// sortwell-batch: runs a batch job file through the suite's batch worker.

#include "batch_host/batch_host.h"
#include "platform/console.h"

int main(int argc, char** argv) { return sortwell::batch_host::run(platform::console::arguments(argc, argv)); }
