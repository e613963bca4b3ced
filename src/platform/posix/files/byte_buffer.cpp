#include "platform/posix/files/byte_buffer.h"

#include <cstdlib>

#include <sys/mman.h>

namespace platform::posix {

namespace {
constexpr std::size_t huge_page = 2u << 20;
}

void* allocate_large_block(std::size_t bytes) noexcept {
    const std::size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
    void* block = std::aligned_alloc(huge_page, rounded);
    // Only a hint: without transparent huge pages the block is ordinary memory.
    if (block != nullptr) ::madvise(block, rounded, MADV_HUGEPAGE);
    return block;
}

void release_large_block(void* block) noexcept { std::free(block); }

}  // namespace platform::posix
