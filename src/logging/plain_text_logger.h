#pragma once
// The daily plain-text log of the command-line program. One process-wide
// logger; every line is flushed at once so that an abrupt end loses nothing.

#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace qlm::logging {

class plain_text_logger {
public:
    /// Opens the file for appending (binary, so lines end in a bare line
    /// feed). A second call keeps the first stream. A file that cannot be
    /// opened leaves the logger closed and every write is dropped.
    void open(const std::wstring& path);

    /// Writes the finished line and a line feed as UTF-8, then flushes.
    void write_line(std::wstring_view line);

    /// True when the log file is open.
    bool opened() const;

    /// The open log file, for messages that send the reader there; empty
    /// when none is open.
    std::wstring path() const;

private:
    std::unique_ptr<std::ofstream> stream_;
    bool opened_ = false;
    std::wstring path_;
    mutable std::mutex mutex_;
};

/// The process-wide logger.
const std::shared_ptr<plain_text_logger>& logger();

/// "DEBUG", "INFO", "WARNING", "ERROR", "CRITICAL", or "UNKNOWN".
std::wstring_view level_name(int level);

/// LocalAppData\Verandel\Quillmark\Sortwell\Command Line\Logs (relative to
/// the current directory when the known folder is unavailable).
std::wstring log_folder();

/// "Command Line 2026-12-04.log" for the given local date.
std::wstring log_file_name(int year, int month, int day);

/// "[2026-12-04 09:41:07.2503117] [P:12 T:34] [INFO] ": the line prefix.
std::wstring line_prefix(int level);

/// Builds the log folder, creates it when missing, and opens today's file.
/// Throws std::filesystem::filesystem_error when the folder cannot be tested
/// or created.
void open_daily_log();

}  // namespace qlm::logging
