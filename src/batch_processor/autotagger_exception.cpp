#include "batch_processor/autotagger_exception.h"

#include "platform/text.h"

namespace sortwell::batch_processor {

autotagger_exception::autotagger_exception(const std::string& message) : std::runtime_error(message) {}

autotagger_exception::autotagger_exception(const std::wstring& message)
    : std::runtime_error(platform::text::to_utf8(message)), wide_message_(message) {}

}  // namespace sortwell::batch_processor
