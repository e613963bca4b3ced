#include "services/face_service.h"

#include "batch_processor/job_tally.h"
#include "common/exceptions.h"
#include "logging/log.h"
#include "metadata/people_regions.h"
#include "platform/file_system.h"
#include "platform/net.h"
#include "platform/text.h"
#include "services/autotag_service.h"
#include "services/base64.h"
#include "services/people_merge.h"
#include "settings/suite_settings_keys.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace sortwell::services {
namespace {

namespace fs = platform::file_system;
namespace net = platform::net;
using exceptions::formatted_runtime_error;
using qlm::metadata::people_region;

constexpr std::size_t chunk_size = 4096;

const wchar_t* const components_hint =
    L"Likely some local AI components are missing. Check Insightor settings for AI component status.";

bool is_folder(const std::wstring& path) {
    const std::uint32_t attributes = fs::get_attributes(path);
    return attributes != fs::invalid_attributes && (attributes & fs::attribute_directory) != 0;
}

std::string b64(const std::wstring& text) { return base64_encode(platform::text::to_utf8(text)); }

std::wstring parent_folder(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(std::wstring{fs::separator, L'/'});
    if (separator == std::wstring::npos) return {};
    const bool root = separator == 0 || (separator == 2 && path[1] == L':');
    return path.substr(0, root ? separator + 1 : separator);
}

std::string with_line_feed(std::string text) {
    if (text.empty() || text.back() != '\n') text.push_back('\n');
    return text;
}

// Appends received chunks until the reply holds a line feed or the service
// closed (or the receive failed).
std::string receive_reply(net::tcp_socket& socket) {
    std::string reply;
    std::array<char, chunk_size> chunk{};
    while (reply.find('\n') == std::string::npos) {
        const long received = socket.receive(chunk.data(), chunk.size());
        if (received <= 0) break;
        reply.append(chunk.data(), static_cast<std::size_t>(received));
    }
    return reply;
}

// The recognition's own exchange, with a message for every way it can fail.
std::string recognition_exchange(const std::wstring& path) {
    net::winsock_session winsock;
    if (!winsock.started()) {
        qlm::log_error(L"WSAStartup failed for face service.");
        throw formatted_runtime_error(std::wstring(L"Failed to recognize faces. WSAStartup failed. ") + components_hint);
    }
    net::tcp_socket socket = net::tcp_socket::open();
    if (!socket.valid()) {
        qlm::log_error(L"Socket creation failed for face service. {}", components_hint);
        winsock.cleanup();
        throw formatted_runtime_error(std::wstring(L"Failed to recognize faces. Socket creation failed. ") +
                                      components_hint);
    }
    if (!socket.connect(service_address, service_port)) {
        qlm::log_error(L"Connection to face service failed at {}:{}. {}", platform::text::from_utf8(service_address),
                       service_port, components_hint);
        socket.close();
        winsock.cleanup();
        throw formatted_runtime_error(std::wstring(L"Failed to recognize faces via the local service. ") +
                                      components_hint);
    }
    if (socket.send(with_line_feed("FACE:" + platform::text::to_utf8(path))) == -1) {
        qlm::log_error(L"Failed to send data to face service for file {}.", path);
        socket.close();
        winsock.cleanup();
        throw formatted_runtime_error(
            std::wstring(L"Failed to recognize faces. Unable to send data to the local service. ") + components_hint);
    }
    std::string reply = receive_reply(socket);
    socket.close();
    winsock.cleanup();
    if (reply.empty()) {
        qlm::log_error(L"Failed to retrieve data from face service for file {}.", path);
        throw formatted_runtime_error(
            std::wstring(L"Failed to recognize faces. Unable to get data back from the local service. ") +
            components_hint);
    }
    return reply;
}

bool recognition_allowed() {
    if (!high_level_settings::is_sortwell_enabled()) return false;
    const auto& settings = high_level_settings::instance();
    return settings.get_bool(high_level_settings::insightor_app_id,
                             high_level_settings::people_recognition_enabled_key, false) &&
           settings.get_bool(high_level_settings::insightor_app_id,
                             high_level_settings::people_recognition_consent_key, false);
}

void add_unidentified(std::int64_t count) {
    batch_processor::job_tally* tally = batch_processor::active_job_tally();
    if (tally == nullptr) return;
    const std::int64_t total = static_cast<std::int64_t>(tally->unidentified_faces) + count;
    tally->unidentified_faces = static_cast<std::uint32_t>(std::clamp<std::int64_t>(total, 0, INT64_C(0xFFFFFFFF)));
}

void add_changed_folder(const std::wstring& path) {
    if (batch_processor::job_tally* tally = batch_processor::active_job_tally()) {
        tally->changed_folders.push_back(parent_folder(path));
    }
}

}  // namespace

std::string face_service_request(const std::string& text) {
    net::winsock_session winsock;
    if (!winsock.started()) return {};
    net::tcp_socket socket = net::tcp_socket::open();
    if (!socket.valid() || !socket.connect(service_address, service_port)) return {};
    if (socket.send(with_line_feed(text)) == -1) return {};
    return receive_reply(socket);
}

void take_undo_snapshot(const std::wstring& path, const std::vector<people_region>& regions) {
    const std::string reply =
        face_service_request("FACEBACKUP:" + b64(path) + "." + base64_encode(regions_to_json(regions)));
    if (reply.empty()) {
        qlm::log_warning(L"Undo snapshot: no response from face service for {}; this write will not be undoable.",
                         path);
        return;
    }
    if (!reply_status_ok(reply)) {
        qlm::log_warning(L"Undo snapshot: face service reported failure for {}; this write will not be undoable.",
                         path);
    }
}

