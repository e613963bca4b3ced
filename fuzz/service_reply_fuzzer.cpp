// Feeds arbitrary bytes to the parsers of the local AI service's replies:
// the auto-tag reply, the face and revoke replies, a snapshot's region list,
// and Base64. None may throw or crash; every outcome must be consistent.

#include "services/autotag_service.h"
#include "services/base64.h"
#include "services/people_merge.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    using namespace sortwell::services;

    const auto_tag_reply tags = parse_auto_tag_reply(text);
    if (tags.result != auto_tag_reply::outcome::tags && !tags.tags.empty()) __builtin_trap();

    const face_reply faces = parse_face_reply(text);
    if (!faces.object && !faces.regions.empty()) __builtin_trap();
    const revoke_reply revoke = parse_revoke_reply(text);
    const auto snapshot = parse_regions_json(revoke.regions_json);
    const auto regions = parse_regions_json(text);

    // A parsed list written out and read again is the same list.
    if (parse_regions_json(regions_to_json(regions)).size() != regions.size()) __builtin_trap();
    const merge_result merged = merge_people_regions(regions, faces.regions, snapshot);
    if (merged.merged.size() + merged.dropped.size() > regions.size() + faces.regions.size()) __builtin_trap();

    const std::string encoded = base64_encode(text);
    if (base64_decode(encoded) != std::string(text)) __builtin_trap();
    (void)base64_decode(text);
    return 0;
}
