#include "commands/result_printer.h"

#include <gtest/gtest.h>

namespace {

using namespace qlm::metadata_commands;
using qlm::catalog::find_command;

target_result ok_row(const std::wstring& path, file_state state) {
    target_result row;
    row.path = path;
    row.status = L"ok";
    row.after = std::move(state);
    return row;
}

target_result error_row(const std::wstring& path) {
    target_result row;
    row.path = path;
    set_error(row, L"not_found", L"No file or folder exists at this path.");
    return row;
}

std::wstring text(const wchar_t* command, const wchar_t* sub, const std::vector<target_result>& rows,
                  field_mask mask, bool dry_run = false, bool cancelled = false) {
    qlm::parsed_arguments parsed;
    parsed.dry_run = dry_run;
    return format_results(*find_command(command, sub), parsed, rows, mask, cancelled);
}

std::wstring json(const wchar_t* command, const wchar_t* sub, const std::vector<target_result>& rows,
                  field_mask mask, bool dry_run = false, bool cancelled = false) {
    qlm::parsed_arguments parsed;
    parsed.json = true;
    parsed.dry_run = dry_run;
    return format_results(*find_command(command, sub), parsed, rows, mask, cancelled);
}

TEST(result_printer, info_blocks_list_tags_rating_people_then_an_indented_comment) {
    file_state full{{L"Work", L"Urgent"}, 4, L"line one\r\nline two", {L"Anna", L"Ben"}};
    const auto rows = std::vector{ok_row(L"/p/bare.txt", {}), ok_row(L"/p/full.jpg", full), error_row(L"/p/gone")};
    EXPECT_EQ(text(L"info", L"", rows, field_all),
              L"/p/bare.txt\n"
              L"  tags:    (none)\n"
              L"  rating:  0\n"
              L"  people:  (none)\n"
              L"  comment: (none)\n"
              L"/p/full.jpg\n"
              L"  tags:    Work, Urgent\n"
              L"  rating:  4\n"
              L"  people:  Anna, Ben\n"
              L"  comment:\n"
              L"    line one\n"
              L"    line two\n");
}

TEST(result_printer, get_commands_print_one_line_per_target_and_a_lone_comment_bare) {
    const auto tagged = ok_row(L"/p/a.jpg", {{L"x", L"y"}, 0, L"", {}});
    EXPECT_EQ(text(L"tag", L"get", {tagged, ok_row(L"/p/b", {})}, field_tags), L"/p/a.jpg: x, y\n/p/b: (none)\n");
    EXPECT_EQ(text(L"rate", L"get", {ok_row(L"/p/a.jpg", {{}, 3, L"", {}})}, field_rating), L"/p/a.jpg: 3\n");
    EXPECT_EQ(text(L"comment", L"get", {ok_row(L"/p/a", {{}, 0, L"hello", {}})}, field_comment), L"hello\n");
    EXPECT_EQ(text(L"comment", L"get", {ok_row(L"/p/a", {{}, 0, L"ends\n", {}})}, field_comment), L"ends\n");
    EXPECT_EQ(text(L"comment", L"get", {ok_row(L"/p/a", {})}, field_comment), L"");
    EXPECT_EQ(text(L"comment", L"get", {ok_row(L"/p/a", {{}, 0, L"c", {}}), ok_row(L"/p/b", {})}, field_comment),
              L"/p/a\n  comment:\n    c\n/p/b\n  comment: (none)\n");
}

TEST(result_printer, write_rows_pad_their_label_and_end_with_a_summary) {
    target_result changed{L"/p/a.jpg", L"changed", L"", L"", file_state{}, file_state{{L"Work"}, 2, L"\u00e9\U0001F600", {}}};
    target_result same{L"/p/b.jpg", L"unchanged", L"", L"", file_state{}, file_state{}};
    EXPECT_EQ(text(L"tag", L"add", {changed, same, error_row(L"/p/c")}, field_tags),
              L"changed      /p/a.jpg  (tags: Work)\n"
              L"unchanged    /p/b.jpg  (tags: (none))\n"
              L"1 changed, 1 unchanged, 1 failed\n");
    EXPECT_EQ(text(L"comment", L"set", {changed}, field_comment, true, true),
              L"would change /p/a.jpg  (comment: 3 characters)\n"
              L"1 would change, 0 unchanged, 0 failed (cancelled)\n");
    EXPECT_EQ(text(L"rate", L"set", {same}, field_rating | field_comment),
              L"unchanged    /p/b.jpg  (rating: 0; comment: (none))\n0 changed, 1 unchanged, 0 failed\n");
}

TEST(result_printer, json_keys_follow_the_command_kind) {
    EXPECT_EQ(json(L"info", L"", {ok_row(L"/p/a", {{L"t"}, 5, L"c\"", {L"Ann"}}), error_row(L"/p/gone")}, field_all),
              LR"({"command":"info","ok":false,"exit_code":1,"results":[)"
              LR"({"path":"/p/a","status":"ok","tags":["t"],"rating":5,"comment":"c\"","people":["Ann"]},)"
              LR"({"path":"/p/gone","status":"error","error":{"code":"not_found","message":"No file or folder exists at this path."}}],)"
              LR"("summary":{"ok":1,"errors":1}})"
              L"\n");
    target_result changed{L"/p/a", L"changed", L"", L"", file_state{{}, 1, L"", {}}, file_state{{}, 4, L"", {}}};
    EXPECT_EQ(json(L"rate", L"set", {changed}, field_rating, true, true),
              LR"({"command":"rate set","ok":false,"exit_code":1,"dry_run":true,"cancelled":true,"results":[)"
              LR"({"path":"/p/a","status":"changed","before":{"rating":1},"after":{"rating":4}}],)"
              LR"("summary":{"changed":1,"unchanged":0,"errors":0}})"
              L"\n");
}

}  // namespace
