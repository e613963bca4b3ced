#pragma once
// A fixture for tests against the real stand-in service: port 44002 must be
// free before, every service process is ended by id after, and the
// service's log goes into the test's temporary folder.

#include "batch_processor/batch_processor_callbacks.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qlm::testing {

class service_test : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    /// Ends every running service process.
    static void stop_services();

    /// Sets or (empty) removes a variable the started service inherits.
    static void set_env(const char* name, const std::string& value);

    /// How many times the service started, from its log.
    int starts() const;

    /// The requests the service received, byte for byte, in order (probes
    /// that sent nothing are left out).
    std::vector<std::string> requests() const;

    temp_folder folder_;
    std::wstring service_log_;
};

/// Records every callback as one text line.
class recording_callbacks final : public sortwell::batch_processor::batch_processor_callbacks {
public:
    void report_progress(int) override {}
    void show_progress() override {}
    bool is_cancelled() override { return false; }
    bool is_paused() override { return false; }
    bool report_error(const std::wstring& path, const std::wstring& message) override;
    bool confirm_create_folder(const std::wstring&) override { return false; }
    void report_unknown_action() override { calls.push_back(L"unknown action"); }
    void report_auto_tag_failure() override { calls.push_back(L"auto-tag failure"); }
    void report_unsupported_file_type(const std::wstring& path, const std::wstring& reason,
                                      const std::wstring& supported_types) override;
    void set_title(const std::wstring&) override {}
    void set_status_text(const std::wstring&) override {}

    std::vector<std::wstring> calls;
};

}  // namespace qlm::testing
