#include "names.h"

#include "errors.h"
#include "paths.h"

#include <algorithm>

namespace brimlet {

namespace {

// The length of the well-formed UTF-8 sequence at `i`; 0 when there is none.
size_t utf8SequenceAt(const std::string& text, size_t i)
{
    auto byte = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    unsigned lead = byte(i);
    if (lead < 0x80) return 1;
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4) return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
    unsigned second = byte(i + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || // overlong; surrogates
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))   // overlong; past U+10FFFF
        return 0;
    return length;
}

#ifdef _WIN32
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9 and LPT0-9 (and COM and LPT
// with a superscript 1, 2 or 3) name devices, whatever follows a dot.
bool isDeviceName(const std::string& name)
{
    std::string stem = lowerAscii(name.substr(0, name.find('.')));
    while (!stem.empty() && stem.back() == ' ') stem.pop_back();
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"})
        if (stem == device) return true;
    if (stem.size() < 4 || (stem.rfind("com", 0) != 0 && stem.rfind("lpt", 0) != 0)) return false;
    std::string number = stem.substr(3);
    return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\xC2\xB9" ||
           number == "\xC2\xB2" || number == "\xC2\xB3";
}

// Windows names are Unicode: a byte that is not part of UTF-8 (a Latin-1
// name from an old archive) cannot be one, and becomes "_".
void replaceNonUtf8(std::string& name)
{
    for (size_t i = 0; i < name.size();) {
        size_t length = utf8SequenceAt(name, i);
        if (length == 0) name[i++] = '_';
        else i += length;
    }
}
#endif

bool forbiddenInFileName(char c)
{
    auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || c == '/' || c == '\\') return true;
#ifdef _WIN32
    return std::string_view(":*?\"<>|").find(c) != std::string_view::npos;
#else
    return false;
#endif
}

}  // namespace

std::string entryNameFromHost(const std::string& text)
{
    std::string name;
    for (size_t i = 0; i < text.size();) {
        size_t length = utf8SequenceAt(text, i);
        if (length == 0) return text; // not UTF-8: an old name in Latin-1 already, taken as it is
        unsigned lead = static_cast<unsigned char>(text[i]);
        if (length == 1) name += text[i];
        else if (length == 2 && lead <= 0xC3)
            name += static_cast<char>(((lead & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F));
        else
            throw Failure("The name \"" + text + "\" has characters that an entry name cannot hold (only Latin-1 "
                          "characters)");
        i += length;
    }
    return name;
}

std::string hostTextOfEntryName(std::string_view name)
{
    std::string text;
    for (char c : name) {
        auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

std::string safeFileName(const std::string& name)
{
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    std::string safe = name;
    for (char& c : safe)
        if (forbiddenInFileName(c)) c = '_';
#ifdef _WIN32
    replaceNonUtf8(safe);
    if (safe.back() == '.' || safe.back() == ' ') safe.back() = '_';
    if (isDeviceName(safe)) safe = "_" + safe;
#endif
    return safe;
}

char lowerAsciiByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string text)
{
    for (char& c : text) c = lowerAsciiByte(c);
    return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lowerAsciiByte(a[i]) != lowerAsciiByte(b[i])) return false;
    return true;
}

bool containsLowered(std::string_view text, std::string_view loweredSearch)
{
    if (loweredSearch.empty() || loweredSearch.size() > text.size()) return false;
    for (size_t start = 0; start + loweredSearch.size() <= text.size(); ++start) {
        size_t i = 0;
        while (i < loweredSearch.size() && lowerAsciiByte(text[start + i]) == loweredSearch[i]) ++i;
        if (i == loweredSearch.size()) return true;
    }
    return false;
}

}  // namespace brimlet
