// Finding and starting the real stand-in service, and the wire bytes of both
// clients, against the service built beside this test binary.

#include "batch_processor/autotagger_exception.h"
#include "batch_processor/job_runner.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/text.h"
#include "services/autotag_service.h"
#include "services/base64.h"
#include "services/face_service.h"
#include "services/service_fixture.h"
#include "support/log_capture.h"
#include "support/test_text.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace qlm::testing;
namespace services = sortwell::services;
namespace bp = sortwell::batch_processor;

std::string service_path() {
    const std::wstring module = platform::file_system::module_path();
    return platform::text::to_utf8(module.substr(0, module.find_last_of(platform::file_system::separator) + 1) +
                                   platform::process::executable_name(services::service_program));
}

std::string expect_start_failure(const char* message) {
    try {
        services::ensure_autotag_service();
    } catch (const bp::autotagger_exception& error) {
        EXPECT_STREQ(error.what(), message);
        return error.what();
    }
    ADD_FAILURE() << "no autotagger_exception";
    return {};
}

using service_start = service_test;

TEST_F(service_start, starts_once_then_finds_the_running_service) {
    log_capture log;
    services::ensure_autotag_service();
    EXPECT_EQ(starts(), 1);
    services::ensure_autotag_service();
    EXPECT_EQ(starts(), 1);
    const auto messages = log.messages();
    EXPECT_TRUE(has_message(messages, "INFO Auto-tagging service not running; attempting to start: " + service_path()));
    EXPECT_TRUE(has_message(messages, "INFO Auto-tagging service is listening on port 44002."));
    EXPECT_TRUE(has_message(messages, "INFO Auto-tagging service already running and listening on port 44002."));
    EXPECT_TRUE(requests().empty()) << "probes send nothing";
}

TEST_F(service_start, waits_for_a_slow_service_and_gives_up_on_one_that_exits_or_never_listens) {
    set_env("QLM_TEST_SERVICE_LISTEN_DELAY_MS", "1200");
    services::ensure_autotag_service();
    EXPECT_EQ(starts(), 1);
    stop_services();

    // Every attempt starts it again: exactly three starts.
    set_env("QLM_TEST_SERVICE_LISTEN_DELAY_MS", "");
    set_env("QLM_TEST_SERVICE_MODE", "exit");
    expect_start_failure("Unable to start and connect to the auto-tagging service.");
    EXPECT_EQ(starts(), 4);
    stop_services();

    // Listed but deaf: the later attempts fail at once, without a new start or probes.
    set_env("QLM_TEST_SERVICE_MODE", "deaf");
    const auto begin = std::chrono::steady_clock::now();
    expect_start_failure("Unable to start and connect to the auto-tagging service.");
    const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    EXPECT_EQ(starts(), 5);
    EXPECT_LT(seconds, 4.5) << "one start with five probes, then two quick failures";
}

using wire = service_test;

TEST_F(wire, requests_arrive_byte_for_byte) {
    const std::wstring text = folder_.write(L"Str\u00F6m notes.txt", "plain text");
    log_capture log;
    report_host callbacks;
    services::auto_tag_file(callbacks, text);
    ASSERT_EQ(callbacks.calls.size(), 1U);
    EXPECT_EQ(callbacks.calls[0], L"unsupported " + text + L": unsupported_file_type / JPEG and PNG images");

    // The face client's own requests are checked byte for byte in service_actions_test.
    EXPECT_EQ(services::face_service_request("FACEREVOKE:" + services::base64_encode("x")),
              "{\"status\":\"ok\",\"found\":false}\n");
    EXPECT_EQ(requests(), (std::vector<std::string>{platform::text::to_utf8(text) + "\n", "FACEREVOKE:eA==\n"}));
    EXPECT_TRUE(has_message(
        log.messages(), "INFO Received 91 bytes from auto-tagging service for file " + platform::text::to_utf8(text)));
}

TEST_F(wire, a_service_that_is_gone_gives_each_client_its_own_texts) {
    const std::wstring photo = folder_.write(L"a.jpg", "");
    // The face client's plain request answers empty when nobody listens.
    EXPECT_EQ(services::face_service_request("FACEREVOKE:eA=="), "");
    log_capture log;
    services::take_undo_snapshot(photo, {});
    EXPECT_TRUE(has_message(log.messages(), "WARNING Undo snapshot: no response from face service for " +
                                                platform::text::to_utf8(photo) + "; this write will not be undoable."));
}

}  // namespace
