// Prints the time to expand 25,000 to 100,000 existing paths read from a
// path list, to show that expansion grows linearly.

#include "cli/output.h"
#include "cli/path_sources.h"
#include "cli/target_expansion.h"
#include "platform/file_system.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main() {
    namespace fs = std::filesystem;
    const fs::path root = fs::temp_directory_path() / ("qlm-bench-" + std::to_string(platform::file_system::process_id()));
    fs::create_directories(root);
    constexpr int total = 100000;
    for (int i = 0; i < total; ++i) std::ofstream(root / ("f" + std::to_string(i) + ".txt"));
    for (const int count : {25000, 50000, 100000}) {
        const fs::path list = root / ("list-" + std::to_string(count) + ".txt");
        {
            std::ofstream out(list, std::ios::binary);
            for (int i = 0; i < count; ++i) out << (root / ("f" + std::to_string(i) + ".txt")).string() << "\r\n";
        }
        const auto start = std::chrono::steady_clock::now();
        qlm::parsed_arguments parsed;
        parsed.from_file = qlm::from_utf8(list.string());
        std::vector<std::wstring> paths;
        std::wstring message;
        qlm::collect_path_arguments(parsed, paths, message);
        const auto targets = qlm::expand_targets(paths);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        std::printf("expand %6d paths from a path list: %.3f s (%zu targets)\n", count, elapsed.count(), targets.size());
    }
    fs::remove_all(root);
    return 0;
}
