#include "services/people_merge.h"

#include "platform/text.h"

#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>

namespace sortwell::services {
namespace {

double number_member(const rapidjson::Value& object, const char* key) {
    const auto member = object.FindMember(key);
    return member != object.MemberEnd() && member->value.IsNumber() ? member->value.GetDouble() : 0.0;
}

bool string_member(const rapidjson::Value& object, const char* key, std::string& out) {
    const auto member = object.FindMember(key);
    if (member == object.MemberEnd() || !member->value.IsString()) return false;
    out.assign(member->value.GetString(), member->value.GetStringLength());
    return true;
}

people_region region_of(const rapidjson::Value& object) {
    people_region region;
    std::string name;
    if (string_member(object, "name", name)) region.name = platform::text::from_utf8(name);
    region.x = number_member(object, "x");
    region.y = number_member(object, "y");
    region.w = number_member(object, "w");
    region.h = number_member(object, "h");
    return region;
}

// Exactly one JSON value with white space around it, as RapidJSON's default
// flags accept; the document is null otherwise.
void parse_whole(rapidjson::Document& document, std::string_view text) {
    document.Parse(text.data(), text.size());
    if (document.HasParseError()) document.SetNull();
}

}  // namespace

bool has_rectangle(const people_region& region) { return region.w > 0 && region.h > 0; }

double overlap(const people_region& a, const people_region& b) {
    if (!has_rectangle(a) || !has_rectangle(b)) return 0.0;
    const double ix = std::max(0.0, std::min(a.x + a.w, b.x + b.w) - std::max(a.x, b.x));
    const double iy = std::max(0.0, std::min(a.y + a.h, b.y + b.h) - std::max(a.y, b.y));
    const double inter = ix * iy;
    const double union_area = a.w * a.h + b.w * b.h - inter;
    return union_area > 0 ? inter / union_area : 0.0;
}

face_reply parse_face_reply(std::string_view text) {
    face_reply reply;
    rapidjson::Document document;
    parse_whole(document, text);
    if (!document.IsObject()) return reply;
    reply.object = true;
    string_member(document, "status", reply.status);
    reply.has_reason = string_member(document, "reason", reply.reason);
    reply.has_error = string_member(document, "error", reply.error);
    const auto regions = document.FindMember("regions");
    if (regions != document.MemberEnd() && regions->value.IsArray()) {
        for (const auto& element : regions->value.GetArray()) {
            if (element.IsObject()) reply.regions.push_back(region_of(element));
        }
    }
    const auto faces = document.FindMember("faces");
    if (faces != document.MemberEnd() && faces->value.IsInt64()) reply.faces = faces->value.GetInt64();
    return reply;
}

revoke_reply parse_revoke_reply(std::string_view text) {
    revoke_reply reply;
    rapidjson::Document document;
    parse_whole(document, text);
    if (!document.IsObject()) return reply;
    reply.object = true;
    string_member(document, "status", reply.status);
    const auto found = document.FindMember("found");
    reply.found = found != document.MemberEnd() && found->value.IsTrue();
    string_member(document, "regions_json", reply.regions_json);
    reply.has_error = string_member(document, "error", reply.error);
    return reply;
}

bool reply_status_ok(std::string_view text) {
    rapidjson::Document document;
    parse_whole(document, text);
    std::string status;
    return document.IsObject() && string_member(document, "status", status) && status == "ok";
}

std::vector<people_region> parse_regions_json(std::string_view text) {
    std::vector<people_region> regions;
    rapidjson::Document document;
    parse_whole(document, text);
    if (!document.IsArray()) return regions;
    for (const auto& element : document.GetArray()) {
        if (element.IsObject()) regions.push_back(region_of(element));
    }
    return regions;
}

std::string regions_to_json(const std::vector<people_region>& regions) {
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
    writer.StartArray();
    for (const auto& region : regions) {
        const std::string name = platform::text::to_utf8(region.name);
        writer.StartObject();
        writer.Key("name");
        writer.String(name.c_str(), static_cast<rapidjson::SizeType>(name.size()));
        writer.Key("x");
        writer.Double(region.x);
        writer.Key("y");
        writer.Double(region.y);
        writer.Key("w");
        writer.Double(region.w);
        writer.Key("h");
        writer.Double(region.h);
        writer.EndObject();
    }
    writer.EndArray();
    return std::string(buffer.GetString(), buffer.GetSize());
}

merge_result merge_people_regions(const std::vector<people_region>& existing,
                                  const std::vector<people_region>& identified,
                                  const std::vector<people_region>& detected) {
    merge_result result;
    for (const auto& region : existing) {
        if (region.name.empty()) continue;
        if (!has_rectangle(region)) {
            result.merged.push_back(region);
            continue;
        }
        const bool covers_a_face = std::any_of(detected.begin(), detected.end(), [&region](const people_region& face) {
            return overlap(region, face) >= match_threshold;
        });
        (covers_a_face ? result.merged : result.dropped).push_back(region);
    }
    for (const auto& person : identified) {
        people_region* target = nullptr;
        double best = match_threshold;
        for (auto& region : result.merged) {
            const double score = overlap(region, person);
            if (score >= best) {  // a later region with an equal overlap wins
                best = score;
                target = &region;
            }
        }
        if (target == nullptr) {
            for (auto& region : result.merged) {
                if (!has_rectangle(region) && platform::text::equal_ignore_case(region.name, person.name)) {
                    target = &region;
                    break;
                }
            }
        }
        if (target != nullptr) {
            *target = person;
        } else {
            result.merged.push_back(person);
        }
    }
    return result;
}

}  // namespace sortwell::services
