#include "platform/posix/properties/audio_store.h"

#include "formats/file_extension.h"
#include "platform/file_system.h"
#include "platform/posix/files/descriptor_read.h"
#include "platform/posix/files/file_replace.h"
#include "platform/posix/imaging/exiv2_support.h"
#include "platform/posix/properties/audio_properties.h"
#include "platform/posix/properties/property_set.h"
#include "platform/posix/properties/staged_values.h"
#include "platform/rating_scale.h"
#include "platform/text.h"
#include "platform/win32_error.h"

#include <taglib/commentsframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <sys/stat.h>

namespace platform::property_store::posix {
namespace {

constexpr hresult e_notimpl = static_cast<hresult>(0x80004001);

enum class audio_kind { mp3, flac, vorbis, m4a };

const char* const windows_player = "Windows Media Player 9 Series";

std::optional<audio_kind> kind_of(const std::string& path) {
    const std::string extension = formats::lower_extension(path);
    if (extension == "mp3") return audio_kind::mp3;
    if (extension == "flac") return audio_kind::flac;
    if (extension == "ogg") return audio_kind::vorbis;
    if (extension == "m4a") return audio_kind::m4a;
    return std::nullopt;
}

bool owns(const property_key& key) {
    if (key == key_comment) return true;
    return key == key_rating;
}

// TagLib reports damage on stderr in some builds; damage is ours to report.
class silent_listener final : public TagLib::DebugListener {
public:
    void printMessage(const TagLib::String&) override {}
};

void silence_taglib() {
    static std::once_flag once;
    static silent_listener listener;
    std::call_once(once, [] { TagLib::setDebugListener(&listener); });
}

std::wstring wide(const TagLib::String& text) { return platform::text::from_utf8(text.to8Bit(true)); }
TagLib::String tag_text(const std::wstring& text) {
    return TagLib::String(platform::text::to_utf8(text), TagLib::String::UTF8);
}

using platform::rating_scale::stars_of;
using platform::rating_scale::value_of_stars;

// Each player's POPM frame names its owner. Windows Media Player, MusicBee,
// foobar2000 and MediaMonkey step through 1, 64, 128, 196, 255; Quod Libet
// (and mutagen, its library) spreads the stars evenly over 0 to 255.
enum class popularimeter_scale { windows, linear };

popularimeter_scale scale_of(const TagLib::String& owner) {
    static const char* const linear_owners[] = {"quodlibet@lists.sacredchao.net", "quodlibet", "mutagen"};
    const std::string name = owner.to8Bit(true);
    for (const char* linear : linear_owners) {
        if (name == linear) return popularimeter_scale::linear;
    }
    return popularimeter_scale::windows;
}

unsigned stars_of_popularimeter(int rating, popularimeter_scale scale) {
    if (rating <= 0) return 0;
    if (scale == popularimeter_scale::linear) return static_cast<unsigned>(std::clamp((rating * 5 + 127) / 255, 1, 5));
    if (rating < 32) return 1;
    if (rating < 96) return 2;
    if (rating < 160) return 3;
    if (rating < 224) return 4;
    return 5;
}

int popularimeter_of(unsigned stars, popularimeter_scale scale) {
    static constexpr int windows[] = {0, 1, 64, 128, 196, 255};
    if (scale == popularimeter_scale::linear) return static_cast<int>(stars) * 51;
    return windows[stars];
}

std::uint32_t value_of_percent(const TagLib::String& text) {
    const std::string digits = text.stripWhiteSpace().to8Bit();
    unsigned percent = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), percent);
    if (error != std::errc{} || end != digits.data() + digits.size() || percent == 0) return 0;
    // Players that count stars write 1 to 5; the others 0 to 100.
    const unsigned stars = percent <= 5 ? percent : std::clamp((percent + 10) / 20, 1u, 5u);
    return value_of_stars(stars);
}

