// The write chain link by link: a fault-injecting store decides whether the
// handler takes a value, the real imaging backend refuses what is no image,
// and the packet edit, the property set and the sidecar work on real files.
// tests/platform/imaging_test.cpp checks the imaging link on a real JPEG.

#include "metadata/fallback_chain.h"

#include "metadata/fake_store_access.h"
#include "metadata/xmp_sidecar.h"
#include "platform/file_system.h"
#include "platform/imaging.h"
#include "platform/text.h"
#include "support/error_text.h"
#include "support/log_capture.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace qlm::metadata;
using qlm::testing::error_of;
using qlm::testing::fake_store_access;
using qlm::testing::read_bytes;
namespace ps = platform::property_store;
namespace fs = platform::file_system;

const ps::property_value* value_of(const fake_store_access::properties& values, const ps::property_key& key) {
    for (const auto& [k, v] : values) {
        if (k == key) return &v;
    }
    return nullptr;
}

std::vector<std::string> warnings(const qlm::testing::log_capture& log) {
    std::vector<std::string> out;
    for (const auto& message : log.messages()) {
        if (message.rfind("WARNING", 0) == 0) out.push_back(message);
    }
    return out;
}

std::string rated_packet(const std::string& stars) {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">"
           "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
           "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"><xmp:Rating>" +
           stars + "</xmp:Rating></rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

// One file that is no image in a temporary folder, a handle open for
// writing on it through the fake store, and the real imaging backend.
struct chain_target {
    qlm::testing::temp_folder folder;
    fake_store_access access;
    metadata_handle handle{access};
    std::wstring path;

    explicit chain_target(const std::string& content, bool handler_takes = false) {
        path = folder.write(L"photo.dat", content);
        access.attributes[path] = fs::attribute_normal;
        access.imaging_factory = [](std::unique_ptr<platform::imaging::factory>& out) {
            return platform::imaging::create_factory(out);
        };
        EXPECT_TRUE(handle.open_for_writing(path));
        if (!handler_takes) access.set_value_results.push_back(ps::wincodec_err_propertynotsupported);
    }
    // Neither the property set nor, with a folder in its place, the sidecar.
    void block_property_set() { access.property_set_open_result = ps::stg_e_invalidfunction; }
    void block_sidecar() { folder.make_folder(L"photo.dat.xmp"); }
    const ps::property_value* handler_value(const ps::property_key& key) {
        return value_of(access.handler_values[path], key);
    }
    const ps::property_value* set_value(const ps::property_key& key) {
        return value_of(access.property_sets[path], key);
    }
};

TEST(fallback_chain, a_value_the_handler_takes_goes_nowhere_else) {
    chain_target rated("not an image", true);
    set_rating(rated.handle, 4);
    rated.handle.commit();  // the caller's part
    ASSERT_NE(rated.handler_value(ps::key_rating), nullptr);
    EXPECT_EQ(*rated.handler_value(ps::key_rating), ps::property_value::make_ui4(75));
    EXPECT_FALSE(fs::exists(sidecar_path(rated.path)));
    EXPECT_EQ(rated.handle.mode(), 2u);

    // Tags are sorted ignoring case; equal keys may come in either order.
    chain_target tagged("x", true);
    set_tags(tagged.handle, {L"Zebra", L"apple", L"Mango", L"app", L"zebra"});
    tagged.handle.commit();
    const auto* tags = tagged.handler_value(ps::key_keywords);
    ASSERT_NE(tags, nullptr);
    ASSERT_EQ(tags->strings.size(), 5u);
    EXPECT_EQ(std::vector<std::wstring>(tags->strings.begin(), tags->strings.begin() + 3),
              (std::vector<std::wstring>{L"app", L"apple", L"Mango"}));

    chain_target cleared("x", true);
    remove_all_tags(cleared.handle);
    cleared.handle.commit();
    ASSERT_NE(cleared.handler_value(ps::key_keywords), nullptr);
    EXPECT_EQ(*cleared.handler_value(ps::key_keywords), ps::property_value::make_strings({}));
}

TEST(fallback_chain, a_rating_goes_to_the_packet_in_place_before_the_property_set) {
    chain_target target("head" + rated_packet("5") + "tail");
    const qlm::testing::log_capture log;
    set_rating(target.handle, 3);
    // The embedded XMP keeps stars, not the 0-99 value.
    EXPECT_EQ(read_bytes(target.path), "head" + rated_packet("3") + "tail");
    EXPECT_TRUE(target.access.property_sets[target.path].empty());
    EXPECT_EQ(target.handle.mode(), 2u);  // still open, nothing pending
    EXPECT_TRUE(warnings(log).empty());
}

TEST(fallback_chain, without_a_packet_the_property_set_takes_the_value_after_the_handle_is_closed) {
    chain_target rated("no packet here");
    const qlm::testing::log_capture log;
    set_rating(rated.handle, 3);
    ASSERT_NE(rated.set_value(ps::key_rating), nullptr);
    EXPECT_EQ(*rated.set_value(ps::key_rating), ps::property_value::make_ui4(50));
    EXPECT_EQ(rated.handle.mode(), 0u);
    EXPECT_FALSE(rated.handle.has_store());
    EXPECT_TRUE(warnings(log).empty());
    EXPECT_EQ(read_bytes(rated.path), "no packet here");

    // Keywords have no packet link: a packet is left alone.
    chain_target tagged(rated_packet("5"));
    set_tags(tagged.handle, {L"b", L"A"});
    ASSERT_NE(tagged.set_value(ps::key_keywords), nullptr);
    EXPECT_EQ(tagged.set_value(ps::key_keywords)->strings, (std::vector<std::wstring>{L"A", L"b"}));
    EXPECT_EQ(read_bytes(tagged.path), rated_packet("5"));
}

TEST(fallback_chain, the_sidecar_is_the_last_link_with_a_warning_and_its_failure_is_the_writes_failure) {
    struct write_case {
        const char* what;
        std::function<void(metadata_handle&)> write;
        std::function<std::string()> sidecar;
        std::string failure;
    };
    const write_case cases[] = {
        {"rating", [](metadata_handle& h) { set_rating(h, 2); }, [] { return edit_sidecar_rating("", 2); },
         "Failed to set rating"},
        {"keywords", [](metadata_handle& h) { set_tags(h, {L"b", L"A"}); },
         [] { return edit_sidecar_keywords("", {L"A", L"b"}); }, "Failed to set tags"},
        {"removing keywords", [](metadata_handle& h) { remove_all_tags(h); },
         [] { return edit_sidecar_keywords("", {}); }, "Failed to remove all tags"},
    };
    for (const auto& c : cases) {
        chain_target target("no packet here");
        target.block_property_set();
        const qlm::testing::log_capture log;
        c.write(target.handle);
        EXPECT_EQ(warnings(log), std::vector<std::string>{"WARNING Embedded and NTFS write paths failed for " +
                                                          std::string(c.what) + ", falling back to XMP sidecar: " +
                                                          platform::text::to_utf8(target.path)});
        EXPECT_EQ(read_text_file(sidecar_path(target.path)), c.sidecar()) << c.what;

        chain_target blocked("no packet here");
        blocked.block_property_set();
        blocked.block_sidecar();
        EXPECT_EQ(error_of([&] { c.write(blocked.handle); }), c.failure);
    }
}

}  // namespace
