// The ownership half of mapped_file, the same on every system; the
// backends map and unmap.

#include "platform/mapped_file.h"

#include <utility>

namespace platform {

mapped_file::~mapped_file() { reset(); }

mapped_file::mapped_file(mapped_file&& other) noexcept { adopt(other); }

mapped_file& mapped_file::operator=(mapped_file&& other) noexcept {
    if (this != &other) {
        reset();
        adopt(other);
    }
    return *this;
}

void mapped_file::adopt(mapped_file& other) noexcept {
    copy_ = std::move(other.copy_);
    data_ = other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
}

}  // namespace platform
