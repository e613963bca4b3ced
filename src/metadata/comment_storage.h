#pragma once
// Comments of files and folders in System.Comment, confirmed by reading them
// back through the file type's own handler.

#include "metadata/metadata_handle.h"

#include <string>

namespace qlm::metadata {

/// One target's comment, owned by the comment command.
struct comment_document {
    std::wstring path;
    std::wstring text;         // filled by load_comment, set before save_comment
    bool dirty = false;        // cleared after a successful load or save
    std::wstring loaded_text;  // as last loaded or confirmed
    bool loaded = false;
};

/// Reads the comment. False when the target cannot be opened (missing,
/// cloud placeholder); open failures of other kinds throw.
bool load_comment(comment_document& document, const store_access& access = store_access::system());

/// Writes the comment, commits, and reads it back through the handler.
/// False when the target cannot be opened for writing or the read-back
/// differs. Throws "Failed to set comments" when the store refuses the value,
/// and passes on the errors of opening and committing.
bool save_comment(comment_document& document, const store_access& access = store_access::system());

}  // namespace qlm::metadata
