// Prints the time --recursive takes to list a tree of 100,000 files beside
// the time find takes for the same tree (best of three each, warm cache).
// The walk should stay within 1.5 times find.

#include "cli/target_expansion.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path root =
        fs::temp_directory_path() / ("qlm-tree-bench-" + std::to_string(platform::file_system::process_id()));
    // 10 folders of 10 folders of 1,000 files: 100,000 files, 110 folders.
    for (int a = 0; a < 10; ++a) {
        for (int b = 0; b < 10; ++b) {
            const fs::path folder = root / ("Shoot " + std::to_string(a)) / ("Day " + std::to_string(b));
            fs::create_directories(folder);
            for (int i = 0; i < 1000; ++i) std::ofstream(folder / ("IMG_" + std::to_string(i) + ".jpg"));
        }
    }
    const std::string find_command = "find '" + root.string() + "' > /dev/null";
    if (std::system(find_command.c_str()) != 0) return 1;  // also warms the cache

    double walk = 1e9;
    double find = 1e9;
    std::size_t listed = 0;
    for (int round = 0; round < 3; ++round) {
        auto start = std::chrono::steady_clock::now();
        listed = qlm::expand_targets({platform::text::from_utf8(root.string())}, true).size();
        walk = std::min(walk, seconds_since(start));
        start = std::chrono::steady_clock::now();
        if (std::system(find_command.c_str()) != 0) return 1;
        find = std::min(find, seconds_since(start));
    }
    std::printf("--recursive over %zu entries: %.3f s\n", listed, walk);
    std::printf("find over the same tree:     %.3f s\n", find);
    std::printf("ratio: %.2f (target at most 1.50)\n", walk / find);
    fs::remove_all(root);
    return 0;
}
