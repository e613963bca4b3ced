// Feeds arbitrary bytes to the PE icon reader: icon groups by position and
// by id, and a group made back into .ico bytes, which must be an icon file
// whose entries all lie inside it.

#include "platform/posix/imaging/icon_files.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

std::uint32_t little_endian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint32_t value = 0;
    for (std::size_t i = width; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    namespace icons = platform::graphics::posix;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const int index : {0, 1, -1, -101}) {
        const auto picture = icons::icon_from_pe(bytes, index, 64);
        if (picture && picture->pixels.size() != static_cast<std::size_t>(picture->width) *
                                                     static_cast<std::size_t>(picture->height)) {
            std::abort();
        }
    }
    for (const std::uint16_t id : {std::uint16_t{1}, std::uint16_t{101}}) {
        const auto ico = icons::icon_group_from_pe(bytes, id);
        if (!ico) continue;
        const std::size_t count = ico->size() >= 6 ? little_endian(*ico, 4, 2) : 0;
        if (count == 0 || ico->size() < 6 + 16 * count) std::abort();
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t length = little_endian(*ico, 6 + 16 * i + 8, 4);
            const std::size_t offset = little_endian(*ico, 6 + 16 * i + 12, 4);
            if (offset < 6 + 16 * count || offset + length > ico->size()) std::abort();
        }
        (void)icons::icon_from_ico(*ico, 32);
    }
    return 0;
}
