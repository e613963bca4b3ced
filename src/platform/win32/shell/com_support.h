#pragma once
// COM helpers the Windows backends share: an owning interface pointer, an
// owning PROPVARIANT, and the conversions between PROPVARIANT and our typed
// property values.

#include "platform/property_store.h"

#include <windows.h>
#include <propidl.h>

namespace platform::win32 {

/// Owns one COM interface reference; Release on reset and destruction.
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


/// Fills `out` (already initialised) from a value, allocating strings with
/// CoTaskMemAlloc; E_OUTOFMEMORY when that fails. The caller clears it.
HRESULT to_propvariant(const property_store::property_value& value, PROPVARIANT& out);

/// The typed value of a PROPVARIANT; an empty value for types we do not use.
property_store::property_value from_propvariant(const PROPVARIANT& in);

}  // namespace platform::win32
