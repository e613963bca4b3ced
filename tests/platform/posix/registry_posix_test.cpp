// The Linux registry: the hive file as other programs (and people) read it.

#include "platform/registry.h"

#include "platform/text.h"
#include "support/scoped_env.h"
#include "support/temp_folder.h"
#include "support/test_data.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace registry = platform::registry;
using qlm::testing::read_bytes;
using qlm::testing::temp_folder;

struct hive_fixture : ::testing::Test {
    hive_fixture() { registry::override_hives(folder.path()); }
    ~hive_fixture() override { registry::override_hives(L""); }
    temp_folder folder;
};

TEST_F(hive_fixture, values_keep_creation_order_and_case_and_names_match_ignoring_case) {
    registry::key key;
    ASSERT_EQ(registry::create_key(registry::root::current_user, L"Demo\\Ünïcode", key), 0U);
    ASSERT_EQ(key.set_string(L"Zeta", L"z"), 0U);
    ASSERT_EQ(key.set_dword(L"alpha", 7), 0U);
    ASSERT_EQ(key.set_string(L"", L"default"), 0U);
    ASSERT_EQ(key.set_string(L"ZETA", L"z2"), 0U);  // same value, first spelling kept

    EXPECT_EQ(read_bytes(folder / L"HKCU.json"), qlm::testing::test_data("registry_hive.json"));
    registry::key again;
    ASSERT_EQ(registry::open_key(registry::root::current_user, L"DEMO\\Ünïcode", false, again), 0U);
    registry::value value;
    ASSERT_EQ(again.get_value(L"ALPHA", value), 0U);
    EXPECT_EQ(value.type, registry::type_dword);
    EXPECT_EQ(value.dword, 7U);
    // "default" is 8 UTF-16 units with the zero: 16 bytes.
    EXPECT_EQ(again.get_value(L"", value, 15), registry::error_more_data);
    EXPECT_EQ(again.get_value(L"", value, 16), 0U);
    EXPECT_EQ(again.get_value(L"missing", value), 2U);
    EXPECT_EQ(again.set_string(L"x", L"y"), 5U);  // opened for reading only
    std::vector<std::wstring> names;
    ASSERT_EQ(again.value_names(names), 0U);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Zeta", L"alpha", L""}));
    EXPECT_EQ(again.delete_value(L"zeta"), 5U);
    ASSERT_EQ(key.delete_value(L"zeta"), 0U);
    EXPECT_EQ(key.delete_value(L"zeta"), 2U);

    ASSERT_EQ(registry::delete_tree(registry::root::current_user, L"demo"), 0U);
    EXPECT_EQ(key.get_value(L"alpha", value), registry::error_key_deleted);
    EXPECT_EQ(registry::open_key(registry::root::current_user, L"Demo", false, again), 2U);
}

TEST_F(hive_fixture, classes_root_reads_the_user_key_else_the_machine_key_and_machine_is_read_only) {
    folder.write(L"HKLM.json", R"({"keys": {"Software": {"keys": {"Classes": {"keys": {
        ".one": {"values": [{"name": "", "type": "REG_SZ", "data": "machine.one"}]},
        ".two": {"values": [{"name": "", "type": "REG_SZ", "data": "machine.two"}]}}}}}}})");
    registry::key key;
    ASSERT_EQ(registry::create_key(registry::root::classes_root, L".two", key), 0U);  // lands in HKCU
    ASSERT_EQ(key.set_string(L"", L"user.two"), 0U);

    for (const auto& [extension, expected] : {std::pair{L".one", L"machine.one"}, std::pair{L".two", L"user.two"}}) {
        registry::key open;
        registry::value value;
        ASSERT_EQ(registry::open_key(registry::root::classes_root, extension, false, open), 0U);
        ASSERT_EQ(open.get_value(L"", value), 0U);
        EXPECT_EQ(value.text, expected);
    }
    registry::key machine;
    EXPECT_EQ(registry::open_key(registry::root::local_machine, L"Software\\Classes\\.one", true, machine), 5U);
    EXPECT_EQ(registry::create_key(registry::root::local_machine, L"Software\\New", machine), 5U);
    EXPECT_EQ(registry::open_key(registry::root::classes_root, L".one", true, machine), 5U);
}

