// A big photo's rewrite: the head Exiv2 works on ends just after the first
// scan marker, and the rest is copied file to file with its holes kept.

#include "platform/file_safety.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/imaging/rewrite_source.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <utility>

namespace {

namespace fs = platform::file_system;
namespace posix = platform::posix;

struct descriptor {
    int fd;
    explicit descriptor(const std::wstring& path, int flags = O_RDONLY)
        : fd(::open(platform::text::to_utf8(path).c_str(), flags | O_CLOEXEC, 0600)) {}
    ~descriptor() { ::close(fd); }
};

std::string pattern(std::size_t size, int seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + static_cast<std::size_t>(seed)) & 0xFF);
    return bytes;
}

std::string segment(unsigned char marker, std::size_t payload) {
    std::string bytes{'\xFF', static_cast<char>(marker), static_cast<char>((payload + 2) >> 8),
                      static_cast<char>((payload + 2) & 0xFF)};
    return bytes + std::string(payload, 'm');
}

TEST(tail_copy, data_lands_shifted_holes_stay_holes_and_a_short_source_is_a_changed_file) {
    const qlm::testing::temp_folder folder;
    // data, an 8 MiB hole, data, and a hole up to the end
    const std::wstring source_path = folder.write(L"source", pattern(5000, 1));
    constexpr off_t second = 5000 + (8 << 20);
    constexpr off_t size = second + 3000 + (4 << 20);
    {
        const descriptor out(source_path, O_WRONLY);
        const std::string later = pattern(3000, 2);
        ASSERT_EQ(::pwrite(out.fd, later.data(), later.size(), second), 3000);
        ASSERT_EQ(::ftruncate(out.fd, size), 0);
    }
    const descriptor in(source_path);
    const std::string original = qlm::testing::read_bytes(source_path);

    // A shift by part of a block goes through a buffer, a shift by whole
    // blocks through the kernel's copy.
    for (const auto& [offset, at] : {std::pair<off_t, off_t>{1234, 8}, std::pair<off_t, off_t>{8192, 4096}}) {
        const std::wstring copy_path = folder.path() + L"/copy" + std::to_wstring(at);
        const descriptor out(copy_path, O_RDWR | O_CREAT | O_EXCL);
        const std::string head(static_cast<std::size_t>(at), 'h');
        ASSERT_EQ(::write(out.fd, head.data(), head.size()), at);
        const fs::file_tail tail{in.fd, static_cast<std::uint64_t>(offset), static_cast<std::uint64_t>(size - offset)};
        ASSERT_EQ(fs::copy_tail(out.fd, static_cast<std::uint64_t>(at), tail), 0u);
        EXPECT_TRUE(qlm::testing::read_bytes(copy_path) == head + original.substr(static_cast<std::size_t>(offset)))
            << at;
        struct stat copied {};
        ASSERT_EQ(::fstat(out.fd, &copied), 0);
        EXPECT_LT(copied.st_blocks * 512, 1 << 20) << "the holes were filled";
    }

    const fs::file_tail too_long{in.fd, 0, static_cast<std::uint64_t>(size) + 1};
    const descriptor out(folder.path() + L"/short", O_RDWR | O_CREAT | O_EXCL);
    EXPECT_EQ(fs::copy_tail(out.fd, 0, too_long), fs::file_changed);
}

TEST(rewrite_source, a_big_jpeg_is_held_up_to_its_first_scan_and_a_small_one_whole) {
    const qlm::testing::temp_folder folder;
    // 700 KB of APP segments: more than the first read takes.
    std::string header = "\xFF\xD8";
    for (int i = 0; i < 11; ++i) header += segment(0xE1, 65000);
    header += segment(0xDB, 67) + "\xFF\xFF" + segment(0xC0, 17);
    const std::size_t scan = header.size();
    const std::string jpeg = header + "\xFF\xDA" + pattern(2 << 20, 3) + "\xFF\xD9";

    const auto read = [&](const std::wstring& name, const std::string& bytes) {
        const descriptor file(folder.write(name, bytes));
        std::uint32_t error = 99;
        auto source = posix::read_for_rewrite(file.fd, formats::content_type::jpeg, &error);
        EXPECT_EQ(error, 0u);
        if (source) {
            // head and tail together are the file
            if (source->tail.length > 0) {
                EXPECT_EQ(source->tail.offset, source->head.size());
            }
            EXPECT_EQ(source->tail.length, bytes.size() - source->head.size());
            EXPECT_TRUE(posix::view(source->head) == std::string_view(bytes).substr(0, source->head.size()));
        }
        return source;
    };
    const auto big = read(L"big.jpg", jpeg);
    ASSERT_TRUE(big);
    EXPECT_EQ(big->head.size(), scan + 2);

    const auto small = read(L"small.jpg", jpeg.substr(0, scan + 1000));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->tail.length, 0u);

    // A marker missing in the header: no need to read on to the scan.
    std::string damaged = jpeg;
    damaged[2 + 65004] = 'x';
    const auto refused = read(L"damaged.jpg", damaged);
    ASSERT_TRUE(refused);
    EXPECT_LT(refused->head.size(), scan);
}

}  // namespace
