#pragma once
// The Linux property set: user extended attributes, one per property.
// Shared by the property-store backend and the image handler, which passes
// the properties it does not keep in the file through to it.

#include "platform/property_store.h"

#include <string>
#include <string_view>

namespace platform::property_store::posix {

/// Opens the property set of an existing file or folder (links followed).
/// A file system without user xattrs answers STG_E_INVALIDFUNCTION; a
/// read-only file, or a folder marked read-only, refuses a writable open
/// with STG_E_ACCESSDENIED, as a read-write storage open on Windows does.
hresult open_xattr_property_set(const std::string& path, bool writable, std::unique_ptr<store>& out);

/// The attribute that holds one property: "user.qlm.prop.{FMTID}.pid".
std::string attribute_name(const property_key& key);

/// The typed text of a value, and back. decode answers false for text that
/// is not a well-formed value of a known type.
std::string encode_value(const property_value& value);
bool decode_value(std::string_view bytes, property_value& value);

/// Whether the store accepts a value of this type.
bool accepted_type(value_type type);

}  // namespace platform::property_store::posix
