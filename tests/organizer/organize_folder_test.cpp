#include "organizer/organize_folder.h"
#include "platform/file_system_moves.h"
#include "platform/folder_listing.h"

#include "organize_support.h"
#include "organizer/intent_log.h"
#include "organizer/undo_journal.h"
#include "platform/shell.h"
#include "platform/shell_events.h"
#include "platform/win32_error.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

namespace {

namespace org = sortwell::organizer;
namespace fs = platform::file_system;
namespace shell = platform::shell;
using namespace organizer_testing;
using names = std::vector<std::wstring>;

// The folder's names but the ".hidden" list that names its hidden files on Linux.
names visible_names(const std::wstring& folder) {
    names found = names_in(folder);
    found.erase(std::remove(found.begin(), found.end(), L".hidden"), found.end());
    return found;
}

// A path as a JSON string literal.
std::string json(const std::wstring& path) {
    std::string out = "\"";
    for (const char c : utf8(path)) {
        if (c == '\\' || c == '"') out.push_back('\\');
        out.push_back(c);
    }
    return out + "\"";
}

std::vector<std::string> lines_at(const qlm::testing::log_capture& log, const std::string& level) {
    std::vector<std::string> out;
    for (const auto& message : log.messages()) {
        if (message.rfind(level + " ", 0) == 0) out.push_back(message.substr(level.size() + 1));
    }
    return out;
}

class organize_test : public ::testing::Test {
protected:
    void SetUp() override {
        shell::clear_recorded_notifications();
        host.allow_folders = true;
    }
    qlm::testing::temp_folder folder;
    recording_host host;
    org::organize_services services = test_services();
    const wchar_t sep = fs::separator;
};

TEST_F(organize_test, by_type_sorts_into_categories_and_leaves_what_it_must) {
    folder.make_folder(L"Images");
    folder.write(L"Images/a.jpg", "old");
    for (const auto* name : {L"a.jpg", L"b.TXT", L"icon.ico", L"desktop.ini", L"Thumbs.DB", L"x.lnk", L"y.URL",
                             L"sw_folder_1.ico", L"keep.tmp", L"KEEP.me", L"hidden.txt", L"noext"}) {
        folder.write(name, "data");
    }
    fs::set_attributes(folder / L"hidden.txt", fs::attribute_hidden);
    folder.make_folder(L"sub.jpg");
    services.excluded_names = [] { return std::vector<std::wstring>{L"*.TMP", L"keep.me"}; };
    services.categories = [] {
        auto categories = high_level_settings::default_organize_categories();
        categories.push_back({L" Docs: 2024 ", {L".txt"}, true});
        categories.push_back({L"Never", {L"ico"}, false});
        return categories;
    };
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }), ok);

    EXPECT_EQ(visible_names(folder.path()),
              (names{L"Docs 2024", L"Images", L"KEEP.me", L"Other", L"Thumbs.DB", L"desktop.ini", L"hidden.txt",
                     L"keep.tmp", L"sub.jpg", L"sw_folder_1.ico", L"sw_organize_undo.json", L"x.lnk", L"y.URL"}));
    EXPECT_EQ(names_in(folder / L"Images"), (names{L"a (2).jpg", L"a.jpg"}));
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"Images/a (2).jpg"), "data");
    EXPECT_EQ(names_in(folder / L"Docs 2024"), (names{L"b.TXT"}));
    EXPECT_EQ(names_in(folder / L"Other"), (names{L"icon.ico", L"noext"}));
    EXPECT_NE(fs::get_attributes(org::journal_path(folder.path())) & fs::attribute_hidden, 0u);
    EXPECT_FALSE(fs::exists(folder / L"sw_organize_undo.wal"));

    const auto journal = org::read_journal(org::journal_path(folder.path()));
    EXPECT_EQ(journal.folder, folder.path());
    EXPECT_EQ(journal.created_folders.size(), 2u);  // Images existed
    ASSERT_EQ(journal.moves.size(), 4u);
    for (const auto& move : journal.moves) {
        EXPECT_TRUE(fs::exists(folder.path() + sep + move.to)) << utf8(move.to);
        EXPECT_EQ(move.from.rfind(folder.path(), 0), 0u);
        EXPECT_FALSE(org::is_rooted(move.to));
    }
    EXPECT_TRUE(std::any_of(journal.moves.begin(), journal.moves.end(), [&](const auto& move) {
        return move.from == folder / L"a.jpg" && move.to == std::wstring(L"Images") + sep + L"a (2).jpg";
    }));
    EXPECT_EQ(lines_at(log, "INFO"), std::vector<std::string>{"Organize folder: moved 4 files into 3 subfolders of " +
                                                              utf8(folder.path()) + " (0 failures)"});
    EXPECT_TRUE(host.calls.empty());  // no progress window for a few files

    if (shell::notifications_recorded()) {
        const auto events = shell::recorded_notifications();
        ASSERT_EQ(events.size(), 4u + 3u + 1u);
        for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(events[i].event, shell::event_rename_item);
        EXPECT_EQ(events.back().event, shell::event_update_dir);
        EXPECT_EQ(events.back().flags, shell::flag_path | shell::flag_flush);
        EXPECT_EQ(events.back().path1, folder.path());
    }

    // Nothing left to take: a second run moves nothing and keeps the journal.
    qlm::testing::log_capture again;
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }), ok);
    EXPECT_EQ(lines_at(again, "INFO"),
              std::vector<std::string>{"Organize folder: nothing to organize in " + utf8(folder.path())});
    EXPECT_EQ(org::read_journal(org::journal_path(folder.path())), journal);
}

