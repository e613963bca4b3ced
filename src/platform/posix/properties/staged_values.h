#pragma once
// What a writable store holds between set_value and commit.

#include "platform/property_store.h"

#include <new>
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

/// A handler store's commit: `write` puts the staged values into the file
/// and answers an HRESULT (running out of memory is E_OUTOFMEMORY); they are
/// forgotten once written, and the pass-through property set, when open,
/// commits after them.
template <typename Write>
hresult commit_staged(staged_values& staged, store* pass_through, Write&& write) {
    if (!staged.empty()) {
        try {
            if (const hresult written = write(); failed(written)) return written;
        } catch (const std::bad_alloc&) {
            return e_outofmemory;
        }
        staged.clear();
    }
    return pass_through ? pass_through->commit() : s_ok;
}

}  // namespace platform::property_store::posix
