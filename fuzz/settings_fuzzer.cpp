// Feeds arbitrary bytes to both settings readers as the user's settings file.
// The tag list must also survive a save and read back the same entries.

#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/all_tags_settings.h"
#include "settings/high_level_settings.h"
#include "settings/suite_settings_keys.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

struct sandbox {
    std::wstring root;
    std::unique_ptr<all_tags_settings::settings_file> tag_list;
    std::unique_ptr<high_level_settings::settings_file> suite;

    sandbox() {
        const auto folder = std::filesystem::temp_directory_path() /
                            ("qlm-fuzz-settings-" + std::to_string(platform::file_system::process_id()));
        root = folder.wstring();
        const std::wstring module = root + platform::file_system::separator + L"qlm";
        tag_list = std::make_unique<all_tags_settings::settings_file>(module, root);
        suite = std::make_unique<high_level_settings::settings_file>(module, root);
    }
};

sandbox& shared() {
    static sandbox instance;
    return instance;
}

void write(const std::wstring& path, const std::string& bytes) {
    std::ofstream(platform::file_system::to_native(path), std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    sandbox& box = shared();

    write(box.tag_list->full_path(), text);
    if (box.tag_list->load(true)) {
        const auto tags = box.tag_list->tags;
        const auto version = box.tag_list->version;
        box.tag_list->save();
        if (!box.tag_list->load(true) || box.tag_list->tags != tags || box.tag_list->version != version) {
            __builtin_trap();
        }
    }

    namespace hls = high_level_settings;
    write(box.suite->full_path(), text);
    if (!box.suite->load(true)) __builtin_trap();  // an unreadable suite file still loads
    (void)hls::show_tags_overlay(*box.suite);
    (void)hls::write_people_tags(*box.suite);
    (void)hls::get_excluded_names(*box.suite);
    (void)hls::get_organize_categories(*box.suite);
    (void)box.suite->is_sortwell_enabled();
    try {
        (void)hls::get_auto_tags(*box.suite);
    } catch (const std::runtime_error&) {
    }
    return 0;
}
