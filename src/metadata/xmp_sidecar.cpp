#include "metadata/xmp_sidecar.h"

#include "metadata/xmp_namespaces.h"
#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/property_store.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qlm::metadata {
namespace {

constexpr std::string_view rdf_close = "</rdf:RDF>";
constexpr std::string_view description_open = "<rdf:Description";
constexpr std::string_view description_close = "</rdf:Description>";

std::string quoted(std::string_view value) {
    std::string out = "\"";
    out += value;
    out += '"';
    return out;
}

// Lines 1 to 3 of a fresh sidecar: header, xmpmeta and RDF openings.
std::string fresh_prologue() {
    std::string out;
    out += xmp::packet_header;
    out += '\n';
    out += "<x:xmpmeta xmlns:x=" + quoted(xmp::meta_namespace) + " x:xmptk=\"XMP Core\">\n";
    out += " <rdf:RDF xmlns:rdf=" + quoted(xmp::rdf_namespace) + ">\n";
    return out;
}

// Lines 6 to 9: closing the description, the RDF block, xmpmeta, the packet.
std::string fresh_epilogue() {
    std::string out = "  </rdf:Description>\n </rdf:RDF>\n</x:xmpmeta>\n";
    out += xmp::packet_trailer;
    return out;
}

std::string description_start(std::string_view prefix, std::string_view uri) {
    return "<rdf:Description rdf:about=\"\" xmlns:" + std::string(prefix) + "=" + quoted(uri) + ">";
}

std::string rating_element(const std::string& value) { return "<xmp:Rating>" + value + "</xmp:Rating>"; }

std::string fresh_rating_sidecar(const std::string& value) {
    return fresh_prologue() + "  " + description_start("xmp", xmp::basic_namespace) + "\n   " + rating_element(value) +
           "\n" + fresh_epilogue();
}

std::string keywords_block(const std::vector<std::wstring>& tags) {
    std::string block = "   <dc:subject>\n    <rdf:Bag>\n";
    for (const std::wstring& tag : tags) {
        block += "     <rdf:li>" + xml_escape(platform::text::to_utf8(tag)) + "</rdf:li>\n";
    }
    block += "    </rdf:Bag>\n   </dc:subject>";
    return block;
}

std::string fresh_keywords_sidecar(const std::string& block) {
    return fresh_prologue() + "  " + description_start("dc", xmp::dublin_core_namespace) + "\n" + block + "\n" +
           fresh_epilogue();
}

}  // namespace

std::wstring sidecar_path(const std::wstring& target) {
    // Where the file's own handler keeps a sidecar (raw camera files), other
    // programs read that one; a second sidecar would split the file's data.
    if (std::wstring handled = platform::property_store::handler_sidecar(target); !handled.empty()) return handled;
    return target + L".xmp";
}

std::string utf16le_to_utf8(std::string_view bytes) {
    // Unit by unit into a wide string; the converter joins surrogate pairs and
    // replaces lone ones, as it does for every other text.
    std::wstring units(bytes.size() / 2, L'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<wchar_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                        (static_cast<unsigned>(static_cast<unsigned char>(bytes[2 * i + 1])) << 8));
    }
    return platform::text::to_utf8(units);
}

namespace {

// A sidecar is a few kilobytes; anything far larger is no sidecar of ours to edit.
constexpr std::size_t sidecar_limit = 64u << 20;

// The bytes of a text file as UTF-8 (see read_text_file).
std::string text_of(std::string bytes) {
    const std::string_view view = bytes;
    if (view.starts_with("\xFF\xFE")) return utf16le_to_utf8(view.substr(2));
    if (view.starts_with("\xEF\xBB\xBF")) return std::string(view.substr(3));
    return bytes;
}

}  // namespace

bool edit_text_file(const std::wstring& path, const std::function<std::string(const std::string&)>& edit) {
    return platform::file_system::rewrite_file(path, sidecar_limit, [&edit](const std::string* current) {
               return std::optional<std::string>(edit(current ? text_of(*current) : std::string()));
           }) == 0;
}

sidecar_snapshot snapshot_sidecar(const std::wstring& target) {
    sidecar_snapshot snapshot;
    std::uint32_t error = 0;
    auto bytes =
        platform::file_system::read_file_identified(sidecar_path(target), sidecar_limit, snapshot.identity, &error);
    snapshot.taken = bytes.has_value() || (!snapshot.identity.exists && error == platform::win32_error::file_not_found);
    if (bytes) snapshot.bytes = std::move(*bytes);
    return snapshot;
}

