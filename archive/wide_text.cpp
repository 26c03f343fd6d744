#include "wide_text.h"

#include <windows.h>

namespace brimlet {

std::optional<std::wstring> wideFromUtf8(std::string_view utf8)
{
    if (utf8.empty()) return std::wstring();
    int size = static_cast<int>(utf8.size());
    int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) return std::nullopt;
    std::wstring out(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, out.data(), length);
    return out;
}

std::string utf8FromWide(std::wstring_view wide)
{
    if (wide.empty()) return {};
    int size = static_cast<int>(wide.size());
    int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(length > 0 ? length : 0), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, out.data(), length, nullptr, nullptr);
    return out;
}

}  // namespace brimlet
