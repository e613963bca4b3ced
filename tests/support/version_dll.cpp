#include "support/version_dll.h"

#include "support/outside_tools.h"
#include "support/temp_folder.h"

#include <fmt/format.h>

namespace qlm::testing {

bool make_resource_dll(const std::string& script, const std::wstring& path) {
    const temp_folder work;
    const std::wstring source = work.write(L"resources.rc", script);
    const std::wstring object = work / L"resources.o";
    // The host's cpp preprocesses, so that the binutils alone are enough.
    int status = -1;
    run_tool("x86_64-w64-mingw32-windres --preprocessor=cpp -O coff " + shell_quote(source) + " -o " +
                 shell_quote(object),
             &status);
    if (status != 0) return false;
    run_tool("x86_64-w64-mingw32-ld -shared -e 0 -o " + shell_quote(path) + " " + shell_quote(object), &status);
    return status == 0;
}

bool make_version_dll(const std::wstring& path, int major, int minor, int patch) {
    return make_resource_dll(fmt::format(R"(1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION {0},{1},{2},9
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "ProductVersion", "{0}.{1}.{2}"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x409, 1200
  END
END
)",
                                                                      major, minor, patch),
                             path);
}

}  // namespace qlm::testing
