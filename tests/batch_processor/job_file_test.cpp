#include "batch_processor/job_file.h"
#include "batch_processor/batch_job.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/error_text.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using sortwell::batch_processor::batch_job;
using sortwell::batch_processor::read_job_file;
namespace fs = platform::file_system;

std::string read_error(const qlm::testing::temp_folder& folder, const std::string& text) {
    const std::wstring path = folder.write(L"job.json", text);
    return qlm::testing::error_of([&] { read_job_file(platform::text::to_utf8(path)); });
}

TEST(job_file, validation_reports_the_first_failure_in_a_fixed_order) {
    const qlm::testing::temp_folder folder;
    const struct {
        const char* text;
        const char* message;
    } cases[] = {
        {"not json", "JSON root must be an object"},
        {"[]", "JSON root must be an object"},
        {"{}", "Missing or invalid 'version' field"},
        {R"({"version":1,"job":{}})", "Missing or invalid 'version' field"},
        {R"({"version":"1"})", "Missing or invalid 'job' object"},
        {R"({"version":"1","job":[]})", "Missing or invalid 'job' object"},
        {R"({"version":"1","job":{"action_type":"x"},"files":5})", "Missing or invalid 'guid' field in job"},
        {R"({"version":"1","job":{"guid":null}})", "Missing or invalid 'guid' field in job"},
        {R"({"version":"1","job":{"guid":"g","action_type":4}})", "Missing or invalid 'action_type' field in job"},
        {R"({"version":"1","job":{"guid":"g","action_type":"a","action_parameters":{}}})",
         "Missing or invalid 'action_parameters' field in job"},
        {R"({"version":"1","job":{"guid":"g","action_type":"a","action_parameters":"","files":[]}})",
         "Missing or invalid 'files' array"},
        {R"({"version":"1","job":{"guid":"g","action_type":"a","action_parameters":""},"files":{}})",
         "Missing or invalid 'files' array"},
        {R"({"version":"1","job":{"guid":"g","action_type":"a","action_parameters":""},"files":["C:\\a.jpg"]})",
         "File entry must be an object"},
        {R"({"version":"1","job":{"guid":"g","action_type":"a","action_parameters":""},"files":[{"path":"a"},{"path":7}]})",
         "Missing or invalid 'path' field in file entry"},
    };
    for (const auto& each : cases) EXPECT_EQ(read_error(folder, each.text), each.message) << each.text;
    EXPECT_EQ(read_error(folder, std::string(100000, '[')), "JSON root must be an object");
    EXPECT_EQ(read_error(folder, std::string("\xEF\xBB\xBF{}")), "JSON root must be an object");

    const std::string missing = platform::text::to_utf8(folder / L"missing.json");
    EXPECT_EQ(qlm::testing::error_of([&] { read_job_file(missing); }), "Failed to open JSON file: " + missing);
}

TEST(job_file, valid_file_is_copied_as_written_and_extra_members_ignored) {
    const qlm::testing::temp_folder folder;
    const std::wstring path = folder.write(L"job.json", R"({"files":[{"path":"b.jpg","x":1},{"path":"b.jpg"}],
        "extra":[1,2],"job":{"action_parameters":"+Work;-Old","unknown":null,"action_type":"update_tags",
        "guid":"{8D3C}"},"version":"0.9"})");
    const auto job = read_job_file(platform::text::to_utf8(path));
    EXPECT_EQ(job.version, "0.9");
    EXPECT_EQ(job.guid, "{8D3C}");
    EXPECT_EQ(job.action_type, "update_tags");
    EXPECT_EQ(job.action_parameters, "+Work;-Old");
    EXPECT_EQ(job.files, (std::vector<std::string>{"b.jpg", "b.jpg"}));  // duplicates kept

    folder.write(L"empty.json",
                 R"({"version":"1","job":{"guid":"g","action_type":"remove_tags","action_parameters":""},"files":[]})");
    const auto empty = read_job_file(platform::text::to_utf8(folder / L"empty.json"));
    EXPECT_EQ(empty.action_type, "remove_tags");
    EXPECT_TRUE(empty.files.empty());
}

TEST(batch_job, loads_wide_text_and_deletes_its_file_when_done) {
    const qlm::testing::temp_folder folder;
    // A non-ASCII job file name and non-ASCII paths; a string ends at its first NUL.
    const std::wstring path = folder.write(L"t\u00e2che \u65e5\u672c.json",
                                           "{\"version\":\"2\",\"job\":{\"guid\":\"g\",\"action_type\":\"update_tags\","
                                           "\"action_parameters\":\"+\xC3\x89t\xC3\xA9\\u0000tail\"},\"files\":["
                                           "{\"path\":\"/photos/\xE6\x97\xA5\xE6\x9C\xAC.jpg\"},"
                                           "{\"path\":\"/m\xC3\xBCsic/\xF0\x9F\x8E\xB5.mp3\"}]}");
    {
        batch_job job;
        ASSERT_TRUE(job.load_from_file(path, true));
        EXPECT_EQ(job.version, L"2");
        EXPECT_EQ(job.action_type, L"update_tags");
        EXPECT_EQ(job.action_parameters, L"+\u00c9t\u00e9");
        EXPECT_EQ(job.files,
                  (std::vector<std::wstring>{L"/photos/\u65e5\u672c.jpg",
                                             platform::text::from_utf8("/m\xC3\xBCsic/\xF0\x9F\x8E\xB5.mp3")}));
        EXPECT_EQ(job.job_file_path, path);
        EXPECT_TRUE(fs::exists(path));
    }
    EXPECT_FALSE(fs::exists(path));
    // Kept without --delete: tests/batch_host/test_sortwell_batch.py.
}

TEST(batch_job, file_that_fails_validation_is_still_deleted_and_a_locked_one_only_logged) {
    const qlm::testing::temp_folder folder;
    const std::wstring path = folder.write(L"bad.json", R"({"version":"1","job":{}})");
    {
        batch_job job;
        EXPECT_THROW(job.load_from_file(path, true), std::runtime_error);
    }
    EXPECT_FALSE(fs::exists(path));

    // Missing file: nothing to delete, nothing logged.
    {
        const qlm::testing::log_capture log;
        {
            batch_job job;
            EXPECT_THROW(job.load_from_file(folder / L"gone.json", true), std::runtime_error);
        }
        EXPECT_TRUE(log.lines().empty());
    }

    // A read-only file cannot be deleted: the job ends quietly with a log line.
    const std::wstring locked = folder.write(
        L"locked.json", R"({"version":"1","job":{"guid":"g","action_type":"a","action_parameters":""},"files":[]})");
    ASSERT_EQ(fs::set_attributes(locked, fs::attribute_readonly), 0u);
    const qlm::testing::log_capture log;
    {
        batch_job job;
        job.load_from_file(locked, true);
    }
    EXPECT_TRUE(fs::exists(locked));
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], "WARNING Unable to delete job file " + platform::text::to_utf8(locked) + " Error: 5");
    fs::set_attributes(locked, fs::attribute_normal);
}

}  // namespace
