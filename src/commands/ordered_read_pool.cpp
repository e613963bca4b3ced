#include "commands/ordered_read_pool.h"

#include <algorithm>

namespace qlm::metadata_commands {

// The width does not narrow with the machine's load: the scheduler shares
// busy cores per thread, so with a core taken by another program two readers
// still finish well before one (the XMP parse, serialised by Exiv2's lock,
// overlaps the reads, attribute lookups and output of the other reader).
std::size_t reader_count(std::size_t items) {
    const std::size_t cores = std::max<std::size_t>(1, std::thread::hardware_concurrency());
    return std::max<std::size_t>(1, std::min(cores, items));
}

}  // namespace qlm::metadata_commands
