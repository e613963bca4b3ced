#include "metadata/comment_storage.h"

#include <stdexcept>

namespace qlm::metadata {

namespace ps = platform::property_store;

bool load_comment(comment_document& document, const store_access& access) {
    metadata_handle handle(access);
    if (!handle.open_for_reading(document.path, ps::gps_default)) return false;
    document.text = handle.get_comment();
    document.loaded_text = document.text;
    document.dirty = false;
    document.loaded = true;
    handle.close();
    return true;
}

bool save_comment(comment_document& document, const store_access& access) {
    {
        metadata_handle handle(access);
        if (!handle.open_for_writing(document.path)) return false;
        // A BSTR carries its length, so line breaks and any character stay;
        // a null LPWSTR clears the property.
        const property_value value = document.text.empty() ? property_value::make_null_lpwstr()
                                                           : property_value::make_bstr(document.text);
        if (ps::failed(handle.set_value(ps::key_comment, value))) throw std::runtime_error("Failed to set comments");
        handle.commit();
        handle.close();
    }
    std::wstring read_back;
    {
        metadata_handle handle(access);
        if (!handle.open_for_reading(document.path, ps::gps_handler_properties_only)) return false;
        read_back = handle.get_comment();
        handle.close();
    }
    if (read_back != document.text) return false;
    document.dirty = false;
    document.loaded_text = document.text;
    document.loaded = true;
    return true;
}

}  // namespace qlm::metadata
