// A folder's overlay icon end to end on Linux, read back by ImageMagick and
// getfattr: what a file manager and the suite's other programs would see.

#include "batch_processor/tag_rating_actions.h"
#include "explorer/folder_overlay.h"
#include "explorer/registry_sandbox.h"
#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "platform/text.h"
#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

namespace explorer = sortwell::explorer;
namespace actions = sortwell::batch_processor;
namespace fs = platform::file_system;
using qlm::testing::run_tool;
using qlm::testing::shell_quote;

std::vector<std::wstring> overlay_files(const std::wstring& folder) {
    return qlm::testing::names_in(folder, L"sw_tagged_");
}

// "#RRGGBBAA" of one pixel, as ImageMagick reads the icon.
std::string pixel(const std::wstring& icon, int x, int y) {
    const std::string text = run_tool("convert " + shell_quote(icon) + "[0] -crop 1x1+" + std::to_string(x) + "+" +
                                      std::to_string(y) + " -depth 8 txt:-");
    const auto hash = text.find('#', text.find('\n'));  // past the "# ImageMagick" header
    return hash == std::string::npos ? text : text.substr(hash, 9);
}

struct overlay_fixture : ::testing::Test {
    overlay_fixture() {
        const std::wstring icons = box.sandbox.folder.make_folder(L"install/Content/Icons");
        const platform::graphics::session session;
        for (const auto& [name, argb] : {std::pair{L"red.ico", 0xFFFF0000U}, std::pair{L"green.ico", 0xFF00FF00U},
                                         std::pair{L"rating_star.ico", 0xFFFFFF00U}}) {
            platform::graphics::image solid(64, 64);
            std::fill(solid.pixels.begin(), solid.pixels.end(), argb);
            EXPECT_TRUE(explorer::save_png_icon(solid, icons + L"/" + name));
        }
        environment.program_folder = box.sandbox.folder / L"install";
        environment.dpi = 96;
        environment.settings = &box.settings();
        environment.tag_list = [] {
            return std::vector<all_tags_settings::tag_entry>{
                {L"Work", std::nullopt, std::nullopt, L"\\Content\\Icons\\red.ico", std::nullopt},
                {L"Done", std::nullopt, std::nullopt, L"\\Content\\Icons\\green.ico", std::nullopt},
                {L"Plain", std::nullopt, std::nullopt, std::nullopt, std::nullopt}};
        };
        environment.auto_tags = [] { return std::vector<std::wstring>{}; };
    }

    std::wstring icon_resource() const {
        return platform::private_profile::get_string(L".ShellClassInfo", L"IconResource", L"-",
                                                     album + L"/desktop.ini");
    }

    qlm::testing::registry_sandbox box;
    explorer::overlay_environment environment;
    std::wstring album = box.sandbox.folder.make_folder(L"Album");
};

TEST_F(overlay_fixture, a_tagged_rated_folder_shows_its_overlay_and_gets_its_old_icon_back) {
    if (!qlm::testing::tool_available("convert")) GTEST_SKIP() << "ImageMagick is not installed";
    // The folder's own icon before any overlay: a blue one beside it.
    platform::graphics::image own(256, 256);
    std::fill(own.pixels.begin(), own.pixels.end(), 0xFF0000FFU);
    ASSERT_TRUE(explorer::save_png_icon(own, album + L"/own.ico"));
    explorer::apply_folder_icon(album, L"own.ico,0");

    actions::apply_update_tags(album, L"+Plain;+Work;+Done");
    actions::apply_set_rating(album, L"2");
    explorer::refresh_folder_overlay(album, environment);
    auto files = overlay_files(album);
    ASSERT_EQ(files.size(), 1U);
    const std::wstring first = album + L"/" + files[0];
    EXPECT_EQ(icon_resource(), first + L",0");
    // The folder's and desktop.ini's attributes are custom_icons_test's.
    EXPECT_NE(fs::get_attributes(first) & fs::attribute_hidden, 0U);
    EXPECT_NE(qlm::testing::read_bytes(album + L"/.directory").find("Icon=" + platform::text::to_utf8(first)),
              std::string::npos);
    EXPECT_EQ(run_tool("identify -format '%w %h %[channels] ' " + shell_quote(first)).substr(0, 8), "256 256 ");
    // Keywords are stored sorted: Done, Plain (no icon, no position), Work.
    EXPECT_EQ(pixel(first, 10, 220), "#00FF00FF");
    EXPECT_EQ(pixel(first, 70, 220), "#FF0000FF");
    EXPECT_EQ(pixel(first, 120, 220), "#0000FFFF");  // the folder's own icon
    EXPECT_EQ(pixel(first, 238, 19), "#FFFF00FF");   // two stars from the right
    EXPECT_EQ(pixel(first, 202, 19), "#FFFF00FF");
    EXPECT_EQ(pixel(first, 166, 19), "#0000FFFF");
    // The icon before the overlay is kept in the folder's property set.
    EXPECT_NE(run_tool("getfattr -d -m - " + shell_quote(album)).find("own.ico,0"), std::string::npos);

    // A second refresh leaves one overlay file: the new one.
    explorer::refresh_folder_overlay(album, environment);
    files = overlay_files(album);
    ASSERT_EQ(files.size(), 1U);
    EXPECT_NE(album + L"/" + files[0], first);

    actions::apply_update_tags(album, L"=");
    actions::apply_remove_rating(album);
    explorer::refresh_folder_overlay(album, environment);
    EXPECT_TRUE(overlay_files(album).empty());
    EXPECT_EQ(icon_resource(), L"own.ico,0");
    EXPECT_NE(qlm::testing::read_bytes(album + L"/.directory").find("/Album/own.ico"), std::string::npos);
}

}  // namespace