void restore_sidecar(const std::wstring& target, const sidecar_snapshot& before) {
    namespace fs = platform::file_system;
    if (!before.taken) return;
    const std::wstring path = sidecar_path(target);
    const fs::file_identity now = fs::identify_file(path);
    if (now == before.identity) return;
    if (!before.identity.exists) {
        if (now.exists) fs::delete_file(path);
        return;
    }
    fs::write_if_unchanged(path, now, before.bytes.data(), before.bytes.size());
}

std::string read_text_file(const std::wstring& path) {
    std::optional<std::string> bytes = platform::file_system::read_file_at_most(path, sidecar_limit);
    if (!bytes || bytes->empty()) return {};
    return text_of(std::move(*bytes));
}

bool write_text_file(const std::wstring& path, std::string_view text) {
    namespace fs = platform::file_system;
    // Only which file is there matters, not its content.
    std::uint32_t error = 0;
    const fs::file_identity present = fs::identify_file(path, &error);
    if (!present.exists && error != platform::win32_error::file_not_found) return false;
    return fs::write_if_unchanged(path, present, text.data(), text.size()) == 0;
}

std::string edit_sidecar_rating(const std::string& existing, int stars) {
    const std::string value = std::to_string(stars);
    if (existing.empty()) return fresh_rating_sidecar(value);
    std::string text = existing;

    constexpr std::string_view element = "<xmp:Rating>";
    if (const auto start = text.find(element); start != std::string::npos) {
        const auto value_start = start + element.size();
        if (const auto end = text.find('<', value_start); end != std::string::npos) {
            return text.replace(value_start, end - value_start, value);
        }
    }

    constexpr std::string_view attribute = "xmp:Rating=\"";
    if (const auto start = text.find(attribute); start != std::string::npos) {
        const auto value_start = start + attribute.size();
        if (const auto end = text.find('"', value_start); end != std::string::npos) {
            return text.replace(value_start, end - value_start, value);
        }
    }

    const std::string declaration = "xmlns:xmp=" + quoted(xmp::basic_namespace);
    if (const auto at = text.find(declaration); at != std::string::npos) {
        const auto open = text.rfind(description_open, at);
        if (open != std::string::npos) {
            if (const auto close = text.find(description_close, open); close != std::string::npos) {
                return text.insert(close, "   " + rating_element(value) + "\n  ");
            }
        }
    }

    if (const auto close = text.find(rdf_close); close != std::string::npos) {
        return text.insert(close, "  " + description_start("xmp", xmp::basic_namespace) + "\n   " +
                                      rating_element(value) + "\n  </rdf:Description>\n ");
    }

    return fresh_rating_sidecar(value);
}

std::string edit_sidecar_keywords(const std::string& existing, const std::vector<std::wstring>& tags) {
    const std::string block = keywords_block(tags);
    if (existing.empty()) return fresh_keywords_sidecar(block);
    std::string text = existing;

    constexpr std::string_view subject_open = "<dc:subject>";
    constexpr std::string_view subject_close = "</dc:subject>";
    if (const auto open = text.find(subject_open); open != std::string::npos) {
        if (const auto close = text.find(subject_close, open); close != std::string::npos) {
            return text.replace(open, close + subject_close.size() - open, block);
        }
    }

    if (const auto at = text.find("xmlns:dc="); at != std::string::npos) {
        if (const auto close = text.find(description_close, at); close != std::string::npos) {
            return text.insert(close, "\n" + block + "\n  ");
        }
    }

    if (const auto close = text.find(rdf_close); close != std::string::npos) {
        return text.insert(close, "  " + description_start("dc", xmp::dublin_core_namespace) + "\n" + block +
                                      "\n  </rdf:Description>\n ");
    }

    return fresh_keywords_sidecar(block);
}

bool write_sidecar_rating(const std::wstring& target, int stars) {
    if (target.empty()) return false;
    const std::wstring path = sidecar_path(target);
    return edit_text_file(path, [stars](const std::string& existing) { return edit_sidecar_rating(existing, stars); });
}

bool write_sidecar_keywords(const std::wstring& target, const std::vector<std::wstring>& tags) {
    if (target.empty()) return false;
    const std::wstring path = sidecar_path(target);
    return edit_text_file(path, [&tags](const std::string& existing) { return edit_sidecar_keywords(existing, tags); });
}

}  // namespace qlm::metadata