TEST_F(organize_test, bad_schemes_folders_and_refused_subfolders) {
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"By_Type", services); }),
              "Unknown organize scheme 'By_Type'");
    const std::wstring file = folder.write(L"f.txt", "x");
    EXPECT_EQ(error_of([&] { org::organize_folder(host, file, L"by_type", services); }),
              "'" + utf8(file) + "' is not a folder");
    folder.write(L"g.txt", "y");
    services.create_directory = [](const std::wstring&) { return platform::win32_error::access_denied; };
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }),
              "2 of 2 files could not be moved. See the log for details.");
    EXPECT_EQ(lines_at(log, "ERROR"),
              (std::vector<std::string>{"Organize folder: Failed to create subfolder 'Documents'",
                                        "Organize folder: Failed to create subfolder 'Documents'"}));
    EXPECT_FALSE(fs::exists(org::journal_path(folder.path())));
    EXPECT_EQ(names_in(folder.path()), (names{L"f.txt", L"g.txt"}));
}

TEST_F(organize_test, progress_shows_from_twenty_files) {
    for (const int count : {19, 20}) {
        qlm::testing::temp_folder many;
        for (int i = 0; i < count; ++i) many.write(L"f" + std::to_wstring(i) + L".txt", "x");
        recording_host counted;
        org::organize_folder(counted, many.path(), L"by_type", services);
        EXPECT_EQ(counted.calls, count == 20 ? names{L"show"} : names{});
        EXPECT_EQ(counted.progress.size(), static_cast<std::size_t>(count));
    }
}

