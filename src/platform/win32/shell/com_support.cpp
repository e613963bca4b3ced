#include "platform/win32/shell/com_support.h"

#include <oleauto.h>

#include <cstring>

namespace platform::win32 {

using property_store::property_value;
using property_store::value_type;

namespace {

wchar_t* co_task_copy(const std::wstring& text) {
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return copy;
}

}  // namespace

HRESULT to_propvariant(const property_value& value, PROPVARIANT& out) {
    switch (value.type) {
    case value_type::empty: out.vt = VT_EMPTY; return S_OK;
    case value_type::i4: out.vt = VT_I4; out.lVal = value.i4; return S_OK;
    case value_type::ui4: out.vt = VT_UI4; out.ulVal = value.ui4; return S_OK;
    case value_type::r8: out.vt = VT_R8; out.dblVal = value.r8; return S_OK;
    case value_type::filetime:
        out.vt = VT_FILETIME;
        out.filetime.dwLowDateTime = static_cast<DWORD>(value.filetime & 0xFFFFFFFFu);
        out.filetime.dwHighDateTime = static_cast<DWORD>(value.filetime >> 32);
        return S_OK;
    case value_type::lpwstr:
        out.vt = VT_LPWSTR;
        if (value.null_text) return S_OK;
        out.pwszVal = co_task_copy(value.text);
        return out.pwszVal != nullptr ? S_OK : E_OUTOFMEMORY;
    case value_type::bstr:
        out.vt = VT_BSTR;
        out.bstrVal = SysAllocStringLen(value.text.data(), static_cast<UINT>(value.text.size()));
        return out.bstrVal != nullptr ? S_OK : E_OUTOFMEMORY;
    case value_type::vector_lpwstr: {
        out.vt = VT_VECTOR | VT_LPWSTR;
        const std::size_t count = value.strings.size();
        out.calpwstr.cElems = static_cast<ULONG>(count);
        if (count == 0) return S_OK;
        out.calpwstr.pElems = static_cast<LPWSTR*>(CoTaskMemAlloc(count * sizeof(LPWSTR)));
        if (out.calpwstr.pElems == nullptr) {
            out.calpwstr.cElems = 0;
            return E_OUTOFMEMORY;
        }
        for (std::size_t i = 0; i < count; ++i) {
            out.calpwstr.pElems[i] = co_task_copy(value.strings[i]);
            if (out.calpwstr.pElems[i] == nullptr) {
                out.calpwstr.cElems = static_cast<ULONG>(i);  // PropVariantClear frees what was built
                return E_OUTOFMEMORY;
            }
        }
        return S_OK;
    }
    case value_type::vector_r8: {
        out.vt = VT_VECTOR | VT_R8;
        const std::size_t count = value.doubles.size();
        out.cadbl.cElems = static_cast<ULONG>(count);
        if (count == 0) return S_OK;
        out.cadbl.pElems = static_cast<double*>(CoTaskMemAlloc(count * sizeof(double)));
        if (out.cadbl.pElems == nullptr) {
            out.cadbl.cElems = 0;
            return E_OUTOFMEMORY;
        }
        std::memcpy(out.cadbl.pElems, value.doubles.data(), count * sizeof(double));
        return S_OK;
    }
    }
    return E_INVALIDARG;
}

property_value from_propvariant(const PROPVARIANT& in) {
    switch (in.vt) {
    case VT_I4: return property_value::make_i4(in.lVal);
    case VT_UI4: return property_value::make_ui4(in.ulVal);
    case VT_R8: return property_value::make_r8(in.dblVal);
    case VT_FILETIME:
        return property_value::make_filetime((static_cast<std::uint64_t>(in.filetime.dwHighDateTime) << 32) |
                                             in.filetime.dwLowDateTime);
    case VT_LPWSTR:
        return in.pwszVal == nullptr ? property_value::make_null_lpwstr() : property_value::make_lpwstr(in.pwszVal);
    case VT_BSTR: {
        if (in.bstrVal == nullptr) {
            property_value out = property_value::make_null_lpwstr();
            out.type = value_type::bstr;
            return out;
        }
        return property_value::make_bstr(std::wstring(in.bstrVal, SysStringLen(in.bstrVal)));
    }
    case VT_VECTOR | VT_LPWSTR: {
        std::vector<std::wstring> strings;
        for (ULONG i = 0; i < in.calpwstr.cElems; ++i) {
            if (in.calpwstr.pElems[i] != nullptr) strings.emplace_back(in.calpwstr.pElems[i]);
        }
        return property_value::make_strings(std::move(strings));
    }
    case VT_VECTOR | VT_R8:
        return property_value::make_doubles(std::vector<double>(in.cadbl.pElems, in.cadbl.pElems + in.cadbl.cElems));
    default: return property_value{};
    }
}


}  // namespace platform::win32
