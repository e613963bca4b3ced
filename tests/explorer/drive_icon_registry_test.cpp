#include "explorer/drive_icon_registry.h"

#include "explorer/registry_sandbox.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

namespace explorer = sortwell::explorer;
using qlm::testing::registry_sandbox;

const std::wstring key = L"Software\\Classes\\Applications\\Explorer.exe\\Drives\\E\\DefaultIcon";

TEST(drive_icon_registry, the_first_backup_survives_and_removal_puts_it_back) {
    registry_sandbox box;
    EXPECT_EQ(explorer::drive_icon_key(L'e'), key);
    box.set_string(key, L"", L"C:\\Icons\\usb.ico,0");

    explorer::register_drive_icon(L"E:\\", L'e', L"E:\\sw_folder_01.0000000-02.ico");
    explorer::register_drive_icon(L"E:\\", L'E', L"E:\\sw_folder_03.0000000-02.ico");
    EXPECT_EQ(box.hkcu(key), L"E:\\sw_folder_03.0000000-02.ico,0");
    EXPECT_EQ(box.hkcu(key, explorer::drive_icon_applied_value), L"E:\\sw_folder_03.0000000-02.ico,0");
    EXPECT_EQ(box.hkcu(key, explorer::drive_icon_had_original_value), L"dword:1");
    EXPECT_EQ(box.hkcu(key, explorer::drive_icon_original_value), L"C:\\Icons\\usb.ico,0");

    explorer::restore_drive_icon(L"E:\\", L'E');
    EXPECT_EQ(box.hkcu(key), L"C:\\Icons\\usb.ico,0");
    for (const wchar_t* name : {explorer::drive_icon_applied_value, explorer::drive_icon_had_original_value,
                                explorer::drive_icon_original_value}) {
        EXPECT_EQ(box.hkcu(key, name), L"<missing>") << name;
    }
    explorer::restore_drive_icon(L"E:\\", L'E');  // nothing of ours left: nothing to do
    EXPECT_EQ(box.hkcu(key), L"C:\\Icons\\usb.ico,0");
}

TEST(drive_icon_registry, without_an_earlier_icon_removal_leaves_no_default) {
    registry_sandbox box;
    explorer::restore_drive_icon(L"E:\\", L'E');  // no key at all
    explorer::register_drive_icon(L"E:\\", L'E', L"/data/DriveIcons/E/sw_folder_1.ico");
    EXPECT_EQ(box.hkcu(key, explorer::drive_icon_had_original_value), L"dword:0");
    EXPECT_EQ(box.hkcu(key, explorer::drive_icon_original_value), L"<missing>");
    explorer::restore_drive_icon(L"E:\\", L'E');
    EXPECT_EQ(box.hkcu(key), L"<missing>");
}

TEST(drive_icon_registry, a_newer_icon_of_another_program_is_left_alone) {
    registry_sandbox box;
    explorer::register_drive_icon(L"E:\\", L'E', L"E:\\ours.ico");
    box.set_string(key, L"", L"D:\\theirs.ico,3");
    try {
        explorer::restore_drive_icon(L"E:\\", L'E');
        FAIL() << "restored over another program's icon";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(),
                     "Could not restore the default icon for drive 'E:\\'.\n\nAnother application changed this "
                     "drive's icon after QLM. QLM left that newer setting unchanged.");
    }
    EXPECT_EQ(box.hkcu(key), L"D:\\theirs.ico,3");
    EXPECT_EQ(box.hkcu(key, explorer::drive_icon_applied_value), L"E:\\ours.ico,0");
}

}  // namespace
