// Raster images on Windows: icon extraction through the shell and GDI, and
// drawing and PNG coding through GDI+.

#include "platform/graphics.h"

#include "formats/icon_group.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <gdiplus.h>

#include <cstring>
#include <memory>
#include <vector>

namespace platform::graphics {
namespace {

struct icon_owner {
    HICON icon = nullptr;
    ~icon_owner() {
        if (icon != nullptr) DestroyIcon(icon);
    }
};

struct stream_owner {
    IStream* stream = nullptr;
    ~stream_owner() {
        if (stream != nullptr) stream->Release();
    }
};

// Draws the icon into a zeroed top-down 32-bit DIB and returns its
// premultiplied BGRA pixels; `flags` picks the image or the mask.
std::vector<std::uint32_t> render(HICON icon, int size, UINT flags) {
    std::vector<std::uint32_t> pixels;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size;
    info.bmiHeader.biHeight = -size;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dc != nullptr && bitmap != nullptr && bits != nullptr) {
        const auto count = static_cast<std::size_t>(size) * static_cast<std::size_t>(size);
        std::memset(bits, 0, count * 4);
        HGDIOBJ old = SelectObject(dc, bitmap);
        if (DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, flags)) {
            GdiFlush();
            pixels.assign(static_cast<const std::uint32_t*>(bits), static_cast<const std::uint32_t*>(bits) + count);
        }
        SelectObject(dc, old);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (dc != nullptr) DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

std::uint32_t unpremultiply(std::uint32_t pixel) {
    const std::uint32_t alpha = pixel >> 24;
    if (alpha == 0) return 0;
    if (alpha == 255) return pixel;
    auto part = [alpha](std::uint32_t value) { return std::min<std::uint32_t>(255, (value * 255 + alpha / 2) / alpha); };
    return (alpha << 24) | (part((pixel >> 16) & 0xFF) << 16) | (part((pixel >> 8) & 0xFF) << 8) | part(pixel & 0xFF);
}

// A GDI+ bitmap over the picture's own pixels (PixelFormat32bppARGB is
// 0xAARRGGBB, not premultiplied, as ours).
std::unique_ptr<Gdiplus::Bitmap> wrap(const image& picture) {
    return std::make_unique<Gdiplus::Bitmap>(
        picture.width, picture.height, picture.width * 4, PixelFormat32bppARGB,
        reinterpret_cast<BYTE*>(const_cast<std::uint32_t*>(picture.pixels.data())));
}

bool read_back(Gdiplus::Bitmap& bitmap, image& out) {
    out = image(static_cast<int>(bitmap.GetWidth()), static_cast<int>(bitmap.GetHeight()));
    if (out.width <= 0 || out.height <= 0) return false;
    Gdiplus::Rect all(0, 0, out.width, out.height);
    Gdiplus::BitmapData data{};
    if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) return false;
    for (int y = 0; y < out.height; ++y) {
        std::memcpy(&out.at(0, y), static_cast<const BYTE*>(data.Scan0) + static_cast<std::ptrdiff_t>(y) * data.Stride,
                    static_cast<std::size_t>(out.width) * 4);
    }
    bitmap.UnlockBits(&data);
    return true;
}

bool png_encoder(CLSID& out) {
    UINT count = 0;
    UINT size = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
    std::vector<BYTE> buffer(size);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType != nullptr && std::wcscmp(codecs[i].MimeType, L"image/png") == 0) {
            out = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

}  // namespace

session::session() {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    started_ = Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok;
    token_ = token;
}

session::~session() {
    if (started_) Gdiplus::GdiplusShutdown(token_);
}

std::optional<image> extract_icon(const std::wstring& path, int index, int size) {
    if (size <= 0 || size > 1024) return std::nullopt;
    icon_owner owner;
    UINT id = 0;
    if (PrivateExtractIconsW(path.c_str(), index, size, size, &owner.icon, &id, 1, 0) != 1 || owner.icon == nullptr) {
        owner.icon = nullptr;
        const auto both = static_cast<UINT>(MAKELONG(size, size));
        if (FAILED(SHDefExtractIconW(path.c_str(), index, 0, &owner.icon, nullptr, both)) || owner.icon == nullptr) {
            return std::nullopt;
        }
    }
    const auto colour = render(owner.icon, size, DI_NORMAL);
    if (colour.empty()) return std::nullopt;
    image out(size, size);
    bool any_alpha = false;
    for (std::size_t i = 0; i < colour.size(); ++i) {
        out.pixels[i] = unpremultiply(colour[i]);
        any_alpha = any_alpha || (colour[i] >> 24) != 0;
    }
    if (!any_alpha) {
        // An icon without alpha: its mask says what is transparent (white).
        const auto mask = render(owner.icon, size, DI_MASK);
        for (std::size_t i = 0; i < colour.size(); ++i) {
            const bool transparent = !mask.empty() && (mask[i] & 0xFFFFFF) != 0;
            out.pixels[i] = transparent ? 0 : (colour[i] | 0xFF000000U);
        }
    }
    return out;
}

std::optional<std::string> icon_group_file(const std::wstring& module, std::uint16_t id) {
    HMODULE loaded = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (loaded == nullptr) return std::nullopt;
    // The bytes of a resource stay valid while the module is loaded.
    auto resource = [loaded](std::uint16_t name, LPCWSTR type) -> std::optional<std::string_view> {
        HRSRC found = FindResourceW(loaded, MAKEINTRESOURCEW(name), type);
        if (found == nullptr) return std::nullopt;
        HGLOBAL data = LoadResource(loaded, found);
        const void* bytes = data == nullptr ? nullptr : LockResource(data);
        if (bytes == nullptr) return std::nullopt;
        return std::string_view(static_cast<const char*>(bytes), SizeofResource(loaded, found));
    };
    std::optional<std::string> out;
    if (const auto group = resource(id, RT_GROUP_ICON)) {
        out =
            formats::ico_from_icon_group(*group, [&resource](std::uint16_t image) { return resource(image, RT_ICON); });
    }
    FreeLibrary(loaded);
    return out;
}

void draw(image& target, const image& source, int x, int y, int width, int height, bool copy) {
    if (width <= 0 || height <= 0 || source.width <= 0 || source.height <= 0 || target.width <= 0) return;
    image result;
    {
        auto canvas = wrap(target);
        auto picture = wrap(source);
        Gdiplus::Graphics graphics(canvas.get());
        graphics.SetCompositingMode(copy ? Gdiplus::CompositingModeSourceCopy : Gdiplus::CompositingModeSourceOver);
        graphics.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHighQuality);
        graphics.DrawImage(picture.get(), Gdiplus::Rect(x, y, width, height));
        graphics.Flush(Gdiplus::FlushIntentionSync);
        if (!read_back(*canvas, result)) return;
    }
    target = std::move(result);
}

