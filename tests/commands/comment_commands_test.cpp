#include "commands/comment_commands.h"

#include "cli/cancellation.h"
#include "metadata/comment_storage.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using namespace qlm::metadata_commands;

TEST(comment_commands, ctrl_c_stops_after_the_target_in_progress) {
    qlm::testing::temp_folder folder;
    std::vector<qlm::target_entry> targets;
    // Folders keep their comment in their own property set on every system.
    for (const wchar_t* name : {L"1", L"2", L"3"}) targets.push_back({folder.make_folder(name), L"", L""});
    qlm::parsed_arguments parsed;
    parsed.json = true;
    qlm::cancel_requested.store(true);
    ::testing::internal::CaptureStdout();
    const int exit_code = run_comment_change(*qlm::catalog::find_command(L"comment", L"set"), parsed, L"hi", targets);
    const std::string out = ::testing::internal::GetCapturedStdout();
    qlm::cancel_requested.store(false);
    EXPECT_EQ(exit_code, 1);
    EXPECT_NE(out.find("\"cancelled\":true"), std::string::npos) << out;
    EXPECT_NE(out.find("\"summary\":{\"changed\":1,\"unchanged\":0,\"errors\":0}"), std::string::npos) << out;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        qlm::metadata::comment_document document;
        document.path = targets[i].path;
        ASSERT_TRUE(qlm::metadata::load_comment(document));
        EXPECT_EQ(document.text, i == 0 ? L"hi" : L"") << i;  // only the first target was written
    }
}

}  // namespace
