// The auto_tag and people actions through the worker, against the real
// stand-in service, with the results read back from the files.

#include "batch_processor/job_runner.h"
#include "metadata/metadata_handle.h"
#include "metadata/people_regions.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "services/base64.h"
#include "services/people_merge.h"
#include "services/service_fixture.h"
#include "settings/suite_settings_keys.h"
#include "support/log_capture.h"
#include "support/test_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace {

using namespace qlm::testing;
namespace bp = sortwell::batch_processor;
namespace services = sortwell::services;
using platform::text::to_utf8;
using qlm::metadata::people_region;

class service_actions : public service_test {
protected:
    void SetUp() override {
        service_test::SetUp();
        write_settings(true, true, true);
    }

    // The suite-wide settings with Beach, Sunset and Harbour as auto tags.
    static void write_settings(bool enabled, bool consent, bool write_people) {
        auto& settings = high_level_settings::instance();
        const auto flag = [](bool value) { return value ? "true" : "false"; };
        const std::string text =
            std::string(R"({"version":"1.0","apps":[{"app_id":"insightor","name":"Insightor","version":"1",)") +
            R"("status":"enabled","settings":{"general.tags.text_domain":["Beach","Sunset"],)" +
            R"("general.tags.text_purpose":["Harbour"],"general.tags.text_specific":[],)" +
            R"("people_recognition.enabled":)" + flag(enabled) + R"(,"people_recognition.consent_accepted":)" +
            flag(consent) + R"(,"people_recognition.write_people_tags":)" + flag(write_people) + "}}]}";
        platform::file_system::write_file(settings.full_path(), text);
        settings.load(true);
    }

    std::wstring photo(const std::wstring& name) {
        const std::wstring path = folder_ / name;
        std::filesystem::copy_file(std::filesystem::path(QLM_SAMPLES_DIR) / "Trip 2026" / "beach.jpg",
                                   platform::file_system::to_native(path));
        return path;
    }

    static std::vector<std::wstring> tags_of(const std::wstring& path) {
        qlm::metadata::metadata_handle handle;
        if (!handle.open_for_reading(path, 0)) return {};
        return handle.get_tags();
    }

    static void set_tags(const std::wstring& path, const std::wstring& parameters) {
        report_host callbacks;
        run_job(callbacks, L"update_tags", {path}, parameters);
    }
};

using tags_t = std::vector<std::wstring>;

TEST_F(service_actions, auto_tags_replace_the_earlier_auto_tags_and_keep_the_users_own) {
    const std::wstring family = photo(L"family.jpg");
    set_tags(family, L"+Family;+Beach");
    folder_.write(L"family.jpg.tags", "Beach\nSunset\n");
    report_host callbacks;
    auto worker = run_job(callbacks, L"auto_tag", {family});
    EXPECT_EQ(worker.error_count(), 0U);
    // The store keeps keywords sorted; the merge order itself is a unit test.
    EXPECT_EQ(tags_of(family), (tags_t{L"Beach", L"Family", L"Sunset"}));

    // A second run carries only the newest auto tags.
    folder_.write(L"family.jpg.tags", "Harbour\nHarbour\n");
    run_job(callbacks, L"auto_tag", {family});
    EXPECT_EQ(tags_of(family), (tags_t{L"Family", L"Harbour", L"Harbour"}));

    // Without a script the service reads the header; the path goes out as UTF-8.
    const std::wstring other = photo(L"Str\u00F6m.jpg");
    const std::wstring trip = folder_.make_folder(L"Trip");
    run_job(callbacks, L"auto_tag", {other, trip});
    EXPECT_EQ(tags_of(other), (tags_t{L"Landscape", L"Photo"}));
    EXPECT_TRUE(callbacks.calls.empty());
    const auto sent = requests();
    EXPECT_EQ(sent.back(), to_utf8(other) + "\n") << "the folder sent nothing";
}

