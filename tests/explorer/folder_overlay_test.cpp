#include "explorer/folder_overlay.h"

#include "platform/file_system.h"
#include "platform/graphics.h"
#include "platform/text.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

namespace explorer = sortwell::explorer;
namespace graphics = platform::graphics;
namespace fs = platform::file_system;

constexpr std::uint32_t blue = 0xFF0000FF;
constexpr std::uint32_t yellow = 0xFFFFFF00;
constexpr std::uint32_t tag_colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF00FFFF, 0xFFFF00FF, 0xFF808080, 0xFF000000};

graphics::image solid(int size, std::uint32_t argb) {
    graphics::image picture(size, size);
    std::fill(picture.pixels.begin(), picture.pixels.end(), argb);
    return picture;
}

std::wstring write_solid_icon(const std::wstring& path, std::uint32_t argb, int size = 64) {
    EXPECT_TRUE(explorer::save_png_icon(solid(size, argb), path));
    return path;
}

// Channels within 2 of each other: the Windows scaler may round differently.
::testing::AssertionResult near(std::uint32_t actual, std::uint32_t expected) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = static_cast<int>((actual >> shift) & 0xFF);
        const int e = static_cast<int>((expected >> shift) & 0xFF);
        if (std::abs(a - e) > 2) {
            return ::testing::AssertionFailure() << std::hex << "0x" << actual << " is not 0x" << expected;
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(folder_overlay, resource_texts_split_at_the_last_comma_and_generated_icons_are_known_by_name) {
    struct row {
        const wchar_t* text;
        const wchar_t* path;
        int index;
        bool generated;
    };
    for (const row& r : {row{L"C:\\a,b\\icon.dll,-101", L"C:\\a,b\\icon.dll", -101, false},
                         row{L"folder.ico", L"folder.ico", 0, false},
                         row{L"x.ico,abc", L"x.ico,abc", 0, false},
                         row{L"x.ico,", L"x.ico,", 0, false},
                         row{L"D:\\Photos\\SW_TAGGED_07.1234567-04.ico,0", L"D:\\Photos\\SW_TAGGED_07.1234567-04.ico", 0,
                             true},
                         row{L"/home/u/Album/sw_tagged_01.0000000-09.ico", L"/home/u/Album/sw_tagged_01.0000000-09.ico",
                             0, true},
                         row{L"/home/sw_tagged_/folder.ico,3", L"/home/sw_tagged_/folder.ico", 3, false}}) {
        const auto [path, index] = explorer::split_icon_resource(r.text);
        EXPECT_EQ(path, r.path) << r.text;
        EXPECT_EQ(index, r.index) << r.text;
        EXPECT_EQ(explorer::is_generated_overlay_icon(r.text), r.generated) << r.text;
    }
}

TEST(folder_overlay, saved_icons_are_one_png_image_behind_a_22_byte_header) {
    const qlm::testing::temp_folder folder;
    const graphics::session session;
    const std::wstring path = write_solid_icon(folder / L"solid.ico", 0x80102030, 256);
    // The 22-byte header itself is read back in tests/cli/test_explorer.py.
    const std::string png = qlm::testing::read_bytes(path).substr(22);
    // IHDR: 256 x 256, 8 bits, colour type 6 (RGBA).
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n"));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(png.substr(16, 10), std::string("\0\0\1\0\0\0\1\0\x08\x06", 10));
    // Not premultiplied: the colour survives its half transparency.
    const auto decoded = graphics::decode_png(png);
    ASSERT_TRUE(decoded);
    EXPECT_TRUE(near(decoded->at(100, 100), 0x80102030));
}

TEST(folder_overlay, tags_go_along_the_bottom_and_stars_along_the_top_sized_for_the_dpi) {
    const qlm::testing::temp_folder folder;
    const graphics::session session;
    std::vector<std::wstring> tags;
    for (std::size_t i = 0; i < 6; ++i) {
        tags.push_back(write_solid_icon(folder / (L"tag" + std::to_wstring(i) + L".ico"), tag_colours[i]));
    }
    const std::wstring star = write_solid_icon(folder / L"star.ico", yellow, 48);

    struct row {
        int dpi;
        int size;  // of a tag icon
        int step;  // between tag icons
    };
    for (const row& r : {row{96, 64, 21}, row{144, 96, 26}}) {
        const auto canvas = explorer::compose_overlay(solid(256, blue), tags, 3, star, r.dpi);
        ASSERT_EQ(canvas.width, 256);
        ASSERT_EQ(canvas.height, 256);
        const int y = 256 - r.size / 2;
        for (int n = 0; n < 5; ++n) {
            // Each icon lies over the one before; its own left strip shows.
            EXPECT_TRUE(near(canvas.at(r.step * n + r.step / 2, y), tag_colours[n])) << r.dpi << " tag " << n;
        }
        EXPECT_TRUE(near(canvas.at(4 * r.step + r.size - 3, y), tag_colours[4])) << r.dpi;  // the sixth is not drawn
        EXPECT_TRUE(near(canvas.at(4 * r.step + r.size + 3, y), blue)) << r.dpi;
        EXPECT_TRUE(near(canvas.at(10, 256 - r.size - 3), blue)) << r.dpi;
        for (const int x : {221, 185, 149}) EXPECT_TRUE(near(canvas.at(x + 17, 19), yellow)) << r.dpi << " star " << x;
        EXPECT_TRUE(near(canvas.at(113 + 17, 19), blue)) << r.dpi;  // three stars only
        EXPECT_TRUE(near(canvas.at(238, 1), blue)) << r.dpi;       // stars start at y = 2
    }

    // Without a star icon the tags are still drawn, and the log says why.
    const qlm::testing::log_capture log;
    const auto canvas = explorer::compose_overlay(std::nullopt, {tags[0]}, 5, folder / L"missing.ico", 96);
    EXPECT_TRUE(near(canvas.at(10, 220), tag_colours[0]));
    EXPECT_EQ(canvas.at(238, 19), 0U);  // no base: transparent
    const auto messages = log.messages();
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back(), "ERROR folder_overlay: rating overlay not available '" +
                                   platform::text::to_utf8(folder / L"missing.ico") + "'");
}

}  // namespace
