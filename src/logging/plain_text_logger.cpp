#include "logging/plain_text_logger.h"

#include "platform/file_system.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace qlm::logging {

namespace fs = platform::file_system;

void plain_text_logger::open(const std::wstring& path) {
    const std::lock_guard lock(mutex_);
    if (!stream_) {
        stream_ = std::make_unique<std::ofstream>();
        stream_->open(fs::to_native(path), std::ios::out | std::ios::app | std::ios::binary);
        path_ = path;
    }
    opened_ = stream_->is_open();
}

void plain_text_logger::write_line(std::wstring_view line) {
    std::string bytes = platform::text::to_utf8(line);
    bytes.push_back('\n');
    const std::lock_guard lock(mutex_);
    if (!stream_ || !stream_->is_open()) return;
    stream_->write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    stream_->flush();
}

bool plain_text_logger::opened() const {
    const std::lock_guard lock(mutex_);
    return opened_;
}

std::wstring plain_text_logger::path() const {
    const std::lock_guard lock(mutex_);
    return opened_ ? path_ : std::wstring();
}

const std::shared_ptr<plain_text_logger>& logger() {
    static const std::shared_ptr<plain_text_logger> instance = std::make_shared<plain_text_logger>();
    return instance;
}

std::wstring_view level_name(int level) {
    switch (level) {
    case 0: return L"DEBUG";
    case 1: return L"INFO";
    case 2: return L"WARNING";
    case 3: return L"ERROR";
    case 4: return L"CRITICAL";
    default: return L"UNKNOWN";
    }
}

std::wstring log_folder() {
    std::wstring folder = fs::local_app_data().value_or(L"");
    for (const wchar_t* part : {L"Verandel", L"Quillmark", L"Sortwell", L"Command Line", L"Logs"}) {
        if (!folder.empty() && folder.back() != fs::separator) folder.push_back(fs::separator);
        folder += part;
    }
    return folder;
}

std::wstring log_file_name(int year, int month, int day) {
    return fmt::format(L"Command Line {:04}-{:02}-{:02}.log", year, month, day);
}

std::wstring line_prefix(int level) {
    const auto now = fs::now_local();
    return fmt::format(L"[{:04}-{:02}-{:02} {:02}:{:02}:{:02}.{:07}] [P:{} T:{}] [{}] ", now.year, now.month, now.day,
                       now.hour, now.minute, now.second, now.hundred_nanoseconds, fs::process_id(), fs::thread_id(),
                       level_name(level));
}

void open_daily_log() {
    const std::wstring folder = log_folder();
    if (!fs::exists(folder)) fs::create_directories(folder);
    const auto today = fs::now_local();
    logger()->open(folder + fs::separator + log_file_name(today.year, today.month, today.day));
}

}  // namespace qlm::logging