TEST_F(hive_fixture, a_hive_that_is_not_one_reads_empty_and_is_never_overwritten) {
    for (const std::string& garbage : {std::string("{\"keys\": [1, 2]}"), std::string("not json"),
                                      std::string("{\"values\": [{\"name\": \"x\", \"type\": \"REG_BINARY\", "
                                                  "\"data\": \"\"}]}"),
                                      std::string(300000, '['), std::string("\xFF\xFE\x00", 3)}) {
        folder.write(L"HKCU.json", garbage);
        registry::key key;
        EXPECT_EQ(registry::open_key(registry::root::current_user, L"", false, key), 0U);
        std::vector<std::wstring> names;
        EXPECT_EQ(key.sub_key_names(names), 0U);
        EXPECT_TRUE(names.empty());
        EXPECT_EQ(registry::create_key(registry::root::current_user, L"Software", key), registry::error_baddb);
        EXPECT_EQ(read_bytes(folder / L"HKCU.json"), garbage);
    }
}

TEST_F(hive_fixture, a_hive_folder_that_cannot_be_written_answers_access_denied) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    const std::wstring locked = folder.make_folder(L"locked");
    registry::override_hives(locked);
    ::chmod(platform::text::to_utf8(locked).c_str(), 0500);
    registry::key key;
    EXPECT_EQ(registry::create_key(registry::root::current_user, L"Software", key), 5U);
    ::chmod(platform::text::to_utf8(locked).c_str(), 0700);
}

TEST_F(hive_fixture, a_read_phase_sees_its_own_writes_and_outside_changes_once_it_ends) {
    const auto read = [] {
        registry::key key;
        registry::value value;
        if (registry::open_key(registry::root::current_user, L"Software\\Demo", false, key) != 0) {
            return std::wstring(L"-");
        }
        return key.get_value(L"v", value) == 0 ? value.text : std::wstring(L"none");
    };
    const std::string outside =
        R"({"keys": {"Software": {"keys": {"Demo": {"values": [{"name": "v", "type": "REG_SZ", "data": "outside"}]}}}}})";
    {
        const registry::read_phase phase;
        EXPECT_EQ(read(), L"-");  // no hive yet
        registry::key key;
        ASSERT_EQ(registry::create_key(registry::root::current_user, L"Software\\Demo", key), 0U);
        ASSERT_EQ(key.set_string(L"v", L"own"), 0U);
        EXPECT_EQ(read(), L"own");
        folder.write(L"HKCU.json", outside);  // another process, mid-phase
        EXPECT_EQ(read(), L"own");
    }
    EXPECT_EQ(read(), L"outside");
    {
        const registry::read_phase phase;
        EXPECT_EQ(read(), L"outside");
    }
}

TEST_F(hive_fixture, association_is_the_default_application_of_the_mime_type) {
    folder.write(L"mimeapps.list",
                 "[Added Associations]\nimage/jpeg=other.desktop;\n[Default Applications]\n"
                 "image/png=png.desktop\nimage/jpeg=;viewer.desktop;second.desktop;\n");
    const qlm::testing::scoped_env config("XDG_CONFIG_HOME", platform::text::to_utf8(folder.path()));
    EXPECT_EQ(registry::association_progid(L".JPG").value_or(L"-"), L"viewer.desktop");
    EXPECT_EQ(registry::association_progid(L"jpg").value_or(L"-"), L"viewer.desktop");
    EXPECT_EQ(registry::association_progid(L".qlm-unknown").value_or(L"-"), L"-");
}

}  // namespace
