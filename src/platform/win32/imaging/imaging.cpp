// The imaging component through WIC: thin wrappers over the factory, the
// decoder, frame 0, the query reader and the fast metadata encoder.

#include "platform/imaging.h"

#include "platform/win32/shell/com_support.h"

#include <windows.h>
#include <wincodec.h>

namespace platform::imaging {
namespace {

using win32::com_ptr;
using win32::prop_variant;

// CLSID_WICImagingFactory2 and IID_IWICImagingFactory, spelled out so that
// the build does not depend on the SDK's uuid library having them.
constexpr CLSID imaging_factory_class = {0x317D06E8, 0x5F24, 0x433D, {0xBD, 0xF7, 0x79, 0xCE, 0x68, 0xD8, 0xAB, 0xC2}};
constexpr IID imaging_factory_interface = {0xEC5EC8A9, 0xC395, 0x4314, {0x9C, 0x77, 0x54, 0xD7, 0xA9, 0x35, 0xFF, 0x70}};

class wic_reader final : public query_reader {
public:
    explicit wic_reader(IWICMetadataQueryReader* reader) { *reader_.put() = reader; }

    hresult get_metadata_by_name(const std::wstring& query, property_value& value) override {
        value = property_value{};
        prop_variant native;
        const HRESULT result = reader_->GetMetadataByName(query.c_str(), native.get());
        if (FAILED(result)) return result;
        // Orientation and its kin are VT_UI2 in JPEG and TIFF: widened.
        if ((*native).vt == VT_UI2) value = property_value::make_ui4((*native).uiVal);
        else value = win32::from_propvariant(*native);
        return S_OK;
    }

private:
    com_ptr<IWICMetadataQueryReader> reader_;
};

class wic_writer final : public query_writer {
public:
    explicit wic_writer(IWICMetadataQueryWriter* writer) { *writer_.put() = writer; }

    hresult set_metadata_by_name(const std::wstring& query, const property_value& value) override {
        prop_variant native;
        if (const HRESULT built = win32::to_propvariant(value, *native.get()); FAILED(built)) return built;
        return writer_->SetMetadataByName(query.c_str(), native.get());
    }

private:
    com_ptr<IWICMetadataQueryWriter> writer_;
};

class wic_encoder final : public fast_metadata_encoder {
public:
    explicit wic_encoder(IWICFastMetadataEncoder* encoder) { *encoder_.put() = encoder; }

    hresult get_metadata_query_writer(std::unique_ptr<query_writer>& out) override {
        IWICMetadataQueryWriter* writer = nullptr;
        const HRESULT result = encoder_->GetMetadataQueryWriter(&writer);
        if (FAILED(result)) return result;
        out = std::make_unique<wic_writer>(writer);
        return S_OK;
    }

    hresult commit() override { return encoder_->Commit(); }

private:
    com_ptr<IWICFastMetadataEncoder> encoder_;
};

class wic_frame final : public frame_decode {
public:
    explicit wic_frame(IWICBitmapFrameDecode* frame) { *frame_.put() = frame; }

    hresult get_size(std::uint32_t& width, std::uint32_t& height) override {
        UINT w = 0, h = 0;
        const HRESULT result = frame_->GetSize(&w, &h);
        width = w;
        height = h;
        return result;
    }

    hresult get_metadata_query_reader(std::unique_ptr<query_reader>& out) override {
        IWICMetadataQueryReader* reader = nullptr;
        const HRESULT result = frame_->GetMetadataQueryReader(&reader);
        if (FAILED(result)) return result;
        out = std::make_unique<wic_reader>(reader);
        return S_OK;
    }

    IWICBitmapFrameDecode* native() const { return frame_.get(); }

private:
    com_ptr<IWICBitmapFrameDecode> frame_;
};

class wic_decoder final : public decoder {
public:
    explicit wic_decoder(IWICBitmapDecoder* native) { *decoder_.put() = native; }

    hresult get_frame(std::uint32_t index, std::unique_ptr<frame_decode>& out) override {
        IWICBitmapFrameDecode* frame = nullptr;
        const HRESULT result = decoder_->GetFrame(index, &frame);
        if (FAILED(result)) return result;
        out = std::make_unique<wic_frame>(frame);
        return S_OK;
    }

    IWICBitmapDecoder* native() const { return decoder_.get(); }

private:
    com_ptr<IWICBitmapDecoder> decoder_;
};

class wic_factory final : public factory {
public:
    explicit wic_factory(IWICImagingFactory* native) { *factory_.put() = native; }

    hresult create_decoder_from_filename(const std::wstring& path, file_access access,
                                         std::unique_ptr<decoder>& out) override {
        const DWORD rights = access == file_access::read_write ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
        IWICBitmapDecoder* native = nullptr;
        const HRESULT result = factory_->CreateDecoderFromFilename(path.c_str(), nullptr, rights,
                                                                   WICDecodeMetadataCacheOnDemand, &native);
        if (FAILED(result)) return result;
        out = std::make_unique<wic_decoder>(native);
        return S_OK;
    }

    hresult create_fast_metadata_encoder_from_frame(frame_decode& frame,
                                                    std::unique_ptr<fast_metadata_encoder>& out) override {
        auto* ours = dynamic_cast<wic_frame*>(&frame);
        if (ours == nullptr) return E_INVALIDARG;
        IWICFastMetadataEncoder* encoder = nullptr;
        const HRESULT result = factory_->CreateFastMetadataEncoderFromFrameDecode(ours->native(), &encoder);
        if (FAILED(result)) return result;
        out = std::make_unique<wic_encoder>(encoder);
        return S_OK;
    }

    hresult create_fast_metadata_encoder_from_decoder(decoder& source,
                                                      std::unique_ptr<fast_metadata_encoder>& out) override {
        auto* ours = dynamic_cast<wic_decoder*>(&source);
        if (ours == nullptr) return E_INVALIDARG;
        IWICFastMetadataEncoder* encoder = nullptr;
        const HRESULT result = factory_->CreateFastMetadataEncoderFromDecoder(ours->native(), &encoder);
        if (FAILED(result)) return result;
        out = std::make_unique<wic_encoder>(encoder);
        return S_OK;
    }

private:
    com_ptr<IWICImagingFactory> factory_;
};

}  // namespace

hresult create_factory(std::unique_ptr<factory>& out) {
    IWICImagingFactory* native = nullptr;
    const HRESULT result = CoCreateInstance(imaging_factory_class, nullptr, CLSCTX_INPROC_SERVER,
                                            imaging_factory_interface, reinterpret_cast<void**>(&native));
    if (FAILED(result)) return result;
    out = std::make_unique<wic_factory>(native);
    return S_OK;
}

}  // namespace platform::imaging
