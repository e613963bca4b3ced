#include "platform/shell.h"

#include <shlobj.h>
#include <shobjidl.h>
#include <thumbcache.h>
#include <windows.h>

namespace platform::shell {
namespace {

// CLSID_LocalThumbnailCache; MinGW's thumbcache.h declares the class without its id.
constexpr CLSID local_thumbnail_cache = {0x50ef4544, 0xac9f, 0x4a8e, {0xb2, 0x1b, 0x8a, 0x26, 0x18, 0x0d, 0xb1, 0x3f}};

// Owns one COM interface pointer and releases it once.
template <typename T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;

    T* operator->() const { return pointer_; }
    T* get() const { return pointer_; }
    T** put() { return &pointer_; }
    void** put_void() { return reinterpret_cast<void**>(&pointer_); }

private:
    T* pointer_ = nullptr;
};

}  // namespace

void change_notify(std::int32_t event, std::uint32_t flags, const std::wstring& path1, const std::wstring& path2) {
    SHChangeNotify(static_cast<LONG>(event), static_cast<UINT>(flags), path1.empty() ? nullptr : path1.c_str(),
                   path2.empty() ? nullptr : path2.c_str());
}

std::vector<change_notification> recorded_notifications() { return {}; }

void clear_recorded_notifications() {}

bool notifications_recorded() { return false; }

void refresh_thumbnail(const std::wstring& path) {
    com_ptr<IThumbnailCache> cache;
    if (FAILED(CoCreateInstance(local_thumbnail_cache, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IThumbnailCache),
                                cache.put_void()))) {
        return;
    }
    com_ptr<IShellItem> item;
    if (FAILED(SHCreateItemFromParsingName(path.c_str(), nullptr, __uuidof(IShellItem), item.put_void()))) return;
    // Forced extraction replaces the cached bitmap; the bitmap itself is not needed.
    com_ptr<ISharedBitmap> bitmap;
    cache->GetThumbnail(item.get(), 256, WTS_FORCEEXTRACTION, bitmap.put(), nullptr, nullptr);
}

}  // namespace platform::shell
