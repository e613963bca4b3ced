// Linux has no shell to notify: notifications are recorded for the tests, and
// a thumbnail refresh removes the file's entries from the freedesktop cache.

#include "platform/shell.h"

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

// MD5 (RFC 1321): the thumbnail cache names its files by the digest of the
// URI, and one small function beats a crypto library for this one use.
std::string md5_hex(const std::string& message) {
    static constexpr std::array<std::uint32_t, 64> k = {
        0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
        0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
        0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
        0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
        0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
        0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
        0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
        0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};
    static constexpr std::array<unsigned, 64> shift = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
    std::string data = message;
    const std::uint64_t bit_length = static_cast<std::uint64_t>(message.size()) * 8U;
    data.push_back(static_cast<char>(0x80));
    while (data.size() % 64 != 56) data.push_back('\0');
    for (unsigned i = 0; i < 8; ++i) data.push_back(static_cast<char>((bit_length >> (8 * i)) & 0xFF));

    std::array<std::uint32_t, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    for (std::size_t block = 0; block < data.size(); block += 64) {
        std::array<std::uint32_t, 16> m{};
        for (std::size_t w = 0; w < 16; ++w) {
            for (std::size_t b = 0; b < 4; ++b) {
                m[w] |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[block + w * 4 + b])) << (8 * b);
            }
        }
        auto [a, b, c, d] = state;
        for (std::size_t i = 0; i < 64; ++i) {
            std::uint32_t f = 0;
            std::size_t g = 0;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            const std::uint32_t sum = a + f + k[i] + m[g];
            a = d;
            d = c;
            c = b;
            b += (sum << shift[i]) | (sum >> (32 - shift[i]));
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
    }
    constexpr std::string_view digits = "0123456789abcdef";
    std::string hex;
    for (const std::uint32_t word : state) {
        for (unsigned byte = 0; byte < 4; ++byte) {
            const unsigned value = (word >> (8 * byte)) & 0xFFU;
            hex.push_back(digits[value >> 4]);
            hex.push_back(digits[value & 0xFU]);
        }
    }
    return hex;
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
    const std::string name = md5_hex(file_uri(text::to_utf8(file_system::lexically_normal(*full)))) + ".png";
    remove_entries(cache, name, 1);
}

}  // namespace platform::shell
