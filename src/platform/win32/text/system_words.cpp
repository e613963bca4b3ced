// FormatMessageW's words for failure codes.

#include "platform/system_words.h"

#include "platform/property_store.h"

#include <fmt/format.h>
#include <fmt/xchar.h>

namespace platform::system_words {

std::wstring system_name() { return L"Windows"; }

std::wstring words(std::int32_t hresult) {
    std::wstring text = platform::property_store::message_text(hresult);
    if (text == L"Unknown error") return {};
    while (!text.empty() && text.back() == L'.') text.pop_back();
    return text;
}

bool codes_beside_words() { return true; }

std::wstring words_or_code(std::int32_t hresult) {
    std::wstring text = words(hresult);
    return text.empty() ? fmt::format(L"error 0x{:08X}", static_cast<std::uint32_t>(hresult)) : text;
}

std::uint32_t permission_refusal(const std::wstring&) { return 0; }

}  // namespace platform::system_words
