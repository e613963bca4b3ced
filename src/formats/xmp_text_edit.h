#pragma once
// Edits of single properties inside XMP text that other programs wrote
// (darktable's history, Lightroom's develop settings): only the bytes of the
// property being changed are replaced, every other byte of the packet stays
// as it was. The property is found in either of its RDF forms, an attribute
// of an rdf:Description or a child element of it; the prefix is the one the
// text declares for the namespace.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace formats {

/// One XMP property: its namespace URI, the prefix used when the text does
/// not declare the namespace yet, and its local name.
struct xmp_name {
    std::string_view uri;
    std::string_view prefix;
    std::string_view local;
};

/// The new value of one property.
struct xmp_edit {
    enum class form { simple, bag, seq, lang_alt };
    form kind = form::simple;
    std::vector<std::string> items;  // UTF-8; one for simple and lang_alt (x-default)
};

/// The prefix `text` declares for `uri` (xmlns:p="uri"), if any.
std::optional<std::string> declared_prefix(std::string_view text, std::string_view uri);

/// True when `text` holds the property in either form.
bool has_xmp_property(std::string_view text, const xmp_name& name);

/// `text` with the property set to `edit` (or removed, for nullopt). A simple
/// value held as an attribute keeps its place; an element is replaced where
/// it stands; a new property goes last into the first rdf:Description,
/// declaring its namespace there when the text does not. Empty `text`, or
/// text without an RDF block, gives a fresh packet. nullopt when the text
/// holds the property in a shape that cannot be spliced (an unterminated
/// element or attribute, or markup that overlaps itself so that the result
/// would not hold the edit).
std::optional<std::string> edit_xmp_property(std::string text, const xmp_name& name,
                                             const std::optional<xmp_edit>& edit);


}  // namespace formats
