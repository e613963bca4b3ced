#pragma once
// An in-memory stand-in for the system behind metadata_handle: attributes
// per path, one property map per path, and scripted failures for the opens,
// set_value and commit. Pauses are recorded instead of slept.

#include "metadata/metadata_handle.h"

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qlm::testing {

namespace ps = platform::property_store;

class fake_store_access final : public metadata::store_access {
public:
    using properties = std::vector<std::pair<ps::property_key, ps::property_value>>;

    std::map<std::wstring, std::uint32_t> attributes;          // absent path: not found
    std::map<std::wstring, properties> handler_values;         // what the handler keeps
    std::map<std::wstring, properties> property_sets;          // what the property set keeps
    ps::hresult handler_open_result = ps::s_ok;
    ps::hresult property_set_open_result = ps::s_ok;
    bool handler_trims_comments = false;                       // a handler that drops trailing blanks
    std::deque<ps::hresult> set_value_results;                 // consumed one per call, then S_OK
    std::deque<ps::hresult> commit_results;
    std::deque<ps::hresult> get_value_results;
    std::uint32_t set_attributes_result = 0;
    // The imaging factory handed to the write chain; none by default, so
    // that the chain's imaging links fail as on a system without codecs.
    std::function<ps::hresult(std::unique_ptr<platform::imaging::factory>&)> imaging_factory;

    mutable int handler_opens = 0;
    mutable int property_set_opens = 0;
    mutable int set_value_calls = 0;
    mutable int commit_calls = 0;
    mutable std::vector<std::chrono::milliseconds> pauses;
    mutable std::vector<std::pair<std::wstring, std::uint32_t>> attribute_changes;
    mutable std::vector<std::uint32_t> attributes_at_commit;

    ps::hresult open_handler_store(const std::wstring& path, std::uint32_t flags,
                                   std::unique_ptr<ps::store>& out) const override;
    ps::hresult open_property_set(const std::wstring& path, bool writable,
                                  std::unique_ptr<ps::store>& out) const override;
    std::uint32_t get_attributes(const std::wstring& path, std::uint32_t* error) const override;
    std::uint32_t set_attributes(const std::wstring& path, std::uint32_t value) const override;
    void pause(std::chrono::milliseconds duration) const override { pauses.push_back(duration); }
    ps::hresult create_imaging_factory(std::unique_ptr<platform::imaging::factory>& out) const override {
        return imaging_factory ? imaging_factory(out) : ps::e_fail;
    }
};

}  // namespace qlm::testing
