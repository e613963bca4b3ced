#pragma once
// The pure half of face recognition: reading the face service's replies and
// merging what it recognised into the regions a photo already has.

#include "metadata/people_region_xmp.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sortwell::services {

using qlm::metadata::people_region;

/// A region counts only with a positive width and height.
bool has_rectangle(const people_region& region);

/// Intersection over union of the two rectangles; 0 when either has none.
double overlap(const people_region& a, const people_region& b);

/// A region covers a face from this overlap on.
inline constexpr double match_threshold = 0.35;

/// The reply to "FACE:". `object` is false when the text was not exactly one
/// JSON object (white space after it allowed).
struct face_reply {
    bool object = false;
    std::string status;  // empty when missing or not a string
    std::string reason;
    bool has_reason = false;
    std::string error;
    bool has_error = false;
    std::vector<people_region> regions;  // every object of "regions", named or not
    std::int64_t faces = 0;
};

/// Reads the reply of a recognition request. Never throws.
face_reply parse_face_reply(std::string_view text);

/// The reply to "FACEREVOKE:".
struct revoke_reply {
    bool object = false;
    std::string status;
    bool found = false;  // "found" is the JSON value true
    std::string regions_json = "[]";
    std::string error;
    bool has_error = false;
};

/// Reads the reply of a revoke request. Never throws.
revoke_reply parse_revoke_reply(std::string_view text);

/// True when the text is a JSON object whose "status" is "ok".
bool reply_status_ok(std::string_view text);

/// The regions of a snapshot text: every object of a JSON array; nothing
/// when the text is not an array. Never throws.
std::vector<people_region> parse_regions_json(std::string_view text);

/// A snapshot text: a compact JSON array of {"name","x","y","w","h"}.
std::string regions_to_json(const std::vector<people_region>& regions);

struct merge_result {
    std::vector<people_region> merged;
    std::vector<people_region> dropped;  // stale named regions that covered no detected face
};

/// Merges the identified regions into the existing ones. Unnamed existing
/// regions go; named ones without a rectangle stay; named ones with a
/// rectangle stay while they cover a detected face, else they are dropped.
/// Each identified region then renames and moves the region it overlaps
/// most (the later of equals), else the first rectangle-less region of the
/// same name ignoring case, else it is appended.
merge_result merge_people_regions(const std::vector<people_region>& existing,
                                  const std::vector<people_region>& identified,
                                  const std::vector<people_region>& detected);

}  // namespace sortwell::services