TEST_F(organize_test, pattern_scheme_numbers_from_one_and_waits_out_locks) {
    const std::map<std::string, std::wstring> patterns{{"organize.photoNamingPattern", L"<Original Filename>"},
                                                       {"organize.photoPlacementPattern", L"Sorted"}};
    services = test_services(patterns);
    folder.make_folder(L"Sorted");
    folder.write(L"Sorted/a.jpg", "old");
    folder.write(L"a.jpg", "new");
    folder.write(L"a.XMP", "side");
    folder.write(L"a.jpg.aae", "side2");
    folder.write(L"locked.png", "l");
    folder.write(L"busy.png", "b");
    folder.write(L"notes.txt", "t");  // not an image: not taken
    std::map<std::wstring, int> attempts;
    std::vector<std::chrono::milliseconds> sleeps;
    services.sleep = [&](std::chrono::milliseconds time) { sleeps.push_back(time); };
    services.move_file = [&](const std::wstring& from, const std::wstring& to) -> std::uint32_t {
        const int attempt = ++attempts[from];
        if (from == folder / L"locked.png") return attempt % 2 == 0 ? 33u : 32u;  // never frees
        if (from == folder / L"busy.png" && attempt < 5) return 32u;              // frees on the last try
        return fs::move_file_no_replace(from, to);
    };
    qlm::testing::log_capture log;
    const std::string result = error_of([&] { org::organize_folder(host, folder.path(), L"photos_pattern", services); });
    EXPECT_EQ(result,
              "1 of 3 files could not be organized: 1 still in use by another process (a fresh import still "
              "settling, cloud sync, antivirus, or search indexing -- usually clears on its own; try again in a "
              "moment).");
    EXPECT_EQ(attempts[folder / L"locked.png"], 5);
    EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), std::chrono::milliseconds(200)), 8);
    EXPECT_EQ(names_in(folder / L"Sorted"), (names{L"a (1).XMP", L"a (1).aae", L"a (1).jpg", L"a.jpg", L"busy.png"}));
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"Sorted/a (1).aae"), "side2");
    EXPECT_EQ(visible_names(folder.path()), (names{L"Sorted", L"locked.png", L"notes.txt", L"sw_organize_undo.json"}));
    const auto journal = org::read_journal(org::journal_path(folder.path()));
    ASSERT_EQ(journal.moves.size(), 4u);  // a.jpg, its two sidecars right after it, busy.png
    const auto main = std::find_if(journal.moves.begin(), journal.moves.end(),
                                   [&](const auto& move) { return move.from == folder / L"a.jpg"; });
    ASSERT_LE(main - journal.moves.begin(), 1);
    EXPECT_EQ(main->to, L"Sorted" + std::wstring(1, sep) + L"a (1).jpg");
    const std::set<std::wstring> sidecars{(main + 1)->from, (main + 2)->from};
    EXPECT_EQ(sidecars, (std::set<std::wstring>{folder / L"a.XMP", folder / L"a.jpg.aae"}));
    EXPECT_TRUE(journal.created_folders.empty());
    EXPECT_EQ(lines_at(log, "INFO").back(),
              "Organize folder (Photos): moved 2 files (1 failed [1 still in use], 0 "
              "skipped for path length) from " +
                  utf8(folder.path()));
}

TEST_F(organize_test, long_destinations_are_skipped_and_absolute_targets_need_consent) {
    const std::wstring long_name(260, L'n');
    services = test_services({{"organize.photoNamingPattern", long_name + L"<Original Filename>"},
                              {"organize.photoPlacementPattern", L"Deep"}});
    folder.write(L"p.gif", "g");
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"photos_pattern", services); }),
              "1 of 1 files could not be organized: 1 skipped because the destination path is too long.");
    EXPECT_TRUE(fs::exists(folder / L"p.gif"));

    qlm::testing::temp_folder elsewhere;
    const std::wstring target = elsewhere / L"new/place";
    services = test_services(
        {{"organize.photoNamingPattern", L"<Original Filename>"}, {"organize.photoPlacementPattern", target}});
    host.allow_folders = false;
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"photos_pattern", services); }), ok);
    EXPECT_EQ(host.confirmations, names{target});
    EXPECT_EQ(lines_at(log, "INFO"), std::vector<std::string>{"Organize folder (Photos): cancelled, target folder '" +
                                                              utf8(target) + "' was not created"});
    host.allow_folders = true;
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"photos_pattern", services); }), ok);
    EXPECT_TRUE(fs::exists(target + sep + L"p.gif"));
    const auto journal = org::read_journal(org::journal_path(folder.path()));
    ASSERT_EQ(journal.moves.size(), 1u);
    EXPECT_EQ(journal.moves[0].to, target + sep + L"p.gif");  // outside the folder: absolute
    EXPECT_TRUE(journal.created_folders.empty());
    recording_host undo_host;
    EXPECT_EQ(error_of([&] { org::organize_undo(undo_host, folder.path(), services); }), ok);
    EXPECT_TRUE(fs::exists(folder / L"p.gif"));
}

