// The C library's words for the errors the backends report in Win32 terms.

#include "platform/system_words.h"

#include "platform/text.h"
#include "platform/win32_error.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace platform::system_words {
namespace {

// The errno a Win32 error was translated from (the inverse of from_errno
// for the codes it produces), or 0.
int errno_of(std::uint32_t win32) {
    switch (win32) {
    case 2:
    case 3: return ENOENT;
    case 4: return EMFILE;
    case 5: return EACCES;
    case 6: return EBADF;
    case 8: return ENOMEM;
    case 17: return EXDEV;
    case 19: return EROFS;
    case 21: return ENODEV;
    case 32: return EBUSY;
    case 33: return ENOLCK;
    case 50: return ENOTSUP;
    case 87: return EINVAL;
    case 109: return EPIPE;
    case 112: return ENOSPC;
    case 145: return ENOTEMPTY;
    case 183: return EEXIST;
    case 206: return ENAMETOOLONG;
    case 223: return EFBIG;
    case 1113: return EILSEQ;
    case 1117: return EIO;
    case 1142: return EMLINK;
    case 1223: return ECANCELED;
    case 1295: return EDQUOT;
    case 1460: return ETIMEDOUT;
    case 1921: return ELOOP;
    default: return 0;
    }
}

std::wstring strerror_words(int error_number) {
    char buffer[256] = {};
    // The GNU form returns the text, which need not be in the buffer.
    const char* text = ::strerror_r(error_number, buffer, sizeof buffer);
    return platform::text::from_utf8(text == nullptr ? "" : text);
}

}  // namespace

std::wstring system_name() { return L"the system"; }

std::wstring words(std::int32_t hresult) {
    const auto code = static_cast<std::uint32_t>(hresult);
    // A file another process holds: the words of the system it stands in for.
    if (code == 0x80070020u || code == 0x80030020u) return L"The file is being used by another process";
    if (code == 0x80070021u) return L"Another process has locked a portion of the file";
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        if (const int error_number = errno_of(code & 0xFFFFu); error_number != 0) return strerror_words(error_number);
    }
    switch (code) {
    case 0x80004001u: return L"Not supported for this file type";
    case 0x80004005u: return L"Unspecified error";
    case 0x80030001u: return L"Unable to perform requested operation";
    case 0x80030002u: return strerror_words(ENOENT);
    case 0x80030005u:
    case 0x80030103u: return strerror_words(EACCES);  // STG_E_ACCESSDENIED, STG_E_CANTSAVE
    case 0x80030070u: return strerror_words(ENOSPC);  // STG_E_MEDIUMFULL
    case 0x80030109u: return L"The file's structure is damaged";
    case 0x88982F41u: return L"The property is not supported by this file type";
    case 0x88982F52u: return L"Too much metadata for this file type";
    case 0x88982F61u: return L"The file's metadata could not be read or written: the file may be damaged, or a "
                             L"value may be too large for its format";
    default: return {};
    }
}

bool codes_beside_words() { return false; }

std::wstring words_or_code(std::int32_t hresult) {
    std::wstring text = words(hresult);
    return text.empty() ? fmt::format(L"error 0x{:08X}", static_cast<std::uint32_t>(hresult)) : text;
}

std::uint32_t permission_refusal(const std::wstring& path) {
    if (::access(platform::text::to_utf8(path).c_str(), W_OK) == 0) return 0;
    if (errno != EACCES && errno != EPERM && errno != EROFS) return 0;
    return platform::win32_error::from_errno(errno);
}

}  // namespace platform::system_words