void recognize_faces(const std::wstring& path) {
    if (!recognition_allowed()) {
        qlm::log_info(L"Recognize Faces: Skipping file {}. Visagery are not enabled. This log entry is to ensure the "
                      L"safe-guard is inplace.",
                      path);
        return;
    }
    if (is_folder(path)) {
        qlm::log_info(L"Recognize Faces: Skipping folder {}. The face pipeline only handles image content.", path);
        return;
    }
    ensure_autotag_service();
    const face_reply reply = parse_face_reply(recognition_exchange(path));
    if (!reply.object) {
        throw formatted_runtime_error(
            std::string("Failed to recognize faces. The local service returned an unexpected response."));
    }
    if (reply.status == "refused") {
        if (reply.has_reason && reply.reason == "consent_not_accepted") {
            throw formatted_runtime_error(
                std::string("People recognition needs your consent before it can run. Review and accept the "
                            "face-recognition privacy notice in Visagery settings."));
        }
        throw formatted_runtime_error(
            std::string("People recognition is turned off. Enable it in Visagery settings to recognize faces."));
    }
    if (reply.status == "skipped") {
        qlm::log_info(L"Recognize Faces: skipped file {} (reason={})", path,
                      platform::text::from_utf8(reply.has_reason ? reply.reason : "unknown"));
        return;
    }
    if (reply.status != "ok") {
        const std::string error = reply.has_error ? reply.error : "unknown_error";
        qlm::log_error(L"Recognize Faces: service reported error for file {}: {}", path,
                       platform::text::from_utf8(error));
        throw formatted_runtime_error("Failed to recognize faces. The local service reported an error: " + error);
    }
    if (!high_level_settings::write_people_tags()) return;

    std::vector<people_region> detected;
    std::vector<people_region> identified;
    for (const auto& region : reply.regions) {
        people_region face = region;
        face.name.clear();
        detected.push_back(face);
        if (!region.name.empty()) identified.push_back(region);
    }
    add_unidentified(reply.faces - static_cast<std::int64_t>(identified.size()));
    if (identified.empty()) {
        qlm::log_info(L"Recognize Faces: detected {} face(s) but none identified for file {}; nothing written.",
                      reply.faces, path);
        return;
    }
    const std::vector<people_region> existing = qlm::metadata::read_people_regions(path);
    take_undo_snapshot(path, existing);
    const merge_result merge = merge_people_regions(existing, identified, detected);
    for (const auto& region : merge.dropped) {
        qlm::log_warning(
            L"Recognize Faces: dropped stale region '{}' from file {} -- its rectangle covers none of the {} "
            L"detected face(s).",
            region.name, path, detected.size());
    }
    if (qlm::metadata::write_people_regions(path, merge.merged)) {
        qlm::log_info(L"Recognize Faces: merged {} identified region(s) into {} total region(s) for file {} ({} stale "
                      L"region(s) dropped)",
                      identified.size(), merge.merged.size(), path, merge.dropped.size());
        add_changed_folder(path);
    }
}

void revoke_faces(const std::wstring& path) {
    if (is_folder(path)) {
        qlm::log_info(L"Revoke Faces: Skipping folder {}.", path);
        return;
    }
    ensure_autotag_service();
    const std::string text = face_service_request("FACEREVOKE:" + b64(path));
    if (text.empty()) throw formatted_runtime_error(std::string("Failed to undo people. The local service did not respond."));
    const revoke_reply reply = parse_revoke_reply(text);
    if (!reply.object) {
        throw formatted_runtime_error(
            std::string("Failed to undo people. The local service returned an unexpected response."));
    }
    if (reply.status != "ok") {
        throw formatted_runtime_error("Failed to undo people. The local service reported an error: " +
                                      (reply.has_error ? reply.error : std::string("unknown_error")));
    }
    if (!reply.found) {
        qlm::log_info(L"Revoke Faces: no undo snapshot for {}; nothing to restore.", path);
        return;
    }
    const std::vector<people_region> regions = parse_regions_json(reply.regions_json);
    if (qlm::metadata::write_people_regions(path, regions)) {
        qlm::log_info(L"Revoke Faces: restored {} prior region(s) for {}.", regions.size(), path);
    }
    face_service_request("FACEREVOKECLEAR:" + b64(path));
}

void forget_person(const std::wstring& path, const std::wstring& name) {
    if (is_folder(path)) {
        qlm::log_info(L"Forget Person: Skipping folder {}.", path);
        return;
    }
    if (name.empty()) throw formatted_runtime_error(std::string("Failed to forget person. No person name was provided."));
    const std::vector<people_region> regions = qlm::metadata::read_people_regions(path);
    std::vector<people_region> kept;
    for (const auto& region : regions) {
        if (!platform::text::equal_ignore_case(region.name, name)) kept.push_back(region);
    }
    if (kept.size() == regions.size()) {
        qlm::log_info(L"Forget Person: '{}' not present in {}; nothing to strip.", name, path);
        return;
    }
    if (qlm::metadata::write_people_regions(path, kept)) {
        qlm::log_info(L"Forget Person: removed '{}' from {} ({} region(s) remain).", name, path, kept.size());
    }
}

void wipe_all_people(const std::wstring& path) {
    if (is_folder(path)) {
        qlm::log_info(L"Wipe All People: Skipping folder {}.", path);
        return;
    }
    const std::vector<people_region> regions = qlm::metadata::read_people_regions(path);
    if (regions.empty()) {
        qlm::log_info(L"Wipe All People: no People regions in {}; nothing to strip.", path);
        return;
    }
    if (qlm::metadata::write_people_regions(path, {})) {
        qlm::log_info(L"Wipe All People: removed {} region(s) from {}.", regions.size(), path);
    }
}

}  // namespace sortwell::services
