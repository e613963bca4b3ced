#pragma once
// The imaging component's metadata side (WIC): a decoder from a file name,
// frame 0 and its pixel size, metadata query readers, and fast metadata
// encoders whose query writers change metadata without re-encoding pixels.
// Metadata is addressed by WIC query path ("/xmp/xmp:Rating",
// "/app1/ifd/{ushort=274}", ...). Every interface is abstract so that tests
// can stand a scripted factory in for the system's.
//
// Windows: IWICImagingFactory (CLSID_WICImagingFactory2) and its objects.
//
// Linux: Exiv2 on an in-memory copy of the file. Each query path is
// translated to the Exiv2 key it names in that container; a path the
// container does not have fails with WINCODEC_ERR_PROPERTYNOTFOUND, as WIC
// fails:
//   JPEG frame      "/xmp/<prefix>:<name>"             Xmp.<prefix>.<name>
//                   "/app1/ifd/{ushort=N}", "/app1/{ushort=0}/{ushort=N}"
//                                                      IFD0 tag N (Exif.Image)
//                   "/app1/ifd/exif/{ushort=N}"        Exif.Photo tag N
//   JPEG decoder    none: a JPEG keeps no container-level metadata, so a
//                   fast encoder from the decoder is refused
//   TIFF frame and decoder (and the TIFF-based files Exiv2 opens as TIFF)
//                   "/ifd/xmp/<p>:<n>", "/{ushort=700}/<p>:<n>"   Xmp.<p>.<n>
//                   "/ifd/{ushort=N}"                  IFD0 tag N
//                   "/ifd/exif/{ushort=N}"             Exif.Photo tag N
//   other formats   readable for their size only; no fast encoder
// A decoder opened for writing holds the file's exclusive lock (the flock
// the handler stores take) until it is released; commit writes the whole
// file through a temporary file beside it and a rename, keeping mode, owner
// and extended attributes. Pixel data is copied, never decoded.
// Values: XMP simple properties read as VT_LPWSTR, arrays as
// VT_VECTOR|VT_LPWSTR; unsigned 16- and 32-bit EXIF numbers both read as
// VT_UI4 (Windows: VT_UI2 is widened the same way), signed ones as VT_I4.

#include "platform/property_store.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform::imaging {

using property_store::hresult;
using property_store::property_value;

inline constexpr hresult wincodec_err_propertynotfound = static_cast<hresult>(0x88982F40);
inline constexpr hresult wincodec_err_componentnotfound = static_cast<hresult>(0x88982F50);
inline constexpr hresult wincodec_err_unsupportedoperation = static_cast<hresult>(0x88982F81);
inline constexpr hresult wincodec_err_framemissing = static_cast<hresult>(0x88982F62);

/// IWICMetadataQueryReader.
class query_reader {
public:
    virtual ~query_reader() = default;
    /// GetMetadataByName: S_OK with the value, or a failure code.
    virtual hresult get_metadata_by_name(const std::wstring& query, property_value& value) = 0;
};

/// IWICMetadataQueryWriter.
class query_writer {
public:
    virtual ~query_writer() = default;
    /// SetMetadataByName: stages the value; durable after the encoder's commit.
    virtual hresult set_metadata_by_name(const std::wstring& query, const property_value& value) = 0;
};

/// IWICFastMetadataEncoder.
class fast_metadata_encoder {
public:
    virtual ~fast_metadata_encoder() = default;
    virtual hresult get_metadata_query_writer(std::unique_ptr<query_writer>& out) = 0;
    /// Writes every staged value into the file.
    virtual hresult commit() = 0;
};

/// IWICBitmapFrameDecode.
class frame_decode {
public:
    virtual ~frame_decode() = default;
    virtual hresult get_size(std::uint32_t& width, std::uint32_t& height) = 0;
    virtual hresult get_metadata_query_reader(std::unique_ptr<query_reader>& out) = 0;
};

/// IWICBitmapDecoder. Frames and encoders refer to their decoder, which must
/// outlive them.
class decoder {
public:
    virtual ~decoder() = default;
    virtual hresult get_frame(std::uint32_t index, std::unique_ptr<frame_decode>& out) = 0;
};

/// Access wanted of a decoder's file (GENERIC_READ, or GENERIC_READ |
/// GENERIC_WRITE).
enum class file_access { read, read_write };

/// IWICImagingFactory.
class factory {
public:
    virtual ~factory() = default;
    /// CreateDecoderFromFilename with no preferred vendor and
    /// WICDecodeMetadataCacheOnDemand.
    virtual hresult create_decoder_from_filename(const std::wstring& path, file_access access,
                                                 std::unique_ptr<decoder>& out) = 0;
    virtual hresult create_fast_metadata_encoder_from_frame(frame_decode& frame,
                                                            std::unique_ptr<fast_metadata_encoder>& out) = 0;
    virtual hresult create_fast_metadata_encoder_from_decoder(decoder& source,
                                                              std::unique_ptr<fast_metadata_encoder>& out) = 0;
};

/// The system's imaging factory (CoCreateInstance of CLSID_WICImagingFactory2,
/// in-process; COM must be initialised on the thread).
hresult create_factory(std::unique_ptr<factory>& out);

}  // namespace platform::imaging
