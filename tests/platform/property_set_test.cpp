// The Linux property set: typed extended attributes, held until commit,
// checked with getfattr; garbage and missing xattr support refused politely.

#include "platform/posix/properties/property_set.h"
#include "platform/property_store.h"

#include "platform/file_system.h"
#include "platform/text.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <random>

namespace {

namespace ps = platform::property_store;
using qlm::testing::getfattr;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

ps::property_key custom(std::uint32_t pid) { return {ps::summary_information, pid}; }

TEST(property_set, every_value_type_round_trips_after_commit) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"notes.txt", "hello");
    const std::vector<ps::property_value> values = {
        ps::property_value::make_ui4(0xFFFFFFFF),
        ps::property_value::make_i4(-2147483647 - 1),
        ps::property_value::make_r8(0.1),
        ps::property_value::make_r8(-std::numeric_limits<double>::denorm_min()),
        ps::property_value::make_filetime(133000000000000001ull),
        ps::property_value::make_lpwstr(L"line\r\nbreak \u00e9 \U0001F600  "),
        ps::property_value::make_lpwstr(L""),
        ps::property_value::make_bstr(std::wstring(L"nul\0inside", 10)),
        ps::property_value::make_strings({}),
        ps::property_value::make_strings({L""}),
        ps::property_value::make_strings({L"a;b", L"", L"\u00fc,x"}),
        ps::property_value::make_doubles({}),
        ps::property_value::make_doubles({1.5, -0.0, 1e300}),
    };
    {
        std::unique_ptr<ps::store> store;
        ASSERT_EQ(ps::open_property_set(file, true, store), ps::s_ok);
        for (std::uint32_t i = 0; i < values.size(); ++i) ASSERT_EQ(store->set_value(custom(100 + i), values[i]), ps::s_ok);
        // Held until commit: nothing on disk yet.
        EXPECT_EQ(getfattr(file, "user.qlm.prop.{F29F85E0-4FF9-1068-AB91-08002B27B3D9}.100"), "");
        ASSERT_EQ(store->commit(), ps::s_ok);
    }
    EXPECT_EQ(getfattr(file, "user.qlm.prop.{F29F85E0-4FF9-1068-AB91-08002B27B3D9}.100"), "ui4:4294967295");
    std::unique_ptr<ps::store> store;
    ASSERT_EQ(ps::open_property_set(file, false, store), ps::s_ok);
    for (std::uint32_t i = 0; i < values.size(); ++i) {
        ps::property_value read;
        ASSERT_EQ(store->get_value(custom(100 + i), read), ps::s_ok);
        EXPECT_EQ(read, values[i]) << i;
        if (read.type == ps::value_type::r8) {
            EXPECT_EQ(std::signbit(read.r8), std::signbit(values[i].r8));
        }
    }
    EXPECT_EQ(store->set_value(custom(1), values[0]), ps::stg_e_accessdenied);
}

// The freedesktop mirrors of keywords and rating, and their removal, are
// freedesktop_attributes_test.cpp's; a comment's, end to end in
// tests/cli/test_shared_metadata.py.

TEST(property_set, garbage_values_give_an_error_never_a_value) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"f.bin", "x");
    const std::string name = "user.qlm.prop.{F29F85E0-4FF9-1068-AB91-08002B27B3D9}.42";
    for (const char* garbage : {"ui4:", "ui4:-1", "ui4:99999999999", "i4:1x", "r8:zz", "vector_lpwstr:3:a", "vector_lpwstr:",
                                "vector_r8:1:", "nonsense", "filetime:1.5", "empty:x"}) {
        run_tool("setfattr -n " + name + " -v '" + std::string(garbage) + "' " + shell_quote(file));
        std::unique_ptr<ps::store> store;
        ASSERT_EQ(ps::open_property_set(file, false, store), ps::s_ok);
        ps::property_value read = ps::property_value::make_ui4(7);
        EXPECT_TRUE(ps::failed(store->get_value(custom(42), read))) << garbage;
        EXPECT_EQ(read.type, ps::value_type::empty) << garbage;
    }
    std::mt19937 random(11);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(static_cast<std::size_t>(random() % 40), '\0');
        for (auto& byte : bytes) byte = static_cast<char>(random());
        if (round % 3 == 0) bytes.insert(0, round % 2 ? "vector_lpwstr:" : "vector_r8:2:");
        ps::property_value value;
        if (platform::property_store::posix::decode_value(bytes, value)) {
            // Whatever decodes must encode to something that decodes the same.
            ps::property_value again;
            ASSERT_TRUE(platform::property_store::posix::decode_value(platform::property_store::posix::encode_value(value), again));
            EXPECT_EQ(again, value);
        }
    }
}

