// The cost the local AI service adds per file, over loopback against the
// stand-in service: the start check (process list plus one probe) and one
// request and reply, each repeated. Prints milliseconds per call.
//
//   build/service_bench [rounds, default 1000]
// The stand-in service is built beside it; the bench starts it through the
// client, with its log in the temporary folder, and stops it at the end.

#include "platform/file_system.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/text.h"
#include "services/autotag_service.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace services = sortwell::services;

template <typename Work>
double milliseconds_per_call(int rounds, Work work) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i) work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / rounds;
}

std::string round_trip(const std::string& request) {
    platform::net::winsock_session winsock;
    auto socket = platform::net::tcp_socket::open();
    if (!socket.connect(services::service_address, services::service_port)) return {};
    socket.send(request);
    char buffer[4096] = {};
    const long received = socket.receive(buffer, sizeof buffer - 1);
    return received > 0 ? std::string(buffer, static_cast<std::size_t>(received)) : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const std::wstring program = platform::process::executable_name(services::service_program);
    const auto log = std::filesystem::temp_directory_path() / "qlm-service-bench.log";
    platform::process::set_environment_variable(L"QLM_TEST_SERVICE_LOG", log.wstring());
    services::ensure_autotag_service();
    const std::string request = "/nonexistent/bench.jpg\n";
    if (round_trip(request).empty()) {
        std::fprintf(stderr, "service_bench: the service does not answer\n");
        return 1;
    }
    const double list = milliseconds_per_call(rounds, [&] { (void)platform::process::find_by_image_name(program); });
    const double check = milliseconds_per_call(rounds, [] { services::ensure_autotag_service(); });
    const double trip = milliseconds_per_call(rounds, [&] { (void)round_trip(request); });
    std::printf("process list by name        %8.3f ms per call\n", list);
    std::printf("start check (list + probe)  %8.3f ms per call\n", check);
    std::printf("request and reply           %8.3f ms per call\n", trip);
    std::printf("service cost per file       %8.3f ms (goal: under 1.5 ms)\n", check + trip);
    for (const auto id : platform::process::find_by_image_name(program)) platform::process::terminate(id);
    std::error_code ignored;
    std::filesystem::remove(log, ignored);
    return 0;
}
