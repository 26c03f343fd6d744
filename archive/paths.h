// Host paths: their folder, file-name and extension parts, and which two
// files make up the archive a path names. The rules for entry names and
// text are in names.h.
//
// Entry names follow the format's own rule: the extension runs from the last
// "." to the end, unless a "\" or ":" follows that "." ("/" does not bound it).
// Host paths are bounded by "/" (on Windows by "\\" as well, and a leading
// "C:" names a drive): the extension of a path and its file-name part never
// reach into a folder name.
//
// Whatever file is named as the archive (x.dir, x.img or x), the archive is
// the pair x.dir + x.img next to it.
#pragma once

#include "names.h"

#include <string>
#include <string_view>

namespace brimlet {

std::string entryExtension(const std::string& name);

#ifdef _WIN32
inline constexpr const char* kPathSeparators = "/\\";
#else
inline constexpr const char* kPathSeparators = "/";
#endif

// A host path at its last separator: the text before it (the folder as
// written; "" when there is none, "/" for a file at the root, "C:\\" or "C:"
// on Windows) and the file-name part.
struct PathParts {
    std::string folder;
    std::string name;
};
PathParts splitPath(const std::string& path);
// The folder to open or list for `path`: "." when the path names none.
std::string folderOf(const std::string& path);
// The path of `name` in `folder` as splitPath gave it, joined with the
// separator the folder already uses ("/" when it has none).
std::string joinPath(const std::string& folder, const std::string& name);

std::string hostExtension(const std::string& path);
std::string hostFileName(const std::string& path);
std::string changeHostExtension(const std::string& path, const std::string& extension);

std::string directoryPathFor(const std::string& anyArchivePath);
std::string dataPathFor(const std::string& directoryPath);

// The two files of the archive named by `path` (its ".dir", its ".img" or its
// base name). Archives copied from Windows often pair GTA3.IMG with gta3.dir,
// a pair on a case-blind file system, so each file is looked for in turn as:
//   1. the file the user named, when it is that half of the pair;
//   2. the same base name with the extension in exactly that case;
//   3. the same base name with the extension in any case;
//   4. a name equal but for the case of ASCII letters.
// Steps 3 and 4 take a file only when it is the only candidate; several are
// refused with a message naming them. Step 4 passes over a file that has a
// partner of its own when the user named the other half. When nothing is
// found, the path of step 2 is returned (and opening it will say the file is
// missing). The data file is looked for beside the directory file that was
// found. Names are compared as their folder spells them: on a case-blind file
// system a name of step 2 that opens a file spelled otherwise is not taken
// for that step. On Windows, names are taken as asTheSystemReadsIt gives them.
struct ArchivePair {
    std::string directory;
    std::string data;
};
ArchivePair archivePairFor(const std::string& path);

// A new file `name` in `folder` must not change how an archive there pairs: returns the name already there that it would pair
// with (the same base name, the other of ".dir" and ".img", in any case) or
// stand beside as a case twin (gta3.img beside GTA3.IMG, which on Windows
// is that very file); "" when there is none. Only ".dir" and ".img" names
// pair; a file of exactly that name is not a twin.
// The folder is listed only for such a name.
std::string pairingClash(const std::string& folder, const std::string& name);

// `path` as the system will read it: on Windows without the dots and spaces
// that end its last name, which Windows drops; unchanged elsewhere.
std::string asTheSystemReadsIt(const std::string& path);

// The name an added or imported file is stored under: its file name as the
// system reads it ("c.col." on Windows is the file c.col, and so the entry),
// in Latin-1.
std::string entryNameFor(const std::string& sourcePath);

// True only for an existing file-system entry that is not a folder.
bool fileExists(const std::string& path);

}  // namespace brimlet
