// Reads tags, rating and comment of 2,000 generated JPEGs through
// metadata_handle and prints the time beside `exiv2 -PXkv` reading the same
// keys of the same files in one process, and beside a bare open, read and
// close of every file.
//
//   metadata_read_bench [folder] [count]
//
// The folder (default: a new one under the temporary folder) is filled with
// copies of one tagged ~54 KB JPEG made by ImageMagick.

#include "metadata/metadata_handle.h"
#include "metadata/folder_ini.h"
#include "platform/file_system.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace ps = platform::property_store;
using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

bool make_sample(const std::filesystem::path& path) {
    const std::string command = "convert -size 220x165 plasma:red-blue -quality 98 '" + path.string() + "' 2>/dev/null";
    if (std::system(command.c_str()) != 0) return false;
    qlm::metadata::metadata_handle handle;
    const std::wstring wide = platform::text::from_utf8(path.string());
    if (!handle.open_for_writing(wide)) return false;
    handle.set_value(ps::key_keywords, ps::property_value::make_strings({L"Holiday", L"Beach", L"Fam\u00edlia"}));
    handle.set_value(ps::key_rating, ps::property_value::make_ui4(75));
    handle.set_value(ps::key_comment, ps::property_value::make_bstr(L"Evening light\r\nat the pier"));
    handle.commit();
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 2 ? std::atoi(argv[2]) : 2000;
    const std::filesystem::path folder =
        argc > 1 ? std::filesystem::path(argv[1])
                 : std::filesystem::temp_directory_path() / ("qlm-bench-" + std::to_string(platform::file_system::process_id()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path sample = folder / "sample.jpg";
    if (!make_sample(sample)) {
        std::fprintf(stderr, "could not make the sample JPEG (ImageMagick's convert is needed)\n");
        return 1;
    }
    std::vector<std::filesystem::path> files;
    for (int i = 0; i < count; ++i) {
        files.push_back(folder / ("photo" + std::to_string(i) + ".jpg"));
        std::filesystem::copy_file(sample, files.back(), std::filesystem::copy_options::overwrite_existing);
    }
    std::printf("%d JPEGs of %ju bytes in %s\n", count, static_cast<std::uintmax_t>(std::filesystem::file_size(sample)),
                folder.string().c_str());

    // Warm the page cache so that every contender reads from memory.
    std::vector<char> buffer(1 << 20);
    auto start = clock_type::now();
    std::size_t total = 0;
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        total += static_cast<std::size_t>(in.gcount());
    }
    const double bare = seconds_since(start);

    start = clock_type::now();
    std::size_t tags = 0, stars = 0, comment_length = 0;
    for (const auto& file : files) {
        qlm::metadata::metadata_handle handle;
        if (!handle.open_for_reading(platform::text::from_utf8(file.string()), ps::gps_default)) continue;
        tags += handle.get_tags().size();
        bool found = false;
        stars += handle.get_rating(found);
        comment_length += handle.get_comment().size();
        handle.close();
    }
    const double ours = seconds_since(start);
    if (tags != 3u * files.size() || stars != 4u * files.size()) {
        std::fprintf(stderr, "read back %zu tags and %zu stars: the sample was not read right\n", tags, stars);
        return 1;
    }

    std::string command = "exiv2 -q -PXkv -K Xmp.dc.subject -K Xmp.xmp.Rating -K Xmp.exif.UserComment";
    for (const auto& file : files) command += " '" + file.string() + "'";
    command += " > /dev/null 2>&1";
    start = clock_type::now();
    const int status = std::system(command.c_str());
    const double exiv2 = seconds_since(start);

    std::printf("bare open+read+close    %8.3f s  (%zu bytes)\n", bare, total);
    std::printf("qlm metadata_handle     %8.3f s  (open, tags, rating, comment, close)\n", ours);
    if (status == 0) std::printf("exiv2 -PXkv, 1 process  %8.3f s\n", exiv2);
    else std::printf("exiv2 -PXkv             not run (exit status %d)\n", status);
    if (argc <= 1) std::filesystem::remove_all(folder);
    return 0;
}
