// Feeds arbitrary bytes to the single-property XMP editor of raw sidecars
// and to the IPTC digest refresher of JPEGs. Beyond not crashing: an edit
// that answers holds its new value, and a refreshed digest keeps the length.

#include "formats/iptc_digest.h"
#include "formats/xmp_text_edit.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    constexpr formats::xmp_name rating{"http://ns.adobe.com/xap/1.0/", "xmp", "Rating"};
    constexpr formats::xmp_name subject{"http://purl.org/dc/elements/1.1/", "dc", "subject"};

    if (const auto edited =
            formats::edit_xmp_property(text, rating, formats::xmp_edit{formats::xmp_edit::form::simple, {"4"}})) {
        if (!formats::has_xmp_property(*edited, rating)) std::abort();
    }
    if (const auto edited =
            formats::edit_xmp_property(text, subject, formats::xmp_edit{formats::xmp_edit::form::bag, {"q&z"}})) {
        if (edited->find("q&amp;z") == std::string::npos) std::abort();
    }
    (void)formats::edit_xmp_property(text, subject, std::nullopt);
    if (const auto patched = formats::with_current_iptc_digest(text)) {
        if (patched->size() != text.size()) std::abort();
    }
    return 0;
}