// The reply shapes themselves are reply_parsers_test's; here each outcome and
// each way of delivering a reply reaches the photo.
TEST_F(service_actions, every_misbehaving_reply_ends_cleanly) {
    struct row {
        const char* name;
        std::string reply;
        tags_t tags_after;      // of a file tagged Family, Beach
        std::wstring callback;  // the one callback expected, "" for none
    };
    const std::wstring ollama = L"auto-tag failure";
    const std::wstring no_data =
        L"Failed to auto tag file. Unable to get data back from the local auto-tagging service. Likely some local AI "
        L"components are missing. Check Insightor settings for AI component status.";
    const std::vector<row> rows = {
        {"ollama_status", R"({"status":"error","error":"ollama_unavailable"})", {L"Beach", L"Family"}, ollama},
        {"other_failure",
         R"({"status":"error","error":"disk"})",
         {L"Beach", L"Family"},
         L"auto-tagger reported status: error: disk"},
        {"too_long", R"({"status":"ok","tags":[")" + std::string(5000, 'a') + R"("]})", {L"Family"}, L""},
        {"pieces", R"({"status":"ok",<<PAUSE 400>>"tags":["X"]})", {L"Family"}, L""},
        {"malformed", "<html>", {L"Family"}, L""},
        {"no_line_feed", R"({"tags":["N"]})", {L"Family", L"N"}, L""},
        {"late", R"(<<PAUSE 300>>{"tags":["L"]})", {L"Family", L"L"}, L""},
        {"closed_early", "", {L"Beach", L"Family"}, no_data},
    };
    for (const row& each : rows) {
        SCOPED_TRACE(each.name);
        const std::wstring file = photo(platform::text::from_utf8(each.name) + L".jpg");
        set_tags(file, L"+Family;+Beach");
        folder_.write(platform::text::from_utf8(each.name) + L".jpg.reply", each.reply);
        const std::string before = read_bytes(file);
        report_host callbacks;
        run_job(callbacks, L"auto_tag", {file});
        EXPECT_EQ(tags_of(file), each.tags_after);
        if (each.callback.empty()) {
            EXPECT_TRUE(callbacks.calls.empty());
        } else {
            ASSERT_EQ(callbacks.calls.size(), 1U);
            EXPECT_TRUE(callbacks.calls[0] == each.callback ||
                        callbacks.calls[0] == L"error " + file + L" | " + each.callback)
                << to_utf8(callbacks.calls[0]);
            EXPECT_EQ(read_bytes(file), before) << "a failure leaves the file byte for byte";
        }
    }
}

TEST_F(service_actions, recognition_merges_named_faces_and_can_be_revoked) {
    const std::wstring file = photo(L"party.jpg");
    ASSERT_TRUE(qlm::metadata::write_people_regions(file, {{L"Anna", 0.7, 0.7, 0.1, 0.1}, {L"zoe", 0, 0, 0, 0}}));
    folder_.write(L"party.jpg.faces.json",
                  R"({"status":"ok","faces":3,"regions":[{"name":"Zoe","x":0.1,"y":0.1,"w":0.2,"h":0.2},)"
                  R"({"x":0.5,"y":0.1,"w":0.2,"h":0.2},{"name":"","x":0.8,"y":0.1,"w":0.1,"h":0.1}]})");
    log_capture log;
    report_host callbacks;
    run_job(callbacks, L"recognize_faces", {file, file});
    EXPECT_TRUE(callbacks.calls.empty());
    auto regions = qlm::metadata::read_people_regions(file);
    ASSERT_EQ(regions.size(), 1U);
    EXPECT_EQ(regions[0].name, L"Zoe");
    EXPECT_DOUBLE_EQ(regions[0].w, 0.2);
    const auto messages = log.messages();
    EXPECT_TRUE(has_message(messages, "WARNING Recognize Faces: dropped stale region 'Anna' from file " +
                                          to_utf8(file) + " -- its rectangle covers none of the 3 detected face(s)."));
    // The first recognition's snapshot held both old regions.
    const std::string b64_path = services::base64_encode(to_utf8(file));
    const auto sent = requests();
    const auto snapshot =
        std::find_if(sent.begin(), sent.end(), [](const std::string& r) { return r.starts_with("FACEBACKUP:"); });
    ASSERT_NE(snapshot, sent.end());
    EXPECT_EQ(*snapshot, "FACEBACKUP:" + b64_path + "." +
                             services::base64_encode(R"([{"name":"Anna","x":0.7,"y":0.7,"w":0.1,"h":0.1},)"
                                                     R"({"name":"zoe","x":0.0,"y":0.0,"w":0.0,"h":0.0}])") +
                             "\n");

    // Revoke restores the last snapshot (taken before the second recognition) and clears it.
    run_job(callbacks, L"revoke_faces", {file});
    regions = qlm::metadata::read_people_regions(file);
    ASSERT_EQ(regions.size(), 1U);
    EXPECT_EQ(regions[0].name, L"Zoe");
    EXPECT_EQ(requests().back(), "FACEREVOKECLEAR:" + b64_path + "\n");
    run_job(callbacks, L"revoke_faces", {file});
    EXPECT_TRUE(callbacks.calls.empty());
    EXPECT_TRUE(has_message(log.messages(),
                            "INFO Revoke Faces: no undo snapshot for " + to_utf8(file) + "; nothing to restore."));

    // A service snapshot of "[]" removes every region.
    folder_.write(L"party.jpg.revoke.reply", R"({"status":"ok","found":true,"regions_json":"[]"})");
    run_job(callbacks, L"revoke_faces", {file});
    EXPECT_TRUE(qlm::metadata::read_people_regions(file).empty());
    folder_.write(L"party.jpg.revoke.reply", R"({"status":"error"})");
    run_job(callbacks, L"revoke_faces", {file});
    ASSERT_EQ(callbacks.calls.size(), 1U);
    EXPECT_EQ(callbacks.calls[0],
              L"error " + file + L" | Failed to undo people. The local service reported an error: unknown_error");
}

