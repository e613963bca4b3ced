// Linux has no COM; the apartment only marks the span where Windows has one.

#include "platform/com_apartment.h"

namespace platform {

com_apartment::com_apartment() = default;
com_apartment::~com_apartment() = default;

}  // namespace platform
