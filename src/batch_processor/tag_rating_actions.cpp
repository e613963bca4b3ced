#include "batch_processor/tag_rating_actions.h"

#include "explorer/shell_registration.h"
#include "formats/text_list.h"
#include "logging/log.h"
#include "metadata/fallback_chain.h"
#include "metadata/file_changed_error.h"
#include "metadata/file_type_capabilities.h"
#include "metadata/metadata_handle.h"
#include "platform/text.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <functional>

namespace sortwell::batch_processor {
namespace {

using qlm::metadata::metadata_handle;

// The common frame of every handler: admission by type, then the action's
// own work on a handle open for writing. An unsupported type is only logged:
// the job goes on and the worker still refreshes the file. A store that
// cannot be opened for writing is skipped silently; whoever asked for the
// change finds it missing when reading back.
// A file that another program changed between the read and the commit was
// not written; the work starts again from a fresh read, a few times.
constexpr int write_attempts = 4;
// Attempts made before a grouped replace of the file being written again,
// and the attempts of the last write.
thread_local int attempts_spent = 0;
thread_local int attempts_made = 0;

void with_writable_handle(const std::wstring& path, bool tags, const wchar_t* action_title,
                          const std::function<void(metadata_handle&)>& work) {
    const bool capable = tags ? qlm::metadata::can_store_tags(path) : qlm::metadata::can_store_rating(path);
    if (!capable) {
        qlm::log_info(L"{}: Skipping file {}. Unsupported filetype {}", action_title, path,
                      qlm::metadata::path_extension(path));
        return;
    }
    bool opened = false;
    for (int attempt = 1;; ++attempt) {
        attempts_made = attempts_spent + attempt;
        // The destructor closes on a raised error too, restoring lifted attributes.
        metadata_handle handle;
        try {
            opened = handle.open_for_writing(path);
            if (opened) work(handle);
            handle.close();
            break;
        } catch (const qlm::metadata::file_changed_error&) {
            if (!write_attempts_left(attempts_made)) throw;
            qlm::log_info(L"{}: {} was changed by another program during the write; writing it again", action_title,
                          path);
        }
    }
    // Also after a failed open: Explorer should show the overlays of the type.
    // Once the file may hold the change, a registration that fails (a full
    // profile disk) must not make its row read "failed".
    if (!opened) {
        explorer::register_shell_handlers(path);
        return;
    }
    try {
        explorer::register_shell_handlers(path);
    } catch (const std::exception& error) {
        qlm::log_warning(L"{}: {} was written, but the shell handlers could not be registered for its type: {}",
                         action_title, path, platform::text::from_utf8(error.what()));
    }
}

std::vector<std::wstring>::iterator find_ignoring_ascii_case(std::vector<std::wstring>& tags,
                                                             const std::wstring& name) {
    return std::find_if(tags.begin(), tags.end(), [&name](const std::wstring& tag) {
        return platform::text::crt_equal_ignore_case(tag, name);
    });
}

}  // namespace

std::vector<std::wstring> split_parameters(const std::wstring& parameters) { return formats::split_list(parameters); }

int parse_leading_integer(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{INT_MAX} + 1);
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

void apply_update_tags(const std::wstring& path, const std::wstring& parameters) {
    with_writable_handle(path, true, L"Update Tags", [&parameters](metadata_handle& handle) {
        std::vector<std::wstring> tags = handle.get_tags();
        bool changed = false;
        for (const std::wstring& token : split_parameters(parameters)) {
            if (token == L"=") {
                // Clearing a list that is empty and untouched is no change.
                if (changed || !tags.empty()) {
                    changed = true;
                    tags.clear();
                }
                continue;
            }
            if (token.size() < 2) continue;
            const std::wstring name = token.substr(1);
            const auto found = find_ignoring_ascii_case(tags, name);
            if (token[0] == L'+') {
                if (found == tags.end()) {
                    tags.push_back(name);
                    changed = true;
                }
            } else if (token[0] == L'-') {
                if (found != tags.end()) {
                    tags.erase(found);
                    changed = true;
                }
            }
        }
        if (!changed) return;
        qlm::metadata::set_tags(handle, tags);
        handle.commit();
    });
}

void apply_toggle_tags(const std::wstring& path, const std::wstring& parameters) {
    // A job has one parameter string for all its files; it is split once.
    static const std::vector<std::wstring> toggle_list = split_parameters(parameters);
    with_writable_handle(path, true, L"Toggle Tags", [](metadata_handle& handle) {
        for (const std::wstring& name : toggle_list) {
            std::vector<std::wstring> tags = handle.get_tags();
            const auto found = std::find(tags.begin(), tags.end(), name);
            if (found != tags.end()) {
                tags.erase(found);
            } else {
                tags.push_back(name);
            }
            qlm::metadata::set_tags(handle, tags);
        }
        handle.commit();
    });
}

void apply_remove_tags(const std::wstring& path) {
    with_writable_handle(path, true, L"Remove Tags", [](metadata_handle& handle) {
        qlm::metadata::remove_all_tags(handle);
        handle.commit();
    });
}

void apply_set_rating(const std::wstring& path, const std::wstring& parameters) {
    with_writable_handle(path, false, L"Set Rating", [&parameters](metadata_handle& handle) {
        // Out-of-range numbers pass through; the rating writer decides about them.
        const int stars = parse_leading_integer(platform::text::to_utf8(parameters));
        qlm::metadata::set_rating(handle, static_cast<std::uint32_t>(stars));
        handle.commit();
    });
}

void apply_remove_rating(const std::wstring& path) {
    with_writable_handle(path, false, L"Remove Rating", [](metadata_handle& handle) {
        qlm::metadata::set_rating(handle, 0);
        handle.commit();
    });
}

int write_attempts_made() { return attempts_made; }

bool write_attempts_left(int made) { return made < write_attempts; }

write_attempt_spent::write_attempt_spent(int made) : saved_(attempts_spent) { attempts_spent = made; }

write_attempt_spent::~write_attempt_spent() { attempts_spent = saved_; }

}  // namespace sortwell::batch_processor
