#include "metadata/people_region_xmp.h"

#include "metadata/xmp_namespaces.h"
#include "metadata/xmp_sidecar.h"
#include "platform/text.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <cmath>
#include <system_error>

namespace qlm::metadata {
namespace {

constexpr std::size_t npos = std::string_view::npos;

std::string quoted(std::string_view value) {
    std::string out = "\"";
    out += value;
    out += '"';
    return out;
}

// Appending instead of operator+ keeps GCC 12 at -O3 from a false -Wrestrict
// on "<" + std::string(name).
std::string joined(std::string_view a, std::string_view b, std::string_view c = {}) {
    std::string out;
    out.reserve(a.size() + b.size() + c.size());
    out.append(a).append(b).append(c);
    return out;
}

bool is_tag_delimiter(char c) { return c == '>' || c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of a property of one region item: the element form
// <name ...>value</name> first, else the attribute form name="value".
std::string_view read_property(std::string_view item, std::string_view name) {
    const std::string open = joined("<", name);
    for (std::size_t at = item.find(open); at != npos; at = item.find(open, at + open.size())) {
        const std::size_t after = at + open.size();
        if (after >= item.size() || !is_tag_delimiter(item[after])) continue;
        const std::size_t tag_end = item.find('>', after);
        if (tag_end == npos || item[tag_end - 1] == '/') break;
        const std::size_t close = item.find(joined("</", name), tag_end + 1);
        if (close == npos) break;
        return item.substr(tag_end + 1, close - tag_end - 1);
    }
    const std::string attribute = joined(name, "=\"");
    const std::size_t at = item.find(attribute);
    if (at == npos) return {};
    const std::size_t start = at + attribute.size();
    const std::size_t end = item.find('"', start);
    if (end == npos) return {};
    return item.substr(start, end - start);
}

double parse_number(std::string_view text) {
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc{} || !std::isfinite(value)) return 0.0;
    return value;
}

// "x, y, w, h": up to four numbers; missing ones stay 0.
void parse_rectangle(std::string_view text, people_region& region) {
    double* const fields[] = {&region.x, &region.y, &region.w, &region.h};
    std::size_t i = 0;
    for (double* field : fields) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n' ||
                                   text[i] == ',')) {
            ++i;
        }
        if (i >= text.size()) return;
        std::size_t end = text.find(',', i);
        if (end == npos) end = text.size();
        *field = parse_number(text.substr(i, end - i));
        i = end;
    }
}

// Removes [start, end) with the blanks and tabs before it, one line feed
// before those and one line feed after it; returns where the removal began.
std::size_t erase_element(std::string& text, std::size_t start, std::size_t end) {
    while (start > 0 && (text[start - 1] == ' ' || text[start - 1] == '\t')) --start;
    if (start > 0 && text[start - 1] == '\n') --start;
    if (end < text.size() && text[end] == '\n') ++end;
    text.erase(start, end - start);
    return start;
}

void strip_elements(std::string& text, std::string_view name) {
    const std::string open = joined("<", name);
    const std::string close = joined("</", name);
    std::size_t at = text.find(open);
    while (at != npos) {
        const std::size_t after = at + open.size();
        if (after >= text.size() || !(is_tag_delimiter(text[after]) || text[after] == '/')) {
            at = text.find(open, after);
            continue;
        }
        const std::size_t tag_end = text.find('>', after);
        if (tag_end == npos) return;
        std::size_t end = tag_end + 1;
        if (text[tag_end - 1] != '/') {
            const std::size_t closing = text.find(close, tag_end + 1);
            if (closing == npos) return;
            const std::size_t closing_end = text.find('>', closing + close.size());
            if (closing_end == npos) return;
            end = closing_end + 1;
        }
        at = text.find(open, erase_element(text, at, end));
    }
}

std::u16string utf16_units(std::wstring_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        auto code = static_cast<std::uint32_t>(c);
        if (code > 0xFFFF) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}

}  // namespace

