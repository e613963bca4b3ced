// Raster images on Linux: icons read from .ico, PE and PNG files, a bicubic
// scaler, alpha blending, and PNG through libpng's simplified API.

#include "platform/graphics.h"

#include "platform/file_system.h"
#include "platform/posix/imaging/icon_files.h"

#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace platform::graphics {
namespace {

// ---- scaling and blending ---------------------------------------------------

struct premultiplied {
    float a = 0;
    float r = 0;
    float g = 0;
    float b = 0;
};

premultiplied unpack(std::uint32_t argb) {
    const float a = static_cast<float>(argb >> 24) / 255.0F;
    return {a, static_cast<float>((argb >> 16) & 0xFFU) * a, static_cast<float>((argb >> 8) & 0xFFU) * a,
            static_cast<float>(argb & 0xFFU) * a};
}

std::uint32_t channel(float value) {
    return static_cast<std::uint32_t>(std::lround(std::clamp(value, 0.0F, 255.0F)));
}

std::uint32_t pack(const premultiplied& p) {
    const float a = std::clamp(p.a, 0.0F, 1.0F);
    if (a <= 0.0F) return 0;
    return (channel(a * 255.0F) << 24) | (channel(p.r / a) << 16) | (channel(p.g / a) << 8) | channel(p.b / a);
}

// Catmull-Rom style cubic (a = -0.5), the high-quality bicubic of GDI+.
float cubic(float x) {
    x = std::fabs(x);
    if (x < 1.0F) return (1.5F * x - 2.5F) * x * x + 1.0F;
    if (x < 2.0F) return ((-0.5F * x + 2.5F) * x - 4.0F) * x + 2.0F;
    return 0.0F;
}

struct tap {
    int first = 0;
    std::vector<float> weights;
};

// The source taps of every target position along one axis. When shrinking,
// the kernel is widened by the scale so that every source pixel counts.
std::vector<tap> taps(int source, int target) {
    const float scale = static_cast<float>(source) / static_cast<float>(target);
    const float widen = std::max(scale, 1.0F);
    const float support = 2.0F * widen;
    std::vector<tap> out(static_cast<std::size_t>(target));
    for (int i = 0; i < target; ++i) {
        const float centre = (static_cast<float>(i) + 0.5F) * scale - 0.5F;
        const int first = static_cast<int>(std::floor(centre - support)) + 1;
        const int last = static_cast<int>(std::floor(centre + support));
        tap& t = out[static_cast<std::size_t>(i)];
        t.first = first;
        float sum = 0;
        for (int s = first; s <= last; ++s) {
            const float w = cubic((static_cast<float>(s) - centre) / widen);
            t.weights.push_back(w);
            sum += w;
        }
        if (sum != 0.0F) {
            for (float& w : t.weights) w /= sum;
        }
    }
    return out;
}

image scale(const image& source, int width, int height) {
    if (source.width == width && source.height == height) return source;
    const auto across = taps(source.width, width);
    const auto down = taps(source.height, height);
    // Premultiplied once: each source pixel is read by several taps.
    std::vector<premultiplied> pixels(source.pixels.size());
    std::transform(source.pixels.begin(), source.pixels.end(), pixels.begin(), unpack);
    const auto source_width = static_cast<std::size_t>(source.width);
    const auto target_width = static_cast<std::size_t>(width);
    std::vector<premultiplied> rows(target_width * static_cast<std::size_t>(source.height));
    for (std::size_t y = 0; y < static_cast<std::size_t>(source.height); ++y) {
        const premultiplied* line = &pixels[y * source_width];
        for (std::size_t x = 0; x < target_width; ++x) {
            premultiplied sum;
            const tap& t = across[x];
            for (std::size_t k = 0; k < t.weights.size(); ++k) {
                const auto sx = static_cast<std::size_t>(std::clamp(t.first + static_cast<int>(k), 0, source.width - 1));
                const premultiplied& p = line[sx];
                const float w = t.weights[k];
                sum.a += p.a * w;
                sum.r += p.r * w;
                sum.g += p.g * w;
                sum.b += p.b * w;
            }
            rows[y * target_width + x] = sum;
        }
    }
    image out(width, height);
    for (int y = 0; y < height; ++y) {
        const tap& t = down[static_cast<std::size_t>(y)];
        for (std::size_t x = 0; x < target_width; ++x) {
            premultiplied sum;
            for (std::size_t k = 0; k < t.weights.size(); ++k) {
                const auto sy = static_cast<std::size_t>(std::clamp(t.first + static_cast<int>(k), 0, source.height - 1));
                const premultiplied& p = rows[sy * target_width + x];
                const float w = t.weights[k];
                sum.a += p.a * w;
                sum.r += p.r * w;
                sum.g += p.g * w;
                sum.b += p.b * w;
            }
            out.at(static_cast<int>(x), y) = pack(sum);
        }
    }
    return out;
}

std::uint32_t blend(std::uint32_t under, std::uint32_t over) {
    const std::uint32_t alpha = over >> 24;
    if (alpha == 255) return over;
    if (alpha == 0) return under;
    const premultiplied top = unpack(over);
    const premultiplied bottom = unpack(under);
    const float rest = 1.0F - top.a;
    return pack({top.a + bottom.a * rest, top.r + bottom.r * rest, top.g + bottom.g * rest, top.b + bottom.b * rest});
}

}  // namespace

