#pragma once
// MD5 (RFC 1321): the thumbnail cache names its files by the digest of a
// URI, and Photoshop's IPTCDigest is the digest of the IPTC records; one
// small function beats a crypto library for these two uses.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace formats {

/// The 16-byte digest of the bytes.
std::array<std::uint8_t, 16> md5(std::string_view message);

/// The digest in lower-case hexadecimal.
std::string md5_hex(std::string_view message);

}  // namespace formats
