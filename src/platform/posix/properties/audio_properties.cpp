#include "platform/posix/properties/audio_properties.h"

#include "platform/media_property_keys.h"
#include "platform/posix/properties/property_set.h"

#include <taglib/fileref.h>
#include <taglib/tpropertymap.h>

namespace platform::property_store::posix {
namespace {

std::wstring wide(const TagLib::String& text) {
    std::wstring out;
    for (const wchar_t c : text.toWString()) out.push_back(c);
    return out;
}

// "7/12" gives 7; text without a leading number gives 0.
std::uint32_t leading_number(const std::wstring& text) {
    std::uint64_t number = 0;
    std::size_t i = 0;
    while (i < text.size() && text[i] == L' ') ++i;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
        number = number * 10 + static_cast<std::uint64_t>(text[i] - L'0');
        if (number > 0xFFFFFFFFu) return 0;
    }
    return static_cast<std::uint32_t>(number);
}

class audio_store final : public store {
public:
    audio_store(std::string path, bool pass_through, TagLib::PropertyMap tags)
        : path_(std::move(path)), pass_through_(pass_through), tags_(std::move(tags)) {}

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        if (key == key_title) {
            text(L"TITLE", value);
        } else if (key == key_music_artist) {
            list(L"ARTIST", value);
        } else if (key == key_music_album_artist) {
            list(L"ALBUMARTIST", value);
        } else if (key == key_music_genre) {
            list(L"GENRE", value);
        } else if (key == key_music_album_title) {
            text(L"ALBUM", value);
        } else if (key == key_music_part_of_set) {
            text(L"DISCNUMBER", value);
        } else if (key == key_music_track_number) {
            number(L"TRACKNUMBER", value);
        } else if (key == key_media_year) {
            number(L"DATE", value);
        } else if (pass_through_) {
            if (!set_ && failed(open_xattr_property_set(path_, false, set_))) return s_ok;
            return set_->get_value(key, value);
        }
        return s_ok;
    }
    hresult set_value(const property_key&, const property_value&) override { return stg_e_accessdenied; }
    hresult commit() override { return stg_e_accessdenied; }

private:
    const TagLib::StringList* values(const wchar_t* name) const {
        const auto it = tags_.find(TagLib::String(name));
        if (it == tags_.end() || it->second.isEmpty()) return nullptr;
        return &it->second;
    }
    void text(const wchar_t* name, property_value& value) const {
        if (const auto* found = values(name)) value = property_value::make_lpwstr(wide(found->front()));
    }
    void list(const wchar_t* name, property_value& value) const {
        const auto* found = values(name);
        if (found == nullptr) return;
        std::vector<std::wstring> items;
        for (const auto& item : *found) items.push_back(wide(item));
        value = property_value::make_strings(std::move(items));
    }
    void number(const wchar_t* name, property_value& value) const {
        if (const auto* found = values(name)) {
            if (const std::uint32_t n = leading_number(wide(found->front())); n != 0)
                value = property_value::make_ui4(n);
        }
    }

    std::string path_;
    bool pass_through_;
    TagLib::PropertyMap tags_;
    std::unique_ptr<store> set_;
};

}  // namespace

std::unique_ptr<store> open_audio_read_store(const std::string& path, bool pass_through) {
    try {
        const TagLib::FileRef file(path.c_str(), false);
        if (file.isNull() || file.file() == nullptr || !file.file()->isValid()) return nullptr;
        return std::make_unique<audio_store>(path, pass_through, file.file()->properties());
    } catch (const std::exception&) {
        return nullptr;
    }
}

}  // namespace platform::property_store::posix
