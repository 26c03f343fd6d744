// Entry names and text: Latin-1 names as host text and back, a name as a
// safe file name, and the comparisons that ignore the case of ASCII letters
// as the games do.
#pragma once

#include <string>
#include <string_view>

namespace brimlet {

// Entry names hold Latin-1 bytes, a byte a character, as the window shows
// them; host text (file names, arguments, what brimlet-cli prints) is UTF-8.
// entryNameFromHost: UTF-8 text of characters up to U+00FF as Latin-1; text
// that is not UTF-8 byte for byte (an old Latin-1 file name already); a
// character beyond U+00FF cannot be stored and raises Failure.
std::string entryNameFromHost(const std::string& text);
// An entry name's bytes as UTF-8 text.
std::string hostTextOfEntryName(std::string_view name);

// A name (host text) as a file name in a folder: "/", "\\" and control bytes
// become "_", and so do an empty name, "." and "..", which would not name a
// file of the folder. On Windows also the characters it forbids in names
// (":" would write into an alternate stream of another file), a trailing dot
// or space (Windows drops them), bytes that are not UTF-8 (Windows names
// are Unicode), and device names such as "CON" or "nul.txt", which get a
// "_" in front.
std::string safeFileName(const std::string& name);

// Lower-cases the ASCII letters A to Z only; every other byte stays.
char lowerAsciiByte(char c);
std::string lowerAscii(std::string text);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// Whether `text` contains `loweredSearch` (already lower-cased), ignoring the
// case of ASCII letters. An empty search text is found nowhere.
bool containsLowered(std::string_view text, std::string_view loweredSearch);

}  // namespace brimlet
