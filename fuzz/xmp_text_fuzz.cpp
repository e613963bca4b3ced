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
    return 0;
}
