#include "cli/output.h"

#include "platform/console.h"
#include "platform/text.h"

#include <cstring>

namespace qlm {

namespace {

// A terminal acts on control characters: a file name or comment holding an
// escape sequence could retitle it, move the cursor or write the clipboard.
// There they are shown as ls shows them, a backslash and three octal digits
// (\033); line breaks, returns and tabs stay what they are.
bool shown_escaped(wchar_t c) { return c < 0x20 && c != L'\n' && c != L'\r' && c != L'\t'; }

void write_to(platform::console::stream target, std::wstring_view text) {
    bool plain = true;
    for (const wchar_t c : text) plain = plain && !shown_escaped(c);
    if (plain || !platform::console::is_terminal(target)) {
        platform::console::write(target, text);
        return;
    }
    platform::console::write(target, escape_control_characters(text));
}

// The status line on standard error; empty when none is shown.
std::wstring status_line;

std::wstring status_erasure() { return L"\r" + std::wstring(status_line.size(), L' ') + L"\r"; }

}  // namespace

std::wstring escape_control_characters(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (const wchar_t c : text) {
        if (!shown_escaped(c)) {
            shown.push_back(c);
            continue;
        }
        const auto code = static_cast<unsigned>(c);
        shown.push_back(L'\\');
        shown.push_back(static_cast<wchar_t>(L'0' + ((code >> 6) & 7)));
        shown.push_back(static_cast<wchar_t>(L'0' + ((code >> 3) & 7)));
        shown.push_back(static_cast<wchar_t>(L'0' + (code & 7)));
    }
    return shown;
}

void write_stdout(std::wstring_view text) { write_to(platform::console::stream::output, text); }

void write_stderr(std::wstring_view text) {
    if (status_line.empty()) {
        write_to(platform::console::stream::error, text);
        return;
    }
    // One write: the line erased, the text, the line drawn again below it.
    // A status line is only ever shown on a terminal, so the text is escaped.
    std::wstring whole = status_erasure();
    whole += escape_control_characters(text);
    whole += status_line;
    platform::console::write(platform::console::stream::error, whole);
}

void set_status_line(std::wstring_view text) {
    std::wstring whole = status_line.empty() ? std::wstring(L"\r") : status_erasure();
    status_line.assign(text);
    whole += status_line;
    platform::console::write(platform::console::stream::error, whole);
}

void clear_status_line() {
    if (status_line.empty()) return;
    platform::console::write(platform::console::stream::error, status_erasure());
    status_line.clear();
}

std::string to_utf8(std::wstring_view text) { return platform::text::to_utf8(text); }

std::wstring from_utf8(const char* bytes) {
    if (bytes == nullptr) return {};
    return platform::text::from_utf8(std::string_view(bytes, std::strlen(bytes)));
}

std::wstring from_utf8(const std::string& bytes) { return from_utf8(bytes.c_str()); }

void print_json(const rapidjson::StringBuffer& buffer) {
    std::wstring text = from_utf8(buffer.GetString());
    text.push_back(L'\n');
    // JSON is read by programs: its text stays exact (the writer already
    // escapes the control characters below U+0020).
    platform::console::write(platform::console::stream::output, text);
}

int print_error_report(bool json, int exit_code, std::wstring_view code, std::wstring_view message) {
    if (json) {
        rapidjson::StringBuffer buffer;
        json_writer writer(buffer);
        writer.StartObject();
        writer.Key("ok");
        writer.Bool(false);
        writer.Key("exit_code");
        writer.Int(exit_code);
        writer.Key("error");
        writer.StartObject();
        writer.Key("code");
        write_json_string(writer, code);
        writer.Key("message");
        write_json_string(writer, message);
        writer.EndObject();
        writer.EndObject();
        print_json(buffer);
        return exit_code;
    }
    std::wstring text = L"qlm: ";
    text.append(message);
    text.push_back(L'\n');
    write_stderr(text);
    if (exit_code == 2) write_stderr(L"Run 'qlm help' for usage.\n");
    return exit_code;
}

}  // namespace qlm
