// Feeds arbitrary bytes to the PNG decoder of the graphics facility; a
// picture that comes out must encode and decode again to the same size.

#include "platform/graphics.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace graphics = platform::graphics;
    const auto picture = graphics::decode_png(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!picture) return 0;
    const auto png = graphics::encode_png(*picture);
    if (!png) std::abort();
    const auto again = graphics::decode_png(*png);
    if (!again || again->width != picture->width || again->height != picture->height) {
        std::abort();
    }
    return 0;
}
