// The write chain link by link: a fault-injecting store and a scripted
// imaging factory decide which links refuse; the packet edit and the
// sidecar work on real files.

#include "metadata/fallback_chain.h"

#include "metadata/fake_store_access.h"
#include "metadata/scripted_imaging.h"
#include "metadata/xmp_sidecar.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "support/log_capture.h"
#include "support/error_text.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

namespace {

using namespace qlm::metadata;
using qlm::testing::fake_store_access;
using qlm::testing::imaging_script;
using qlm::testing::read_bytes;
namespace ps = platform::property_store;
namespace fs = platform::file_system;

using qlm::testing::error_of;

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
const std::string packet_with_rating_5 = rated_packet("5");

// One target file in a temporary folder, a handle open for writing on it
// through the fake store, and the scripted imaging factory behind the chain.
struct chain_target {
    qlm::testing::temp_folder folder;
    fake_store_access access;
    imaging_script script;
    metadata_handle handle{access};
    std::wstring path;

    explicit chain_target(const std::string& content) {
        path = folder.write(L"photo.dat", content);
        access.attributes[path] = fs::attribute_normal;
        access.imaging_factory = [this](std::unique_ptr<platform::imaging::factory>& out) {
            out = qlm::testing::make_scripted_factory(script);
            return ps::s_ok;
        };
        EXPECT_TRUE(handle.open_for_writing(path));
    }
    void handler_refuses() { access.set_value_results.push_back(ps::wincodec_err_propertynotsupported); }
    void nothing_else_takes_it() {
        handler_refuses();
        script.decoder_result = ps::e_fail;
        access.property_set_open_result = ps::stg_e_invalidfunction;
    }
};

TEST(fallback_chain, rating_taken_by_the_handler_store_goes_nowhere_else) {
    chain_target target("not an image");
    set_rating(target.handle, 4);
    target.handle.commit();  // the caller's part
    const auto* stored = value_of(target.access.handler_values[target.path], ps::key_rating);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(*stored, ps::property_value::make_ui4(75));
    EXPECT_TRUE(target.script.journal.empty());
    EXPECT_FALSE(fs::exists(sidecar_path(target.path)));
    EXPECT_EQ(target.handle.mode(), 2u);
}

TEST(fallback_chain, rating_tries_every_imaging_path_in_order_before_the_packet_edit_takes_it) {
    const std::string content = "head" + packet_with_rating_5 + "tail";
    chain_target target(content);
    target.handler_refuses();
    qlm::testing::log_capture log;
    set_rating(target.handle, 3);

    const std::vector<std::wstring> expected{L"decoder rw",
                                             L"frame encoder",
                                             L"set /xmp/xmp:Rating",
                                             L"set /{ushort=700}/xmp:Rating",
                                             L"decoder encoder",
                                             L"set /ifd/xmp/xmp:Rating",
                                             L"set /{ushort=700}/xmp:Rating",
                                             L"set /xmp/xmp:Rating"};
    EXPECT_EQ(target.script.journal, expected);
    // The embedded XMP keeps stars, not the 0-99 value.
    for (const auto& value : target.script.values) EXPECT_EQ(value, ps::property_value::make_ui4(3));

    EXPECT_EQ(read_bytes(target.path), "head" + rated_packet("3") + "tail");
    EXPECT_TRUE(target.access.property_sets[target.path].empty());
    EXPECT_EQ(target.handle.mode(), 2u);  // still open, nothing pending
    EXPECT_TRUE(warnings(log).empty());
}

TEST(fallback_chain, imaging_commits_the_first_path_that_takes_and_a_failed_commit_moves_on) {
    chain_target target(packet_with_rating_5);
    target.handler_refuses();
    target.script.accepted_paths = {L"/xmp/xmp:Rating", L"/{ushort=700}/xmp:Rating"};
    target.script.failing_commits = 1;
    set_rating(target.handle, 2);
    const std::vector<std::wstring> expected{L"decoder rw", L"frame encoder", L"set /xmp/xmp:Rating", L"commit",
                                             L"set /{ushort=700}/xmp:Rating", L"commit"};
    EXPECT_EQ(target.script.journal, expected);
    EXPECT_EQ(read_bytes(target.path), packet_with_rating_5);

    // A frame encoder that cannot be made sends the write to the decoder's.
    chain_target second(packet_with_rating_5);
    second.handler_refuses();
    second.script.frame_encoder_result = platform::imaging::wincodec_err_unsupportedoperation;
    second.script.accepted_paths = {L"/ifd/xmp/xmp:Rating"};
    set_rating(second.handle, 1);
    const std::vector<std::wstring> second_expected{L"decoder rw", L"frame encoder", L"decoder encoder",
                                                    L"set /ifd/xmp/xmp:Rating", L"commit"};
    EXPECT_EQ(second.script.journal, second_expected);
}

TEST(fallback_chain, property_set_takes_the_rating_after_the_handle_is_closed) {
    chain_target target("no packet here");
    target.handler_refuses();
    target.script.decoder_result = platform::imaging::wincodec_err_componentnotfound;
    qlm::testing::log_capture log;
    set_rating(target.handle, 3);
    EXPECT_EQ(target.script.journal, std::vector<std::wstring>{L"decoder rw"});
    const auto* stored = value_of(target.access.property_sets[target.path], ps::key_rating);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(*stored, ps::property_value::make_ui4(50));
    EXPECT_EQ(target.handle.mode(), 0u);
    EXPECT_FALSE(target.handle.has_store());
    EXPECT_TRUE(warnings(log).empty());
    EXPECT_EQ(read_bytes(target.path), "no packet here");
}

TEST(fallback_chain, rating_falls_to_the_sidecar_with_a_warning_and_fails_when_that_fails_too) {
    chain_target target("no packet here");
    target.nothing_else_takes_it();
    qlm::testing::log_capture log;
    set_rating(target.handle, 2);
    const std::string path = platform::text::to_utf8(target.path);
    EXPECT_EQ(warnings(log), std::vector<std::string>{
                                 "WARNING Embedded and NTFS write paths failed for rating, falling back to XMP sidecar: " +
                                 path});
    EXPECT_EQ(read_text_file(sidecar_path(target.path)), edit_sidecar_rating("", 2));

    chain_target blocked("no packet here");
    blocked.nothing_else_takes_it();
    blocked.folder.make_folder(L"photo.dat.xmp");  // nothing can be written where a folder stands
    EXPECT_EQ(error_of([&] { set_rating(blocked.handle, 2); }), "Failed to set rating");
}

TEST(fallback_chain, tags_are_sorted_case_insensitively_and_walk_the_same_links) {
    const std::vector<std::wstring> tags{L"Zebra", L"apple", L"Mango", L"app", L"zebra"};
    const std::vector<std::wstring> sorted{L"app", L"apple", L"Mango", L"Zebra", L"zebra"};
    {
        chain_target target("x");
        set_tags(target.handle, tags);
        target.handle.commit();
        const auto* stored = value_of(target.access.handler_values[target.path], ps::key_keywords);
        ASSERT_NE(stored, nullptr);
        // Equal keys may come in either order: the sort is not stable.
        ASSERT_EQ(stored->strings.size(), sorted.size());
        EXPECT_EQ(std::vector<std::wstring>(stored->strings.begin(), stored->strings.begin() + 3),
                  std::vector<std::wstring>(sorted.begin(), sorted.begin() + 3));
    }
    {
        // Keywords have no packet link: imaging, then the property set.
        chain_target target(packet_with_rating_5);
        target.handler_refuses();
        target.script.decoder_result = ps::e_fail;
        set_tags(target.handle, {L"b", L"A"});
        const auto* stored = value_of(target.access.property_sets[target.path], ps::key_keywords);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored->strings, (std::vector<std::wstring>{L"A", L"b"}));
        EXPECT_EQ(target.handle.mode(), 0u);
        EXPECT_EQ(read_bytes(target.path), packet_with_rating_5);
    }
    {
        chain_target target("x");
        target.handler_refuses();
        target.script.accepted_paths = {L"/{ushort=700}/dc:subject"};
        set_tags(target.handle, {L"b", L"A"});
        const std::vector<std::wstring> expected{L"decoder rw", L"frame encoder", L"set /xmp/dc:subject",
                                                 L"set /{ushort=700}/dc:subject", L"commit"};
        EXPECT_EQ(target.script.journal, expected);
        EXPECT_EQ(target.script.values.back(), ps::property_value::make_strings({L"A", L"b"}));
    }
    {
        chain_target target("x");
        target.nothing_else_takes_it();
        qlm::testing::log_capture log;
        set_tags(target.handle, {L"b", L"A"});
        EXPECT_EQ(warnings(log).size(), 1u);
        EXPECT_NE(warnings(log).at(0).find("failed for keywords, falling back to XMP sidecar: "), std::string::npos);
        EXPECT_EQ(read_text_file(sidecar_path(target.path)), edit_sidecar_keywords("", {L"A", L"b"}));
    }
    {
        chain_target target("x");
        target.nothing_else_takes_it();
        target.folder.make_folder(L"photo.dat.xmp");
        EXPECT_EQ(error_of([&] { set_tags(target.handle, {L"a"}); }), "Failed to set tags");
    }
}

TEST(fallback_chain, removing_all_tags_writes_an_empty_list_through_the_same_links) {
    {
        chain_target target("x");
        remove_all_tags(target.handle);
        target.handle.commit();
        const auto* stored = value_of(target.access.handler_values[target.path], ps::key_keywords);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(*stored, ps::property_value::make_strings({}));
    }
    {
        chain_target target("x");
        target.nothing_else_takes_it();
        qlm::testing::log_capture log;
        remove_all_tags(target.handle);
        EXPECT_EQ(warnings(log),
                  std::vector<std::string>{"WARNING Embedded and NTFS write paths failed for removing keywords, falling "
                                           "back to XMP sidecar: " +
                                           platform::text::to_utf8(target.path)});
        const std::string sidecar = read_text_file(sidecar_path(target.path));
        EXPECT_EQ(sidecar, edit_sidecar_keywords("", {}));
    }
    {
        chain_target target("x");
        target.nothing_else_takes_it();
        target.folder.make_folder(L"photo.dat.xmp");
        EXPECT_EQ(error_of([&] { remove_all_tags(target.handle); }), "Failed to remove all tags");
    }
}

}  // namespace
