#include "services/service_fixture.h"

#include "platform/net.h"
#include "platform/process.h"
#include "platform/text.h"
#include "services/autotag_service.h"

#include <chrono>
#include <thread>

namespace qlm::testing {
namespace {

bool port_answers() {
    const platform::net::winsock_session winsock;
    auto socket = platform::net::tcp_socket::open();
    return socket.connect(sortwell::services::service_address, sortwell::services::service_port);
}

std::wstring service_program() {
    return platform::process::executable_name(sortwell::services::service_program);
}

}  // namespace

void service_test::set_env(const char* name, const std::string& value) {
    platform::process::set_environment_variable(platform::text::from_utf8(name), platform::text::from_utf8(value));
}

void service_test::SetUp() {
    ASSERT_TRUE(platform::process::find_by_image_name(service_program()).empty())
        << "a service process is already running";
    ASSERT_FALSE(port_answers()) << "port 44002 is taken";
    service_log_ = folder_ / L"service.log";
    set_env("QLM_TEST_SERVICE_LOG", platform::text::to_utf8(service_log_));
    // Long enough for any test, short enough that nothing outlives a crash for long.
    set_env("QLM_TEST_SERVICE_IDLE_MS", "20000");
    set_env("QLM_TEST_SERVICE_MODE", "");
    set_env("QLM_TEST_SERVICE_LISTEN_DELAY_MS", "");
}

void service_test::TearDown() {
    stop_services();
    set_env("QLM_TEST_SERVICE_LOG", "");
    set_env("QLM_TEST_SERVICE_MODE", "");
    set_env("QLM_TEST_SERVICE_LISTEN_DELAY_MS", "");
    set_env("QLM_TEST_SERVICE_IDLE_MS", "");
}

void service_test::stop_services() {
    for (int round = 0; round < 50; ++round) {
        const auto running = platform::process::find_by_image_name(service_program());
        if (running.empty()) return;
        for (const std::uint32_t id : running) platform::process::terminate(id);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int service_test::starts() const {
    const std::string log = read_bytes(service_log_);
    int count = 0;
    for (std::size_t at = 0; (at = log.find("start ", at)) != std::string::npos; ++at) {
        if (at == 0 || log[at - 1] == '\n') ++count;
    }
    return count;
}

std::vector<std::string> service_test::requests() const {
    const std::string log = read_bytes(service_log_);
    std::vector<std::string> found;
    std::size_t at = 0;
    while ((at = log.find("request ", at)) != std::string::npos) {
        if (at != 0 && log[at - 1] != '\n') {
            ++at;
            continue;
        }
        const std::size_t line_end = log.find('\n', at);
        const std::size_t size = std::stoul(log.substr(at + 8, line_end - at - 8));
        if (size > 0) found.push_back(log.substr(line_end + 1, size));
        at = line_end + 1 + size;
    }
    return found;
}

}  // namespace qlm::testing
