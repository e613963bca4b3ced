#include "formats/xmp_text_edit.h"

#include "formats/xml_text.h"

namespace formats {
namespace {

constexpr std::string_view description_open = "<rdf:Description";
constexpr std::string_view description_close = "</rdf:Description>";
constexpr std::string_view rdf_close = "</rdf:RDF>";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-' ||
           c == '.' || c == ':' || static_cast<unsigned char>(c) >= 0x80;
}

// True when `at` lies between a '<' and its '>' (markup, not content).
bool inside_tag(std::string_view text, std::size_t at) {
    const auto open = text.rfind('<', at);
    if (open == std::string_view::npos) return false;
    const auto close = text.rfind('>', at);
    return close == std::string_view::npos || close < open;
}

// The '>' ending the tag that starts at `open`, skipping quoted values.
std::optional<std::size_t> tag_end(std::string_view text, std::size_t open) {
    char quote = 0;
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            return i;
        } else if (c == '<') {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

struct span {
    std::size_t begin = 0;
    std::size_t end = 0;  // one past the last byte
};

// An attribute `qname="value"` inside a tag: the span from the blank before
// it to its closing quote, and where the value lies.
struct attribute_hit {
    span whole;
    span value;
};

std::optional<attribute_hit> find_attribute(std::string_view text, std::string_view qname, bool* broken) {
    const std::string needle = std::string(qname) + "=";
    for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) {
        if (at == 0 || !is_space(text[at - 1]) || !inside_tag(text, at)) continue;
        const std::size_t quote_at = at + needle.size();
        if (quote_at >= text.size() || (text[quote_at] != '"' && text[quote_at] != '\'')) continue;
        const auto close = text.find(text[quote_at], quote_at + 1);
        if (close == std::string_view::npos) {
            *broken = true;
            return std::nullopt;
        }
        std::size_t begin = at;
        while (begin > 0 && is_space(text[begin - 1])) --begin;
        return attribute_hit{{begin, close + 1}, {quote_at + 1, close}};
    }
    return std::nullopt;
}

std::optional<span> find_element(std::string_view text, std::string_view qname, bool* broken) {
    const std::string open_needle = std::string("<").append(qname);
    const std::string close_needle = std::string("</").append(qname);
    for (std::size_t at = text.find(open_needle); at != std::string_view::npos; at = text.find(open_needle, at + 1)) {
        const std::size_t after = at + open_needle.size();
        if (after >= text.size() || is_name_char(text[after])) continue;
        const auto end = tag_end(text, at);
        if (!end) {
            *broken = true;
            return std::nullopt;
        }
        if (text[*end - 1] == '/') return span{at, *end + 1};
        for (std::size_t close = text.find(close_needle, *end); close != std::string_view::npos;
             close = text.find(close_needle, close + 1)) {
            const std::size_t name_end = close + close_needle.size();
            if (name_end < text.size() && is_name_char(text[name_end])) continue;
            const auto gt = text.find('>', name_end);
            if (gt == std::string_view::npos) break;
            return span{at, gt + 1};
        }
        *broken = true;
        return std::nullopt;
    }
    return std::nullopt;
}

// The blanks before `at` on its own line ("" when other text precedes it).
std::string indentation_at(std::string_view text, std::size_t at) {
    std::size_t start = at;
    while (start > 0 && (text[start - 1] == ' ' || text[start - 1] == '\t')) --start;
    if (start > 0 && text[start - 1] != '\n') return {};
    return std::string(text.substr(start, at - start));
}

std::string element_text(const std::string& qname, const xmp_edit& edit, const std::string& indent) {
    const std::string open = "<" + qname + ">";
    const std::string close = "</" + qname + ">";
    if (edit.kind == xmp_edit::form::simple) {
        return open + formats::xml_escape(edit.items.empty() ? std::string() : edit.items.front()) + close;
    }
    const bool bag = edit.kind != xmp_edit::form::lang_alt;
    const std::string container = edit.kind == xmp_edit::form::bag   ? "rdf:Bag"
                                  : edit.kind == xmp_edit::form::seq ? "rdf:Seq"
                                                                     : "rdf:Alt";
    if (edit.items.empty()) return open + "\n" + indent + " <" + container + "/>\n" + indent + close;
    std::string out = open + "\n" + indent + " <" + container + ">\n";
    for (const auto& item : edit.items) {
        out += indent + "  <rdf:li" + (bag ? "" : " xml:lang=\"x-default\"") + ">" + formats::xml_escape(item) + "</rdf:li>\n";
        if (!bag) break;
    }
    return out + indent + " </" + container + ">\n" + indent + close;
}

std::string fresh_packet() {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
           " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
           "  <rdf:Description rdf:about=\"\"/>\n"
           " </rdf:RDF>\n"
           "</x:xmpmeta>\n"
           "<?xpacket end=\"w\"?>";
}

// The '</rdf:Description>' closing the description opened at `open` (whose
// start tag ends at `start_end`), counting the descriptions nested in it.
std::optional<std::size_t> matching_description_close(std::string_view text, std::size_t start_end) {
    int depth = 1;
    std::size_t at = start_end + 1;
    while (true) {
        const auto next_open = text.find(description_open, at);
        const auto next_close = text.find(description_close, at);
        if (next_close == std::string_view::npos) return std::nullopt;
        if (next_open != std::string_view::npos && next_open < next_close) {
            const auto end = tag_end(text, next_open);
            if (!end) return std::nullopt;
            if (text[*end - 1] != '/') ++depth;
            at = *end + 1;
            continue;
        }
        if (--depth == 0) return next_close;
        at = next_close + description_close.size();
    }
}

// Puts the element last into the first description, declaring the prefix
// on it when `declare` is set.
std::optional<std::string> insert_element(std::string text, const std::string& qname, const xmp_name& name,
                                          const xmp_edit& edit, bool declare, const std::string& prefix) {
    auto open = text.find(description_open);
    if (open == std::string::npos) {
        const auto rdf_end = text.rfind(rdf_close);
        if (rdf_end == std::string::npos) return std::nullopt;
        std::size_t line = rdf_end;
        while (line > 0 && (text[line - 1] == ' ' || text[line - 1] == '\t')) --line;
        text.insert(line, "  <rdf:Description rdf:about=\"\"/>\n");
        open = text.find(description_open);
    }
    const auto start_end = tag_end(text, open);
    if (!start_end) return std::nullopt;
    const std::string indent = indentation_at(text, open);
    const std::string child_indent = indent + " ";
    const std::string element = element_text(qname, edit, child_indent);
    const std::string declaration =
        declare ? " xmlns:" + prefix + "=\"" + formats::xml_escape(name.uri) + "\"" : std::string();
    if (text[*start_end - 1] == '/') {
        text.replace(*start_end - 1, 2,
                     declaration + ">\n" + child_indent + element + "\n" + indent + std::string(description_close));
        return text;
    }
    const auto close = matching_description_close(text, *start_end);
    if (!close) return std::nullopt;
    std::size_t before_blanks = *close;
    while (before_blanks > *start_end + 1 && is_space(text[before_blanks - 1])) --before_blanks;
    if (before_blanks == *start_end + 1) {
        // No children yet: the close tag gets a line of its own.
        text.replace(before_blanks, *close - before_blanks, "\n" + child_indent + element + "\n" + indent);
    } else {
        text.insert(before_blanks, "\n" + child_indent + element);
    }
    if (declare) text.insert(*start_end, declaration);
    return text;
}

// The span of an element with its own line's indentation and line break,
// so that removing it leaves no blank line behind.
span with_line(std::string_view text, span element) {
    std::size_t begin = element.begin;
    while (begin > 0 && (text[begin - 1] == ' ' || text[begin - 1] == '\t')) --begin;
    if (begin > 0 && text[begin - 1] == '\n') {
        --begin;
        if (begin > 0 && text[begin - 1] == '\r') --begin;
        return {begin, element.end};
    }
    return element;
}

}  // namespace

