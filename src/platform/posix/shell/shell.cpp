// Linux has no shell to notify: notifications are recorded for the tests, and
// a thumbnail refresh removes the file's entries from the freedesktop cache.

#include "platform/shell.h"

#include "formats/md5.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <array>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <string_view>
#include <system_error>

namespace platform::shell {
namespace {

std::mutex& guard() {
    static std::mutex instance;
    return instance;
}

std::vector<change_notification>& recorded() {
    static std::vector<change_notification> list;
    return list;
}

// The URI as GLib's g_filename_to_uri writes it, since file managers name the
// cache entries by exactly that text: unreserved characters and the path
// punctuation !$&'()*+,/:=@~ stay, every other byte becomes %XX (upper case).
std::string file_uri(const std::string& absolute_path) {
    constexpr std::string_view hex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : absolute_path) {
        const auto byte = static_cast<unsigned char>(c);
        const bool keep = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                          (byte >= '0' && byte <= '9') ||
                          std::string_view("-_.!~*'()/&=:@+$,").find(c) != std::string_view::npos;
        if (keep) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(hex[byte >> 4]);
            uri.push_back(hex[byte & 0xFU]);
        }
    }
    return uri;
}

std::filesystem::path thumbnail_cache() {
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        return std::filesystem::path(xdg) / "thumbnails";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return std::filesystem::path(home) / ".cache" / "thumbnails";
    }
    return {};
}

// Removes <folder>/<name> in every sub-folder of the cache, and in the
// per-program folders under "fail", where failed attempts are remembered.
void remove_entries(const std::filesystem::path& folder, const std::string& name, int depth) {
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        std::error_code ignored;
        if (!it->is_directory(ignored)) continue;
        std::filesystem::remove(it->path() / name, ignored);
        if (depth > 0 && it->path().filename() == "fail") remove_entries(it->path(), name, depth - 1);
    }
}

}  // namespace

void change_notify(std::int32_t event, std::uint32_t flags, const std::wstring& path1, const std::wstring& path2) {
    const std::lock_guard lock(guard());
    recorded().push_back({event, flags, path1, path2});
}

std::vector<change_notification> recorded_notifications() {
    const std::lock_guard lock(guard());
    return recorded();
}

void clear_recorded_notifications() {
    const std::lock_guard lock(guard());
    recorded().clear();
}

bool notifications_recorded() { return true; }

void refresh_thumbnail(const std::wstring& path) {
    const auto full = file_system::full_path(path);
    const std::filesystem::path cache = thumbnail_cache();
    if (!full || cache.empty()) return;
    const std::string name = formats::md5_hex(file_uri(text::to_utf8(file_system::lexically_normal(*full)))) + ".png";
    remove_entries(cache, name, 1);
}

}  // namespace platform::shell