// One moved file renamed since, one held by another process, a newcomer
// where a third was: the rest come back, the journal goes all the same, and
// a second undo has nothing to do.
TEST_F(organize_test, undo_restores_skips_renames_and_reports_what_stays) {
    for (const auto* name : {L"1.txt", L"2.txt", L"3.txt", L"4.txt", L"5.jpg", L"held.txt"}) {
        folder.write(name, utf8(name));
    }
    org::organize_folder(host, folder.path(), L"by_type", services);
    fs::move_file(folder / L"Documents/2.txt", folder / L"Documents/renamed.txt");
    folder.write(L"3.txt", "newcomer");
    services.move_file = [&](const std::wstring& from, const std::wstring& to) -> std::uint32_t {
        if (from == folder / L"Documents/held.txt") return platform::win32_error::sharing_violation;
        return fs::move_file_no_replace(from, to);
    };
    shell::clear_recorded_notifications();
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }),
              "Restored 4 files; 2 could not be restored (deleted, renamed, or locked). See the log for details.");
    EXPECT_EQ(names_in(folder.path()), (names{L"1.txt", L"3 (2).txt", L"3.txt", L"4.txt", L"5.jpg", L"Documents"}));
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"3 (2).txt"), "3.txt");
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"3.txt"), "newcomer");
    EXPECT_EQ(names_in(folder / L"Documents"), (names{L"held.txt", L"renamed.txt"}));  // not empty: stays
    EXPECT_FALSE(fs::exists(folder / L"Images"));
    EXPECT_FALSE(fs::exists(org::journal_path(folder.path())));
    EXPECT_FALSE(fs::exists(folder / L"sw_organize_undo.wal"));
    EXPECT_EQ(lines_at(log, "ERROR"),
              std::vector<std::string>{"Undo organize: failed to restore '" + utf8(folder / L"Documents/held.txt") +
                                       "' (" + utf8(fs::error_text(32)) + ")"});
    const auto infos = lines_at(log, "INFO");
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0], "Undo organize: '" + utf8(folder / L"Documents/2.txt") + "' no longer exists, skipping");
    EXPECT_EQ(infos[1], "Undo organize: restored 4 files, skipped 2 in " + utf8(folder.path()) + " (cancelled=false)");
    if (shell::notifications_recorded()) {
        const auto events = shell::recorded_notifications();
        ASSERT_EQ(events.size(), 4u + 1u + 1u);  // four restores, Images removed, the folder
        EXPECT_EQ(events[4].event, shell::event_rmdir);
        EXPECT_EQ(events[4].path1, folder / L"Images");
    }
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }),
              "Nothing to undo: no organize record found in '" + utf8(folder.path()) + "'");
}

TEST_F(organize_test, cancelled_undo_keeps_the_moves_not_yet_attempted) {
    for (int i = 0; i < 10; ++i) folder.write(L"f" + std::to_wstring(i) + L".txt", "x");
    org::organize_folder(host, folder.path(), L"by_type", services);
    int asked = 0;
    host.cancelled = [&] { return ++asked > 3; };
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }), ok);
    const auto left = org::read_journal(org::journal_path(folder.path()));
    EXPECT_EQ(left.moves.size(), 7u);
    EXPECT_EQ(left.created_folders, names{L"Documents"});
    EXPECT_NE(fs::get_attributes(org::journal_path(folder.path())) & fs::attribute_hidden, 0u);
    EXPECT_EQ(lines_at(log, "INFO").back(),
              "Undo organize: restored 3 files, skipped 0 in " + utf8(folder.path()) + " (cancelled=true)");
    host.cancelled = [] { return false; };
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }), ok);
    EXPECT_EQ(names_in(folder.path()).size(), 10u);
    EXPECT_FALSE(fs::exists(folder / L"Documents"));
}