std::optional<std::string> declared_prefix(std::string_view text, std::string_view uri) {
    for (const char quote : {'"', '\''}) {
        const std::string needle = std::string("=") + quote + std::string(uri) + quote;
        for (std::size_t at = text.find(needle); at != std::string_view::npos; at = text.find(needle, at + 1)) {
            std::size_t start = at;
            while (start > 0 && is_name_char(text[start - 1])) --start;
            const std::string_view attribute = text.substr(start, at - start);
            if (attribute.starts_with("xmlns:") && attribute.size() > 6) return std::string(attribute.substr(6));
        }
    }
    return std::nullopt;
}

bool has_xmp_property(std::string_view text, const xmp_name& name) {
    const std::string qname = declared_prefix(text, name.uri).value_or(std::string(name.prefix)) + ":" +
                              std::string(name.local);
    bool broken = false;
    return find_attribute(text, qname, &broken) || find_element(text, qname, &broken) || broken;
}

namespace {

std::optional<std::string> splice_property(std::string text, const xmp_name& name,
                                           const std::optional<xmp_edit>& edit) {
    bool blank = true;
    for (const char c : text) blank = blank && is_space(c);
    if (blank) {
        if (!edit) return text;
        text = fresh_packet();
    }
    const auto declared = declared_prefix(text, name.uri);
    const std::string prefix = declared.value_or(std::string(name.prefix));
    const std::string qname = prefix + ":" + std::string(name.local);
    bool broken = false;
    // Every copy goes, in both forms; a simple value held as an attribute is
    // rewritten where it stands.
    bool placed = false;
    while (auto hit = find_attribute(text, qname, &broken)) {
        if (edit && !placed && edit->kind == xmp_edit::form::simple) {
            const std::string value = formats::xml_escape(edit->items.empty() ? std::string() : edit->items.front());
            text.replace(hit->value.begin, hit->value.end - hit->value.begin, value);
            placed = true;
            break;
        }
        text.erase(hit->whole.begin, hit->whole.end - hit->whole.begin);
    }
    if (broken) return std::nullopt;
    std::optional<std::size_t> element_place;
    std::string element_indent;
    while (auto hit = find_element(text, qname, &broken)) {
        if (edit && !placed && !element_place) {
            element_place = hit->begin;
            element_indent = indentation_at(text, hit->begin);
            text.erase(hit->begin, hit->end - hit->begin);
            continue;
        }
        span line = with_line(text, *hit);
        // A copy on the line of the place kept for the new value takes only
        // the blanks between them, so that the value keeps the line's indent.
        if (element_place && line.begin < *element_place && *element_place <= hit->begin) line.begin = *element_place;
        text.erase(line.begin, line.end - line.begin);
        if (element_place && *element_place >= line.end) {
            *element_place -= line.end - line.begin;
        } else if (element_place && *element_place > line.begin) {
            element_place = line.begin;
        }
    }
    if (broken) return std::nullopt;
    if (!edit || placed) return text;
    if (element_place) {
        text.insert(*element_place, element_text(qname, *edit, element_indent));
        return text;
    }
    return insert_element(std::move(text), qname, name, *edit, !declared, prefix);
}

}  // namespace

std::optional<std::string> edit_xmp_property(std::string text, const xmp_name& name,
                                             const std::optional<xmp_edit>& edit) {
    // Markup that overlaps itself (an attribute inside the span of an element
    // of the same name, a namespace declared on the element being removed)
    // can defeat the splice; such text is refused rather than written wrong.
    auto edited = splice_property(std::move(text), name, edit);
    if (edited && has_xmp_property(*edited, name) != edit.has_value()) return std::nullopt;
    return edited;
}

}  // namespace formats
