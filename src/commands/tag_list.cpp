#include "commands/tag_list.h"

#include "cli/completion_run.h"
#include "cli/output.h"
#include "settings/all_tags_settings.h"

namespace qlm::metadata_commands {

int run_tag_list(const parsed_arguments& parsed) {
    if (run_for_completion() && !parsed.json) {
        const auto names = all_tags_settings::read_tag_names_only(common::setting_utilities::current_module());
        if (!names) return 3;
        std::wstring text;
        for (const auto& name : *names) {
            text += name;
            text.push_back(L'\n');
        }
        write_stdout(text);
        return 0;
    }
    all_tags_settings::settings_file tag_list;
    if (!tag_list.load(false)) {
        return print_error_report(parsed.json, 3, L"settings_unavailable", L"Could not read the Labelry tag list.");
    }
    if (parsed.json) {
        rapidjson::StringBuffer buffer;
        json_writer writer(buffer);
        writer.StartObject();
        writer.Key("command");
        writer.String("tag list");
        writer.Key("ok");
        writer.Bool(true);
        writer.Key("exit_code");
        writer.Int(0);
        writer.Key("tags");
        writer.StartArray();
        for (const auto& entry : tag_list.tags) {
            writer.StartObject();
            writer.Key("name");
            write_json_string(writer, entry.name);
            writer.EndObject();
        }
        writer.EndArray();
        writer.EndObject();
        print_json(buffer);
        return 0;
    }
    std::wstring text;
    for (const auto& entry : tag_list.tags) {
        text += entry.name;
        text.push_back(L'\n');
    }
    write_stdout(text);  // an empty list writes nothing
    return 0;
}

}  // namespace qlm::metadata_commands
