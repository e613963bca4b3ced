#include "settings/high_level_settings.h"

#include "logging/log.h"
#include "platform/text.h"
#include "settings/json_text.h"

#include <exception>

namespace high_level_settings {

namespace utilities = common::setting_utilities;
using platform::text::from_utf8;

namespace {

std::string narrow(const rapidjson::Value& value) { return std::string(value.GetString(), value.GetStringLength()); }

// The four stored types, tested in this order; anything else stores nothing.
std::optional<setting_value> scalar_value(const rapidjson::Value& value) {
    if (value.IsBool()) return setting_value(std::in_place_index<0>, value.IsTrue());
    if (value.IsString()) return setting_value(std::in_place_index<1>, narrow(value));
    if (value.IsInt()) return setting_value(std::in_place_index<2>, static_cast<std::int32_t>(value.GetInt()));
    if (value.IsArray()) {
        std::vector<std::string> items;
        for (const rapidjson::Value& item : value.GetArray()) {
            if (item.IsString()) items.push_back(narrow(item));
        }
        return setting_value(std::in_place_index<3>, std::move(items));
    }
    return std::nullopt;
}

void read_settings(const rapidjson::Value& object, app_entry& entry) {
    for (const auto& member : object.GetObject()) {
        const std::string key = narrow(member.name);
        if (auto value = scalar_value(member.value)) {
            entry.settings.insert_or_assign(key, std::move(*value));
        } else if (member.value.IsObject() && member.value.MemberCount() > 0) {
            // One level only: "general": {"showTagsAsIconOverlay": false} is
            // "general.showTagsAsIconOverlay"; deeper objects are ignored.
            for (const auto& inner : member.value.GetObject()) {
                if (auto inner_value = scalar_value(inner.value)) {
                    entry.settings.insert_or_assign(key + "." + narrow(inner.name), std::move(*inner_value));
                }
            }
        }
    }
}

app_entry read_app(const rapidjson::Value& element) {
    app_entry entry;
    if (!element.IsObject()) return entry;
    if (const auto* value = utilities::find_member(element, "app_id"); value != nullptr && value->IsString()) {
        entry.app_id = narrow(*value);
    }
    if (const auto* value = utilities::find_member(element, "status"); value != nullptr && value->IsString()) {
        entry.status = narrow(*value);
    }
    if (const auto* value = utilities::find_member(element, "name"); value != nullptr && value->IsString()) {
        entry.name = utilities::wide_text(*value);
    }
    if (const auto* value = utilities::find_member(element, "version"); value != nullptr && value->IsString()) {
        entry.version = utilities::wide_text(*value);
    }
    if (const auto* value = utilities::find_member(element, "settings"); value != nullptr && value->IsObject()) {
        read_settings(*value, entry);
    }
    return entry;
}

}  // namespace

settings_file::settings_file() : settings_file(utilities::current_module(), std::nullopt) {}

settings_file::settings_file(std::wstring module, const std::optional<std::wstring>& app_data_root)
    : common_settings_file(std::move(module), high_level_settings::folder_name, high_level_settings::file_stem, app_data_root) {}

bool settings_file::read() {
    // Unlike the tag list, an unreadable or damaged file keeps the values
    // read before and still counts as loaded: every lookup has a default.
    rapidjson::Document document;
    try {
        if (!utilities::read_json_object(full_path(), document)) return true;
    } catch (const std::exception&) {
        return true;
    }

    std::optional<std::wstring> version;
    if (const auto* value = utilities::find_member(document, "version"); value != nullptr && value->IsString()) {
        version = utilities::wide_text(*value);
    }
    std::optional<std::map<std::string, app_entry, std::less<>>> apps;
    if (const auto* list = utilities::find_member(document, "apps"); list != nullptr && list->IsArray()) {
        apps.emplace();
        for (const rapidjson::Value& element : list->GetArray()) {
            app_entry entry = read_app(element);
            if (entry.app_id.empty()) continue;
            std::string id = entry.app_id;
            apps->emplace(std::move(id), std::move(entry));  // the first block of an id wins
        }
    }
    {
        const std::lock_guard lock(mutex_);
        if (version) version_.swap(*version);
        if (apps) apps_.swap(*apps);
    }
    // The old map goes here, after the lock is released.
    return true;
}

bool settings_file::save() { return false; }

std::wstring settings_file::version() const {
    const std::lock_guard lock(mutex_);
    return version_;
}

std::optional<app_entry> settings_file::find_app(std::string_view app_id) const {
    const std::lock_guard lock(mutex_);
    const auto found = apps_.find(app_id);
    if (found == apps_.end()) return std::nullopt;
    return found->second;
}

std::optional<setting_value> settings_file::get_value(std::string_view app_id, std::string_view key) const {
    const std::lock_guard lock(mutex_);
    const auto app = apps_.find(app_id);
    if (app == apps_.end()) return std::nullopt;
    const auto value = app->second.settings.find(key);
    if (value == app->second.settings.end()) return std::nullopt;
    return value->second;
}

bool settings_file::get_bool(std::string_view app_id, std::string_view key, bool fallback) const {
    const auto value = get_value(app_id, key);
    if (!value || value->index() != 0) return fallback;
    return std::get<0>(*value);
}

std::wstring settings_file::get_string(std::string_view app_id, std::string_view key,
                                       std::wstring_view fallback) const {
    const auto value = get_value(app_id, key);
    if (!value || value->index() != 1) return std::wstring(fallback);
    return from_utf8(std::get<1>(*value));
}

std::vector<std::wstring> settings_file::get_string_list(std::string_view app_id, std::string_view key,
                                                         const std::vector<std::wstring>& fallback) const {
    const auto value = get_value(app_id, key);
    if (!value || value->index() != 3) return fallback;
    std::vector<std::wstring> items;
    for (const std::string& item : std::get<3>(*value)) items.push_back(from_utf8(item));
    return items;
}

bool settings_file::is_sortwell_enabled() {
    if (!load(false)) {
        qlm::log_error(L"Failed to load from high level settings file {}", full_path());
        return false;
    }
    const std::lock_guard lock(mutex_);
    const auto found = apps_.find(std::string_view("sortwell"));
    if (found == apps_.end()) return true;
    // The organizer application is never reported as switched off.
    if (found->second.app_id == "sortwell") return true;
    return found->second.status != "disabled";
}

settings_file& instance() {
    static settings_file shared;
    return shared;
}

bool is_sortwell_enabled() { return instance().is_sortwell_enabled(); }

}  // namespace high_level_settings
