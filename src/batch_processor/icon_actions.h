#pragma once
// The handler of the three icon actions: a folder or drive root gets (or
// loses) its custom icon and its overlay is recomposed over it.

#include <string>

namespace sortwell::batch_processor {

/// Applies the icon file named by `parameters` to the path (or removes the
/// custom icon when `remove` is set). Throws the friendly icon messages.
void apply_icon_action(const std::wstring& path, const std::wstring& parameters, bool remove);

}  // namespace sortwell::batch_processor
