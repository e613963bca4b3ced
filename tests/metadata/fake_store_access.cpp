#include "metadata/fake_store_access.h"

#include "platform/file_system.h"

namespace qlm::testing {

namespace {

class fake_store final : public ps::store {
public:
    fake_store(const fake_store_access& owner, fake_store_access::properties& values, std::wstring path, bool writable,
               bool trims)
        : owner_(owner), values_(values), path_(std::move(path)), writable_(writable), trims_(trims) {}

    ps::hresult get_value(const ps::property_key& key, ps::property_value& value) override {
        auto& results = const_cast<fake_store_access&>(owner_).get_value_results;
        if (!results.empty()) {
            const auto result = results.front();
            results.pop_front();
            if (ps::failed(result)) return result;
        }
        value = {};
        for (const auto& [k, v] : values_) {
            if (k == key) value = v;
        }
        return ps::s_ok;
    }

    ps::hresult set_value(const ps::property_key& key, const ps::property_value& value) override {
        ++owner_.set_value_calls;
        auto& results = const_cast<fake_store_access&>(owner_).set_value_results;
        if (!results.empty()) {
            const auto result = results.front();
            results.pop_front();
            if (ps::failed(result)) return result;
        }
        if (!writable_) return ps::stg_e_accessdenied;
        ps::property_value stored = value;
        if (trims_ && key == ps::key_comment) {
            while (!stored.text.empty() && stored.text.back() == L' ') stored.text.pop_back();
        }
        staged_.emplace_back(key, stored);
        return ps::s_ok;
    }

    ps::hresult commit() override {
        ++owner_.commit_calls;
        const auto found = owner_.attributes.find(path_);
        owner_.attributes_at_commit.push_back(found == owner_.attributes.end() ? 0 : found->second);
        auto& results = const_cast<fake_store_access&>(owner_).commit_results;
        if (!results.empty()) {
            const auto result = results.front();
            results.pop_front();
            if (ps::failed(result)) return result;
        }
        for (auto& [key, value] : staged_) {
            std::erase_if(values_, [&](const auto& entry) { return entry.first == key; });
            const bool clears = value.type == ps::value_type::empty || value.null_text;
            if (!clears) values_.emplace_back(key, value);
        }
        staged_.clear();
        return ps::s_ok;
    }

private:
    const fake_store_access& owner_;
    fake_store_access::properties& values_;
    std::wstring path_;
    bool writable_;
    bool trims_;
    fake_store_access::properties staged_;
};

}  // namespace

ps::hresult fake_store_access::open_handler_store(const std::wstring& path, std::uint32_t flags,
                                                  std::unique_ptr<ps::store>& out) const {
    ++handler_opens;
    if (!attributes.contains(path)) return ps::from_win32(2);
    if (ps::failed(handler_open_result)) return handler_open_result;
    auto& self = const_cast<fake_store_access&>(*this);
    out = std::make_unique<fake_store>(*this, self.handler_values[path], path, (flags & ps::gps_read_write) != 0,
                                       handler_trims_comments);
    return ps::s_ok;
}

ps::hresult fake_store_access::open_property_set(const std::wstring& path, bool writable,
                                                 std::unique_ptr<ps::store>& out) const {
    ++property_set_opens;
    if (!attributes.contains(path)) return ps::stg_e_filenotfound;
    if (ps::failed(property_set_open_result)) return property_set_open_result;
    auto& self = const_cast<fake_store_access&>(*this);
    out = std::make_unique<fake_store>(*this, self.property_sets[path], path, writable, false);
    return ps::s_ok;
}

std::uint32_t fake_store_access::get_attributes(const std::wstring& path, std::uint32_t* error) const {
    const auto found = attributes.find(path);
    if (found == attributes.end()) {
        if (error != nullptr) *error = 2;
        return platform::file_system::invalid_attributes;
    }
    if (error != nullptr) *error = 0;
    return found->second;
}

std::uint32_t fake_store_access::set_attributes(const std::wstring& path, std::uint32_t value) const {
    attribute_changes.emplace_back(path, value);
    if (set_attributes_result != 0) return set_attributes_result;
    const_cast<fake_store_access&>(*this).attributes[path] = value;
    return 0;
}

}  // namespace qlm::testing
