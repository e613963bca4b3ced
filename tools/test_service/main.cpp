// A stand-in for the suite's local AI service, for tests, benchmarks and the
// demo. It speaks the service's wire protocol on 127.0.0.1:44002, one
// connection at a time, and answers from files beside the file it is asked
// about, so a test decides every answer:
//
//   <file>.tags          auto tags, one per line
//   <file>.reply         raw bytes sent for an auto-tag request instead
//   <file>.faces.json    the reply of a face request
//   <file>.face.reply, <file>.backup.reply, <file>.revoke.reply
//                        raw bytes sent for the other requests instead
//
// Without them, auto tags come from the file's header: the type by its
// magic bytes and "Landscape", "Portrait" or "Square" from a JPEG's frame
// header or a PNG's IHDR; other types are refused as unsupported. In a raw
// reply, "<<PAUSE n>>" waits n milliseconds there (a reply in pieces, or a
// late one); an empty file closes without answering. Undo snapshots are
// kept in memory.
//
// It serves only the account that started it: a connection from another
// user's program (or one whose owner the system cannot name, such as a
// probe that already hung up) is closed without reading or answering it,
// and the log says "refused user <uid or SID>" ("unknown" when unnamed).
//
// Environment: QLM_TEST_SERVICE_LOG (the log, default beside the program),
// QLM_TEST_SERVICE_MODE ("exit": exit at once; "deaf": never listen),
// QLM_TEST_SERVICE_LISTEN_DELAY_MS (wait before listening),
// QLM_TEST_SERVICE_IDLE_MS (exit after this long without a request;
// 30000). The log records each start with its process id and each request
// byte for byte: "request <n>\n", the n bytes, "\n".

#include "platform/file_system.h"
#include "platform/net.h"
#include "platform/text.h"
#include "services/base64.h"

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>

namespace {

namespace fs = platform::file_system;
namespace net = platform::net;
using namespace std::chrono_literals;

constexpr std::uint16_t service_port = 44002;
constexpr std::size_t request_limit = 1 << 20;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

long environment_number(const char* name, long fallback) {
    const std::string text = environment(name);
    if (text.empty()) return fallback;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && value >= 0 ? value : fallback;
}

std::wstring log_path() {
    const std::string configured = environment("QLM_TEST_SERVICE_LOG");
    if (!configured.empty()) return platform::text::from_utf8(configured);
    return fs::module_path() + L".log";
}

void append_log(const std::string& bytes) {
    std::ofstream log(fs::to_native(log_path()), std::ios::binary | std::ios::app);
    log.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::optional<std::string> read_beside(const std::string& utf8_path, const char* suffix) {
    return fs::read_file(platform::text::from_utf8(utf8_path + suffix));
}

std::string json_reply(const std::map<std::string, std::string>& strings, const char* array_key = nullptr,
                       const std::vector<std::string>& array = {}) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartObject();
    for (const auto& [key, value] : strings) {
        writer.Key(key.c_str());
        writer.String(value.c_str(), static_cast<rapidjson::SizeType>(value.size()));
    }
    if (array_key != nullptr) {
        writer.Key(array_key);
        writer.StartArray();
        for (const auto& item : array) writer.String(item.c_str(), static_cast<rapidjson::SizeType>(item.size()));
        writer.EndArray();
    }
    writer.EndObject();
    return std::string(buffer.GetString(), buffer.GetSize()) + "\n";
}

std::uint32_t big_endian(const std::string& bytes, std::size_t at, int width) {
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    return value;
}

std::string orientation(std::uint32_t width, std::uint32_t height) {
    return width > height ? "Landscape" : width < height ? "Portrait" : "Square";
}

// The JPEG frame size from the first SOF segment.
std::optional<std::pair<std::uint32_t, std::uint32_t>> jpeg_size(const std::string& bytes) {
    std::size_t at = 2;
    while (at + 9 < bytes.size()) {
        if (static_cast<unsigned char>(bytes[at]) != 0xFF) return std::nullopt;
        const auto marker = static_cast<unsigned char>(bytes[at + 1]);
        const std::uint32_t length = big_endian(bytes, at + 2, 2);
        const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame) return std::make_pair(big_endian(bytes, at + 7, 2), big_endian(bytes, at + 5, 2));
        if (marker == 0xDA || length < 2) return std::nullopt;
        at += 2 + length;
    }
    return std::nullopt;
}

std::string auto_tags_from_header(const std::string& path) {
    const auto bytes = fs::read_file(platform::text::from_utf8(path));
    if (!bytes) return json_reply({{"status", "error"}, {"error", "file_not_found"}});
    if (bytes->size() > 3 && bytes->compare(0, 3, "\xFF\xD8\xFF") == 0) {
        if (const auto size = jpeg_size(*bytes)) {
            return json_reply({{"status", "ok"}}, "tags", {"Photo", orientation(size->first, size->second)});
        }
        return json_reply({{"status", "ok"}}, "tags", {"Photo"});
    }
    if (bytes->size() >= 24 && bytes->compare(0, 8, "\x89PNG\r\n\x1A\n") == 0) {
        return json_reply({{"status", "ok"}}, "tags",
                          {"Image", orientation(big_endian(*bytes, 16, 4), big_endian(*bytes, 20, 4))});
    }
    return json_reply({{"status", "error"},
                       {"error", "unsupported_file_type"},
                       {"supported_types", "JPEG and PNG images"}});
}