session::session() : started_(true) {}
session::~session() = default;

std::optional<image> extract_icon(const std::wstring& path, int index, int size) {
    if (size <= 0 || size > 1024) return std::nullopt;
    const auto bytes = file_system::read_file(path);
    if (!bytes) return std::nullopt;
    std::optional<image> picture;
    if (bytes->size() >= 2 && (*bytes)[0] == 'M' && (*bytes)[1] == 'Z') {
        picture = posix::icon_from_pe(*bytes, index, size);
    } else if (index == 0) {
        picture = posix::is_png(*bytes) ? decode_png(*bytes) : posix::icon_from_ico(*bytes, size);
    }
    if (!picture || picture->width <= 0 || picture->height <= 0) return std::nullopt;
    return scale(*picture, size, size);
}

std::optional<std::string> icon_group_file(const std::wstring& module, std::uint16_t id) {
    const auto bytes = file_system::read_file(module);
    if (!bytes) return std::nullopt;
    return posix::icon_group_from_pe(*bytes, id);
}

void draw(image& target, const image& source, int x, int y, int width, int height, bool copy) {
    if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0) return;
    const image scaled = scale(source, width, height);
    for (int row = std::max(0, -y); row < height && y + row < target.height; ++row) {
        for (int column = std::max(0, -x); column < width && x + column < target.width; ++column) {
            std::uint32_t& pixel = target.at(x + column, y + row);
            const std::uint32_t over = scaled.at(column, row);
            pixel = copy ? over : blend(pixel, over);
        }
    }
}

std::optional<std::string> encode_png(const image& picture) {
    if (picture.width <= 0 || picture.height <= 0) return std::nullopt;
    png_image header{};
    header.version = PNG_IMAGE_VERSION;
    header.width = static_cast<png_uint_32>(picture.width);
    header.height = static_cast<png_uint_32>(picture.height);
    header.format = PNG_FORMAT_BGRA;  // 0xAARRGGBB in little-endian memory
    // Speed over size: an overlay is rewritten on every change, and a size
    // query first would compress the picture twice.
    header.flags = PNG_IMAGE_FLAG_FAST;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(header);
    std::string out(size, '\0');
    if (png_image_write_to_memory(&header, out.data(), &size, 0, picture.pixels.data(), 0, nullptr) == 0) {
        return std::nullopt;
    }
    out.resize(size);
    return out;
}

std::optional<image> decode_png(std::string_view bytes) {
    png_image header{};
    header.version = PNG_IMAGE_VERSION;
    if (!posix::is_png(bytes) || png_image_begin_read_from_memory(&header, bytes.data(), bytes.size()) == 0) {
        png_image_free(&header);
        return std::nullopt;
    }
    if (header.width == 0 || header.height == 0 || header.width > 4096 || header.height > 4096) {
        png_image_free(&header);
        return std::nullopt;
    }
    header.format = PNG_FORMAT_BGRA;
    image out(static_cast<int>(header.width), static_cast<int>(header.height));
    if (png_image_finish_read(&header, nullptr, out.pixels.data(), 0, nullptr) == 0) {
        png_image_free(&header);
        return std::nullopt;
    }
    return out;
}

int desktop_dpi() { return 96; }

}  // namespace platform::graphics
