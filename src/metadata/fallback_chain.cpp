#include "metadata/fallback_chain.h"

#include <stdexcept>

namespace qlm::metadata {

namespace ps = platform::property_store;

// The handler store is the first place every write tries; the later places
// of the chain join here.

void set_rating(metadata_handle& handle, std::uint32_t stars) {
    if (ps::failed(handle.set_value(ps::key_rating, ps::property_value::make_ui4(stars_to_rating(stars))))) {
        throw std::runtime_error("Failed to set rating");
    }
}

void set_tags(metadata_handle& handle, const std::vector<std::wstring>& tags) {
    if (ps::failed(handle.set_value(ps::key_keywords, ps::property_value::make_strings(tags)))) {
        throw std::runtime_error("Failed to set tags");
    }
}

void remove_all_tags(metadata_handle& handle) {
    if (ps::failed(handle.set_value(ps::key_keywords, ps::property_value{}))) {
        throw std::runtime_error("Failed to remove all tags");
    }
}

bool drop_exif_thumbnail_link(const std::wstring&) { return false; }

}  // namespace qlm::metadata