// What a run killed in the middle leaves, settled by the next action.
TEST_F(organize_test, leftover_intent_log_is_recovered_before_the_next_run) {
    folder.make_folder(L"Documents");
    folder.write(L"Documents/moved.txt", "m");                                         // target only: moved
    folder.write(L"stayed.txt", "s");                                                  // source only: not moved
    folder.write(L"Documents/.stayed.txt.qlm-move.tmp", "partial");                    // its cross-volume temporary
    folder.write(L"twice.txt", "same"), folder.write(L"Documents/twice.txt", "same");  // both, equal
    folder.write(L"torn.txt", "whole"), folder.write(L"Documents/torn.txt", "who");    // both, partial target
    const auto line = [&](const std::wstring& name) {
        return "{\"from\":" + json(folder / name) + ",\"to\":" + json(folder / (L"Documents/" + name)) + "}\n";
    };
    folder.write(L"sw_organize_undo.wal", "{\"folder\":" + json(folder.path()) + "}\n{\"created\":\"Documents\"}\n" +
                                              line(L"moved.txt") + line(L"stayed.txt") + line(L"twice.txt") +
                                              line(L"torn.txt") + "{\"from\":\"");
    qlm::testing::log_capture log;
    folder.write(L"new.jpg", "n");
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }), ok);
    EXPECT_EQ(lines_at(log, "INFO").front(),
              "Organize folder: recovered 2 moves of an interrupted run in " + utf8(folder.path()));
    EXPECT_EQ(names_in(folder / L"Documents"), (names{L"moved.txt", L"stayed.txt", L"torn.txt", L"twice.txt"}));
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"Documents/torn.txt"), "whole");
    const auto journal = org::read_journal(org::journal_path(folder.path()));
    ASSERT_EQ(journal.moves.size(), 5u);
    EXPECT_EQ(journal.moves[0].from, folder / L"moved.txt");
    EXPECT_EQ(journal.moves[1].from, folder / L"twice.txt");
    EXPECT_EQ(journal.created_folders, (names{L"Documents", L"Images"}));
    EXPECT_FALSE(fs::exists(folder / L"sw_organize_undo.wal"));

    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }), ok);
    EXPECT_EQ(names_in(folder.path()), (names{L"moved.txt", L"new.jpg", L"stayed.txt", L"torn.txt", L"twice.txt"}));
}

TEST_F(organize_test, interrupted_undo_resumes_without_false_skips) {
    for (int i = 0; i < 4; ++i) folder.write(L"f" + std::to_wstring(i) + L".txt", std::to_string(i));
    org::organize_folder(host, folder.path(), L"by_type", services);
    // An undo died right after putting back moves 0 and 1.
    const auto journal = org::read_journal(org::journal_path(folder.path()));
    std::string log_text = "{\"folder\":" + json(folder.path()) + ",\"undo\":true}\n";
    for (std::size_t i = 0; i < 2; ++i) {
        const std::wstring current = folder.path() + sep + journal.moves[i].to;
        fs::move_file(current, journal.moves[i].from);
        log_text += "{\"undone\":" + std::to_string(i) + ",\"from\":" + json(current) +
                    ",\"to\":" + json(journal.moves[i].from) + "}\n";
    }
    folder.write(L"sw_organize_undo.wal", log_text);
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }), ok);
    EXPECT_EQ(lines_at(log, "INFO"), std::vector<std::string>{"Undo organize: restored 2 files, skipped 0 in " +
                                                              utf8(folder.path()) + " (cancelled=false)"});
    EXPECT_EQ(names_in(folder.path()), (names{L"f0.txt", L"f1.txt", L"f2.txt", L"f3.txt"}));
}

