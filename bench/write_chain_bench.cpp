// Two figures of the write side:
// 1. set_rating through the fallback chain on a ~12 MB JPEG (open for
//    writing, set, commit, close), beside `exiv2 -M'set Xmp.xmp.Rating 4'`
//    and `exiftool -XMP-xmp:Rating=4` on copies of the same file;
// 2. read_people_regions over 2,000 photos that carry regions.
//
//   write_chain_bench [folder] [rounds]

#include "metadata/fallback_chain.h"
#include "metadata/people_regions.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using clock_type = std::chrono::steady_clock;
namespace stdfs = std::filesystem;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

std::wstring wide(const stdfs::path& path) { return platform::text::from_utf8(path.string()); }

bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Median-free and simple: the mean of `rounds` runs, each on a fresh copy.
template <typename Action>
double mean_seconds(const stdfs::path& source, const stdfs::path& copy, int rounds, Action action) {
    double total = 0;
    for (int i = 0; i < rounds; ++i) {
        stdfs::copy_file(source, copy, stdfs::copy_options::overwrite_existing);
        const auto start = clock_type::now();
        if (!action()) {
            std::fprintf(stderr, "a run failed\n");
            std::exit(1);
        }
        total += seconds_since(start);
    }
    return total / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    const stdfs::path folder = argc > 1 ? stdfs::path(argv[1])
                                        : stdfs::temp_directory_path() /
                                              ("qlm-write-bench-" + std::to_string(platform::file_system::process_id()));
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    stdfs::create_directories(folder);

    const stdfs::path big = folder / "big.jpg";
    if (!run("convert -size 2650x1980 xc: +noise Random -quality 97 '" + big.string() + "'")) {
        std::fprintf(stderr, "could not make the sample JPEG (ImageMagick's convert is needed)\n");
        return 1;
    }
    const stdfs::path copy = folder / "copy.jpg";
    const double chain = mean_seconds(big, copy, rounds, [&] {
        qlm::metadata::metadata_handle handle;
        if (!handle.open_for_writing(wide(copy))) return false;
        qlm::metadata::set_rating(handle, 4);
        handle.commit();
        handle.close();
        return true;
    });
    const double exiv2 = mean_seconds(big, copy, rounds, [&] { return run("exiv2 -M'set Xmp.xmp.Rating 4' '" + copy.string() + "'"); });
    const double exiftool = mean_seconds(big, copy, rounds, [&] {
        return run("exiftool -q -overwrite_original -XMP-xmp:Rating=4 '" + copy.string() + "'");
    });
    std::printf("set_rating on a %.1f MB JPEG (mean of %d)\n", static_cast<double>(stdfs::file_size(big)) / 1e6, rounds);
    std::printf("  qlm chain (handler store)        %.3f s\n", chain);
    std::printf("  exiv2 -M'set Xmp.xmp.Rating 4'    %.3f s\n", exiv2);
    std::printf("  exiftool -XMP-xmp:Rating=4        %.3f s\n", exiftool);

    const stdfs::path photos = folder / "people";
    stdfs::create_directories(photos);
    const stdfs::path sample = photos / "sample.jpg";
    if (!run("convert -size 1200x900 plasma:red-blue -quality 92 '" + sample.string() + "'") ||
        !qlm::metadata::write_people_regions(wide(sample), {{L"Anna", 0.1, 0.1, 0.2, 0.2}, {L"Bob", 0.5, 0.4, 0.2, 0.3}})) {
        std::fprintf(stderr, "could not make the people sample\n");
        return 1;
    }
    std::vector<std::wstring> files;
    for (int i = 0; i < 2000; ++i) {
        const stdfs::path path = photos / ("p" + std::to_string(i) + ".jpg");
        stdfs::copy_file(sample, path, stdfs::copy_options::overwrite_existing);
        files.push_back(wide(path));
    }
    std::size_t found = 0;
    const auto start = clock_type::now();
    for (const auto& file : files) found += qlm::metadata::read_people_regions(file).size();
    const double people = seconds_since(start);
    std::printf("read_people_regions of %zu photos (%.0f KB each): %.3f s, %zu regions\n", files.size(),
                static_cast<double>(stdfs::file_size(sample)) / 1e3, people, found);
    stdfs::remove_all(folder);
    return 0;
}
