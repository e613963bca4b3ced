#pragma once
// A read-only view of a whole file, so that large photos can be searched
// without copying them. Windows: CreateFileMappingW + MapViewOfFile, the file
// opened with read and write sharing; Linux: mmap of a read-only descriptor
// for large files, one read into memory for small ones (up to 4 MiB), where
// setting up and tearing down a mapping costs more than the copy.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class mapped_file {
public:
    mapped_file() = default;
    ~mapped_file();
    mapped_file(const mapped_file&) = delete;
    mapped_file& operator=(const mapped_file&) = delete;
    mapped_file(mapped_file&& other) noexcept;
    mapped_file& operator=(mapped_file&& other) noexcept;

    /// Maps the file. False (with the Win32 error in *error) when it cannot
    /// be opened or mapped, or is larger than max_size. An empty file maps
    /// to an empty view.
    bool open(const std::wstring& path, std::uint64_t max_size, std::uint32_t* error = nullptr);

    /// The mapped bytes; empty when nothing is mapped.
    std::string_view bytes() const { return {static_cast<const char*>(data_), size_}; }

private:
    void reset() noexcept;

    void adopt(mapped_file& other) noexcept;

    const void* data_ = nullptr;
    std::size_t size_ = 0;
    // The bytes of a small file read into memory (Linux); not zeroed before
    // the read, which for a photo would cost about as much as the read.
    std::unique_ptr<char[]> copy_;
};

}  // namespace platform
