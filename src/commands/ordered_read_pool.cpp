#include "commands/ordered_read_pool.h"

#include <algorithm>

namespace qlm::metadata_commands {

std::size_t reader_count(std::size_t items) {
    const std::size_t cores = std::max<std::size_t>(1, std::thread::hardware_concurrency());
    return std::max<std::size_t>(1, std::min(cores, items));
}

}  // namespace qlm::metadata_commands
