#pragma once
// Expected texts kept as files under tests/data, read by name.

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/temp_folder.h"

#include <string>

namespace qlm::testing {

/// The bytes of tests/data/<name>, empty when the file is missing.
inline std::string test_data(const std::string& name) {
    return read_bytes(native_path(platform::text::from_utf8(std::string(QLM_TEST_DATA_DIR) + "/" + name)));
}

}  // namespace qlm::testing
