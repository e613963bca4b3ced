#include "platform/posix/imaging/exiv2_support.h"

#include "platform/posix/files/file_replace.h"

#include <exiv2/exiv2.hpp>

#include <filesystem>
#include <mutex>

#include <sys/stat.h>

namespace platform::posix {

namespace {

// The XMP toolkit inside Exiv2 keeps process-wide state; with a lock
// function Exiv2 takes this lock around every use of it, so readers on
// several threads can parse packets.
std::mutex xmp_toolkit;

void lock_xmp_toolkit(void* data, bool lock) {
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock) {
        mutex->lock();
    } else {
        mutex->unlock();
    }
}

}  // namespace

void prepare_exiv2() {
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        Exiv2::XmpParser::initialize(lock_xmp_toolkit, &xmp_toolkit);
    });
}

property_store::hresult write_beside_and_replace(const std::string& path, std::string_view bytes,
                                                 const platform::file_system::file_identity& read,
                                                 const platform::file_system::file_tail& tail) {
    // Through a link the file it points to is replaced, with the temporary
    // file beside it, on its volume, for the rename.
    struct stat info {};
    std::string target = path;
    const bool looked = ::lstat(path.c_str(), &info) == 0;
    if (looked && S_ISLNK(info.st_mode)) {
        std::error_code error_code;
        const auto resolved = std::filesystem::canonical(path, error_code);
        if (!error_code) target = resolved.string();
    }
    // A path that is no link was just looked at as the replace would look at it.
    const struct stat* seen = looked && !S_ISLNK(info.st_mode) ? &info : nullptr;
    return property_store::from_win32(
        platform::file_system::replace_existing_file(target, bytes.data(), bytes.size(), read, tail, seen));
}

}  // namespace platform::posix
