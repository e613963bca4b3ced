// The ownership half of mapped_file, the same on every system; the
// backends map and unmap.

#include "platform/mapped_file.h"

#include <utility>

namespace platform {

mapped_file::~mapped_file() { reset(); }

mapped_file::mapped_file(mapped_file&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

mapped_file& mapped_file::operator=(mapped_file&& other) noexcept {
    if (this != &other) {
        reset();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

}  // namespace platform
