#include "services/autotag_service.h"

#include "batch_processor/autotagger_exception.h"
#include "common/exceptions.h"
#include "logging/log.h"
#include "metadata/fallback_chain.h"
#include "metadata/metadata_handle.h"
#include "platform/file_system.h"
#include "platform/net.h"
#include "platform/process.h"
#include "platform/text.h"
#include "settings/suite_settings_keys.h"

#include <rapidjson/document.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>

namespace sortwell::services {
namespace {

namespace fs = platform::file_system;
namespace net = platform::net;
using batch_processor::autotagger_exception;
using exceptions::formatted_runtime_error;

constexpr int start_attempts = 3;
constexpr int probes_after_start = 5;
constexpr auto probe_pause = std::chrono::milliseconds(500);
constexpr std::size_t reply_buffer_size = 4096;

bool is_folder(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    return attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0;
}

std::wstring program_folder() {
    const std::wstring module = fs::module_path();
    const std::size_t separator = module.find_last_of(std::wstring{fs::separator, L'/'});
    return separator == std::wstring::npos ? std::wstring() : module.substr(0, separator);
}

// One connection that is opened and closed again: is anybody listening?
bool probe() {
    net::tcp_socket socket = net::tcp_socket::open();
    return socket.valid() && socket.connect(service_address, service_port);
}

// The once-per-process auto-tag list; a failed fetch is tried again next time.
std::vector<std::wstring> auto_tag_list() {
    static std::mutex mutex;
    static std::optional<std::vector<std::wstring>> list;
    const std::lock_guard lock(mutex);
    if (!list) list = high_level_settings::get_auto_tags();
    return *list;
}

const wchar_t* const components_hint =
    L"Likely some local AI components are missing. Check Insightor settings for AI component status.";

[[noreturn]] void fail(const std::wstring& message) { throw formatted_runtime_error(message); }

// Turns a failure text of the service into the outcome it names.
void classify_failure(auto_tag_reply& reply, const std::string& text, const std::string& error,
                      const std::string& supported_types) {
    if (text.find("unsupported_file_type") != std::string::npos) {
        reply.result = auto_tag_reply::outcome::unsupported_type;
        reply.error = platform::text::from_utf8(error);
        reply.supported_types = platform::text::from_utf8(supported_types);
    } else if (text.find("ollama_unavailable") != std::string::npos) {
        reply.result = auto_tag_reply::outcome::backend_unavailable;
    } else {
        reply.result = auto_tag_reply::outcome::failed;
    }
    reply.message = text;
}

std::string string_member(const rapidjson::Value& object, const char* key, bool& present) {
    const auto member = object.FindMember(key);
    present = member != object.MemberEnd() && member->value.IsString();
    return present ? std::string(member->value.GetString(), member->value.GetStringLength()) : std::string();
}

}  // namespace

auto_tag_reply parse_auto_tag_reply(std::string_view text) {
    auto_tag_reply reply;
    // The reply is a C string in the service's buffer: it ends at the first zero byte.
    text = text.substr(0, std::min(text.size(), text.find('\0')));
    rapidjson::Document document;
    document.Parse(text.data(), text.size());
    if (document.HasParseError() || !document.IsObject()) return reply;
    bool has_status = false;
    bool has_error = false;
    bool has_types = false;
    const std::string status = string_member(document, "status", has_status);
    const std::string error = string_member(document, "error", has_error);
    const std::string supported_types = string_member(document, "supported_types", has_types);
    if (has_status && status != "ok") {
        std::string failure = "auto-tagger reported status: " + status;
        if (has_error) failure += ": " + error;
        classify_failure(reply, failure, error, supported_types);
        return reply;
    }
    if (has_error && !error.empty()) {
        classify_failure(reply, error, error, supported_types);
        return reply;
    }
    const auto tags = document.FindMember("tags");
    if (tags != document.MemberEnd() && tags->value.IsArray()) {
        for (const auto& tag : tags->value.GetArray()) {
            if (tag.IsString()) reply.tags.push_back(platform::text::from_utf8({tag.GetString(), tag.GetStringLength()}));
        }
    }
    return reply;
}

std::vector<std::wstring> merge_auto_tags(std::vector<std::wstring> current, const std::vector<std::wstring>& auto_tags,
                                          const std::vector<std::wstring>& service_tags) {
    for (const auto& tag : auto_tags) {
        const auto found = std::find(current.begin(), current.end(), tag);
        if (found != current.end()) current.erase(found);
    }
    current.insert(current.end(), service_tags.begin(), service_tags.end());
    return current;
}

void ensure_autotag_service() {
    const std::wstring program = platform::process::executable_name(service_program);
    for (int attempt = 0; attempt < start_attempts; ++attempt) {
        if (!platform::process::find_by_image_name(program).empty()) {
            net::winsock_session winsock;
            if (!winsock.started()) return;
            if (probe()) {
                qlm::log_info(L"Auto-tagging service already running and listening on port {}.", service_port);
                return;
            }
            continue;  // listed but deaf: the next attempt follows at once
        }
        const std::wstring path = program_folder() + fs::separator + program;
        qlm::log_info(L"Auto-tagging service not running; attempting to start: {}", path);
        if (!platform::process::start_detached(path, L"").started) {
            qlm::log_error(L"Failed to launch auto-tagging service at '{}'.", path);
            throw autotagger_exception(std::string("Unable to start the auto-tagging service."));
        }
        net::winsock_session winsock;
        if (!winsock.started()) return;
        for (int i = 0; i < probes_after_start; ++i) {
            if (probe()) {
                winsock.cleanup();
                qlm::log_info(L"Auto-tagging service is listening on port {}.", service_port);
                return;
            }
            std::this_thread::sleep_for(probe_pause);
        }
    }
    throw autotagger_exception(std::string("Unable to start and connect to the auto-tagging service."));
}

void auto_tag_file(batch_processor::batch_processor_callbacks& callbacks, const std::wstring& path) {
    if (is_folder(path)) {
        qlm::log_info(L"Auto Tag: Skipping folder {}. The auto-tagging service only handles file content.", path);
        return;
    }
    ensure_autotag_service();

    net::winsock_session winsock;
    if (!winsock.started()) {
        qlm::log_error(L"WSAStartup failed for auto-tagging service.");
        fail(std::wstring(L"Failed to auto tag file. WSAStartup failed. ") + components_hint);
    }
    net::tcp_socket socket = net::tcp_socket::open();
    if (!socket.valid()) {
        winsock.cleanup();
        qlm::log_error(L"Socket creation failed for auto-tagging service. {}", components_hint);
        fail(std::wstring(L"Failed to auto tag file. Socket creation failed. ") + components_hint);
    }
    if (!socket.connect(service_address, service_port)) {
        qlm::log_error(L"Connection to auto-tagging service failed at {}:{}. {}",
                       platform::text::from_utf8(service_address), service_port, components_hint);
        socket.close();
        winsock.cleanup();
        fail(std::wstring(L"Failed to auto tag file via the auto-tagging service. ") + components_hint);
    }
    if (socket.send(platform::text::to_utf8(path) + "\n") == -1) {
        qlm::log_error(L"Failed to send data to auto-tagging service for file {}. {}", path, components_hint);
        socket.close();
        winsock.cleanup();
        fail(std::wstring(L"Failed to auto tag file. Unable to send data to the local auto-tagging service. ") +
             components_hint);
    }
    // One receive, as the service answers in one piece; a longer or split
    // reply is cut here.
    std::array<char, reply_buffer_size> buffer{};
    const long received = socket.receive(buffer.data(), buffer.size() - 1);
    if (received <= 0) {
        qlm::log_error(L"Failed to retrieve data from auto-tagging service. {}", components_hint);
        socket.close();
        winsock.cleanup();
        fail(std::wstring(L"Failed to auto tag file. Unable to get data back from the local auto-tagging service. ") +
             components_hint);
    }
    qlm::log_info(L"Received {} bytes from auto-tagging service for file {}", received, path);
    socket.close();
    winsock.cleanup();

    const auto_tag_reply reply = parse_auto_tag_reply(std::string_view(buffer.data(), std::strlen(buffer.data())));
    switch (reply.result) {
        case auto_tag_reply::outcome::unsupported_type:
            callbacks.report_unsupported_file_type(path, reply.error, reply.supported_types);
            return;
        case auto_tag_reply::outcome::backend_unavailable:
            throw autotagger_exception(reply.message);
        case auto_tag_reply::outcome::failed:
            throw formatted_runtime_error(reply.message);
        case auto_tag_reply::outcome::tags:
            break;
    }
    const std::vector<std::wstring> auto_tags = auto_tag_list();
    qlm::metadata::metadata_handle handle;
    if (handle.open_for_writing(path)) {
        qlm::metadata::set_tags(handle, merge_auto_tags(handle.get_tags(), auto_tags, reply.tags));
        handle.commit();
    }
    handle.close();
}

}  // namespace sortwell::services
