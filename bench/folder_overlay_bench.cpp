// Prints the time of one folder overlay refresh with five tag icons and five
// stars, averaged over a number of folders, and of its composition alone.
// Usage: folder_overlay_bench [folder count]

#include "batch_processor/tag_rating_actions.h"
#include "explorer/folder_overlay.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

namespace explorer = sortwell::explorer;
namespace graphics = platform::graphics;

double milliseconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const auto work = std::filesystem::temp_directory_path() /
                      ("qlm-overlay-bench-" + std::to_string(platform::file_system::process_id()));
    std::filesystem::create_directories(work / "install" / "Content" / "Icons");
    const std::wstring root = platform::text::from_utf8(work.string());
    // The shipped icons, as the installed program finds them.
    const std::wstring program = platform::text::from_utf8(
        std::filesystem::path(platform::text::to_utf8(platform::file_system::module_path())).parent_path().parent_path().string());

    explorer::overlay_environment environment;
    environment.program_folder = program;
    environment.dpi = 96;
    environment.auto_tags = [] { return std::vector<std::wstring>{}; };
    const std::vector<std::wstring> names = {L"Important", L"To Do", L"Done", L"Work", L"Personal"};
    environment.tag_list = [&names] {
        std::vector<all_tags_settings::tag_entry> list;
        const wchar_t* files[] = {L"important", L"to_do", L"done", L"work", L"personal"};
        for (std::size_t i = 0; i < names.size(); ++i) {
            list.push_back({names[i], std::nullopt, std::nullopt,
                            std::wstring(L"\\Content\\Icons\\tag_") + files[i] + L"_tagged.ico", std::nullopt});
        }
        return list;
    };

    std::vector<std::wstring> folders;
    for (int i = 0; i < count; ++i) {
        const std::wstring folder = root + L"/f" + std::to_wstring(i);
        platform::file_system::create_directories(folder);
        sortwell::batch_processor::apply_update_tags(folder, L"+Important;+To Do;+Done;+Work;+Personal");
        sortwell::batch_processor::apply_set_rating(folder, L"5");
        folders.push_back(folder);
    }

    // Marks in a system-call trace where the timed refreshes begin and end.
    std::error_code marker;
    if (std::filesystem::exists(work / "refreshes-begin", marker)) return 1;
    const auto start = std::chrono::steady_clock::now();
    for (const std::wstring& folder : folders) explorer::refresh_folder_overlay(folder, environment);
    const double total = milliseconds_since(start);
    if (std::filesystem::exists(work / "refreshes-end", marker)) return 1;

    const graphics::session session;
    std::vector<std::wstring> icons;
    for (const wchar_t* file : {L"important", L"to_do", L"done", L"work", L"personal"}) {
        icons.push_back(program + L"/Content/Icons/tag_" + file + L"_tagged.ico");
    }
    const auto compose_start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        explorer::compose_overlay(std::nullopt, icons, 5, program + L"/Content/Icons/rating_star.ico", 96);
    }
    const double compose = milliseconds_since(compose_start);

    std::printf("refresh_folder_overlay, 5 tags and 5 stars: %.2f ms per folder over %d folders (goal: under 30 ms)\n",
                total / count, count);
    std::printf("  of which composing the 256 x 256 picture: %.2f ms\n", compose / count);
    std::error_code ignored;
    std::filesystem::remove_all(work, ignored);
    return 0;
}
