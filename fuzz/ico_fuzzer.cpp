// Feeds arbitrary bytes to the .ico reader of the Linux graphics backend at
// the sizes the overlay asks for; a picture that comes out must be whole.

#include "platform/posix/imaging/icon_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const int wanted : {16, 35, 64, 256}) {
        const auto picture = platform::graphics::posix::icon_from_ico(bytes, wanted);
        if (picture && (picture->width <= 0 || picture->height <= 0 ||
                        picture->pixels.size() != static_cast<std::size_t>(picture->width) *
                                                      static_cast<std::size_t>(picture->height))) {
            std::abort();
        }
    }
    return 0;
}
