// The parts of the property-store vocabulary that both backends share.

#include "platform/property_store.h"

#include <cstdio>
#include <utility>

namespace platform::property_store {

hresult from_win32(std::uint32_t error) {
    if (static_cast<hresult>(error) <= 0) return static_cast<hresult>(error);
    return static_cast<hresult>((error & 0x0000FFFFu) | 0x80070000u);
}

std::string to_string(const guid& id) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id.data1, id.data2,
                  id.data3, id.data4[0], id.data4[1], id.data4[2], id.data4[3], id.data4[4], id.data4[5], id.data4[6],
                  id.data4[7]);
    return buffer;
}

namespace {

// A value of one type, with the one field that type uses.
template <typename Field>
property_value make(value_type type, Field property_value::*field, Field v) {
    property_value out;
    out.type = type;
    out.*field = std::move(v);
    return out;
}

}  // namespace

property_value property_value::make_ui4(std::uint32_t v) { return make(value_type::ui4, &property_value::ui4, v); }
property_value property_value::make_i4(std::int32_t v) { return make(value_type::i4, &property_value::i4, v); }
property_value property_value::make_r8(double v) { return make(value_type::r8, &property_value::r8, v); }
property_value property_value::make_filetime(std::uint64_t v) {
    return make(value_type::filetime, &property_value::filetime, v);
}
property_value property_value::make_lpwstr(std::wstring v) {
    return make(value_type::lpwstr, &property_value::text, std::move(v));
}
property_value property_value::make_null_lpwstr() { return make(value_type::lpwstr, &property_value::null_text, true); }
property_value property_value::make_bstr(std::wstring v) {
    return make(value_type::bstr, &property_value::text, std::move(v));
}
property_value property_value::make_strings(std::vector<std::wstring> v) {
    return make(value_type::vector_lpwstr, &property_value::strings, std::move(v));
}
property_value property_value::make_doubles(std::vector<double> v) {
    return make(value_type::vector_r8, &property_value::doubles, std::move(v));
}

}  // namespace platform::property_store
