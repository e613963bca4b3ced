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
    const bool copied = !other.copy_.empty();
    copy_ = std::move(other.copy_);
    other.copy_.clear();
    // A moved string may have moved its bytes (short strings live inside it).
    data_ = copied ? copy_.data() : other.data_;
    size_ = other.size_;
    other.data_ = nullptr;
    other.size_ = 0;
}

}  // namespace platform
