#pragma once
// COM for the main thread (single-threaded apartment, OLE1 DDE disabled).
// Linux has no COM: the apartment is an empty object there.

namespace platform {

/// Initialises COM on construction and releases it on destruction. The
/// result of the initialisation is not examined: the run goes on either way.
class com_apartment {
public:
    com_apartment();
    ~com_apartment();
    com_apartment(const com_apartment&) = delete;
    com_apartment& operator=(const com_apartment&) = delete;

private:
    bool initialised_ = false;
};

}  // namespace platform
