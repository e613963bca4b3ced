#include "platform/com_apartment.h"

#include <objbase.h>

namespace platform {

com_apartment::com_apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    initialised_ = SUCCEEDED(hr);
}

com_apartment::~com_apartment() {
    if (initialised_) CoUninitialize();
}

}  // namespace platform