// Hidden entries are not the user's to sort: the hidden attribute, and on
// Linux a leading dot (a file manager's .directory, a .bashrc).
TEST_F(organize_test, hidden_files_stay_where_they_are) {
    for (const auto* name : {L".directory", L".bashrc", L"shown.txt", L"flagged.txt"}) folder.write(name, "x");
    fs::set_attributes(folder / L"flagged.txt", fs::attribute_hidden);
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }), ok);
    if (fs::hidden_by_name(L".bashrc")) {
        EXPECT_EQ(names_in(folder.path()),
                  (names{L".bashrc", L".directory", L".hidden", L"Documents", L"flagged.txt",
                         L"sw_organize_undo.json"}));
    }
    EXPECT_EQ(names_in(folder / L"Documents"), names{L"shown.txt"});
}

// A journal is a file anyone who can write the folder can plant: undo puts
// back only what lies inside the organized folder (or a placement root of
// the user's own settings) and says so for the rest.
TEST_F(organize_test, undo_refuses_journal_entries_that_lead_outside) {
    qlm::testing::temp_folder outside;
    const std::wstring secret = outside.write(L"s.txt", "private");
    const std::wstring beside = outside.write(L"b.txt", "beside");
    folder.make_folder(L"Documents");
    folder.write(L"Documents/mine.txt", "mine");
    org::journal_record planted{folder.path(), {L"Documents", L"../" + outside.path()}, {}};
    planted.moves.push_back({folder / L"got.txt", secret});                                    // absolute elsewhere
    planted.moves.push_back({folder / L"dots.txt", L".." + std::wstring(1, sep) + L"x.txt"});  // a ".." step
    planted.moves.push_back({outside / L"took.txt", L"Documents" + std::wstring(1, sep) + L"mine.txt"});  // out
    planted.moves.push_back({folder / L"back.txt", L"Documents" + std::wstring(1, sep) + L"mine.txt"});   // fine
    bool linked = true;
    try {
        std::filesystem::create_directory_symlink(std::filesystem::path(outside.path()),
                                                  std::filesystem::path(folder / L"link"));
        const std::uint32_t attributes = fs::get_attributes(folder / L"link");
        linked = attributes != fs::invalid_attributes && (attributes & fs::attribute_reparse_point) != 0;
    } catch (const std::exception&) {
        linked = false;
    }
    // Where links cannot be made or are not seen as such (Wine), the other cases still hold.
    if (linked) planted.moves.push_back({folder / L"via.txt", L"link" + std::wstring(1, sep) + L"b.txt"});
    org::write_journal(planted, org::journal_path(folder.path()));
    qlm::testing::log_capture log;
    const std::string refused = linked ? "4" : "3";
    EXPECT_EQ(error_of([&] { org::organize_undo(host, folder.path(), services); }),
              "Restored 1 files; 0 could not be restored (deleted, renamed, or locked) and " + refused +
                  " journal entries were refused because they lead outside '" + utf8(folder.path()) +
                  "'. See the log for details.");
    EXPECT_EQ(qlm::testing::read_bytes(secret), "private");
    EXPECT_EQ(qlm::testing::read_bytes(beside), "beside");
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"back.txt"), "mine");
    EXPECT_FALSE(fs::exists(folder / L"got.txt"));
    EXPECT_FALSE(fs::exists(folder / L"via.txt"));
    EXPECT_TRUE(fs::exists(outside.path()));
    const auto errors = lines_at(log, "ERROR");
    ASSERT_EQ(errors.size(), linked ? 4u : 3u);
    EXPECT_EQ(errors[0], "Undo organize: refused to move '" + utf8(secret) + "' to '" + utf8(folder / L"got.txt") +
                             "': the journal entry leads outside '" + utf8(folder.path()) + "'");
}

