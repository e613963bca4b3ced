#pragma once
// The Linux property set: user extended attributes, one per property.
// Shared by the property-store backend and the image handler, which passes
// the properties it does not keep in the file through to it.

#include "platform/property_store.h"

#include <string>
#include <string_view>

namespace platform::property_store::posix {

/// Which share lock an open takes for the store's life (the writer lock of
/// file_lock.h standing in for the NTFS share modes): writers take it,
/// readers never do, and a set used inside a store that already holds the
/// file's lock takes none.
enum class share_lock { take, none };

/// Opens the property set of an existing file or folder (links followed).
/// A file system without user xattrs answers STG_E_INVALIDFUNCTION; a
/// read-only file refuses a writable open with STG_E_ACCESSDENIED, as a
/// read-write storage open on Windows does; a writable open of a file that
/// another writer of this process holds, or another process's writer holds
/// for longer than the writer wait, answers STG_E_SHAREVIOLATION.
hresult open_xattr_property_set(const std::string& path, bool writable, std::unique_ptr<store>& out,
                                share_lock lock = share_lock::take);

/// The property set a handler store passes other properties through to,
/// opened into `set` on first use (S_OK when it is open already). A writable
/// handler store holds the file's writer lock, so its set takes none.
hresult open_pass_through_set(const std::string& path, bool writable, std::unique_ptr<store>& set);

/// For a writer (`exclusive`): a descriptor holding the file's writer lock
/// (platform/posix/files/file_lock.h), or -1 with the HRESULT in *result
/// (sharing_violation_code when another holder stayed in the way). Readers
/// get -1 and S_OK: they take no lock.
int lock_file(const std::string& path, bool exclusive, hresult sharing_violation_code, hresult* result);

/// Closes a descriptor from lock_file (-1 is ignored).
void unlock_file(int descriptor);

/// The attribute that holds one property: "user.qlm.prop.{FMTID}.pid".
std::string attribute_name(const property_key& key);

/// The typed text of a value, and back. decode answers false for text that
/// is not a well-formed value of a known type.
std::string encode_value(const property_value& value);
bool decode_value(std::string_view bytes, property_value& value);

/// Whether the store accepts a value of this type.
bool accepted_type(value_type type);

}  // namespace platform::property_store::posix