TEST_F(service_actions, recognition_gates_and_service_answers) {
    const std::wstring file = photo(L"gate.jpg");
    const auto outcome = [&](const std::string& reply) {
        folder_.write(L"gate.jpg.faces.json", reply);
        report_host callbacks;
        run_job(callbacks, L"recognize_faces", {file});
        return callbacks.calls.empty() ? std::wstring() : callbacks.calls[0];
    };
    // Every gate closed: nothing is sent, not even a start.
    for (const auto& [enabled, consent] : {std::pair{false, true}, std::pair{true, false}}) {
        write_settings(enabled, consent, true);
        log_capture log;
        EXPECT_EQ(outcome(R"({"status":"error"})"), L"");
        EXPECT_TRUE(has_message(log.messages(), "INFO Recognize Faces: Skipping file " + to_utf8(file) +
                                                    ". Visagery are not enabled. This log entry is to ensure the "
                                                    "safe-guard is inplace."));
    }
    EXPECT_EQ(starts(), 0);
    write_settings(true, true, true);
    const std::wstring prefix = L"error " + file + L" | ";
    EXPECT_EQ(outcome(R"({"status":"refused","reason":"consent_not_accepted"})"),
              prefix +
                  L"People recognition needs your consent before it can run. Review and accept the "
                  L"face-recognition privacy notice in Visagery settings.");
    EXPECT_EQ(outcome(R"({"status":"refused"})"),
              prefix + L"People recognition is turned off. Enable it in Visagery settings to recognize faces.");
    EXPECT_EQ(outcome(R"({"status":"skipped","reason":"too_small"})"), L"");
    EXPECT_EQ(outcome(R"({"status":"broken","error":"gpu"})"),
              prefix + L"Failed to recognize faces. The local service reported an error: gpu");
    EXPECT_EQ(outcome("[1]"),
              prefix + L"Failed to recognize faces. The local service returned an unexpected response.");
    folder_.write(L"gate.jpg.face.reply", "");
    EXPECT_EQ(outcome(""), prefix +
                               L"Failed to recognize faces. Unable to get data back from the local service. Likely "
                               L"some local AI components are missing. Check Insightor settings for AI component "
                               L"status.");
    std::filesystem::remove(platform::file_system::to_native(folder_ / L"gate.jpg.face.reply"));
    // Nobody to write for: the named face is not stored.
    write_settings(true, true, false);
    EXPECT_EQ(outcome(R"({"status":"ok","faces":1,"regions":[{"name":"Ann","x":0.1,"y":0.1,"w":0.2,"h":0.2}]})"), L"");
    EXPECT_TRUE(qlm::metadata::read_people_regions(file).empty());
}

TEST_F(service_actions, forget_and_wipe_need_no_service) {
    const std::wstring file = photo(L"group.jpg");
    ASSERT_TRUE(qlm::metadata::write_people_regions(
        file, {{L"Anna", 0.1, 0.1, 0.2, 0.2}, {L"ANNA", 0.5, 0.1, 0.2, 0.2}, {L"Ben", 0.5, 0.5, 0.2, 0.2}}));
    report_host callbacks;
    run_job(callbacks, L"forget_person", {file}, L"anna");
    auto regions = qlm::metadata::read_people_regions(file);
    ASSERT_EQ(regions.size(), 1U);
    EXPECT_EQ(regions[0].name, L"Ben");
    log_capture log;
    run_job(callbacks, L"forget_person", {file}, L"Carl");
    EXPECT_TRUE(has_message(log.messages(),
                            "INFO Forget Person: 'Carl' not present in " + to_utf8(file) + "; nothing to strip."));
    run_job(callbacks, L"forget_person", {file});
    ASSERT_EQ(callbacks.calls.size(), 1U);
    EXPECT_EQ(callbacks.calls[0], L"error " + file + L" | Failed to forget person. No person name was provided.");
    auto worker = run_job(callbacks, L"wipe_all_people", {file});
    EXPECT_EQ(worker.error_count(), 0U);
    EXPECT_TRUE(qlm::metadata::read_people_regions(file).empty());
    EXPECT_TRUE(has_message(log.messages(), "INFO Wipe All People: removed 1 region(s) from " + to_utf8(file) + "."));
    EXPECT_EQ(starts(), 0);
}

}  // namespace