// A planted intent log must not make the recovery delete anything outside
// the folder: equal sizes would otherwise count as "moved" and delete the source.
TEST_F(organize_test, recovery_ignores_logged_moves_that_lead_outside) {
    qlm::testing::temp_folder outside;
    const std::wstring victim = outside.write(L"victim.txt", "same");
    folder.make_folder(L"Documents");
    folder.write(L"Documents/copy.txt", "same");
    const std::wstring other = outside.write(L"other.txt", "longer text");
    folder.write(L"here.txt", "short");
    folder.write(L"sw_organize_undo.wal", "{\"folder\":" + json(folder.path()) + "}\n{\"from\":" + json(victim) +
                                              ",\"to\":" + json(folder / L"Documents/copy.txt") + "}\n{\"from\":" +
                                              json(folder / L"here.txt") + ",\"to\":" + json(other) + "}\n");
    qlm::testing::log_capture log;
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }), ok);
    EXPECT_EQ(qlm::testing::read_bytes(victim), "same");
    EXPECT_EQ(qlm::testing::read_bytes(other), "longer text");
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"Documents/copy.txt"), "same");
    EXPECT_EQ(qlm::testing::read_bytes(folder / L"Documents/here.txt"), "short");
    EXPECT_EQ(lines_at(log, "WARNING").size(), 2u);
}

// No move runs unless the intent log can record it first.
TEST_F(organize_test, no_move_without_an_intent_log) {
    folder.write(L"a.txt", "a");
    folder.write(L"b.jpg", "b");
    // A leftover that cannot be read or settled: a folder where the log goes.
    folder.make_folder(L"sw_organize_undo.wal");
    EXPECT_EQ(error_of([&] { org::organize_folder(host, folder.path(), L"by_type", services); }),
              "The log of an interrupted run in '" + utf8(folder.path()) +
                  "' could not be settled (the disk may be full or read-only); nothing was moved.");
    EXPECT_EQ(names_in(folder.path()), (names{L"a.txt", L"b.jpg", L"sw_organize_undo.wal"}));
}

TEST(journal_scope, paths_inside_the_folder_or_a_placement_root) {
    qlm::testing::temp_folder folder;
    const wchar_t sep = fs::separator;
    const std::wstring root = fs::separator == L'/' ? L"/media/photos" : L"D:\\Photos";
    org::journal_scope scope{folder.path(), {root}};
    const std::wstring in = L"Documents" + std::wstring(1, sep) + L"a.txt";
    EXPECT_EQ(scope.destination(in), folder / in);
    EXPECT_EQ(scope.destination(folder / in), folder / in);
    EXPECT_EQ(scope.destination(root + sep + L"2024" + sep + L"a.jpg"), root + sep + L"2024" + sep + L"a.jpg");
    EXPECT_EQ(scope.source(root + sep + L"a.jpg"), std::nullopt);  // nothing comes back to a placement root
    EXPECT_EQ(scope.source(folder / L"a.txt"), folder / L"a.txt");
    EXPECT_EQ(scope.destination(L"Documents" + std::wstring(1, sep) + L".." + sep + L".." + sep + L"x"), std::nullopt);
    EXPECT_EQ(scope.destination(root + sep + L".." + sep + L"x"), std::nullopt);
    EXPECT_EQ(scope.destination(root + L"2" + sep + L"x"), std::nullopt);  // a sibling, not beneath
    EXPECT_EQ(scope.destination(folder.path()), std::nullopt);
    EXPECT_EQ(scope.destination(L""), std::nullopt);

    EXPECT_EQ(org::placement_root(L"<Date>\\<Location>"), L"");
    EXPECT_EQ(org::placement_root(root + sep + L"<Date>"), root);
    EXPECT_EQ(org::placement_root(root + sep + L"Sorted-<Date>"), root);
    EXPECT_EQ(org::placement_root(root + sep + L"fixed"), root);
}

}  // namespace