// Sends a scripted reply: "<<PAUSE n>>" waits, everything else goes out as
// it stands, each stretch with one send.
void send_scripted(net::tcp_socket& connection, const std::string& script) {
    std::size_t at = 0;
    while (at < script.size()) {
        const std::size_t pause = script.find("<<PAUSE ", at);
        const std::string piece = script.substr(at, pause == std::string::npos ? std::string::npos : pause - at);
        if (!piece.empty()) connection.send(piece);
        if (pause == std::string::npos) break;
        const std::size_t close = script.find(">>", pause);
        if (close == std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(script.substr(pause + 8, close - pause - 8).c_str())));
        at = close + 2;
    }
}

class service {
public:
    // The reply to one request, or the scripted bytes to send instead.
    struct answer {
        std::string bytes;
        bool scripted = false;
    };

    answer respond(std::string request) {
        if (!request.empty() && request.back() == '\n') request.pop_back();
        if (request.starts_with("FACEREVOKECLEAR:")) {
            if (const auto path = decode(request.substr(16))) snapshots_.erase(*path);
            return {json_reply({{"status", "ok"}})};
        }
        if (request.starts_with("FACEREVOKE:")) {
            const auto path = decode(request.substr(11));
            if (!path) return {json_reply({{"status", "error"}, {"error", "bad_request"}})};
            if (auto raw = read_beside(*path, ".revoke.reply")) return {*raw, true};
            const auto found = snapshots_.find(*path);
            if (found == snapshots_.end()) return {"{\"status\":\"ok\",\"found\":false}\n"};
            rapidjson::StringBuffer buffer;
            rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
            writer.String(found->second.c_str(), static_cast<rapidjson::SizeType>(found->second.size()));
            return {"{\"status\":\"ok\",\"found\":true,\"regions_json\":" + std::string(buffer.GetString()) + "}\n"};
        }
        if (request.starts_with("FACEBACKUP:")) {
            const std::string rest = request.substr(11);
            const std::size_t dot = rest.find('.');
            const auto path = decode(rest.substr(0, dot));
            const auto regions = dot == std::string::npos ? std::nullopt : decode(rest.substr(dot + 1));
            if (!path || !regions) return {json_reply({{"status", "error"}, {"error", "bad_request"}})};
            if (auto raw = read_beside(*path, ".backup.reply")) return {*raw, true};
            snapshots_[*path] = *regions;
            return {"{\"status\":\"ok\",\"stored\":true}\n"};
        }
        if (request.starts_with("FACE:")) {
            const std::string path = request.substr(5);
            if (auto raw = read_beside(path, ".face.reply")) return {*raw, true};
            if (auto reply = read_beside(path, ".faces.json")) return {*reply};
            return {"{\"status\":\"ok\",\"regions\":[],\"faces\":0}\n"};
        }
        if (auto raw = read_beside(request, ".reply")) return {*raw, true};
        if (auto tags = read_beside(request, ".tags")) {
            std::vector<std::string> list;
            std::size_t at = 0;
            while (at < tags->size()) {
                std::size_t end = tags->find('\n', at);
                if (end == std::string::npos) end = tags->size();
                std::string tag = tags->substr(at, end - at);
                if (!tag.empty() && tag.back() == '\r') tag.pop_back();
                if (!tag.empty()) list.push_back(tag);
                at = end + 1;
            }
            return {json_reply({{"status", "ok"}}, "tags", list)};
        }
        return {auto_tags_from_header(request)};
    }

private:
    static std::optional<std::string> decode(const std::string& text) { return sortwell::services::base64_decode(text); }

    std::map<std::string, std::string> snapshots_;
};

std::string read_request(net::tcp_socket& connection) {
    std::string request;
    char chunk[4096];
    while (request.size() < request_limit && request.find('\n') == std::string::npos) {
        const long received = connection.receive(chunk, sizeof chunk);
        if (received <= 0) break;
        request.append(chunk, static_cast<std::size_t>(received));
    }
    return request;
}

}  // namespace

int main() {
    append_log("start " + std::to_string(fs::process_id()) + "\n");
    const std::string mode = environment("QLM_TEST_SERVICE_MODE");
    if (mode == "exit") return 0;
    const auto idle = std::chrono::milliseconds(environment_number("QLM_TEST_SERVICE_IDLE_MS", 30000));
    if (mode == "deaf") {
        std::this_thread::sleep_for(idle);
        return 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(environment_number("QLM_TEST_SERVICE_LISTEN_DELAY_MS", 0)));
    const net::winsock_session winsock;
    net::loopback_listener listener(service_port);
    if (!listener.valid()) {
        append_log("port taken\n");
        return 1;
    }
    append_log("listening\n");
    service answers;
    // Refused connections do not count as use, so another user cannot keep
    // the service alive.
    auto idle_until = std::chrono::steady_clock::now() + idle;
    for (;;) {
        const auto left = std::max(
            0ms, std::chrono::duration_cast<std::chrono::milliseconds>(idle_until - std::chrono::steady_clock::now()));
        net::tcp_socket connection = listener.accept(left);
        if (!connection.valid()) break;  // idle long enough: nobody needs the service now
        const net::peer_account peer = connection.peer_owner();
        if (peer.user != net::peer_account::relation::same_user) {
            append_log("refused user " + (peer.name.empty() ? std::string("unknown") : peer.name) + "\n");
            continue;
        }
        idle_until = std::chrono::steady_clock::now() + idle;
        const std::string request = read_request(connection);
        append_log("request " + std::to_string(request.size()) + "\n" + request + "\n");
        // A probe connects and closes without a word.
        if (request.empty()) continue;
        const service::answer reply = answers.respond(request);
        if (reply.scripted) {
            send_scripted(connection, reply.bytes);
        } else {
            connection.send(reply.bytes);
        }
        connection.shutdown_send();
    }
    append_log("idle exit\n");
    return 0;
}
