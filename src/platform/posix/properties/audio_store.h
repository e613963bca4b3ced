#pragma once
// The Linux handler store of audio files, over TagLib. Each type keeps in the
// file what players read there, and passes every other property through to
// the property set:
//   .mp3   System.Rating   ID3v2 POPM of "Windows Media Player 9 Series"
//                          (bytes 1/64/128/196/255 for 1 to 5 stars; read by
//                          ranges 1-31, 32-95, 96-159, 160-223, 224-255), any
//                          other POPM read when that one is absent
//          System.Comment  ID3v2 COMM with an empty description
//   .flac, .ogg (Vorbis)
//          System.Rating   Vorbis comment RATING, percent (stars x 20; read
//                          by rounding to the nearest 20, at least 1 star)
//          System.Comment  Vorbis comment COMMENT
//   .m4a   System.Comment  the ©cmt atom
// The ID3v2 version a file has is kept (a new tag is v2.3, which every
// Windows version reads); ID3v1 and APE tags are left as they are. A write
// works on a copy in memory and puts the result in place through a temporary
// file beside the target. Content TagLib cannot parse gets no store.

#include "platform/property_store.h"

#include <memory>
#include <string>

namespace platform::property_store::posix {

/// True when the name's extension is one of the audio types above.
bool is_audio_file(const std::string& path);

/// Opens the audio store of an existing file: read-only (with the property
/// set behind it unless `flags` asks for the handler's properties only) or
/// read-write (gps_read_write, holding the file's exclusive lock). E_NOTIMPL
/// when the content is not the type its name says; a file error as an
/// HRESULT.
hresult open_audio_store(const std::string& path, std::uint32_t flags, std::unique_ptr<store>& out);

}  // namespace platform::property_store::posix
