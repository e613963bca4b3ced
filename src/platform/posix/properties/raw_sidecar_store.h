#pragma once
// The Linux property handler of camera raw files. A raw file is never
// rewritten: its tags, rating, comment and title live in the XMP sidecar that
// darktable, digiKam and Lightroom use, read together with the XMP embedded
// in the raw (the sidecar wins property by property). Writes edit only the
// changed properties of the sidecar, keeping every other byte of it.

#include "platform/property_store.h"

#include <memory>
#include <string>

namespace platform::property_store::posix {

/// True when the name ends in one of the TIFF-based raw extensions whose
/// metadata lives in a sidecar (.dng .cr2 .nef .arw .orf .rw2 .pef .srw, any
/// letter case). Looks at the name only.
bool is_sidecar_raw(const std::string& path);

/// The sidecar of a raw file: "name.ext.xmp" when it exists, else an
/// existing "name.xmp" (Lightroom's style), else "name.ext.xmp".
std::string raw_sidecar_path(const std::string& path);

/// Opens the raw handler store of an existing regular file (GETPROPERTY-
/// STOREFLAGS `flags`). A writer holds the raw file's writer lock for the
/// store's life; a sidecar that does not parse as XMP is never edited (its
/// values are not read, and a write of an owned property is refused with
/// WINCODEC_ERR_BADHEADER). Properties other than the four owned ones and
/// the photo's EXIF read keys pass through to the raw file's property set.
hresult open_raw_store(const std::string& path, std::uint32_t flags, std::unique_ptr<store>& out);

}  // namespace platform::property_store::posix
