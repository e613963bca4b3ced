#include "metadata/folder_ini.h"

#include "formats/text_list.h"
#include "metadata/metadata_handle.h"
#include "platform/file_system.h"
#include "platform/private_profile.h"

#include <cwctype>
#include <stdexcept>

namespace qlm::metadata {

namespace ps = platform::property_store;
namespace fs = platform::file_system;
namespace profile = platform::private_profile;

namespace {

const std::wstring suite_section = L"Sortwell";
const std::wstring summary_section = L"{F29F85E0-4FF9-1068-AB91-08002B27B3D9}";

// A new desktop.ini starts as UTF-16LE so that every later write stays UTF-16.
constexpr unsigned char unicode_header[] = {0xFF, 0xFE, 0x0D, 0x00, 0x0A, 0x00};

std::vector<std::wstring> read_list(const std::wstring& section, const std::wstring& key, const std::wstring& ini,
                                    bool strip_type) {
    std::wstring text = profile::get_string(section, key, L"", ini, 4096);
    if (strip_type && text.rfind(L"31,", 0) == 0) text.erase(0, 3);
    return formats::split_list(text);
}

std::wstring join(const std::vector<std::wstring>& items) {
    std::wstring out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += L';';
        out += items[i];
    }
    return out;
}

std::wstring lowered(const std::wstring& text) {
    std::wstring out = text;
    for (auto& ch : out) ch = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(ch)));
    return out;
}

bool contains_ignoring_case(const std::vector<std::wstring>& items, const std::wstring& wanted) {
    const std::wstring key = lowered(wanted);
    for (const auto& item : items) {
        if (lowered(item) == key) return true;
    }
    return false;
}

}  // namespace

std::wstring folder_ini_path(const std::wstring& folder) {
    std::wstring path = folder;
    if (path.empty() || path.back() != fs::separator) path += fs::separator;
    return path + L"desktop.ini";
}

std::vector<std::wstring> read_folder_ini_tags(const std::wstring& folder) {
    return read_list(suite_section, L"Tags", folder_ini_path(folder), false);
}

std::vector<std::wstring> read_folder_ini_keywords(const std::wstring& ini_path) {
    return read_list(summary_section, L"Prop5", ini_path, true);
}

std::uint32_t get_folder_rating(const metadata_handle& handle) {
    bool found = false;
    const std::uint32_t stars = handle.get_rating(found);
    if (found || !handle.is_folder()) return stars;
    const std::uint32_t typed = profile::get_int(suite_section, L"Rating", 0, folder_ini_path(handle.path()));
    return typed > 5 ? 5 : typed;
}

void write_folder_ini(const metadata_handle& handle) {
    property_value value;
    std::vector<std::wstring> tags;
    if (!ps::failed(handle.get_value(ps::key_keywords, value)) && value.type == ps::value_type::vector_lpwstr) {
        tags = value.strings;
    }
    bool found = false;
    const std::uint32_t stars = handle.get_rating(found);

    const std::wstring ini = folder_ini_path(handle.path());
    const std::vector<std::wstring> old_tags = read_list(suite_section, L"Tags", ini, false);

    std::uint32_t error = 0;
    const std::uint32_t attributes = fs::get_attributes(ini, &error);
    const bool existed = attributes != fs::invalid_attributes;
    if (!existed) {
        if (tags.empty() && stars == 0) return;
        // When the header cannot be written the profile writes make a plain file.
        fs::write_new_file(ini, unicode_header, sizeof unicode_header, false);
    } else if ((attributes & (fs::attribute_readonly | fs::attribute_hidden | fs::attribute_system)) != 0) {
        fs::set_attributes(ini, fs::attribute_normal);
    }

    // Every write is checked: a folder whose desktop.ini kept its old lines
    // must not be reported changed.
    bool written = true;
    if (tags.empty() && stars == 0) {
        written &= profile::write_string(suite_section, nullptr, nullptr, ini);
    } else {
        const std::wstring joined = join(tags);
        written &= profile::write_string(suite_section, L"Tags", tags.empty() ? nullptr : joined.c_str(), ini);
        const std::wstring rating = std::to_wstring(stars);
        written &= profile::write_string(suite_section, L"Rating", stars == 0 ? nullptr : rating.c_str(), ini);
    }

    if (!tags.empty() || !old_tags.empty()) {
        if (tags.empty()) {
            written &= profile::write_string(summary_section, L"Prop5", nullptr, ini);
        } else {
            // Keywords somebody else put into Prop5 stay; the ones this suite
            // mirrored last time and no longer holds go.
            std::vector<std::wstring> keywords;
            for (auto& keyword : read_folder_ini_keywords(ini)) {
                if (!contains_ignoring_case(old_tags, keyword)) keywords.push_back(std::move(keyword));
            }
            for (const auto& tag : tags) {
                if (!contains_ignoring_case(keywords, tag)) keywords.push_back(tag);
            }
            const std::wstring text = L"31," + join(keywords);
            written &= profile::write_string(summary_section, L"Prop5", keywords.empty() ? nullptr : text.c_str(), ini);
        }
    }

    fs::set_attributes(ini, existed ? attributes : (fs::attribute_hidden | fs::attribute_system));
    if (!written) throw std::runtime_error("Failed to update the folder's desktop.ini");
}

}  // namespace qlm::metadata
