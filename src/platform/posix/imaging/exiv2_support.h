#pragma once
// What the Exiv2-based backends (image handler store, imaging) share.

#include "platform/file_safety.h"
#include "platform/posix/files/file_replace.h"
#include "platform/property_store.h"

#include <string>
#include <string_view>

namespace platform::posix {

/// Silences Exiv2's own reports (damage is reported by code) and sets up its
/// XMP parser, once per process.
void prepare_exiv2();

/// Puts the bytes in place of the file at `path` through a temporary file
/// beside it that is flushed and renamed over it (mode, owner and extended
/// attributes carried over). Through a symbolic link the file it points to
/// gets the content. The replace is made only over the file `read`
/// describes (its identity when it was read), else the failure is
/// file_changed. A `tail` of the old file follows the bytes. S_OK or the
/// failure as an HRESULT.
property_store::hresult write_beside_and_replace(const std::string& path, std::string_view bytes,
                                                 const platform::file_system::file_identity& read,
                                                 const platform::file_system::file_tail& tail = {});

}  // namespace platform::posix
