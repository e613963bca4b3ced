#pragma once
// What the worker needs from the rest of the suite besides its handlers:
// file-type capabilities, one suite setting, the metadata and overlay steps
// after a file, and the pause wait. Each is a function with a default, so
// tests drive the worker and the real pieces plug in where they live.

#include "explorer/folder_overlay.h"
#include "metadata/fallback_chain.h"
#include "metadata/file_type_capabilities.h"
#include "settings/suite_settings_keys.h"

#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace sortwell::batch_processor {

struct worker_services {
    /// Whether the file's type can hold tags.
    std::function<bool(const std::wstring& path)> can_store_tags = [](const std::wstring& path) {
        return qlm::metadata::can_store_tags(path);
    };

    /// Whether the file's type can hold a rating.
    std::function<bool(const std::wstring& path)> can_store_rating = [](const std::wstring& path) {
        return qlm::metadata::can_store_rating(path);
    };

    /// The suite setting "people_recognition.write_people_tags" of the
    /// application insightor; true when the setting is missing.
    std::function<bool()> write_people_tags = [] { return high_level_settings::write_people_tags(); };

    /// Unlinks a JPEG's embedded EXIF thumbnail so that viewers draw the file
    /// from its pixels again; other files are left alone. Failures are ignored.
    std::function<void(const std::wstring& path)> drop_exif_thumbnail_link = [](const std::wstring& path) {
        qlm::metadata::drop_exif_thumbnail_link(path);
    };

    /// Recomposes a folder's icon with its tag and rating overlays.
    std::function<void(const std::wstring& folder)> refresh_folder_overlay = [](const std::wstring& folder) {
        explorer::refresh_folder_overlay(folder);
    };

    /// Waits while the host has the job paused.
    std::function<void(std::chrono::milliseconds)> sleep = [](std::chrono::milliseconds time) {
        std::this_thread::sleep_for(time);
    };
};

}  // namespace sortwell::batch_processor
