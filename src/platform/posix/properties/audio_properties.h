#pragma once
// A read-only handler store over an audio file's tags, read through TagLib.

#include "platform/property_store.h"

#include <memory>
#include <string>

namespace platform::property_store::posix {

/// The store of an audio file TagLib can read, or null when it cannot. The
/// store answers System.Title and the music properties from the file's tag
/// property map (TITLE, ARTIST, ALBUMARTIST, ALBUM, GENRE, TRACKNUMBER, DATE,
/// DISCNUMBER); every other key is read from the file's property set when
/// `pass_through` is set. Writes are refused.
std::unique_ptr<store> open_audio_read_store(const std::string& path, bool pass_through);

}  // namespace platform::property_store::posix
