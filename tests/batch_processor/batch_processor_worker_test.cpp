#include "batch_processor/batch_processor_worker.h"

#include "batch_processor/autotagger_exception.h"
#include "batch_processor/job_runner.h"
#include "common/exceptions.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"
#include "support/test_text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>

namespace {

namespace bp = sortwell::batch_processor;
namespace fs = platform::file_system;
namespace shell = platform::shell;
using bp::action_type;

// The host with the worker's whole conversation in `calls`.
struct recording_callbacks : qlm::testing::recording_host {
    recording_callbacks() { whole_conversation = true; }
};

using calls_t = std::vector<std::wstring>;

using qlm::testing::contains;
using qlm::testing::utf8;

std::filesystem::file_time_type write_time(const std::wstring& path) {
    return std::filesystem::last_write_time(fs::to_native(path));
}

// A day-old write time, so that a refresh by the worker shows.
void make_old(const std::wstring& path) {
    std::filesystem::last_write_time(fs::to_native(path),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::hours(24));
}

bool refreshed(const std::wstring& path) {
    return write_time(path) > std::filesystem::file_time_type::clock::now() - std::chrono::hours(23);
}

class worker_test : public ::testing::Test {
protected:
    void SetUp() override { shell::clear_recorded_notifications(); }

    // Handlers of the given actions record "path|parameters" and succeed.
    void record_handlers(std::initializer_list<action_type> actions) {
        for (const action_type action : actions) {
            bp::handler_for(table, action) = [this](bp::batch_processor_callbacks&, const std::wstring& path,
                                                    const std::wstring& parameters) {
                handled.push_back(path + L"|" + parameters);
            };
        }
    }

    bp::batch_processor_worker run(const std::wstring& action, const std::vector<std::wstring>& paths,
                                   recording_callbacks& host, const std::wstring& parameters = L"") {
        return qlm::testing::run_job(host, action, paths, parameters, services, table);
    }

    bp::batch_processor_worker run(const std::wstring& action, const std::vector<std::wstring>& paths,
                                   const std::wstring& parameters = L"") {
        return run(action, paths, callbacks, parameters);
    }

    std::vector<std::wstring> paths(std::size_t count) const {
        std::vector<std::wstring> out;
        for (std::size_t i = 1; i <= count; ++i) out.push_back(folder / (L"f" + std::to_wstring(i) + L".jpg"));
        return out;
    }

    // Linux records notifications; on Windows the shell receives them and
    // there is nothing to compare.
    static void expect_notifications(const std::vector<shell::change_notification>& expected) {
        if (!shell::notifications_recorded()) return;
        const auto actual = shell::recorded_notifications();
        ASSERT_EQ(actual.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(actual[i].event, expected[i].event) << i;
            EXPECT_EQ(actual[i].flags, expected[i].flags) << i;
            EXPECT_EQ(actual[i].path1, expected[i].path1) << i;
            EXPECT_EQ(actual[i].path2, L"") << i;
        }
    }

    static shell::change_notification item(const std::wstring& path) {
        return {shell::event_update_item, shell::flag_path | shell::flag_flush_no_wait, path, {}};
    }

