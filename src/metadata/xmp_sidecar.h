#pragma once
// XMP sidecar files: beach.jpg.xmp beside beach.jpg, the last place a rating
// or tags can go when the file itself takes neither. Edits are textual: the
// sidecar is searched for fixed markers and spliced, never parsed into a
// tree, so that whatever other software put into it stays byte for byte.
// A sidecar without the markers is replaced by a fresh packet.

#include "formats/xml_text.h"
#include "platform/file_safety.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qlm::metadata {

/// The sidecar of a target: its full path with ".xmp" appended (the target's
/// own extension and letter case stay in the name), or the sidecar the
/// file type's handler keeps (platform::property_store::handler_sidecar).
std::wstring sidecar_path(const std::wstring& target);

/// The text of a file as UTF-8: a UTF-16LE file (FF FE) is converted, a
/// UTF-8 byte-order mark dropped. Empty when the file is missing, empty or
/// unreadable.
std::string read_text_file(const std::wstring& path);

/// Puts the text in place of the file (or creates it) through a flushed
/// temporary beside it; true only when every byte was written and the file
/// replaced. A failure (a full disk) leaves the file as it was.
bool write_text_file(const std::wstring& path, std::string_view text);

/// Edits a text file (a sidecar) through the crash-safe replace: `edit` gets
/// its text as read_text_file gives it (empty for a missing file) and
/// returns the new text, which goes to a flushed temporary beside it and is
/// put in place only over the file that was read; a file another program
/// changed meanwhile is read and edited again (a few times). True when the
/// new text is in place.
bool edit_text_file(const std::wstring& path, const std::function<std::string(const std::string&)>& edit);

/// A target's sidecar as it was before a write: which file it was and its
/// bytes, or that there was none.
struct sidecar_snapshot {
    platform::file_system::file_identity identity;
    std::string bytes;
    bool taken = false;  // false: it could not be read, and is never put back
};

/// The target's sidecar now.
sidecar_snapshot snapshot_sidecar(const std::wstring& target);

/// Puts the target's sidecar back as `before` had it when a write changed
/// it since: a sidecar the write created is deleted, one it rewrote gets its
/// old bytes back through the crash-safe replace. Nothing when it is as it was.
void restore_sidecar(const std::wstring& target, const sidecar_snapshot& before);

/// Puts the star rating (0 to 5) into the target's sidecar as xmp:Rating,
/// editing the text of an existing sidecar. The sidecar is replaced whole
/// through a flushed temporary, and only over the sidecar that was read; one
/// another program changed meanwhile is read and edited again. False for an empty target or when
/// the sidecar cannot be written.
bool write_sidecar_rating(const std::wstring& target, int stars);

/// Puts the tags, in the given order, into the target's sidecar as the
/// dc:subject bag; an empty list leaves an empty bag. False for an empty
/// target or when the sidecar cannot be written.
bool write_sidecar_keywords(const std::wstring& target, const std::vector<std::wstring>& tags);

/// The sidecar text after putting the rating into `existing` (the current
/// sidecar text, empty for none). Exposed for the tests and the fuzzer.
std::string edit_sidecar_rating(const std::string& existing, int stars);

/// The sidecar text after putting the tags into `existing`.
std::string edit_sidecar_keywords(const std::string& existing, const std::vector<std::wstring>& tags);

using formats::xml_escape;
using formats::xml_unescape;

/// UTF-16 little-endian bytes to UTF-8; an odd trailing byte is ignored and
/// an unpaired surrogate becomes U+FFFD.
std::string utf16le_to_utf8(std::string_view bytes);

}  // namespace qlm::metadata
