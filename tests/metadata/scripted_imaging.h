#pragma once
// A scripted imaging factory for the write chain: every call is recorded in
// one journal ("decoder rw", "frame encoder", "set /xmp/xmp:Rating",
// "commit", ...) and answers what the test scripted, so that the order of
// the chain's attempts can be checked exactly.

#include "platform/imaging.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace qlm::testing {

struct imaging_script {
    platform::imaging::hresult decoder_result = 0;
    platform::imaging::hresult frame_encoder_result = 0;
    platform::imaging::hresult decoder_encoder_result = 0;
    std::set<std::wstring> accepted_paths;  // set_metadata_by_name succeeds only for these
    int failing_commits = 0;                // the first N commits fail
    std::vector<std::wstring> journal;
    std::vector<platform::property_store::property_value> values;  // every value set
};

/// A factory source for fake_store_access::imaging_factory, over `script`
/// (which must outlive it).
std::unique_ptr<platform::imaging::factory> make_scripted_factory(imaging_script& script);

}  // namespace qlm::testing
