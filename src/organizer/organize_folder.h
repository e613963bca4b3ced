#pragma once
// The "organize_folder" and "organize_undo" actions: moving a folder's files
// into sub-folders by category or by metadata patterns, journaled so that
// undo can put everything back.

#include "batch_processor/batch_processor_callbacks.h"
#include "organizer/undo_journal.h"
#include "settings/suite_settings_keys.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sortwell::organizer {

/// What the organizer needs from the rest of the system, each with its real
/// default, so tests can inject a locked file or a refused folder.
struct organize_services {
    /// MoveFileW semantics: never replaces; 0 or the Win32 error.
    std::function<std::uint32_t(const std::wstring& from, const std::wstring& to)> move_file;
    /// CreateDirectoryW: 0 or the Win32 error.
    std::function<std::uint32_t(const std::wstring& path)> create_directory;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<std::vector<high_level_settings::organize_category>()> categories;
    std::function<std::vector<std::wstring>()> excluded_names;
    /// A pattern setting of the organizer ("organize.photoNamingPattern", …).
    std::function<std::wstring(const char* key, const wchar_t* fallback)> pattern;
    /// The modal notice of the cue-sheet rule.
    std::function<void(const std::wstring& text)> show_notice;

    organize_services();
};

/// Where the journal and intent log of `folder` may lead: the folder and the
/// rooted placement folders of the photo and music patterns.
journal_scope organize_scope(const std::wstring& folder, const organize_services& services);

/// The action: "by_type", "photos_pattern" or "music_pattern" over the files
/// directly in `folder`. Throws std::runtime_error with the run's summary
/// when files could not be moved, and for a bad scheme or folder.
void organize_folder(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& folder,
                     const std::wstring& scheme, const organize_services& services = {});

/// The action: puts back what the folder's journal records, removes the
/// folders that run created when empty, deletes the journal.
void organize_undo(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& folder,
                   const organize_services& services = {});

}  // namespace sortwell::organizer