// FMPS_RATING: a fraction from 0.0 to 1.0 (Amarok, Clementine, Quod Libet).
std::uint32_t value_of_fraction(const TagLib::String& text) {
    const std::string digits = text.stripWhiteSpace().to8Bit();
    char* end = nullptr;
    const double fraction = std::strtod(digits.c_str(), &end);
    if (digits.empty() || end != digits.c_str() + digits.size() || !(fraction > 0.0) || fraction > 1.0) return 0;
    const auto stars = static_cast<unsigned>(std::clamp(fraction * 5.0 + 0.5, 1.0, 5.0));
    return value_of_stars(stars);
}

std::uint32_t rating_value(const property_value& value) {
    std::uint32_t raw = 0;
    if (value.type == value_type::ui4) raw = value.ui4;
    else if (value.type == value_type::i4 && value.i4 > 0) raw = static_cast<std::uint32_t>(value.i4);
    return std::min<std::uint32_t>(raw, 99);
}

std::wstring comment_text(const property_value& value) {
    if ((value.type != value_type::lpwstr && value.type != value_type::bstr) || value.null_text) return {};
    if (value.type == value_type::lpwstr) return value.text.substr(0, value.text.find(L'\0'));
    return value.text;
}

class audio_store final : public store {
public:
    audio_store(std::string path, audio_kind kind, bool writable, bool pass_through,
                std::unique_ptr<TagLib::IOStream> stream, std::unique_ptr<TagLib::File> file, int lock,
                platform::file_system::file_identity read)
        : path_(std::move(path)),
          kind_(kind),
          writable_(writable),
          pass_through_(pass_through),
          stream_(std::move(stream)),
          file_(std::move(file)),
          lock_(lock),
          read_(read) {}
    ~audio_store() override {
        file_.reset();  // before the stream it reads
        unlock_file(lock_);
    }
    audio_store(const audio_store&) = delete;
    audio_store& operator=(const audio_store&) = delete;

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        if (!owns(key)) {
            // Title and music fields come from the tag's property map.
            if (!music_tried_) {
                music_tried_ = true;
                music_ = open_audio_read_store(path_, false);
            }
            if (music_ && !failed(music_->get_value(key, value)) && value.type != value_type::empty) return s_ok;
            value = property_value{};
            if (!pass_through_) return s_ok;
            if (const hresult opened = property_set(); failed(opened)) return writable_ ? opened : s_ok;
            return set_->get_value(key, value);
        }
        if (const property_value* staged = staged_.find(key)) {
            value = *staged;
            return s_ok;
        }
        if (key == key_rating) {
            if (const std::uint32_t rating = read_rating()) value = property_value::make_ui4(rating);
        } else if (auto text = read_comment()) {
            value = property_value::make_lpwstr(std::move(*text));
        }
        return s_ok;
    }

    hresult set_value(const property_key& key, const property_value& value) override {
        if (!writable_) return stg_e_accessdenied;
        if (!owns(key)) {
            if (const hresult opened = property_set(); failed(opened)) return opened;
            return set_->set_value(key, value);
        }
        const bool fits = value.type == value_type::empty ||
                          (key == key_rating ? value.type == value_type::ui4 || value.type == value_type::i4
                                             : value.type == value_type::lpwstr || value.type == value_type::bstr);
        if (!fits) return wincodec_err_propertynotsupported;
        staged_.stage(key, value);
        return s_ok;
    }

    hresult commit() override {
        if (!writable_) return stg_e_accessdenied;
        return commit_staged(staged_, set_.get(), [this] {
            for (const auto& [key, value] : staged_) {
                if (key == key_rating) write_rating(rating_value(value));
                else write_comment(comment_text(value));
            }
            if (!save()) return e_fail;
            const TagLib::ByteVector* data = static_cast<TagLib::ByteVectorStream*>(stream_.get())->data();
            return platform::posix::write_beside_and_replace(path_, std::string_view(data->data(), data->size()),
                                                             read_);
        });
    }

