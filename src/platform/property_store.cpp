// The parts of the property-store vocabulary that both backends share.

#include "platform/property_store.h"

#include <cstdio>

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

property_value property_value::make_ui4(std::uint32_t v) {
    property_value out;
    out.type = value_type::ui4;
    out.ui4 = v;
    return out;
}

property_value property_value::make_i4(std::int32_t v) {
    property_value out;
    out.type = value_type::i4;
    out.i4 = v;
    return out;
}

property_value property_value::make_r8(double v) {
    property_value out;
    out.type = value_type::r8;
    out.r8 = v;
    return out;
}

property_value property_value::make_filetime(std::uint64_t v) {
    property_value out;
    out.type = value_type::filetime;
    out.filetime = v;
    return out;
}

property_value property_value::make_lpwstr(std::wstring v) {
    property_value out;
    out.type = value_type::lpwstr;
    out.text = std::move(v);
    return out;
}

property_value property_value::make_null_lpwstr() {
    property_value out;
    out.type = value_type::lpwstr;
    out.null_text = true;
    return out;
}

property_value property_value::make_bstr(std::wstring v) {
    property_value out;
    out.type = value_type::bstr;
    out.text = std::move(v);
    return out;
}

property_value property_value::make_strings(std::vector<std::wstring> v) {
    property_value out;
    out.type = value_type::vector_lpwstr;
    out.strings = std::move(v);
    return out;
}

property_value property_value::make_doubles(std::vector<double> v) {
    property_value out;
    out.type = value_type::vector_r8;
    out.doubles = std::move(v);
    return out;
}

}  // namespace platform::property_store
