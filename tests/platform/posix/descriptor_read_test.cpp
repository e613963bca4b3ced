// Whole-file reads into unzeroed memory: exact bytes whether the file is
// small, beyond the huge-page size, or a pipe whose length no stat tells.

#include "platform/posix/files/descriptor_read.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <thread>

namespace {

std::string pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 31 + i / 4099) & 0xFF);
    return bytes;
}

TEST(descriptor_read, bytes_come_back_exact_from_files_of_any_size_and_from_pipes) {
    const qlm::testing::temp_folder folder;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{70000},
                                   platform::posix::large_block_size + 3}) {
        const std::string bytes = pattern(size);
        const std::wstring file = folder.write(L"f" + std::to_wstring(size), bytes);
        const int fd = ::open(platform::text::to_utf8(file).c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        std::uint32_t error = 99;
        const auto read = platform::file_system::read_descriptor_bytes(fd, static_cast<std::size_t>(-1), &error);
        ::close(fd);
        ASSERT_TRUE(read) << size;
        EXPECT_EQ(error, 0u);
        EXPECT_TRUE(platform::posix::view(*read) == bytes) << size;
    }

    // A pipe has no size up front: its bytes arrive block by block.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    const std::string streamed = pattern(300000);
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < streamed.size()) {
            const ssize_t n = ::write(ends[1], streamed.data() + done, streamed.size() - done);
            if (n <= 0) break;
            done += static_cast<std::size_t>(n);
        }
        ::close(ends[1]);
    });
    std::uint32_t error = 99;
    const auto read = platform::file_system::read_descriptor_bytes(ends[0], static_cast<std::size_t>(-1), &error);
    writer.join();
    ::close(ends[0]);
    ASSERT_TRUE(read);
    EXPECT_TRUE(platform::posix::view(*read) == streamed);
}

}  // namespace
