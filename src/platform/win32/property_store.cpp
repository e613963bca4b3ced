// Property stores through the Windows property system: the shell's handler
// store and the NTFS property-set storage.

#include "platform/property_store.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include <cstring>

namespace platform::property_store {
namespace {

template <typename T>
class com_ptr {
public:
    com_ptr() = default;
    ~com_ptr() { reset(); }
    com_ptr(const com_ptr&) = delete;
    com_ptr& operator=(const com_ptr&) = delete;
    void reset() {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }
    T* get() const { return pointer_; }
    T* operator->() const { return pointer_; }
    T** put() {
        reset();
        return &pointer_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* release() {
        T* out = pointer_;
        pointer_ = nullptr;
        return out;
    }

private:
    T* pointer_ = nullptr;
};

class prop_variant {
public:
    prop_variant() { PropVariantInit(&value_); }
    ~prop_variant() { PropVariantClear(&value_); }
    prop_variant(const prop_variant&) = delete;
    prop_variant& operator=(const prop_variant&) = delete;
    PROPVARIANT* get() { return &value_; }
    const PROPVARIANT& operator*() const { return value_; }

private:
    PROPVARIANT value_;
};

PROPERTYKEY to_native(const property_key& key) {
    PROPERTYKEY out{};
    out.fmtid.Data1 = key.fmtid.data1;
    out.fmtid.Data2 = key.fmtid.data2;
    out.fmtid.Data3 = key.fmtid.data3;
    std::memcpy(out.fmtid.Data4, key.fmtid.data4.data(), 8);
    out.pid = key.pid;
    return out;
}

wchar_t* co_task_copy(const std::wstring& text) {
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) std::memcpy(copy, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return copy;
}

// Fills `out` (already initialised) from a value; the caller clears it.
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

class windows_store final : public store {
public:
    explicit windows_store(IPropertyStore* native_store) : store_(native_store) {}
    ~windows_store() override { store_->Release(); }
    windows_store(const windows_store&) = delete;
    windows_store& operator=(const windows_store&) = delete;

    hresult get_value(const property_key& key, property_value& value) override {
        value = property_value{};
        const PROPERTYKEY native = to_native(key);
        prop_variant raw;
        const HRESULT result = store_->GetValue(native, raw.get());
        if (SUCCEEDED(result)) value = from_propvariant(*raw);
        return result;
    }

    hresult set_value(const property_key& key, const property_value& value) override {
        const PROPERTYKEY native = to_native(key);
        prop_variant raw;
        const HRESULT built = to_propvariant(value, *raw.get());
        if (FAILED(built)) return built;
        return store_->SetValue(native, *raw);
    }

    hresult commit() override { return store_->Commit(); }

private:
    IPropertyStore* store_;
};

}  // namespace

hresult open_handler_store(const std::wstring& path, std::uint32_t flags, std::unique_ptr<store>& out) {
    out.reset();
    com_ptr<IPropertyStore> opened;
    const HRESULT result = SHGetPropertyStoreFromParsingName(path.c_str(), nullptr,
                                                             static_cast<GETPROPERTYSTOREFLAGS>(flags),
                                                             IID_IPropertyStore, opened.put_void());
    if (FAILED(result)) return result;
    out = std::make_unique<windows_store>(opened.release());
    return S_OK;
}

hresult open_property_set(const std::wstring& path, bool writable, std::unique_ptr<store>& out) {
    out.reset();
    com_ptr<IPropertySetStorage> storage;
    const DWORD mode = writable ? (STGM_READWRITE | STGM_SHARE_EXCLUSIVE) : (STGM_READ | STGM_SHARE_DENY_WRITE);
    HRESULT result = StgOpenStorageEx(path.c_str(), mode, STGFMT_FILE, 0, nullptr, nullptr, IID_IPropertySetStorage,
                                      storage.put_void());
    if (FAILED(result)) return result;
    com_ptr<IPropertyStore> opened;
    result = PSCreatePropertyStoreFromPropertySetStorage(storage.get(), writable ? STGM_READWRITE : STGM_READ,
                                                         IID_IPropertyStore, opened.put_void());
    if (FAILED(result)) return result;
    out = std::make_unique<windows_store>(opened.release());
    return S_OK;
}

std::wstring message_text(hresult code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length > 0 && buffer != nullptr ? std::wstring(buffer, length) : L"Unknown error";
    if (buffer != nullptr) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ')) text.pop_back();
    return text;
}

}  // namespace platform::property_store
