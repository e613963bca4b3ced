#pragma once
// The icon containers the Linux graphics backend reads, as parsers over
// bytes: .ico files (PNG or BMP entries) and the icon groups of PE modules.
// Any input gives a picture or nullopt, never a read outside the bytes.

#include "platform/graphics.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::graphics::posix {

/// True when the bytes begin with the PNG signature.
bool is_png(std::string_view bytes);

/// The entry of an .ico file nearest `size` (the smallest at least as
/// large, else the largest; of equal sizes the deepest colours), decoded.
std::optional<image> icon_from_ico(std::string_view bytes, int size);

/// The entry nearest `size` of an icon group of a PE module: index >= 0 the
/// n-th group, < 0 the group whose id is -index.
std::optional<image> icon_from_pe(std::string_view bytes, int index, int size);

/// The icon group with the id of a PE module as .ico bytes, or nullopt.
std::optional<std::string> icon_group_from_pe(std::string_view bytes, std::uint16_t id);

}  // namespace platform::graphics::posix
