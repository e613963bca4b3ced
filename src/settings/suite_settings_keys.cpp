#include "settings/suite_settings_keys.h"

#include "common/exceptions.h"
#include "platform/text.h"
#include "settings/json_text.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <stdexcept>

namespace high_level_settings {

namespace utilities = common::setting_utilities;

const std::vector<std::wstring>& image_extensions() {
    static const std::vector<std::wstring> list{L"jpg", L"jpeg", L"jpe", L"jfif", L"png", L"gif", L"bmp", L"tif",
                                                L"tiff", L"webp", L"heic", L"heif", L"avif", L"jxl", L"svg", L"psd",
                                                L"arw", L"cr2", L"cr3", L"nef", L"orf", L"raf", L"rw2", L"dng"};
    return list;
}

const std::vector<std::wstring>& music_extensions() {
    static const std::vector<std::wstring> list{L"mp3", L"wav", L"flac", L"m4a", L"aac", L"ogg",
                                                L"wma", L"opus", L"aiff", L"mid", L"midi"};
    return list;
}

const std::vector<organize_category>& default_organize_categories() {
    static const std::vector<organize_category> list{
        {L"Images", image_extensions(), true},
        {L"Documents",
         {L"pdf", L"doc", L"docx", L"xls", L"xlsx", L"ppt", L"pptx", L"txt", L"rtf", L"odt", L"ods", L"odp", L"md",
          L"csv", L"one", L"epub", L"mobi", L"xps"},
         true},
        {L"Videos",
         {L"mp4", L"mov", L"avi", L"mkv", L"wmv", L"flv", L"webm", L"m4v", L"mpg", L"mpeg", L"3gp", L"mts", L"m2ts"},
         true},
        {L"Music", music_extensions(), true},
        {L"Archives", {L"zip", L"rar", L"7z", L"tar", L"gz", L"bz2", L"xz", L"iso", L"cab"}, true},
        {L"Programs", {L"exe", L"msi", L"msix", L"msixbundle", L"appx", L"appxbundle", L"apk", L"jar"}, true},
    };
    return list;
}

bool show_tags_overlay(settings_file& settings) {
    if (!settings.load(false)) return true;
    return settings.get_bool(sortwell_app_id, show_tags_overlay_key, true);
}

bool show_rating_overlay(settings_file& settings) {
    if (!settings.load(false)) return true;
    return settings.get_bool(sortwell_app_id, show_rating_overlay_key, true);
}

bool write_people_tags(const settings_file& settings) {
    return settings.get_bool(insightor_app_id, write_people_tags_key, true);
}

std::vector<std::wstring> get_auto_tags(settings_file& settings) {
    if (!settings.load(false)) throw std::runtime_error("Unable to get list of auto tags");
    if (!settings.find_app(insightor_app_id)) throw std::runtime_error("Insightor settings not found");
    struct group {
        const char* key;
        const wchar_t* missing;
    };
    static constexpr group groups[] = {
        {text_domain_tags_key, L"Insightor text_domain tag 'general.tags.text_domain' settings not found in {}"},
        {text_purpose_tags_key, L"Insightor text_purpose tag 'general.tags.text_purpose' settings not found in {}"},
        {text_specific_tags_key, L"Insightor text_specific tag 'general.tags.text_specific' settings not found in {}"},
    };
    std::vector<std::wstring> tags;
    for (const group& each : groups) {
        const auto value = settings.get_value(insightor_app_id, each.key);
        if (!value) {
            throw exceptions::formatted_runtime_error(fmt::format(fmt::runtime(each.missing), settings.full_path()));
        }
        // A value of another type adds nothing and is not an error.
        if (value->index() != 3) continue;
        for (const std::string& tag : std::get<3>(*value)) tags.push_back(platform::text::from_utf8(tag));
    }
    return tags;
}

std::vector<organize_category> get_organize_categories(settings_file& settings) {
    (void)settings.load(false);
    // The categories are read from the file itself: the flattened map keeps
    // lists of strings only, not arrays of objects.
    rapidjson::Document document;
    if (!utilities::read_json_object(settings.full_path(), document)) return default_organize_categories();
    const rapidjson::Value* apps = utilities::find_member(document, "apps");
    if (apps == nullptr || !apps->IsArray()) return default_organize_categories();

    const rapidjson::Value* sortwell = nullptr;
    for (const rapidjson::Value& app : apps->GetArray()) {
        const rapidjson::Value* id = utilities::find_member(app, "app_id");
        if (id != nullptr && id->IsString() && std::string_view(id->GetString(), id->GetStringLength()) == "sortwell") {
            sortwell = &app;
            break;
        }
    }
    if (sortwell == nullptr) return default_organize_categories();
    const rapidjson::Value* app_settings = utilities::find_member(*sortwell, "settings");
    const rapidjson::Value* list = app_settings == nullptr ? nullptr
                                                           : utilities::find_member(*app_settings, organize_categories_key);
    if (list == nullptr || !list->IsArray()) return default_organize_categories();

    std::vector<organize_category> categories;
    for (const rapidjson::Value& element : list->GetArray()) {
        if (!element.IsObject()) continue;
        organize_category category;
        if (const auto* name = utilities::find_member(element, "name"); name != nullptr && name->IsString()) {
            category.name = platform::text::from_utf8(std::string_view(name->GetString(), name->GetStringLength()));
        }
        if (const auto* enabled = utilities::find_member(element, "enabled"); enabled != nullptr && enabled->IsBool()) {
            category.enabled = enabled->IsTrue();
        }
        if (const auto* extensions = utilities::find_member(element, "extensions");
            extensions != nullptr && extensions->IsArray()) {
            for (const rapidjson::Value& extension : extensions->GetArray()) {
                if (extension.IsString()) {
                    category.extensions.push_back(platform::text::from_utf8(
                        std::string_view(extension.GetString(), extension.GetStringLength())));
                }
            }
        }
        if (!category.name.empty()) categories.push_back(std::move(category));
    }
    if (categories.empty()) return default_organize_categories();
    return categories;
}

std::vector<std::wstring> get_excluded_names(settings_file& settings) {
    (void)settings.load(false);
    return settings.get_string_list(sortwell_app_id, excluded_names_key, {});
}

}  // namespace high_level_settings
