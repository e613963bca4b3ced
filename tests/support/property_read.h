#pragma once
// One property of a file read through the store qlm's readers use.

#include "platform/property_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace qlm::testing {

/// The file's value of the key through the handler store (flags as for
/// open_handler_store); an empty value, and a test failure, when it fails.
inline platform::property_store::property_value read_property(
    const std::wstring& path, const platform::property_store::property_key& key,
    std::uint32_t flags = platform::property_store::gps_default) {
    namespace ps = platform::property_store;
    std::unique_ptr<ps::store> store;
    EXPECT_EQ(ps::open_handler_store(path, flags, store), ps::s_ok);
    ps::property_value value;
    if (store) {
        EXPECT_EQ(store->get_value(key, value), ps::s_ok);
    }
    return value;
}

}  // namespace qlm::testing
