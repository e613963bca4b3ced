#include "metadata/people_regions.h"

#include "metadata/metadata_handle.h"
#include "metadata/xmp_sidecar.h"
#include "platform/mapped_file.h"
#include "platform/property_store.h"

namespace qlm::metadata {
namespace {

constexpr std::uint64_t largest_photo = 300ull * 1024 * 1024;

constexpr platform::property_store::property_key people_names_key{
    {0xE8309B6E, 0x084C, 0x49B4, {0xB1, 0xFC, 0x90, 0xA8, 0x03, 0x31, 0xB6, 0x38}}, 100};

}  // namespace

std::vector<people_region> read_people_regions(const std::wstring& path) {
    std::vector<people_region> regions;
    if (path.empty()) return regions;
    // A mapping instead of a copy: info reads every target, and photos are large.
    platform::mapped_file photo;
    if (photo.open(path, largest_photo) && parse_region_info(photo.bytes(), regions)) return regions;
    regions.clear();
    std::vector<std::wstring> names;
    if (read_property_set_strings(path, people_names_key, names)) {
        for (auto& name : names) regions.push_back({std::move(name), 0, 0, 0, 0});
        return regions;
    }
    const std::string sidecar = read_text_file(sidecar_path(path));
    if (!sidecar.empty() && parse_region_info(sidecar, regions) && !regions.empty()) return regions;
    return {};
}

}  // namespace qlm::metadata