private:
    hresult property_set() { return open_pass_through_set(path_, writable_, set_); }

    TagLib::ID3v2::Tag* id3(bool create) const {
        return static_cast<TagLib::MPEG::File*>(file_.get())->ID3v2Tag(create);
    }

    TagLib::Ogg::XiphComment* xiph(bool create) const {
        if (kind_ == audio_kind::flac) return static_cast<TagLib::FLAC::File*>(file_.get())->xiphComment(create);
        return static_cast<TagLib::Ogg::Vorbis::File*>(file_.get())->tag();
    }

    TagLib::MP4::Tag* mp4() const { return static_cast<TagLib::MP4::File*>(file_.get())->tag(); }

    // MediaMonkey's and MusicBee's rating atom: text from 0 to 100.
    static const TagLib::String& rating_atom() {
        static const TagLib::String atom("rate", TagLib::String::Latin1);
        return atom;
    }

    static const TagLib::String& comment_atom() {
        static const TagLib::String atom("\251cmt", TagLib::String::Latin1);
        return atom;
    }

    // The comment is one frame among those without a description: the
    // English one if there is one (what qlm and most players write), else the
    // first. Setting changes that frame alone; the others, in other
    // languages, stay as they are.
    static TagLib::ID3v2::CommentsFrame* chosen_comment(const TagLib::ID3v2::Tag& tag) {
        TagLib::ID3v2::CommentsFrame* first = nullptr;
        for (auto* frame : tag.frameList("COMM")) {
            auto* comm = dynamic_cast<TagLib::ID3v2::CommentsFrame*>(frame);
            if (!comm || !comm->description().isEmpty()) continue;
            if (comm->language() == "eng") return comm;
            if (!first) first = comm;
        }
        return first;
    }

    std::uint32_t read_rating() const {
        if (kind_ == audio_kind::mp3) {
            const auto* tag = id3(false);
            if (!tag) return 0;
            const TagLib::ID3v2::PopularimeterFrame* other = nullptr;
            for (const auto* frame : tag->frameList("POPM")) {
                const auto* popm = dynamic_cast<const TagLib::ID3v2::PopularimeterFrame*>(frame);
                if (!popm) continue;
                if (popm->email() == windows_player) {
                    return value_of_stars(stars_of_popularimeter(popm->rating(), popularimeter_scale::windows));
                }
                if (!other) other = popm;
            }
            return other ? value_of_stars(stars_of_popularimeter(other->rating(), scale_of(other->email()))) : 0;
        }
        if (kind_ == audio_kind::m4a) {
            const auto* tag = mp4();
            if (!tag || !tag->contains(rating_atom())) return 0;
            const auto texts = tag->item(rating_atom()).toStringList();
            return texts.isEmpty() ? 0 : value_of_percent(texts.front());
        }
        const auto* comment = xiph(false);
        if (!comment) return 0;
        const auto& fields = comment->fieldListMap();
        if (const auto found = fields.find("RATING"); found != fields.end() && !found->second.isEmpty()) {
            return value_of_percent(found->second.front());
        }
        if (const auto found = fields.find("FMPS_RATING"); found != fields.end() && !found->second.isEmpty()) {
            return value_of_fraction(found->second.front());
        }
        // RATING:<player>, as some players name their own copy.
        for (const auto& [name, values] : fields) {
            if (name.startsWith("RATING:") && !values.isEmpty()) return value_of_percent(values.front());
        }
        return 0;
    }

    std::optional<std::wstring> read_comment() const {
        if (kind_ == audio_kind::mp3) {
            const auto* tag = id3(false);
            if (!tag) return std::nullopt;
            const auto* comm = chosen_comment(*tag);
            if (!comm || comm->text().isEmpty()) return std::nullopt;
            return wide(comm->text());
        }
        if (kind_ == audio_kind::m4a) {
            const auto* tag = mp4();
            if (!tag || !tag->contains(comment_atom())) return std::nullopt;
            const auto texts = tag->item(comment_atom()).toStringList();
            if (texts.isEmpty() || texts.front().isEmpty()) return std::nullopt;
            return wide(texts.front());
        }
        const auto* comment = xiph(false);
        if (!comment) return std::nullopt;
        const auto& fields = comment->fieldListMap();
        // DESCRIPTION is where some taggers put it.
        for (const char* name : {"COMMENT", "DESCRIPTION"}) {
            const auto found = fields.find(name);
            if (found != fields.end() && !found->second.isEmpty() && !found->second.front().isEmpty()) {
                return wide(found->second.front());
            }
        }
        return std::nullopt;
    }

    void write_rating(std::uint32_t value) {
        const int stars = static_cast<int>(stars_of(value));
        if (kind_ == audio_kind::mp3) {
            auto* tag = id3(stars > 0);
            if (!tag) return;
            // Every player's copy follows in its own scale, so none shows a
            // stale rating; their play counters stay.
            TagLib::ID3v2::PopularimeterFrame* ours = nullptr;
            for (auto* frame : tag->frameList("POPM")) {
                auto* popm = dynamic_cast<TagLib::ID3v2::PopularimeterFrame*>(frame);
                if (!popm) continue;
                if (popm->email() == windows_player && !ours) ours = popm;
                else popm->setRating(popularimeter_of(static_cast<unsigned>(stars), scale_of(popm->email())));
            }
            if (stars == 0) {
                // A play counter outlives the rating.
                if (ours && ours->counter() > 0) ours->setRating(0);
                else if (ours) tag->removeFrame(ours);
                return;
            }
            if (!ours) {
                ours = new TagLib::ID3v2::PopularimeterFrame();
                ours->setEmail(windows_player);
                tag->addFrame(ours);
            }
            ours->setRating(popularimeter_of(static_cast<unsigned>(stars), popularimeter_scale::windows));
            return;
        }
        if (kind_ == audio_kind::m4a) {
            auto* tag = mp4();
            if (!tag) return;
            if (stars == 0) tag->removeItem(rating_atom());
            else tag->setItem(rating_atom(), TagLib::MP4::Item(TagLib::StringList(TagLib::String::number(stars * 20))));
            return;
        }
        auto* comment = xiph(stars > 0);
        if (!comment) return;
        // FMPS_RATING follows where a player keeps one.
        const bool fraction = comment->contains("FMPS_RATING");
        if (stars == 0) {
            comment->removeFields("RATING");
            comment->removeFields("FMPS_RATING");
            return;
        }
        comment->addField("RATING", TagLib::String::number(stars * 20), true);
        if (fraction) comment->addField("FMPS_RATING", stars == 5 ? "1.0" : "0." + std::to_string(stars * 2), true);
    }

    void write_comment(const std::wstring& text) {
        if (kind_ == audio_kind::mp3) {
            if (auto* v1 = static_cast<TagLib::MPEG::File*>(file_.get())->ID3v1Tag(false)) v1->setComment(tag_text(text));
            auto* tag = id3(!text.empty());
            if (!tag) return;
            auto* comm = chosen_comment(*tag);
            if (text.empty()) {
                // Any frame left would show as the comment: clearing takes all.
                while (comm) {
                    tag->removeFrame(comm);
                    comm = chosen_comment(*tag);
                }
                return;
            }
            if (!comm) {
                // UTF-16 is what ID3v2.3 readers (Windows among them) understand.
                comm = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF16);
                comm->setLanguage("eng");
                tag->addFrame(comm);
            } else if (comm->textEncoding() == TagLib::String::Latin1) {
                comm->setTextEncoding(TagLib::String::UTF16);
            }
            comm->setText(tag_text(text));
            return;
        }
        if (kind_ == audio_kind::m4a) {
            auto* tag = mp4();
            if (!tag) return;
            if (text.empty()) tag->removeItem(comment_atom());
            else tag->setItem(comment_atom(), TagLib::MP4::Item(TagLib::StringList(tag_text(text))));
            return;
        }
        auto* comment = xiph(!text.empty());
        if (!comment) return;
        if (text.empty()) {
            // Cleared is cleared: DESCRIPTION would show through.
            comment->removeFields("COMMENT");
            comment->removeFields("DESCRIPTION");
        } else {
            comment->addField("COMMENT", tag_text(text), true);
        }
    }

    bool save() {
        if (kind_ == audio_kind::mp3) {
            auto* mpeg = static_cast<TagLib::MPEG::File*>(file_.get());
            const auto* tag = mpeg->ID3v2Tag(false);
            const bool v4 = tag && tag->header() && tag->header()->majorVersion() == 4;
            // An ID3v1 tag already there is kept, and in step.
            const int tags = TagLib::MPEG::File::ID3v2 | (mpeg->hasID3v1Tag() ? TagLib::MPEG::File::ID3v1 : 0);
            return mpeg->save(tags, TagLib::File::StripNone, v4 ? TagLib::ID3v2::v4 : TagLib::ID3v2::v3,
                              TagLib::File::DoNotDuplicate);
        }
        return file_->save();
    }

    std::string path_;
    audio_kind kind_;
    bool writable_;
    bool pass_through_;
    std::unique_ptr<TagLib::IOStream> stream_;
    std::unique_ptr<TagLib::File> file_;
    int lock_;
    platform::file_system::file_identity read_;  // a writer's: the file its commit may replace
    std::unique_ptr<store> set_;
    std::unique_ptr<store> music_;
    bool music_tried_ = false;
    staged_values staged_;
};

