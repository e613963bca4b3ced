#pragma once
// Extended XMP in JPEG files: when a packet outgrows one APP1 segment,
// writers move part of it into further APP1 segments that start with
// "http://ns.adobe.com/xmp/extension/\0", a 32-character GUID, the full
// length and the chunk's offset (both 32-bit big-endian). The main packet
// names the GUID in xmpNote:HasExtendedXMP.

#include <optional>
#include <string>
#include <string_view>

namespace formats {

struct extended_xmp {
    bool present = false;    // any extension segment at all
    bool complete = false;   // the chunks of one GUID cover its full length exactly
    std::string packet;      // the assembled extension packet when complete
};

/// Gathers the extension segments before the first scan of `jpeg`. When
/// `guid` is not empty only its chunks count, else those of the first GUID
/// found. The full length is trusted only up to the size of the data given.
extended_xmp read_extended_xmp(std::string_view jpeg, std::string_view guid);

}  // namespace formats
