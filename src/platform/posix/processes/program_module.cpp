// Linux: dlopen of a shared object in the executable's folder.

#include "platform/program_module.h"

#include "platform/file_system.h"
#include "platform/text.h"

#include <string_view>

#include <dlfcn.h>

namespace platform::program_module {
namespace {

std::wstring loader_error() {
    const char* reason = ::dlerror();
    return reason == nullptr ? std::wstring(L"unknown loader error") : text::from_utf8(std::string_view(reason));
}

}  // namespace

entry_point load(const std::wstring& file_name, const char* symbol, std::wstring& error) {
    const std::filesystem::path folder = file_system::to_native(file_system::module_path()).parent_path();
    if (folder.empty()) {
        // A bare name would send dlopen to the library search path.
        error = L"the folder of the running program is unknown";
        return nullptr;
    }
    // Lazy binding, as the dynamic loader starts a program; RTLD_LOCAL keeps
    // the module's symbols to itself.
    void* module = ::dlopen((folder / file_system::to_native(file_name)).c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
        error = loader_error();
        return nullptr;
    }
    void* entry = ::dlsym(module, symbol);
    if (entry == nullptr) {
        error = loader_error();
        return nullptr;
    }
    return reinterpret_cast<entry_point>(entry);
}

}  // namespace platform::program_module
