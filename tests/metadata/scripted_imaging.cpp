#include "metadata/scripted_imaging.h"

namespace qlm::testing {
namespace {

namespace im = platform::imaging;
namespace ps = platform::property_store;

class writer final : public im::query_writer {
public:
    explicit writer(imaging_script& script) : script_(script) {}
    im::hresult set_metadata_by_name(const std::wstring& query, const ps::property_value& value) override {
        script_.journal.push_back(L"set " + query);
        script_.values.push_back(value);
        return script_.accepted_paths.contains(query) ? ps::s_ok : im::wincodec_err_propertynotfound;
    }

private:
    imaging_script& script_;
};

class encoder final : public im::fast_metadata_encoder {
public:
    explicit encoder(imaging_script& script) : script_(script) {}
    im::hresult get_metadata_query_writer(std::unique_ptr<im::query_writer>& out) override {
        out = std::make_unique<writer>(script_);
        return ps::s_ok;
    }
    im::hresult commit() override {
        script_.journal.push_back(L"commit");
        if (script_.failing_commits > 0) {
            --script_.failing_commits;
            return ps::e_fail;
        }
        return ps::s_ok;
    }

private:
    imaging_script& script_;
};

class frame final : public im::frame_decode {
public:
    im::hresult get_size(std::uint32_t& width, std::uint32_t& height) override {
        width = 4000;
        height = 3000;
        return ps::s_ok;
    }
    im::hresult get_metadata_query_reader(std::unique_ptr<im::query_reader>&) override { return ps::e_fail; }
};

class decoder final : public im::decoder {
public:
    im::hresult get_frame(std::uint32_t, std::unique_ptr<im::frame_decode>& out) override {
        out = std::make_unique<frame>();
        return ps::s_ok;
    }
};

class factory final : public im::factory {
public:
    explicit factory(imaging_script& script) : script_(script) {}
    im::hresult create_decoder_from_filename(const std::wstring&, im::file_access access,
                                             std::unique_ptr<im::decoder>& out) override {
        script_.journal.push_back(access == im::file_access::read_write ? L"decoder rw" : L"decoder r");
        if (ps::failed(script_.decoder_result)) return script_.decoder_result;
        out = std::make_unique<decoder>();
        return ps::s_ok;
    }
    im::hresult create_fast_metadata_encoder_from_frame(im::frame_decode&,
                                                        std::unique_ptr<im::fast_metadata_encoder>& out) override {
        script_.journal.push_back(L"frame encoder");
        if (ps::failed(script_.frame_encoder_result)) return script_.frame_encoder_result;
        out = std::make_unique<encoder>(script_);
        return ps::s_ok;
    }
    im::hresult create_fast_metadata_encoder_from_decoder(im::decoder&,
                                                          std::unique_ptr<im::fast_metadata_encoder>& out) override {
        script_.journal.push_back(L"decoder encoder");
        if (ps::failed(script_.decoder_encoder_result)) return script_.decoder_encoder_result;
        out = std::make_unique<encoder>(script_);
        return ps::s_ok;
    }

private:
    imaging_script& script_;
};

}  // namespace

std::unique_ptr<platform::imaging::factory> make_scripted_factory(imaging_script& script) {
    return std::make_unique<factory>(script);
}

}  // namespace qlm::testing
