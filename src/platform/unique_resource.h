#pragma once
// One owner type for every OS handle the backends hold (file and find
// handles, descriptors, directory streams): move-only, closes exactly once.

#include <utility>

namespace platform {

/// Owns one handle described by Traits, which provides
///   using type = ...;                       the handle type
///   static type invalid() noexcept;         the "no handle" value
///   static void close(type) noexcept;       releases a valid handle
/// (a function rather than a constant, because Windows' INVALID_HANDLE_VALUE
/// is not a constant expression). Move assignment closes the handle held
/// before. A failed close is ignored: nothing a caller could do about it.
template <typename Traits>
class unique_resource {
public:
    using type = typename Traits::type;

    unique_resource() noexcept = default;
    explicit unique_resource(type handle) noexcept : handle_(handle) {}
    ~unique_resource() { reset(); }

    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;

    unique_resource(unique_resource&& other) noexcept : handle_(other.release()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    /// The handle, still owned.
    type get() const noexcept { return handle_; }

    /// True when a handle is held.
    explicit operator bool() const noexcept { return handle_ != Traits::invalid(); }

    /// Gives up ownership and returns the handle.
    type release() noexcept { return std::exchange(handle_, Traits::invalid()); }

    /// Closes the held handle (if any) and takes the new one.
    void reset(type handle = Traits::invalid()) noexcept {
        const type old = std::exchange(handle_, handle);
        if (old != Traits::invalid()) Traits::close(old);
    }

private:
    type handle_ = Traits::invalid();
};

}  // namespace platform
