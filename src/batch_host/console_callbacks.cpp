#include "batch_host/console_callbacks.h"

#include "platform/file_system.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <utility>

namespace sortwell::batch_host {
namespace {

constexpr std::size_t bar_cells = 30;
// The bar line is padded to this width, so a shorter redraw covers a longer
// one without terminal escapes (a Windows console may not take them).
constexpr std::size_t line_width = 79;

}  // namespace

console_callbacks::console_callbacks(std::vector<std::wstring> files, bool terminal, writer out, writer err,
                                     std::function<bool()> cancelled)
    : files_(std::move(files)),
      terminal_(terminal),
      out_(std::move(out)),
      err_(std::move(err)),
      cancelled_(std::move(cancelled)) {}

std::wstring console_callbacks::current_path() const {
    if (started_ == 0 || started_ > files_.size()) return {};
    return files_[started_ - 1];
}

void console_callbacks::line(const std::wstring& text) {
    if (terminal_ && bar_shown_) {
        // Over the bar, then the bar again below the new line.
        out_(L"\r" + std::wstring(line_width, L' ') + L"\r" + text + L"\n");
        redraw_bar();
    } else {
        out_(text + L"\n");
    }
}

void console_callbacks::redraw_bar() {
    const auto filled = static_cast<std::size_t>(percent_) * bar_cells / 100;
    std::wstring text = L"[" + std::wstring(filled, L'#') + std::wstring(bar_cells - filled, L'.') + L"] " +
                        fmt::format(L"{:3}%", percent_);
    if (!status_text_.empty()) text += L"  " + status_text_;
    if (text.size() > line_width) text.resize(line_width);
    text.resize(line_width, L' ');
    out_(L"\r" + text);
    bar_shown_ = true;
}

void console_callbacks::end_current_file() {
    if (started_ == 0) return;
    if (!current_failed_ && current_missing_) {
        // Handlers skip a path that is not there without a word.
        current_failed_ = true;
        line(L"failed: " + current_path() + L": the file does not exist");
    }
    current_missing_ = false;
    if (current_failed_) {
        ++failed_;
    } else {
        ++succeeded_;
        line(L"ok: " + current_path());
    }
    current_failed_ = false;
}

void console_callbacks::report_progress(int percent) {
    end_current_file();
    ++started_;
    current_missing_ = entries_are_files && !platform::file_system::exists(current_path());
    percent_ = percent;
    status_text_.clear();
    if (terminal_) {
        redraw_bar();
    } else {
        out_(fmt::format(L"progress: {}%\n", percent));
    }
}

void console_callbacks::report_entry_progress(int percent) {
    if (!terminal_ || percent == percent_) return;
    percent_ = percent;
    redraw_bar();
}

void console_callbacks::show_progress() {
    if (terminal_) redraw_bar();
}

bool console_callbacks::is_cancelled() { return cancelled_ && cancelled_(); }

bool console_callbacks::is_paused() { return false; }

bool console_callbacks::report_error(const std::wstring& path, const std::wstring& message) {
    if (started_ == 0) job_failed_ = true;
    if (path.empty() || started_ == 0) {
        if (terminal_ && bar_shown_) out_(L"\n");
        bar_shown_ = false;
        err_(L"sortwell-batch: " + message + L"\n");
        return false;
    }
    current_failed_ = true;
    line(L"failed: " + path + L": " + message);
    return false;
}

bool console_callbacks::confirm_create_folder(const std::wstring& folder) {
    // A host without a window creates what the job needs.
    line(L"creating folder: " + folder);
    return true;
}

void console_callbacks::report_unknown_action() {
    current_failed_ = true;
    line(L"failed: " + current_path() + L": the job's action '" + action_text + L"' is not known");
}

void console_callbacks::report_auto_tag_failure() {
    current_failed_ = true;
    line(L"failed: " + current_path() + L": the auto-tagging service failed (" +
         (log_file.empty() ? std::wstring(L"the log has the details") : L"details in " + log_file) + L")");
}

void console_callbacks::report_unsupported_file_type(const std::wstring& path, const std::wstring& reason,
                                                     const std::wstring& supported_types) {
    current_failed_ = true;
    line(L"unsupported: " + path + L": " + reason + L" (supported: " + supported_types + L")");
}

void console_callbacks::set_title(const std::wstring& title) { line(title); }

void console_callbacks::set_status_text(const std::wstring& text) {
    status_text_ = text;
    if (terminal_) {
        redraw_bar();
    } else {
        out_(text + L"\n");
    }
}

void console_callbacks::finish(std::uint32_t total_files, bool show_faces, std::uint32_t unidentified_faces) {
    end_current_file();
    // A reader of the redirected lines sees the job reach its end.
    if (!terminal_ && started_ > 0 && percent_ != 100) out_(L"progress: 100%\n");
    if (terminal_ && bar_shown_) {
        percent_ = 100;
        status_text_.clear();
        redraw_bar();
        out_(L"\n");
        bar_shown_ = false;
    }
    const std::uint32_t done = succeeded_ + failed_;
    const std::uint32_t skipped = total_files > done ? total_files - done : 0;
    std::wstring summary = fmt::format(L"{} succeeded, {} failed", succeeded_, failed_);
    if (skipped > 0) summary += fmt::format(L", {} not processed", skipped);
    out_(summary + L"\n");
    if (show_faces) out_(fmt::format(L"unidentified faces: {}\n", unidentified_faces));
}

}  // namespace sortwell::batch_host