std::optional<std::string> encode_png(const image& picture) {
    if (picture.width <= 0 || picture.height <= 0) return std::nullopt;
    CLSID encoder{};
    if (!png_encoder(encoder)) return std::nullopt;
    stream_owner owner;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, &owner.stream))) return std::nullopt;
    auto bitmap = wrap(picture);
    if (bitmap->Save(owner.stream, &encoder, nullptr) != Gdiplus::Ok) return std::nullopt;
    STATSTG stat{};
    if (FAILED(owner.stream->Stat(&stat, STATFLAG_NONAME))) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(stat.cbSize.QuadPart), '\0');
    LARGE_INTEGER start{};
    owner.stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    if (FAILED(owner.stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read))) return std::nullopt;
    bytes.resize(read);
    return bytes;
}

std::optional<image> decode_png(std::string_view bytes) {
    static constexpr unsigned char signature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (bytes.size() < sizeof signature || std::memcmp(bytes.data(), signature, sizeof signature) != 0) {
        return std::nullopt;
    }
    stream_owner owner;
    owner.stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
    if (owner.stream == nullptr) return std::nullopt;
    Gdiplus::Bitmap bitmap(owner.stream);
    if (bitmap.GetLastStatus() != Gdiplus::Ok) return std::nullopt;
    image out;
    if (!read_back(bitmap, out)) return std::nullopt;
    return out;
}

int desktop_dpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen == nullptr ? 96 : GetDeviceCaps(screen, LOGPIXELSX);
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

}  // namespace platform::graphics
