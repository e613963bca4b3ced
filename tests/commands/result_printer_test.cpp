// The report texts the end-to-end runs (tests/cli) do not reach with real
// files: people and a multi-line comment in an info block, a cancelled
// summary, a comment counted in UTF-16 units, several fields in one row.

#include "commands/result_printer.h"

#include <gtest/gtest.h>

namespace {

using namespace qlm::metadata_commands;
using qlm::catalog::find_command;

std::wstring report(const wchar_t* command, const wchar_t* sub, const std::vector<target_result>& rows,
                    field_mask mask, bool json = false, bool cancelled = false) {
    qlm::parsed_arguments parsed;
    parsed.json = json;
    parsed.dry_run = cancelled;
    return format_results(*find_command(command, sub), parsed, rows, mask, cancelled);
}

TEST(result_printer, rows_the_end_to_end_runs_do_not_make) {
    target_result full{L"/p/full.jpg", L"ok", L"", L"", {},
                       file_state{{L"Work"}, 4, L"line one\r\nline two", {L"Anna", L"Ben"}}};
    EXPECT_EQ(report(L"info", L"", {full}, field_all),
              L"/p/full.jpg\n"
              L"  tags:    Work\n"
              L"  rating:  4\n"
              L"  people:  Anna, Ben\n"
              L"  comment:\n"
              L"    line one\n"
              L"    line two\n");

    target_result changed{L"/p/a.jpg", L"changed", L"", L"", file_state{{}, 1, L"", {}},
                          file_state{{}, 4, L"\u00e9\U0001F600", {}}};
    EXPECT_EQ(report(L"comment", L"set", {changed}, field_comment, false, true),
              L"would change /p/a.jpg  (comment: 3 characters)\n"
              L"1 would change, 0 unchanged, 0 failed (cancelled)\n");
    EXPECT_EQ(report(L"rate", L"set", {changed}, field_rating | field_comment),
              L"changed      /p/a.jpg  (rating: 4; comment: 3 characters)\n1 changed, 0 unchanged, 0 failed\n");
    EXPECT_EQ(report(L"rate", L"set", {changed}, field_rating, true, true),
              LR"({"command":"rate set","ok":false,"exit_code":1,"dry_run":true,"cancelled":true,"results":[)"
              LR"({"path":"/p/a.jpg","status":"changed","before":{"rating":1},"after":{"rating":4}}],)"
              LR"("summary":{"changed":1,"unchanged":0,"errors":0}})"
              L"\n");
}

}  // namespace
