#pragma once
// A fixture for tests against the real stand-in service: port 44002 must be
// free before, every service process is ended by id after, and the
// service's log goes into the test's temporary folder.

#include "batch_processor/job_runner.h"
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

/// The reports of the actions only; the worker's window is worker_test's.
class report_host : public recording_host {
public:
    void show_progress() override {}
    void set_title(const std::wstring&) override {}
};

}  // namespace qlm::testing
