#include "explorer/shell_registration.h"

#include "explorer/registry_sandbox.h"
#include "platform/file_system.h"
#include "platform/shell.h"
#include "support/log_capture.h"
#include "support/test_text.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace registry = platform::registry;
namespace explorer = sortwell::explorer;
using qlm::testing::registry_sandbox;

const std::wstring clsid = explorer::suite_handler_clsid;
const std::wstring sfa = L"Software\\Classes\\SystemFileAssociations\\";
const std::wstring thumb = std::wstring(L"\\ShellEx\\") + explorer::thumbnail_provider_key;

// HKLM as both systems can be given one: through the Linux hive file and,
// where the private HKLM is writable (Windows), through the API.
void seed_machine(registry_sandbox& box, const std::string& hive_json, const std::wstring& key_path,
                  const std::wstring& name) {
    box.sandbox.folder.write(L"HKLM.json", hive_json);
    registry::key key;
    if (registry::create_key(registry::root::local_machine, key_path, key) == 0) key.set_string(name, L"");
}

std::size_t assoc_events() {
    const auto list = platform::shell::recorded_notifications();
    return static_cast<std::size_t>(std::count_if(list.begin(), list.end(), [](const auto& n) {
        return n.event == platform::shell::event_assoc_changed && n.flags == platform::shell::flag_flush;
    }));
}

TEST(shell_registration, folders_shortcuts_and_bare_names_touch_nothing_while_LNK_is_a_type) {
    registry_sandbox box;
    auto& settings = box.settings();
    const std::wstring folder = box.sandbox.folder.make_folder(L"Photos.jpg");
    for (const std::wstring& path : {folder, box.sandbox.folder / L"a.lnk", box.sandbox.folder / L"README"}) {
        explorer::register_shell_handlers(path, settings);
        EXPECT_FALSE(platform::file_system::exists(box.sandbox.folder / L"HKCU.json")) << path;
    }
    explorer::register_shell_handlers(box.sandbox.folder / L"B.LNK", settings);
    EXPECT_EQ(box.hkcu(sfa + L".LNK\\ShellEx\\IconHandler"), clsid);
}

TEST(shell_registration, progids_come_in_shell_order_without_repeats_appx_or_star) {
    registry_sandbox box;
    box.set_string(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.qxa\\UserChoice", L"ProgId",
                   L"Chosen.Viewer");
    box.set_string(L"Software\\Classes\\.qxa", L"", L"qxafile");
    for (const wchar_t* name : {L"App.One", L"AppXabc123", L"QXAFILE", L"*", L"chosen.viewer"}) {
        box.set_string(L"Software\\Classes\\.qxa\\OpenWithProgids", name, L"");
    }
    seed_machine(box,
                 R"({"keys": {"Software": {"keys": {"Classes": {"keys": {".qxa": {"keys": {"OpenWithProgids":
                     {"values": [{"name": "Machine.Two", "type": "REG_SZ", "data": ""}]}}}}}}}}})",
                 L"Software\\Classes\\.qxa\\OpenWithProgids", L"Machine.Two");
    EXPECT_EQ(explorer::progids_for_extension(L".qxa"),
              (std::vector<std::wstring>{L"Chosen.Viewer", L"qxafile", L"App.One", L"Machine.Two"}));
}

TEST(shell_registration, registers_every_key_once_and_a_registered_type_writes_nothing) {
    registry_sandbox box;
    auto& settings = box.settings();
    box.set_string(L"Software\\Classes\\.qxb", L"", L"qxbfile");
    platform::shell::clear_recorded_notifications();
    const qlm::testing::log_capture log;

    explorer::register_shell_handlers(box.sandbox.folder / L"photo.qxb", settings);
    EXPECT_EQ(box.hkcu(sfa + L".qxb\\ShellEx\\IconHandler"), clsid);
    EXPECT_EQ(box.hkcu(L"Software\\Classes\\qxbfile\\ShellEx\\IconHandler"), clsid);
    EXPECT_EQ(box.hkcu(sfa + L".qxb" + thumb), clsid);
    EXPECT_EQ(box.hkcu(L"Software\\Classes\\.qxb" + thumb), clsid);
    EXPECT_EQ(box.hkcu(L"Software\\Classes\\qxbfile" + thumb), clsid);
    // The extension's own class key gets the thumbnail provider only.
    EXPECT_EQ(box.hkcu(L"Software\\Classes\\.qxb\\ShellEx\\IconHandler"), L"<missing>");
    EXPECT_EQ(box.hkcu(sfa + L".qxb\\ShellEx\\IconHandler", explorer::icon_handler_backup_value), L"<missing>");
    if (platform::shell::notifications_recorded()) {
        EXPECT_EQ(assoc_events(), 1U);
    }
    // The icon handler's log line is checked end to end in tests/cli/test_explorer.py.
    EXPECT_TRUE(
        qlm::testing::has_message(log.messages(), "INFO Registered thumbnail provider for file extension: .qxb"));

    // A class id in another letter case counts as ours: nothing is written.
    box.set_string(sfa + L".qxb\\ShellEx\\IconHandler", L"", L"{931cc9dd-9e0f-4fa1-aa06-229d0372956a}");
    const std::string hive = qlm::testing::read_bytes(box.sandbox.folder / L"HKCU.json");
    platform::shell::clear_recorded_notifications();
    explorer::register_shell_handlers(box.sandbox.folder / L"other.qxb", settings);
    EXPECT_EQ(assoc_events(), 0U);
    EXPECT_EQ(qlm::testing::read_bytes(box.sandbox.folder / L"HKCU.json"), hive);
}