bool parse_region_info(std::string_view text, std::vector<people_region>& regions) {
    regions.clear();
    const std::size_t start = text.find("<MP:RegionInfo");
    if (start == npos) return false;
    const std::size_t close = text.find("</MP:RegionInfo>", start);
    const std::string_view block = text.substr(start, close == npos ? npos : close - start);

    constexpr std::string_view item_open = "<rdf:li";
    bool found_item = false;
    for (std::size_t at = block.find(item_open); at != npos;) {
        const std::size_t next = block.find(item_open, at + item_open.size());
        const std::string_view item = block.substr(at, next == npos ? npos : next - at);
        found_item = true;
        people_region region;
        region.name = platform::text::from_utf8(xml_unescape(read_property(item, "MPReg:PersonDisplayName")));
        parse_rectangle(read_property(item, "MPReg:Rectangle"), region);
        regions.push_back(std::move(region));
        at = next;
    }
    return found_item || close != npos;
}

bool parse_mwg_regions(std::string_view text, std::vector<people_region>& regions) {
    regions.clear();
    // The start tag is recognised like a property, so <mwg-rs:RegionsX> is not it.
    constexpr std::string_view open = "<mwg-rs:Regions";
    std::size_t start = text.find(open);
    while (start != npos && start + open.size() < text.size() && !is_tag_delimiter(text[start + open.size()])) {
        start = text.find(open, start + open.size());
    }
    if (start == npos || start + open.size() >= text.size()) return false;
    const std::size_t close = text.find("</mwg-rs:Regions>", start);
    const std::string_view block = text.substr(start, close == npos ? npos : close - start);

    constexpr std::string_view item_open = "<rdf:li";
    // Pixel areas are measured on the applied dimensions, which come before
    // the region list.
    const std::string_view head = block.substr(0, block.find(item_open));
    const double applied_width = parse_number(read_property(head, "stDim:w"));
    const double applied_height = parse_number(read_property(head, "stDim:h"));
    bool found_item = false;
    for (std::size_t at = block.find(item_open); at != npos;) {
        const std::size_t next = block.find(item_open, at + item_open.size());
        const std::string_view item = block.substr(at, next == npos ? npos : next - at);
        at = next;
        found_item = true;
        const std::string_view type = read_property(item, "mwg-rs:Type");
        if (!type.empty() && type != "Face") continue;
        const std::string_view unit = read_property(item, "stArea:unit");
        double scale_x = 1.0, scale_y = 1.0;
        if (unit == "pixel" && applied_width > 0 && applied_height > 0) {
            scale_x = applied_width;
            scale_y = applied_height;
        } else if (!unit.empty() && unit != "normalized") {
            continue;
        }
        people_region region;
        region.name = platform::text::from_utf8(xml_unescape(read_property(item, "mwg-rs:Name")));
        region.w = parse_number(read_property(item, "stArea:w")) / scale_x;
        region.h = parse_number(read_property(item, "stArea:h")) / scale_y;
        region.x = parse_number(read_property(item, "stArea:x")) / scale_x - region.w / 2;
        region.y = parse_number(read_property(item, "stArea:y")) / scale_y - region.h / 2;
        regions.push_back(std::move(region));
    }
    return found_item || close != npos;
}

std::string format_coordinate(double value) {
    if (!(value > 0.0)) value = 0.0;  // NaN and negative zero print as 0
    if (value > 1.0) value = 1.0;
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    return std::string(buffer, result.ptr);
}

