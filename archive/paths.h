// Path and name rules.
//
// Entry names follow the format's own rule: the extension runs from the last
// "." to the end, unless a "\" or ":" follows that "." ("/" does not bound it).
// Host paths on this platform are bounded by "/": the extension of a path and
// its file-name part never reach into a folder name.
//
// Whatever file is named as the archive (x.dir, x.img or x), the archive is
// the pair x.dir + x.img next to it.
#pragma once

#include <string>
#include <string_view>

namespace brimlet {

std::string entryExtension(const std::string& name);

std::string hostExtension(const std::string& path);
std::string hostFileName(const std::string& path);
std::string changeHostExtension(const std::string& path, const std::string& extension);

std::string directoryPathFor(const std::string& anyArchivePath);
std::string dataPathFor(const std::string& directoryPath);

// Archives copied from Windows often pair GTA3.IMG with gta3.dir, a pair on
// a case-blind file system. Returns `path` when it exists; else the file of
// its folder whose name matches it but for the case of ASCII letters; else
// `path` unchanged.
std::string existingWithAnyCase(const std::string& path);

// Lower-cases the ASCII letters A to Z only; every other byte stays.
std::string lowerAscii(std::string text);
bool equalsIgnoringCase(const std::string& a, const std::string& b);
// An empty search text is found nowhere.
bool containsIgnoringCase(const std::string& text, const std::string& search);
// The same without allocating, for a search text already lower-cased.
bool containsLowered(std::string_view text, std::string_view loweredSearch);

// True only for an existing file-system entry that is not a folder.
bool fileExists(const std::string& path);

}  // namespace brimlet
