// Property stores through the Windows property system: the shell's handler
// store and the NTFS property-set storage.

#include "platform/property_store.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <propidl.h>
#include <propsys.h>
#include <shobjidl.h>

#include "platform/win32/shell/com_support.h"

#include <cstring>

namespace platform::property_store {
namespace {

using win32::com_ptr;
using win32::prop_variant;
using win32::from_propvariant;
using win32::to_propvariant;

PROPERTYKEY to_native(const property_key& key) {
    PROPERTYKEY out{};
    out.fmtid.Data1 = key.fmtid.data1;
    out.fmtid.Data2 = key.fmtid.data2;
    out.fmtid.Data3 = key.fmtid.data3;
    std::memcpy(out.fmtid.Data4, key.fmtid.data4.data(), 8);
    out.pid = key.pid;
    return out;
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

std::wstring handler_sidecar(const std::wstring&) { return {}; }

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