std::string write_region_description(const std::vector<people_region>& regions, std::uint32_t width,
                                     std::uint32_t height) {
    std::vector<const people_region*> named;
    for (const people_region& region : regions) {
        if (!region.name.empty()) named.push_back(&region);
    }
    auto declaration = [](std::string_view prefix, std::string_view uri) {
        return joined("    xmlns:", prefix, "=") + quoted(uri);
    };

    std::string out = "  <rdf:Description rdf:about=\"\"\n";
    out += declaration("qsxx", xmp::suite_regions_namespace) + " qsxx:managed=\"true\"\n";
    out += declaration("MP", xmp::microsoft_photo_namespace) + "\n";
    out += declaration("MPRI", xmp::microsoft_region_info_namespace) + "\n";
    out += declaration("MPReg", xmp::microsoft_region_namespace) + "\n";
    out += declaration("mwg-rs", xmp::mwg_regions_namespace) + "\n";
    out += declaration("stArea", xmp::area_namespace) + "\n";
    out += declaration("stDim", xmp::dimensions_namespace) + ">\n";

    out += "   <MP:RegionInfo rdf:parseType=\"Resource\">\n    <MPRI:Regions>\n     <rdf:Bag>\n";
    for (const people_region* region : named) {
        const std::string name = xml_escape(platform::text::to_utf8(region->name));
        out += "      <rdf:li rdf:parseType=\"Resource\">\n";
        out += "       <MPReg:Rectangle>" + format_coordinate(region->x) + ", " + format_coordinate(region->y) + ", " +
               format_coordinate(region->w) + ", " + format_coordinate(region->h) + "</MPReg:Rectangle>\n";
        out += "       <MPReg:PersonDisplayName>" + name + "</MPReg:PersonDisplayName>\n";
        out += "      </rdf:li>\n";
    }
    out += "     </rdf:Bag>\n    </MPRI:Regions>\n   </MP:RegionInfo>\n";

    out += "   <mwg-rs:Regions rdf:parseType=\"Resource\">\n";
    if (width != 0 && height != 0) {
        out += "    <mwg-rs:AppliedToDimensions stDim:w=" + quoted(std::to_string(width)) +
               " stDim:h=" + quoted(std::to_string(height)) + " stDim:unit=\"pixel\"/>\n";
    }
    out += "    <mwg-rs:RegionList>\n     <rdf:Bag>\n";
    for (const people_region* region : named) {
        const std::string name = xml_escape(platform::text::to_utf8(region->name));
        // MWG areas give the centre of the rectangle, Microsoft's its corner.
        const double x = std::isnan(region->x) ? 0.0 : std::clamp(region->x, 0.0, 1.0);
        const double y = std::isnan(region->y) ? 0.0 : std::clamp(region->y, 0.0, 1.0);
        const double w = std::isnan(region->w) ? 0.0 : std::clamp(region->w, 0.0, 1.0);
        const double h = std::isnan(region->h) ? 0.0 : std::clamp(region->h, 0.0, 1.0);
        out += "      <rdf:li rdf:parseType=\"Resource\">\n";
        out += "       <mwg-rs:Name>" + name + "</mwg-rs:Name>\n";
        out += "       <mwg-rs:Type>Face</mwg-rs:Type>\n";
        out += "       <mwg-rs:Area stArea:x=" + quoted(format_coordinate(x + w / 2)) +
               " stArea:y=" + quoted(format_coordinate(y + h / 2)) + " stArea:w=" + quoted(format_coordinate(w)) +
               " stArea:h=" + quoted(format_coordinate(h)) + " stArea:unit=\"normalized\"/>\n";
        out += "      </rdf:li>\n";
    }
    out += "     </rdf:Bag>\n    </mwg-rs:RegionList>\n   </mwg-rs:Regions>\n";
    out += "  </rdf:Description>\n";
    return out;
}

std::string write_region_packet(const std::vector<people_region>& regions, std::uint32_t width,
                                std::uint32_t height) {
    std::string out(xmp::packet_header);
    out += '\n';
    out += "<x:xmpmeta xmlns:x=" + quoted(xmp::meta_namespace) + " x:xmptk=\"VRD QSX\">\n";
    out += " <rdf:RDF xmlns:rdf=" + quoted(xmp::rdf_namespace) + ">\n";
    out += write_region_description(regions, width, height);
    out += " </rdf:RDF>\n</x:xmpmeta>\n";
    out += xmp::packet_trailer;
    return out;
}