TEST(shell_registration, a_foreign_handler_is_saved_once_and_survives_re_registration) {
    registry_sandbox box;
    auto& settings = box.settings();
    const std::wstring key = sfa + L".qxc\\ShellEx\\IconHandler";
    box.set_string(key, L"", L"{11111111-0000-0000-0000-000000000001}");
    box.set_string(sfa + L".qxc" + thumb, L"", L"{22222222-0000-0000-0000-000000000002}");

    explorer::register_shell_handlers(box.sandbox.folder / L"a.qxc", settings);
    EXPECT_EQ(box.hkcu(key), clsid);
    EXPECT_EQ(box.hkcu(key, explorer::icon_handler_backup_value), L"{11111111-0000-0000-0000-000000000001}");
    EXPECT_EQ(box.hkcu(sfa + L".qxc" + thumb, explorer::thumbnail_backup_value),
              L"{22222222-0000-0000-0000-000000000002}");

    // The user puts another handler back; ours returns, the first backup stays.
    box.set_string(key, L"", L"{33333333-0000-0000-0000-000000000003}");
    explorer::register_shell_handlers(box.sandbox.folder / L"a.qxc", settings);
    EXPECT_EQ(box.hkcu(key), clsid);
    EXPECT_EQ(box.hkcu(key, explorer::icon_handler_backup_value), L"{11111111-0000-0000-0000-000000000001}");
}

TEST(shell_registration, treatment_follows_rounded_corners_and_a_users_own_value_is_kept) {
    registry_sandbox box;
    for (const wchar_t* extension : {L".qxd", L".qxe", L".ico"}) {
        box.set_string(std::wstring(L"Software\\Classes\\") + extension, L"PerceivedType", L"Image");
    }
    {
        registry::key key;
        ASSERT_EQ(registry::create_key(registry::root::current_user, sfa + L".qxe", key), 0U);
        ASSERT_EQ(key.set_dword(L"Treatment", 2), 0U);
    }
    auto& rounded = box.settings(R"("general.roundedThumbnailCorners": true)");
    for (const wchar_t* name : {L"a.qxd", L"a.qxe", L"a.ico", L"a.txt"}) {
        explorer::register_shell_handlers(box.sandbox.folder / name, rounded);
    }
    EXPECT_EQ(box.hkcu(sfa + L".qxd", L"Treatment"), L"dword:0");
    EXPECT_EQ(box.hkcu(sfa + L".qxd", explorer::treatment_marker_value), L"dword:1");
    EXPECT_EQ(box.hkcu(sfa + L".qxe", L"Treatment"), L"dword:2");
    EXPECT_EQ(box.hkcu(sfa + L".qxe", explorer::treatment_marker_value), L"<missing>");
    EXPECT_EQ(box.hkcu(sfa + L".ico", L"Treatment"), L"<missing>");
    EXPECT_EQ(box.hkcu(sfa + L".txt", L"Treatment"), L"<missing>");

    // Only a registration that writes sweeps: a new type after the switch.
    auto& square = box.settings(R"("general.roundedThumbnailCorners": false)");
    explorer::register_shell_handlers(box.sandbox.folder / L"a.qxd", square);
    EXPECT_EQ(box.hkcu(sfa + L".qxd", L"Treatment"), L"dword:0");
    explorer::register_shell_handlers(box.sandbox.folder / L"a.qxf", square);
    EXPECT_EQ(box.hkcu(sfa + L".qxd", L"Treatment"), L"<missing>");
    EXPECT_EQ(box.hkcu(sfa + L".qxd", explorer::treatment_marker_value), L"<missing>");
    EXPECT_EQ(box.hkcu(sfa + L".qxe", L"Treatment"), L"dword:2");
}

TEST(shell_registration, overlay_switches_decide_whether_anything_is_registered) {
    struct row {
        const char* members;
        bool registered;
    };
    for (const row& r :
         {row{R"("general.showTagsAsIconOverlay": false, "general.showRatingAsIconOverlay": false)", false},
          row{R"("general.showTagsAsIconOverlay": false)", true},
          row{R"("general.showRatingAsIconOverlay": false)", true}}) {
        registry_sandbox box;
        explorer::register_shell_handlers(box.sandbox.folder / L"a.qxg", box.settings(r.members));
        EXPECT_EQ(box.hkcu(sfa + L".qxg\\ShellEx\\IconHandler") == clsid, r.registered) << r.members;
    }
}

}  // namespace