std::unique_ptr<TagLib::File> parse(audio_kind kind, TagLib::IOStream* stream) {
    std::unique_ptr<TagLib::File> file;
    auto* frames = TagLib::ID3v2::FrameFactory::instance();
    switch (kind) {
    case audio_kind::mp3: file = std::make_unique<TagLib::MPEG::File>(stream, frames, false); break;
    case audio_kind::flac: file = std::make_unique<TagLib::FLAC::File>(stream, frames, false); break;
    case audio_kind::vorbis: file = std::make_unique<TagLib::Ogg::Vorbis::File>(stream, false); break;
    case audio_kind::m4a: file = std::make_unique<TagLib::MP4::File>(stream, false); break;
    }
    if (!file->isValid()) file.reset();
    // An MP3 without a single MPEG frame is not one, whatever its tag says.
    else if (kind == audio_kind::mp3 && static_cast<TagLib::MPEG::File*>(file.get())->firstFrameOffset() < 0) file.reset();
    return file;
}

}  // namespace

bool is_audio_file(const std::string& path) { return kind_of(path).has_value(); }

hresult open_audio_store(const std::string& path, std::uint32_t flags, std::unique_ptr<store>& out) {
    out.reset();
    const auto kind = kind_of(path);
    if (!kind) return e_notimpl;
    silence_taglib();
    const bool writable = (flags & gps_read_write) != 0;
    std::unique_ptr<TagLib::IOStream> stream;
    platform::file_system::file_identity read;
    int lock = -1;
    struct unlock_on_failure {
        int* descriptor;
        ~unlock_on_failure() {
            if (*descriptor >= 0) unlock_file(*descriptor);
        }
    } guard{&lock};
    try {
        if (writable) {
            struct stat info {};
            if (::stat(path.c_str(), &info) != 0) return from_win32(win32_error::from_errno(errno));
            if ((info.st_mode & S_IWUSR) == 0) return e_accessdenied;
            hresult locked = s_ok;
            lock = lock_file(path, true, from_win32(win32_error::sharing_violation), &locked);
            if (lock < 0) return locked;
            std::uint32_t error = 0;
            // Through the lock: the file whose identity the commit checks.
            read = platform::file_system::identity_of_descriptor(lock);
            const auto bytes = platform::file_system::read_descriptor(lock, static_cast<std::size_t>(-1), &error);
            if (!bytes) return from_win32(error);
            stream = std::make_unique<TagLib::ByteVectorStream>(
                TagLib::ByteVector(bytes->data(), static_cast<unsigned int>(bytes->size())));
        } else {
            auto file_stream = std::make_unique<TagLib::FileStream>(path.c_str(), true);
            if (!file_stream->isOpen()) return from_win32(win32_error::access_denied);
            stream = std::move(file_stream);
        }
        auto file = parse(*kind, stream.get());
        if (!file) return e_notimpl;
        const bool pass_through = (flags & gps_handler_properties_only) == 0;
        out = std::make_unique<audio_store>(path, *kind, writable, pass_through, std::move(stream), std::move(file),
                                            lock, read);
        lock = -1;
        return s_ok;
    } catch (const std::bad_alloc&) {
        return e_outofmemory;
    }
}

}  // namespace platform::property_store::posix
