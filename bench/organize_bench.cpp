// Prints the time of the organizer's actions and of its geodata:
//   by_type over 1,000, 10,000 and 50,000 small files, beside a bare loop of
//   renames of the same files into the same folders, and the undo of each;
//   photos_pattern over the JPEGs of a folder given on the command line (the
//   shell script makes them), and its undo;
//   geodata load and 100,000 lookups.
//
//   organize_bench [photo folder]

#include "batch_processor/batch_processor_callbacks.h"
#include "organizer/geodata.h"
#include "organizer/organize_folder.h"
#include "platform/file_system.h"
#include "platform/file_system_moves.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace org = sortwell::organizer;
namespace stdfs = std::filesystem;
using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

class quiet_host : public sortwell::batch_processor::batch_processor_callbacks {
public:
    void report_progress(int) override {}
    void show_progress() override {}
    bool is_cancelled() override { return false; }
    bool is_paused() override { return false; }
    bool report_error(const std::wstring&, const std::wstring&) override { return false; }
    bool confirm_create_folder(const std::wstring&) override { return true; }
    void report_unknown_action() override {}
    void report_auto_tag_failure() override {}
    void report_unsupported_file_type(const std::wstring&, const std::wstring&, const std::wstring&) override {}
    void set_title(const std::wstring&) override {}
    void set_status_text(const std::wstring&) override {}
};

constexpr const char* extensions[] = {"jpg", "txt", "mp3", "zip", "png", "pdf", "mp4", "exe", "bin"};
constexpr const char* categories[] = {"Images",    "Documents", "Music",    "Archives", "Images",
                                      "Documents", "Videos",    "Programs", "Other"};

void make_files(const stdfs::path& folder, int count) {
    stdfs::remove_all(folder);
    stdfs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        std::ofstream(folder / ("f" + std::to_string(i) + "." + extensions[i % 9])) << i;
    }
}

org::organize_services bench_services() {
    org::organize_services services;
    services.categories = [] { return high_level_settings::default_organize_categories(); };
    services.excluded_names = [] { return std::vector<std::wstring>{}; };
    return services;
}

void by_type(const stdfs::path& work, int count) {
    const stdfs::path folder = work / ("set" + std::to_string(count));
    make_files(folder, count);
    // The floor: one rename per file into its category folder.
    auto start = clock_type::now();
    for (const char* category : categories) stdfs::create_directories(folder / category);
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(i) + "." + extensions[i % 9];
        stdfs::rename(folder / name, folder / categories[i % 9] / name);
    }
    const double bare = seconds_since(start);
    make_files(folder, count);
    quiet_host host;
    const auto services = bench_services();
    const std::wstring wide = platform::text::from_utf8(folder.string());
    start = clock_type::now();
    org::organize_folder(host, wide, L"by_type", services);
    const double organize = seconds_since(start);
    start = clock_type::now();
    org::organize_undo(host, wide, services);
    const double undo = seconds_since(start);
    std::printf("by_type %6d files: organize %6.2f s, undo %6.2f s, bare renames %6.2f s\n", count, organize, undo,
                bare);
    stdfs::remove_all(folder);
}

}  // namespace

int main(int argc, char** argv) {
    const stdfs::path work =
        stdfs::temp_directory_path() / ("qlm-organize-bench-" + std::to_string(platform::file_system::process_id()));
    for (const int count : {1000, 10000, 50000}) by_type(work, count);
    stdfs::remove_all(work);

    if (argc > 1) {
        quiet_host host;
        const auto services = bench_services();
        const std::wstring folder = platform::text::from_utf8(argv[1]);
        auto start = clock_type::now();
        org::organize_folder(host, folder, L"photos_pattern", services);
        const double organize = seconds_since(start);
        start = clock_type::now();
        org::organize_undo(host, folder, services);
        std::printf("photos_pattern over %s: organize %6.2f s, undo %6.2f s\n", argv[1], organize,
                    seconds_since(start));
    }

    // The bench sits in bench/ beside the build's Content folder.
    const stdfs::path geodata =
        stdfs::path(platform::text::to_utf8(platform::file_system::module_path())).parent_path().parent_path() /
        "Content" / "GeoData";
    auto start = clock_type::now();
    const auto countries =
        platform::file_system::read_file(platform::text::from_utf8((geodata / "countries.bin").string()));
    const auto cities = platform::file_system::read_file(platform::text::from_utf8((geodata / "cities.bin").string()));
    const org::geodata tables(countries ? org::read_countries(*countries) : std::vector<org::country_record>{},
                              cities ? org::read_cities(*cities) : std::vector<org::city_record>{});
    const double load = seconds_since(start);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> latitude(-60, 70), longitude(-180, 180);
    std::size_t named = 0;
    start = clock_type::now();
    for (int i = 0; i < 100000; ++i)
        named += tables.lookup(latitude(random), longitude(random)).country.empty() ? 0u : 1u;
    std::printf("geodata: load %.3f s (%zu countries, %zu cities), 100,000 lookups %.3f s (%zu in a country)\n", load,
                tables.country_count(), tables.city_count(), seconds_since(start), named);
    return 0;
}
