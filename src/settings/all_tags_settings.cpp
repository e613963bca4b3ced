#include "settings/all_tags_settings.h"

#include "platform/file_safety.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "settings/json_text.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

namespace all_tags_settings {

namespace utilities = common::setting_utilities;

namespace {

std::optional<std::wstring> optional_string(const rapidjson::Value& object, const char* name) {
    const rapidjson::Value* value = utilities::find_member(object, name);
    if (value == nullptr || !value->IsString()) return std::nullopt;
    return utilities::wide_text(*value);
}

tag_entry read_entry(const rapidjson::Value& element) {
    tag_entry entry;
    if (!element.IsObject()) return entry;
    if (auto name = optional_string(element, "name")) entry.name = std::move(*name);
    if (const rapidjson::Value* order = utilities::find_member(element, "order"); order != nullptr && order->IsString()) {
        entry.order = utilities::parse_decimal(std::string_view(order->GetString(), order->GetStringLength()));
    }
    entry.icon_not_tagged = optional_string(element, "icon_not_tagged");
    entry.icon_when_tagged = optional_string(element, "icon_when_tagged");
    entry.keyboard = optional_string(element, "keyboard");
    return entry;
}

void read_window_size(const rapidjson::Value& app, std::int32_t& height, std::int32_t& width) {
    const rapidjson::Value* window = utilities::find_member(app, "window");
    if (window == nullptr) return;
    // Only integers that fit 32 bits count; fractions and larger numbers are ignored.
    if (const rapidjson::Value* value = utilities::find_member(*window, "height"); value != nullptr && value->IsInt()) {
        height = value->GetInt();
    }
    if (const rapidjson::Value* value = utilities::find_member(*window, "width"); value != nullptr && value->IsInt()) {
        width = value->GetInt();
    }
}

}  // namespace

settings_file::settings_file() : settings_file(utilities::current_module(), std::nullopt) {}

settings_file::settings_file(std::wstring module, const std::optional<std::wstring>& app_data_root)
    : common_settings_file(std::move(module), all_tags_settings::folder_name, all_tags_settings::file_stem, app_data_root) {}

bool settings_file::read() {
    rapidjson::Document document;
    try {
        if (!utilities::read_json_object(full_path(), document)) return false;
    } catch (const std::exception&) {
        return false;
    }

    if (const rapidjson::Value* value = utilities::find_member(document, "version");
        value != nullptr && value->IsString()) {
        version = utilities::wide_text(*value);
    }
    if (const rapidjson::Value* app = utilities::find_member(document, "app"); app != nullptr && app->IsObject()) {
        read_window_size(*app, window_height, window_width);
    }
    if (const rapidjson::Value* list = utilities::find_member(document, "tags"); list != nullptr && list->IsArray()) {
        tags.clear();
        for (const rapidjson::Value& element : list->GetArray()) tags.push_back(read_entry(element));
    }
    return true;
}

std::optional<std::vector<std::wstring>> read_tag_names_only(const std::wstring& module) {
    namespace fs = platform::file_system;
    std::wstring path = utilities::settings_file_path(folder_name, file_stem);
    if (!fs::exists(path)) path = utilities::default_settings_folder(module) + fs::separator + file_stem + L".json";
    rapidjson::Document document;
    try {
        if (!utilities::read_json_object(path, document)) return std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::vector<std::wstring> names;
    if (const rapidjson::Value* list = utilities::find_member(document, "tags"); list != nullptr && list->IsArray()) {
        for (const rapidjson::Value& element : list->GetArray()) names.push_back(read_entry(element).name);
    }
    return names;
}

std::string to_json_text(const settings_file& settings) {
    rapidjson::StringBuffer compact;
    rapidjson::Writer<rapidjson::StringBuffer> writer(compact);
    writer.StartObject();
    writer.Key("version");
    utilities::write_json_string(writer, settings.version);
    writer.Key("app");
    writer.StartObject();
    writer.Key("window");
    writer.StartObject();
    writer.Key("height");
    writer.Int(settings.window_height);
    writer.Key("width");
    writer.Int(settings.window_width);
    writer.EndObject();
    writer.EndObject();
    writer.Key("tags");
    writer.StartArray();
    for (const tag_entry& entry : settings.tags) {
        writer.StartObject();
        writer.Key("name");
        utilities::write_json_string(writer, entry.name);
        if (entry.order) {
            writer.Key("order");
            utilities::write_json_string(writer, std::to_wstring(*entry.order));
        }
        if (entry.icon_not_tagged) {
            writer.Key("icon_not_tagged");
            utilities::write_json_string(writer, *entry.icon_not_tagged);
        }
        if (entry.icon_when_tagged) {
            writer.Key("icon_when_tagged");
            utilities::write_json_string(writer, *entry.icon_when_tagged);
        }
        if (entry.keyboard) {
            writer.Key("keyboard");
            utilities::write_json_string(writer, *entry.keyboard);
        }
        writer.EndObject();
    }
    writer.EndArray();
    writer.EndObject();

    // Built compact, then re-written pretty so the user can read and edit it.
    rapidjson::Document document;
    document.Parse(compact.GetString(), compact.GetSize());
    rapidjson::StringBuffer pretty;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> pretty_writer(pretty);
    pretty_writer.SetIndent(' ', 4);
    document.Accept(pretty_writer);
    return std::string(pretty.GetString(), pretty.GetSize());
}

bool settings_file::save() {
    namespace fs = platform::file_system;
    const std::string text = to_json_text(*this);
    // Never torn: a flushed temporary takes the file's place in one step.
    const std::wstring path = full_path();
    fs::write_if_unchanged(path, fs::identify_file(path), text.data(), text.size());
    return true;
}

}  // namespace all_tags_settings
