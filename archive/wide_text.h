// UTF-8 and the UTF-16 of the Windows API, both ways; Windows only. Every
// text the programs keep is UTF-8 (file names, messages); the W calls take
// and give UTF-16.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace brimlet {

// Nothing for bytes that are not UTF-8.
std::optional<std::wstring> wideFromUtf8(std::string_view utf8);
// Lone surrogates become U+FFFD.
std::string utf8FromWide(std::wstring_view wide);

}  // namespace brimlet
