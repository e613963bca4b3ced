// Feeds arbitrary bytes to every reader and editor of XMP text: the sidecar
// edits, the region readers and the region stripper. Beyond not crashing,
// each edit must always leave the new value in its result.

#include "metadata/people_region_xmp.h"
#include "metadata/xmp_sidecar.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    using namespace qlm::metadata;

    if (edit_sidecar_rating(text, 3).find('3') == std::string::npos) std::abort();
    if (edit_sidecar_keywords(text, {L"t"}).find("<rdf:li>t</rdf:li>") == std::string::npos) std::abort();
    (void)utf16le_to_utf8(text);
    (void)xml_unescape(text);

    std::vector<people_region> regions;
    if (!parse_region_info(text, regions) && !regions.empty()) std::abort();
    if (!parse_mwg_regions(text, regions) && !regions.empty()) std::abort();
    if (strip_managed_regions(text).size() > text.size()) std::abort();
    // Whatever the packet held, our description is in it and readable. (A
    // damaged foreign block that stripping cannot delimit may still be read
    // first, so the regions themselves are not checked here.)
    const std::vector<people_region> zed = {{L"Zed", 0.1, 0.2, 0.3, 0.4}};
    const std::string merged = merge_region_description(text, zed, 0, 0);
    if (merged.find(write_region_description(zed, 0, 0)) == std::string::npos) std::abort();
    if (!parse_region_info(merged, regions)) std::abort();
    return 0;
}
