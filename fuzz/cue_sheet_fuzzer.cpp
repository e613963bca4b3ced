// Feeds arbitrary bytes to the cue sheet decoder and FILE line parser; only
// their own runtime errors may come out.

#include "organizer/cue_sheets.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace org = sortwell::organizer;
    try {
        (void)org::cue_file_references(
            org::decode_cue_text(std::string_view(reinterpret_cast<const char*>(data), size)));
    } catch (const std::runtime_error&) {
        // the cue sheet messages
    }
    return 0;
}
