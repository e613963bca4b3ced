#pragma once
// log_info, log_warning, log_error, log_critical: one line each, formatted
// from a wide {} pattern, prefixed with time, process, thread and level.

#include "logging/plain_text_logger.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace qlm {

namespace logging {
template <typename... Args>
void write(int level, fmt::wformat_string<Args...> pattern, Args&&... args) {
    std::wstring line = line_prefix(level);
    line += fmt::format(pattern, std::forward<Args>(args)...);
    logger()->write_line(line);
}
}  // namespace logging

template <typename... Args>
void log_info(fmt::wformat_string<Args...> pattern, Args&&... args) {
    logging::write(1, pattern, std::forward<Args>(args)...);
}

template <typename... Args>
void log_warning(fmt::wformat_string<Args...> pattern, Args&&... args) {
    logging::write(2, pattern, std::forward<Args>(args)...);
}

template <typename... Args>
void log_error(fmt::wformat_string<Args...> pattern, Args&&... args) {
    logging::write(3, pattern, std::forward<Args>(args)...);
}

template <typename... Args>
void log_critical(fmt::wformat_string<Args...> pattern, Args&&... args) {
    logging::write(4, pattern, std::forward<Args>(args)...);
}

}  // namespace qlm
