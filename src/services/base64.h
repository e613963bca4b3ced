#pragma once
// Standard Base64 (RFC 4648 alphabet with '+' and '/', '=' padding), the
// encoding of paths and region lists in the face service's requests.

#include <optional>
#include <string>
#include <string_view>

namespace sortwell::services {

/// The padded Base64 text of the bytes.
std::string base64_encode(std::string_view bytes);

/// The bytes of a padded Base64 text; nothing when the text is not one
/// (wrong length, a character outside the alphabet, misplaced padding).
std::optional<std::string> base64_decode(std::string_view text);

}  // namespace sortwell::services