TEST(property_set, open_stores_keep_writers_apart_as_share_modes_do) {
    qlm::testing::temp_folder temp;
    const std::wstring file = temp.write(L"shared.txt", "x");
    std::unique_ptr<ps::store> reader, second_reader, writer, second_writer;
    ASSERT_EQ(ps::open_property_set(file, false, reader), ps::s_ok);
    ASSERT_EQ(ps::open_property_set(file, false, second_reader), ps::s_ok);
    // Readers and a writer never keep each other out: a reader sees the old
    // or the new values.
    ASSERT_EQ(ps::open_property_set(file, true, writer), ps::s_ok);
    reader.reset();
    EXPECT_EQ(ps::open_property_set(file, false, reader), ps::s_ok);
    // A second writer of the same process is refused at once.
    EXPECT_EQ(ps::open_property_set(file, true, second_writer), ps::stg_e_sharingviolation);
    writer.reset();
    EXPECT_EQ(ps::open_property_set(file, true, second_writer), ps::s_ok);
    second_writer.reset();

    if (!qlm::testing::tool_available("convert")) return;
    const std::wstring photo = qlm::testing::make_image(temp / L"busy.jpg");
    std::unique_ptr<ps::store> first, second;
    ASSERT_EQ(ps::open_handler_store(photo, ps::gps_read_write, first), ps::s_ok);
    EXPECT_EQ(ps::open_handler_store(photo, ps::gps_read_write, second), ps::from_win32(32));
    // The writer's own pass-through to the property set is not kept out.
    EXPECT_EQ(first->set_value(custom(300), ps::property_value::make_ui4(1)), ps::s_ok);
    EXPECT_EQ(first->commit(), ps::s_ok);
    first.reset();
    EXPECT_EQ(ps::open_handler_store(photo, ps::gps_read_write, second), ps::s_ok);
}

TEST(property_set, refusals_carry_the_windows_codes) {
    qlm::testing::temp_folder temp;
    std::unique_ptr<ps::store> store;
    EXPECT_EQ(ps::open_property_set(temp / L"missing.txt", false, store), ps::stg_e_filenotfound);
    EXPECT_EQ(ps::open_property_set(temp / L"missing/deeper.txt", true, store), ps::stg_e_filenotfound);

    // A read-only file refuses a read-write open even for root.
    const std::wstring locked = temp.write(L"locked.txt", "x");
    platform::file_system::set_attributes(locked, platform::file_system::attribute_readonly);
    EXPECT_EQ(ps::open_property_set(locked, true, store), ps::stg_e_accessdenied);
    EXPECT_EQ(ps::open_property_set(locked, false, store), ps::s_ok);

    // A file system without user extended attributes (ramfs, vfat) refuses
    // as a FAT volume refuses NTFS property sets.
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type;
    std::string rest;
    std::wstring plain_folder;
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        if ((type == "ramfs" || type == "vfat") && rest.find(" rw") != std::string::npos) {
            plain_folder = platform::text::from_utf8(point);
            break;
        }
    }
    if (plain_folder.empty()) GTEST_SKIP() << "no writable ramfs or vfat mount to stand for a volume without property sets";
    const std::wstring file = plain_folder + L"/qlm-no-xattr-" + std::to_wstring(platform::file_system::process_id());
    { std::ofstream(platform::file_system::to_native(file)) << "x"; }
    EXPECT_EQ(ps::open_property_set(file, true, store), ps::stg_e_invalidfunction);
    EXPECT_EQ(ps::open_property_set(file, false, store), ps::stg_e_invalidfunction);
    // The handler route still reads such a file; it has nothing to show.
    ASSERT_EQ(ps::open_handler_store(file, ps::gps_default, store), ps::s_ok);
    ps::property_value value = ps::property_value::make_ui4(1);
    EXPECT_EQ(store->get_value(ps::key_comment, value), ps::s_ok);
    EXPECT_EQ(value.type, ps::value_type::empty);
    EXPECT_TRUE(ps::failed(ps::open_handler_store(file, ps::gps_read_write, store)));
    platform::file_system::delete_file(file);
}

}  // namespace
