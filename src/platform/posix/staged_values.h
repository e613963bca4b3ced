#pragma once
// What a writable store holds between set_value and commit.

#include "platform/property_store.h"

#include <utility>
#include <vector>

namespace platform::property_store::posix {

/// The values set since the last commit, in the order their keys were first
/// set. Setting a key again replaces its staged value, so a commit writes
/// each key once, with the last value given.
class staged_values {
public:
    void stage(const property_key& key, const property_value& value) {
        for (auto& [staged_key, staged] : items_) {
            if (staged_key == key) {
                staged = value;
                return;
            }
        }
        items_.emplace_back(key, value);
    }

    /// The value staged for the key, or nullptr when there is none.
    const property_value* find(const property_key& key) const {
        for (const auto& [staged_key, staged] : items_) {
            if (staged_key == key) return &staged;
        }
        return nullptr;
    }

    bool empty() const noexcept { return items_.empty(); }
    void clear() noexcept { items_.clear(); }
    auto begin() const noexcept { return items_.begin(); }
    auto end() const noexcept { return items_.end(); }

private:
    std::vector<std::pair<property_key, property_value>> items_;
};

}  // namespace platform::property_store::posix
