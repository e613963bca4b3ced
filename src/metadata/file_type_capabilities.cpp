#include "metadata/file_type_capabilities.h"

#include "formats/file_extension.h"
#include "platform/file_system.h"
#include "platform/property_store.h"
#include "platform/text.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace qlm::metadata {
namespace {

const std::vector<std::string>& tag_capable_extensions() {
    static const std::vector<std::string> extensions = {
        ".arw",  ".asm", ".aspx", ".avi",  ".bat",  ".bmp",  ".c",    ".cmd",    ".config", ".cpp",         ".cs",
        ".csv",  ".d64", ".dll",  ".doc",  ".docx", ".gif",  ".gfie", ".h",      ".heic",   ".hpp",         ".htm",
        ".html", ".ico", ".ini",  ".jpeg", ".jpg",  ".json", ".jxl",  ".lnk",    ".log",    ".lnx",         ".master",
        ".md",   ".mov", ".mp4",  ".msi",  ".pdf",  ".pfx",  ".png",  ".prg",    ".ppt",    ".pptx",        ".ps1",
        ".rar",  ".reg", ".rtf",  ".sid",  ".sln",  ".svg",  ".tif",  ".tiff",   ".tmp",    ".txt",         ".url",
        ".wav",  ".webmanifest",  ".webp", ".wma",  ".xls",  ".xlsx", ".xml",    ".zip"};
    return extensions;
}

const std::vector<std::string>& rating_capable_extensions() {
    // Audio files take a rating but not tags: their keywords live nowhere the
    // other programs look.
    static const std::vector<std::string> extensions = [] {
        std::vector<std::string> list = tag_capable_extensions();
        for (const char* audio : {".mp3", ".flac", ".ogg", ".m4a"}) list.emplace_back(audio);
        return list;
    }();
    return extensions;
}

bool is_path_separator(wchar_t c) { return c == L'/' || c == platform::file_system::separator; }

bool is_folder(const std::wstring& path) {
    const std::uint32_t attributes = platform::file_system::get_attributes(path);
    return attributes != platform::file_system::invalid_attributes &&
           (attributes & platform::file_system::attribute_directory) != 0;
}

// The name is looked at first: most paths are admitted by it, without asking
// the file system whether they are folders.
bool is_admitted(const std::wstring& path, const std::unordered_set<std::string>& extensions) {
    const std::wstring extension = path_extension(path);
    if (!extension.empty() && extensions.contains(formats::ascii_lower(platform::text::to_utf8(extension))))
        return true;
    // A type whose handler keeps a sidecar takes tags and ratings there.
    if (!platform::property_store::handler_sidecar(path).empty()) return true;
    return is_folder(path);
}

}  // namespace

std::wstring path_extension(const std::wstring& path) {
    std::size_t name_start = path.size();
    while (name_start > 0 && !is_path_separator(path[name_start - 1])) --name_start;
    const std::wstring_view name = std::wstring_view(path).substr(name_start);
    if (name == L"." || name == L"..") return {};
    const std::size_t dot = name.rfind(L'.');
    if (dot == std::wstring_view::npos || dot == 0) return {};
    return std::wstring(name.substr(dot));
}

bool can_store_tags(const std::wstring& path) {
    static const std::unordered_set<std::string> set(tag_capable_extensions().begin(), tag_capable_extensions().end());
    return is_admitted(path, set);
}

bool can_store_rating(const std::wstring& path) {
    static const std::unordered_set<std::string> set(rating_capable_extensions().begin(),
                                                     rating_capable_extensions().end());
    return is_admitted(path, set);
}

}  // namespace qlm::metadata
