#pragma once
// Raster images for icon composition: 32-bit ARGB images, icon extraction at
// a wanted size, high-quality scaled drawing with alpha blending, and PNG
// encoding.
//
// Windows: GDI+ (started per session), PrivateExtractIconsW or
// SHDefExtractIconW, DrawIconEx into a zeroed top-down 32-bit DIB (icons
// without alpha take their transparency from the mask), Graphics::DrawImage
// with high-quality bicubic interpolation, the GDI+ PNG encoder; the desktop
// DPI from the screen's device context.
// Linux: our own code plus libpng. Icons come from .ico files (PNG or BMP
// entries; a BMP entry has its doubled height and AND mask), from the icon
// groups of PE files (index >= 0: the n-th group, < 0: the group with that
// id) and from PNG files; the entry nearest the wanted size (the smallest at
// least as large, else the largest) is scaled with a bicubic filter that is
// widened when shrinking, on premultiplied pixels. The desktop DPI is 96.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::graphics {

/// A picture: rows top-down, each pixel 0xAARRGGBB, not premultiplied.
struct image {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    image() = default;
    /// A transparent picture of the size.
    image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h)) {}
    std::uint32_t& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
    std::uint32_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)]; }
};

/// The graphics library for the life of the object (GdiplusStartup and
/// GdiplusShutdown; nothing on Linux).
class session {
public:
    session();
    ~session();
    session(const session&) = delete;
    session& operator=(const session&) = delete;
    /// False when the library could not start.
    bool started() const { return started_; }

private:
    std::uintptr_t token_ = 0;
    bool started_ = false;
};

/// The icon `index` of the file at size x size pixels, or nullopt when the
/// file holds no such icon or cannot be read.
std::optional<image> extract_icon(const std::wstring& path, int index, int size);

/// The icon group with the id in the module (a DLL or EXE, loaded as a data
/// file) as the bytes of an .ico file: the group's images in its order, each
/// given a 16-byte directory entry. nullopt when the module cannot be read or
/// has no such group. Linux reads the module with the PE reader above.
std::optional<std::string> icon_group_file(const std::wstring& module, std::uint16_t id);

/// Draws `source` scaled into the rectangle (x, y, width, height) of
/// `target` with high-quality bicubic interpolation, blending over what is
/// there, or replacing it when `copy` is set (source-copy compositing).
/// Parts outside the target are clipped.
void draw(image& target, const image& source, int x, int y, int width, int height, bool copy = false);

/// The picture as a PNG stream (8-bit RGBA, not premultiplied), or nullopt
/// when the encoder is unavailable or fails.
std::optional<std::string> encode_png(const image& picture);

/// A PNG stream decoded into a picture, or nullopt for bytes that are not a
/// PNG the decoder accepts.
std::optional<image> decode_png(std::string_view bytes);

/// The desktop's DPI (96 at 100 % scale).
int desktop_dpi();

}  // namespace platform::graphics