std::string strip_managed_regions(std::string_view packet) {
    std::string text(packet);
    constexpr std::string_view marker = "qsxx:managed=\"true\"";
    constexpr std::string_view open = "<rdf:Description";
    constexpr std::string_view close = "</rdf:Description>";
    for (std::size_t at = text.find(marker); at != npos;) {
        const std::size_t start = text.rfind(open, at);
        const std::size_t end = text.find(close, at);
        if (start == npos || end == npos) {
            at = text.find(marker, at + marker.size());
            continue;
        }
        at = text.find(marker, erase_element(text, start, end + close.size()));
    }
    // Regions written by other software go too: the new ones replace them.
    strip_elements(text, "MP:RegionInfo");
    strip_elements(text, "mwg-rs:Regions");
    return text;
}

std::wstring people_mutex_name(std::wstring_view absolute_path) {
    return path_mutex_name(L"Local\\QLM.PeopleMetadata.", absolute_path);
}

std::wstring path_mutex_name(std::wstring_view prefix, std::wstring_view absolute_path) {
    constexpr std::uint64_t offset_basis = 0xCBF29CE484222325ULL;
    constexpr std::uint64_t prime = 0x100000001B3ULL;
    std::uint64_t hash = offset_basis;
    // Whole UTF-16 units, so that Windows (16-bit wchar_t) and Linux (32-bit)
    // give the same name for the same path.
    for (const char16_t unit : utf16_units(platform::text::to_lower_invariant(absolute_path))) {
        hash ^= unit;
        hash *= prime;
    }
    return std::wstring(prefix) + std::to_wstring(hash);
}

std::string region_key(const people_region& region) {
    return platform::text::to_utf8(region.name) + "|" + format_coordinate(region.x) + "|" +
           format_coordinate(region.y) + "|" + format_coordinate(region.w) + "|" + format_coordinate(region.h);
}

std::vector<std::wstring> sorted_unique(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end(),
              [](const std::wstring& a, const std::wstring& b) { return utf16_units(a) < utf16_units(b); });
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

std::vector<std::wstring> sorted_unique_names(const std::vector<people_region>& regions) {
    std::vector<std::wstring> names;
    for (const people_region& region : regions) {
        if (!region.name.empty()) names.push_back(region.name);
    }
    return sorted_unique(std::move(names));
}

std::string merge_region_description(std::string_view packet, const std::vector<people_region>& regions,
                                     std::uint32_t width, std::uint32_t height) {
    constexpr std::string_view rdf_close = "</rdf:RDF>";
    if (packet.find(rdf_close) == npos) return write_region_packet(regions, width, height);
    std::string text = strip_managed_regions(packet);
    const std::size_t at = text.rfind(rdf_close);
    // A damaged packet can hold its only RDF end inside an element that the
    // stripping removed.
    if (at == npos) return write_region_packet(regions, width, height);
    text.insert(at, write_region_description(regions, width, height));
    return text;
}

bool same_named_regions(const std::vector<people_region>& stored, const std::vector<people_region>& requested) {
    auto keys = [](const std::vector<people_region>& regions) {
        std::vector<std::string> out;
        for (const people_region& region : regions) {
            if (!region.name.empty()) out.push_back(region_key(region));
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    return keys(stored) == keys(requested);
}

bool names_in_sync(const std::optional<std::vector<std::wstring>>& stored,
                   const std::vector<people_region>& requested) {
    if (!stored) return true;
    return sorted_unique(*stored) == sorted_unique_names(requested);
}

pixel_size oriented_size(std::uint32_t width, std::uint32_t height, std::uint32_t orientation) {
    if (orientation >= 5 && orientation <= 8) return {height, width};
    return {width, height};
}

}  // namespace qlm::metadata