    qlm::testing::temp_folder folder;
    recording_callbacks callbacks;
    bp::worker_services services;
    bp::action_table table = bp::default_action_table();
    std::vector<std::wstring> handled;
    std::vector<std::chrono::milliseconds> sleeps;
};

TEST_F(worker_test, titles_follow_each_action_threshold) {
    record_handlers({action_type::update_tags, action_type::auto_tag, action_type::recognize_faces,
                     action_type::wipe_all_people, action_type::run_context_menu_command});
    const auto calls_of = [this](const std::wstring& action, std::size_t count) {
        recording_callbacks host;
        run(action, paths(count), host, L"+a");
        return host.calls;
    };

    // A single tag file: no title, one progress report of 96.
    EXPECT_EQ(calls_of(L"update_tags", 1), (calls_t{L"progress 96"}));
    EXPECT_EQ(handled, (calls_t{paths(1)[0] + L"|+a"}));
    EXPECT_EQ(calls_of(L"update_tags", 19).front(), L"progress 7");
    const calls_t twenty = calls_of(L"update_tags", 20);
    EXPECT_EQ(calls_t(twenty.begin(), twenty.begin() + 3),
              (calls_t{L"title Processing 20 files", L"show", L"progress 7"}));

    // Auto-tagging shows its window even for an empty job, and a status line per file.
    EXPECT_EQ(calls_of(L"auto_tag", 0), (calls_t{L"title Auto-tagging 0 files using local and private AI", L"show"}));
    EXPECT_EQ(calls_of(L"auto_tag", 1), (calls_t{L"title Auto-tagging file using local and private AI", L"show",
                                                 L"progress 96", L"status File 1 of 1 - f1.jpg"}));

    // Face recognition from two photos, titled by the people-tags setting.
    EXPECT_EQ(calls_of(L"recognize_faces", 1), (calls_t{L"progress 96", L"status Photo 1 of 1 - f1.jpg"}));
    EXPECT_EQ(
        calls_of(L"recognize_faces", 2),
        (calls_t{L"title Recognizing and applying people tags in 2 photos using local AI", L"show", L"progress 50",
                 L"status Photo 1 of 2 - f1.jpg", L"progress 96", L"status Photo 2 of 2 - f2.jpg"}));
    services.write_people_tags = [] { return false; };
    EXPECT_EQ(calls_of(L"recognize_faces", 2).front(),
              L"title Recognizing faces in 2 photos using local and private AI");

    EXPECT_EQ(calls_of(L"wipe_all_people", 0), (calls_t{L"title Processing 0 files", L"show"}));
    EXPECT_EQ(calls_of(L"run_context_menu_command", 9).front(), L"progress 11");
    EXPECT_EQ(calls_of(L"run_context_menu_command", 10).front(), L"title Processing 10 files");
}

TEST_F(worker_test, progress_is_truncated_and_kept_within_7_and_96) {
    record_handlers({action_type::set_rating});
    run(L"set_rating", paths(3), L"3");
    EXPECT_EQ(callbacks.progress, (std::vector<int>{33, 66, 96}));

    recording_callbacks host;
    run(L"set_rating", paths(200), host, L"3");
    ASSERT_EQ(host.progress.size(), 200U);
    EXPECT_EQ(host.progress[0], 7);   // 0.5 %
    EXPECT_EQ(host.progress[14], 7);  // 7.5 %
    EXPECT_EQ(host.progress[15], 8);
    EXPECT_EQ(host.progress[190], 95);  // 95.5 %
    EXPECT_EQ(host.progress[191], 96);
    EXPECT_EQ(host.progress[199], 96);
}

TEST_F(worker_test, pause_waits_in_50ms_steps_and_cancellation_stops_between_files) {
    record_handlers({action_type::update_tags});
    services.sleep = [this](std::chrono::milliseconds time) { sleeps.push_back(time); };

    callbacks.paused_answers = {true, true, true, false};
    const auto paused = run(L"update_tags", paths(2), L"+a");
    EXPECT_EQ(sleeps, (std::vector<std::chrono::milliseconds>(3, std::chrono::milliseconds(50))));
    EXPECT_EQ(callbacks.calls, (calls_t{L"paused", L"paused", L"paused", L"progress 50", L"progress 96"}));
    EXPECT_EQ(paused.file_count(), 2U);

    // Cancelled while paused: the first file is never started.
    recording_callbacks during_pause;
    during_pause.paused_answers = {true, true};
    during_pause.cancelled = [&during_pause] { return during_pause.pauses >= 1; };
    handled.clear();
    const auto stopped = run(L"update_tags", paths(2), during_pause, L"+a");
    EXPECT_EQ(during_pause.calls, (calls_t{L"paused"}));
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(stopped.file_count(), 0U);

    // Cancelled after one file: that file is still refreshed at the end.
    const std::wstring first = folder.write(L"one.jpg", "x");
    make_old(first);
    services.can_store_tags = [](const std::wstring&) { return true; };
    recording_callbacks after_one;
    after_one.cancelled = [&after_one] { return after_one.progress.size() >= 1; };
    shell::clear_recorded_notifications();
    const auto cancelled = run(L"update_tags", {first, folder.write(L"two.jpg", "x")}, after_one, L"+a");
    EXPECT_EQ(cancelled.file_count(), 1U);
    EXPECT_TRUE(refreshed(first));
    expect_notifications(
        {item(first), item(first), {shell::event_update_dir, shell::flag_path | shell::flag_flush, folder.path(), {}}});
}

TEST_F(worker_test, actions_without_a_handler_report_every_file) {
    record_handlers({action_type::update_tags});
    const std::wstring present = folder.write(L"present.txt", "x");
    const std::wstring missing = folder / L"missing.txt";
    const qlm::testing::log_capture log;
    const auto worker = run(L"media_play_pause", {present, missing});
    EXPECT_EQ(worker.action(), action_type::media_play_pause);
    EXPECT_EQ(callbacks.calls, (calls_t{L"progress 50", L"unknown action", L"progress 96", L"unknown action"}));
    EXPECT_EQ(worker.error_count(), 0U);
    EXPECT_TRUE(contains(log.text(), "[ERROR] Error processing " + utf8(present) + ". Unexpected action requested\n"));
    EXPECT_TRUE(contains(log.text(), "[ERROR] Error processing " + utf8(missing) + ". Unexpected action requested\n"));
    // The existing file is still announced to the shell; nothing is refreshed for a non-tag action.
    expect_notifications({item(present)});
    EXPECT_TRUE(handled.empty());
}

TEST_F(worker_test, repeated_errors_are_only_logged_once_the_host_asks) {
    bp::handler_for(table, action_type::update_tags) = [](bp::batch_processor_callbacks&, const std::wstring& path,
                                                          const std::wstring&) {
        if (path.ends_with(L"3.jpg")) throw std::runtime_error("Failed to set tags");
        throw exceptions::formatted_runtime_error(std::wstring(L"Failed to download the file."));
    };
    const auto files = paths(3);

    callbacks.suppress_repeats = true;
    const qlm::testing::log_capture log;
    const auto suppressing = run(L"update_tags", {files[0], files[1], files[2]}, L"+a");
    EXPECT_EQ(callbacks.calls,
              (calls_t{L"progress 33", L"error " + files[0] + L" | Failed to download the file.", L"progress 66",
                       L"progress 96", L"error " + files[2] + L" | Failed to set tags"}));
    EXPECT_EQ(suppressing.error_count(), 3U);
    EXPECT_TRUE(contains(log.text(),
                         "[ERROR] Error processing " + utf8(files[0]) + " Details: Failed to download the file.\n"));
    EXPECT_TRUE(contains(log.text(), "[INFO] Suppressed the error processing file " + utf8(files[1]) +
                                         " Details: Failed to download the file.\n"));

    // A host that never asks (as the command line's) sees every error.
    recording_callbacks reporting_all;
    const auto reporting = run(L"update_tags", {files[0], files[1]}, reporting_all, L"+a");
    EXPECT_EQ(reporting_all.calls,
              (calls_t{L"progress 50", L"error " + files[0] + L" | Failed to download the file.", L"progress 96",
                       L"error " + files[1] + L" | Failed to download the file."}));
    EXPECT_EQ(reporting.error_count(), 2U);

    // The auto-tagger's own failures go to their own report.
    bp::handler_for(table, action_type::auto_tag) = [](bp::batch_processor_callbacks&, const std::wstring&,
                                                       const std::wstring&) {
        throw bp::autotagger_exception(std::wstring(L"Service unavailable"));
    };
    recording_callbacks tagging;
    const auto auto_tagged = run(L"auto_tag", {files[0]}, tagging);
    EXPECT_EQ(tagging.calls, (calls_t{L"title Auto-tagging file using local and private AI", L"show", L"progress 96",
                                      L"status File 1 of 1 - f1.jpg", L"auto-tag failure"}));
    EXPECT_EQ(auto_tagged.error_count(), 1U);
}

TEST_F(worker_test, a_failure_of_the_whole_job_ends_the_run_and_names_the_current_path) {
    record_handlers({action_type::update_tags});
    services.can_store_tags = [](const std::wstring&) { return true; };

    // The job cannot be loaded: reported with an empty path, nothing processed.
    bp::batch_processor_worker from_file(callbacks, services, table);
    from_file.job_file_path = folder / L"job.json";
    from_file.process_job();
    ASSERT_EQ(callbacks.calls.size(), 1U);
    EXPECT_TRUE(callbacks.calls[0].starts_with(L"error  | ")) << callbacks.calls[0];
    EXPECT_EQ(from_file.file_count(), 0U);
    EXPECT_TRUE(handled.empty());

    // A callback that raises before the second file: the path is still the
    // first file's, and the end-of-run refresh is skipped.
    const std::wstring first = folder.write(L"first.jpg", "x");
    make_old(first);
    recording_callbacks closing;
    closing.throw_on_progress = 2;
    const qlm::testing::log_capture log;
    const auto worker = run(L"update_tags", {first, folder / L"second.jpg"}, closing, L"+a");
    EXPECT_EQ(closing.calls, (calls_t{L"progress 50", L"error " + first + L" | progress window closed"}));
    EXPECT_EQ(handled, (calls_t{first + L"|+a"}));
    EXPECT_EQ(worker.file_count(), 1U);
    EXPECT_EQ(worker.error_count(), 0U);
    EXPECT_FALSE(refreshed(first));
    EXPECT_TRUE(
        contains(log.text(), "[ERROR] Error processing file " + utf8(first) + " Details: progress window closed\n"));
    expect_notifications({item(first)});

    // A handler that raises something other than a standard exception ends the run.
    bp::handler_for(table, action_type::set_rating) = [](bp::batch_processor_callbacks&, const std::wstring&,
                                                         const std::wstring&) { throw 42; };
    recording_callbacks odd;
    const auto ended = run(L"set_rating", {first, folder / L"second.jpg"}, odd, L"1");
    EXPECT_EQ(odd.calls, (calls_t{L"progress 50", L"error " + first + L" | Unknown error"}));
    EXPECT_EQ(ended.file_count(), 0U);  // the loop stopped at the first file
    EXPECT_EQ(ended.error_count(), 0U);
}

TEST_F(worker_test, tag_jobs_refresh_changed_files_and_their_folders_but_not_folders_themselves) {
    const std::wstring photos = folder.make_folder(L"photos");
    const std::wstring a = folder.write(L"photos/a.jpg", "");
    const std::wstring b = folder.write(L"photos/b.jpg", "");
    const std::wstring notes = folder.write(L"c.txt", "x");
    const std::wstring album = folder.make_folder(L"album");
    const std::wstring deleted = folder.write(L"photos/deleted.jpg", "x");
    const std::wstring gone = folder / L"gone.jpg";
    for (const auto& path : {a, b, notes}) make_old(path);
    const auto album_time = write_time(album);  // Windows sets no folder times through the standard library

    std::vector<std::wstring> overlays, dropped;
    // Folders hold tags too; the worker must still leave them untouched.
    services.can_store_tags = [](const std::wstring& path) { return !path.ends_with(L".txt"); };
    services.refresh_folder_overlay = [&overlays](const std::wstring& path) { overlays.push_back(path); };
    services.drop_exif_thumbnail_link = [&dropped](const std::wstring& path) {
        dropped.push_back(path);
        throw std::runtime_error("ignored");
    };
    bp::handler_for(table, action_type::update_tags) = [&deleted](bp::batch_processor_callbacks&,
                                                                  const std::wstring& path, const std::wstring&) {
        if (path == deleted) std::filesystem::remove(fs::to_native(path));
    };

    const auto worker = run(L"update_tags", {a, album, notes, gone, deleted, b}, L"+a");
    EXPECT_EQ(worker.error_count(), 0U);
    EXPECT_EQ(overlays, (calls_t{album}));
    EXPECT_EQ(dropped, (calls_t{a, b}));
    EXPECT_TRUE(refreshed(a));
    EXPECT_TRUE(refreshed(b));
    EXPECT_FALSE(refreshed(notes));
    EXPECT_EQ(write_time(album), album_time);
    EXPECT_EQ(std::vector<std::wstring>(worker.changed_folders().begin(), worker.changed_folders().end()),
              (calls_t{photos}));
    expect_notifications({item(a),
                          item(album),
                          item(notes),
                          item(b),
                          item(a),
                          item(b),
                          {shell::event_update_dir, shell::flag_path | shell::flag_flush, photos, {}}});

    // Rating jobs ask whether the type holds a rating, not tags.
    shell::clear_recorded_notifications();
    dropped.clear();
    make_old(a);
    services.can_store_rating = [](const std::wstring&) { return false; };
    record_handlers({action_type::set_rating, action_type::auto_tag, action_type::run_context_menu_command});
    run(L"set_rating", {a}, L"4");
    EXPECT_TRUE(dropped.empty());
    EXPECT_FALSE(refreshed(a));
    expect_notifications({item(a)});

    // Other actions only announce the file; user commands not even that.
    shell::clear_recorded_notifications();
    recording_callbacks host;
    run(L"auto_tag", {a}, host);
    expect_notifications({item(a)});
    shell::clear_recorded_notifications();
    run(L"run_context_menu_command", {a}, host);
    expect_notifications({});
    EXPECT_TRUE(dropped.empty());
}

TEST_F(worker_test, offline_files_are_downloaded_before_their_handler_runs) {
    record_handlers({action_type::set_rating});
    const std::wstring cloud = folder.write(L"cloud.jpg", "JFIF");
    const std::wstring empty = folder.write(L"empty.jpg", "");
    const std::wstring cloud_folder = folder.make_folder(L"cloud folder");
    for (const auto& path : {cloud, empty, cloud_folder}) {
        const std::uint32_t base = fs::get_attributes(path) & fs::attribute_directory;
        if (fs::set_attributes(path, base | fs::attribute_offline) != 0 ||
            (fs::get_attributes(path) & fs::attribute_offline) == 0) {
            GTEST_SKIP() << "this file system keeps no offline attribute";
        }
    }
    const qlm::testing::log_capture log;
    const auto worker = run(L"set_rating", {cloud, empty, cloud_folder}, L"2");
    // The empty placeholder yields no byte: that is a failed download.
    EXPECT_EQ(handled, (calls_t{cloud + L"|2", cloud_folder + L"|2"}));
    EXPECT_EQ(callbacks.calls, (calls_t{L"progress 33", L"progress 66",
                                        L"error " + empty + L" | Failed to download the file.", L"progress 96"}));
    EXPECT_EQ(worker.error_count(), 1U);
    EXPECT_TRUE(
        contains(log.text(), "[ERROR] File " + utf8(empty) + " is an offline cloud file but hydration failed.\n"));
}

}  // namespace
