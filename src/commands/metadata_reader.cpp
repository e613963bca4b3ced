#include "commands/metadata_reader.h"

#include "cli/output.h"
#include "commands/ordered_read_pool.h"
#include "metadata/folder_ini.h"
#include "metadata/metadata_handle.h"
#include "metadata/people_regions.h"
#include "platform/file_system.h"
#include "platform/system_words.h"
#include "platform/text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <exception>

namespace qlm::metadata_commands {
namespace {

constexpr wchar_t cloud_only_message[] = L"The file is only in the cloud; reading its metadata would download it.";

bool is_cloud_placeholder(const std::wstring& path) {
    const std::uint32_t attributes = platform::file_system::get_attributes(path);
    return attributes != platform::file_system::invalid_attributes &&
           (attributes & metadata::cloud_attribute_mask) != 0;
}

void append_person(std::vector<std::wstring>& people, const std::wstring& name) {
    if (name.empty()) return;
    for (const auto& known : people) {
        if (platform::text::equal_ignore_case(known, name)) return;
    }
    people.push_back(name);
}

// Why a target could not be opened, in words where the system has them.
std::wstring unreadable_message(const std::wstring& path, std::int32_t code) {
    namespace fs = platform::file_system;
    if (platform::system_words::codes_beside_words()) {
        return fmt::format(L"Could not read the metadata (0x{:08X}).", static_cast<std::uint32_t>(code));
    }
    const std::uint32_t attributes = fs::get_attributes(path);
    bool target_missing = false;
    try {
        target_missing = attributes != fs::invalid_attributes && (attributes & fs::attribute_reparse_point) != 0 &&
                         !fs::exists(path);
    } catch (const std::exception&) {
    }
    if (target_missing) return L"Could not read the metadata (the link points to a file that does not exist).";
    return fmt::format(L"Could not read the metadata ({}).", platform::system_words::words_or_code(code));
}

}  // namespace

bool read_file_state(const std::wstring& path, field_mask mask, file_state& state, target_result& result) {
    try {
        metadata::metadata_handle handle;
        if (!handle.open_for_reading(path, 0)) {
            if (is_cloud_placeholder(path)) {
                set_error(result, L"cloud_only", cloud_only_message);
            } else {
                set_error(result, L"read_failed", unreadable_message(path, handle.last_error()));
            }
            handle.close();
            return false;
        }
        if ((mask & field_tags) != 0) state.tags = handle.get_tags();
        if ((mask & field_rating) != 0) {
            state.rating = metadata::get_folder_rating(handle);
            namespace ps = platform::property_store;
            ps::property_value stored;
            if (!handle.is_folder() && !ps::failed(handle.get_value(ps::key_rating, stored))) {
                using ps::value_type;
                if (stored.type == value_type::i4 && stored.i4 < 0) {
                    state.rating_settled = false;
                } else if (state.rating > 0 && (stored.type == value_type::ui4 || stored.type == value_type::i4)) {
                    const auto raw = stored.type == value_type::ui4 ? stored.ui4 : static_cast<std::uint32_t>(stored.i4);
                    state.rating_settled = raw == metadata::stars_to_rating(state.rating);
                }
            }
        }
        if ((mask & field_comment) != 0) state.comment = handle.get_comment();
        if ((mask & field_people) != 0) {
            // A small photo's bytes are already in memory from the open above.
            for (const auto& region : metadata::read_people_regions(path, handle.held_content())) {
                append_person(state.people, region.name);
            }
        }
        handle.close();
        return true;
    } catch (const std::exception& error) {
        set_error(result, L"read_failed", L"Could not read the metadata: " + from_utf8(error.what()));
    } catch (...) {
        set_error(result, L"read_failed", L"Could not read the metadata.");
    }
    return false;
}

void read_targets(const std::vector<target_entry>& targets, field_mask mask,
                  const std::function<void(target_result&&)>& on_row) {
    const auto read = [&](std::size_t index) {
        target_result row = start_row(targets[index]);
        if (row.status.empty()) {
            file_state state;
            if (read_file_state(row.path, mask, state, row)) {
                row.status = L"ok";
                row.after = std::move(state);
            }
        }
        return row;
    };
    run_ordered<target_result>(targets.size(), reader_count(targets.size()), read, on_row);
}

}  // namespace qlm::metadata_commands
