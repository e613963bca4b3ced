#pragma once
// Memory for a file's bytes that is not zeroed before the bytes are read
// into it, and that a large file gets in huge pages: for a 20 MB photo the
// zeroing and the page faults of 4 KiB pages cost as much as the read.

#include <cstddef>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::posix {

/// Memory of at least `bytes` for a large buffer, asking for huge pages;
/// null when there is none. Give it back with release_large_block.
void* allocate_large_block(std::size_t bytes) noexcept;
void release_large_block(void* block) noexcept;

/// From this size on a buffer is worth huge pages.
inline constexpr std::size_t large_block_size = 4u << 20;

/// Default-initialises what a resize adds, which for char means leaving it as is.
template <typename T>
struct uninitialised_allocator {
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = uninitialised_allocator<U>;
    };
    uninitialised_allocator() = default;
    template <typename U>
    explicit uninitialised_allocator(const uninitialised_allocator<U>&) noexcept {}

    T* allocate(std::size_t count) {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < large_block_size) return std::allocator<T>().allocate(count);
        void* block = allocate_large_block(bytes);
        if (block == nullptr) throw std::bad_alloc();
        return static_cast<T*>(block);
    }
    void deallocate(T* block, std::size_t count) noexcept {
        if (count * sizeof(T) < large_block_size) {
            std::allocator<T>().deallocate(block, count);
        } else {
            release_large_block(block);
        }
    }
    template <typename U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const uninitialised_allocator&, const uninitialised_allocator&) noexcept { return true; }
};

using byte_buffer = std::vector<char, uninitialised_allocator<char>>;

inline std::string_view view(const byte_buffer& bytes) { return {bytes.data(), bytes.size()}; }

}  // namespace platform::posix
