#include "paths.h"

#include "errors.h"
#include "sys.h"

#include <algorithm>
#include <functional>
#include <vector>

namespace brimlet {

namespace {

// The extension starts at the last "." unless one of `bounds` follows it.
std::string::size_type extensionStart(const std::string& text, const char* bounds)
{
    auto dot = text.find_last_of('.');
    if (dot == std::string::npos) return std::string::npos;
    if (text.find_first_of(bounds, dot) != std::string::npos) return std::string::npos;
    return dot;
}

}  // namespace

std::string entryExtension(const std::string& name)
{
    auto dot = extensionStart(name, "\\:");
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string hostExtension(const std::string& path)
{
    auto dot = extensionStart(path, kPathSeparators);
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

namespace {

// The length of a leading drive ("C:"), 0 when there is none.
size_t driveLength(const std::string& path)
{
#ifdef _WIN32
    auto letter = static_cast<unsigned char>(path.empty() ? 0 : path[0]);
    if (path.size() >= 2 && path[1] == ':' && ((letter | 0x20) >= 'a' && (letter | 0x20) <= 'z')) return 2;
#else
    (void)path;
#endif
    return 0;
}

}  // namespace

PathParts splitPath(const std::string& path)
{
    size_t drive = driveLength(path);
    auto slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos || slash < drive) return {path.substr(0, drive), path.substr(drive)};
    if (slash == drive) return {path.substr(0, drive + 1), path.substr(slash + 1)}; // at the root
    return {path.substr(0, slash), path.substr(slash + 1)};
}

std::string folderOf(const std::string& path)
{
    std::string folder = splitPath(path).folder;
    return folder.empty() ? "." : folder;
}

std::string joinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty()) return name;
    char last = folder.back();
    bool ended = std::string_view(kPathSeparators).find(last) != std::string_view::npos ||
                 (last == ':' && driveLength(folder) == folder.size());
    if (ended) return folder + name;
    // The separator the folder is written with ("/" works everywhere).
    auto separator = folder.find_last_of(kPathSeparators);
    return folder + (separator == std::string::npos ? '/' : folder[separator]) + name;
}

std::string hostFileName(const std::string& path) { return splitPath(path).name; }

std::string changeHostExtension(const std::string& path, const std::string& extension)
{
    auto dot = extensionStart(path, kPathSeparators);
    return (dot == std::string::npos ? path : path.substr(0, dot)) + extension;
}

std::string directoryPathFor(const std::string& anyArchivePath) { return changeHostExtension(anyArchivePath, ".dir"); }

std::string dataPathFor(const std::string& directoryPath) { return changeHostExtension(directoryPath, ".img"); }

bool fileExists(const std::string& path)
{
    sys::FileStatus st;
    return !path.empty() && sys::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.mode);
}

}  // namespace brimlet


namespace brimlet {

namespace {

// The only file of `names` that passes `matches`; several are refused.
std::string onlyCandidate(const std::vector<std::string>& names, const std::string& folder, const char* role,
                          const std::function<bool(const std::string&)>& matches)
{
    std::vector<std::string> found;
    for (const std::string& name : names)
        if (matches(name) && fileExists(joinPath(folder, name))) found.push_back(joinPath(folder, name));
    if (found.size() > 1) {
        std::string list;
        for (const auto& f : found) list += (list.empty() ? "" : ", ") + f;
        throw Failure(std::string("More than one file could be this archive's ") + role + " (" + list +
                      "); rename all but one");
    }
    return found.empty() ? std::string() : found[0];
}

// `path` with its last name as its folder spells it. On a case-blind file
// system "g0.dir" opens G0.DIR, and the pair is made by the real spelling:
// beside G0.DIR, "G0.img" could open an unrelated g0.img.
std::string asSpelledOnDisk(const std::string& path)
{
    std::string real = sys::nameOnDisk(path);
    auto [folder, name] = splitPath(path);
    return real.empty() || real == name ? path : joinPath(folder, real);
}

// The other half of the pair for `path` (the file the user named, or a base
// name), whose extension becomes `extension`.
std::string partnerOf(const std::string& path, const std::string& extension, const char* role)
{
    std::string exact = changeHostExtension(path, extension);
    bool reachable = fileExists(exact);
    if (reachable && asSpelledOnDisk(exact) == exact) return exact;
    // References, not a structured binding: the lambdas below capture them.
    PathParts parts = splitPath(exact);
    const std::string &folder = parts.folder, &name = parts.name;
    std::string base = name.substr(0, name.size() - extension.size());
    auto names = sys::listFolder(folderOf(exact).c_str());
    auto sameBase = [&](const std::string& candidate, const std::string& wantedBase, const std::string& ext) {
        return candidate.size() == wantedBase.size() + ext.size() && candidate.compare(0, wantedBase.size(), wantedBase) == 0 &&
               equalsIgnoringCase(candidate.substr(wantedBase.size()), ext);
    };
    std::string found = onlyCandidate(names, folder, role, [&](const std::string& c) { return sameBase(c, base, extension); });
    if (!found.empty()) return found;
    // When the user named one half, a file of another base name is another
    // archive's if its own partner (its exact base name, the other extension)
    // is there. A base name alone fixes no half, and any pair found is whole.
    std::string complement = equalsIgnoringCase(extension, ".dir") ? ".img" : ".dir";
    std::string own = hostFileName(path);
    bool namedHalf = fileExists(path);
    auto hasOwnPartner = [&](const std::string& candidate) {
        std::string candidateBase = candidate.substr(0, candidate.size() - extension.size());
        for (const std::string& other : names)
            if (other != own && sameBase(other, candidateBase, complement)) return true;
        return false;
    };
    found = onlyCandidate(names, folder, role, [&](const std::string& c) {
        return equalsIgnoringCase(c, name) && !(namedHalf && hasOwnPartner(c));
    });
    if (!found.empty()) return found;
    // Nothing of ours: opening the exact name on a case-blind file system
    // would reach the other archive's file that was just passed over.
    if (reachable) raiseIoAt(io_code::kFileNotFound, exact);
    return exact;
}

bool namesHalf(const std::string& path, const char* extension)
{
    return equalsIgnoringCase(hostExtension(path), extension) && fileExists(path);
}

}  // namespace

std::string pairingClash(const std::string& folder, const std::string& name)
{
    std::string extension = hostExtension(name);
    bool directory = equalsIgnoringCase(extension, ".dir");
    if (!directory && !equalsIgnoringCase(extension, ".img")) return {};
    std::string_view base(name.data(), name.size() - extension.size());
    const char* partner = directory ? ".img" : ".dir";
    std::string partnerFound;
    for (const std::string& other : sys::listFolder(folder.c_str())) {
        if (other == name) continue;
        // A twin first: on Windows it is the very file that would be overwritten.
        if (equalsIgnoringCase(other, name) || sys::fileNameKey(other) == sys::fileNameKey(name)) return other;
        if (partnerFound.empty() && other.size() == name.size() &&
            equalsIgnoringCase(std::string_view(other).substr(0, base.size()), base) &&
            equalsIgnoringCase(std::string_view(other).substr(base.size()), partner))
            partnerFound = other;
    }
    return partnerFound;
}

std::string asTheSystemReadsIt(const std::string& path)
{
#ifdef _WIN32
    // Windows drops the dots and spaces that end a name ("gta3.img." is gta3.img).
    auto [folder, name] = splitPath(path);
    if (name == "." || name == "..") return path;
    size_t end = name.find_last_not_of(". ");
    if (end == std::string::npos || end + 1 == name.size()) return path;
    return joinPath(folder, name.substr(0, end + 1));
#else
    return path;
#endif
}

std::string entryNameFor(const std::string& sourcePath)
{
#ifdef _WIN32
    // Windows reads "." and ".." in a path by their text alone: "c.col\."
    // and "c.col\x\.." are the file c.col.
    std::vector<std::string> names;
    std::string rest = sourcePath.substr(driveLength(sourcePath));
    for (size_t start = 0; start <= rest.size();) {
        size_t end = std::min(rest.find_first_of(kPathSeparators, start), rest.size());
        std::string name = rest.substr(start, end - start);
        if (name == ".." && !names.empty()) names.pop_back();
        else if (!name.empty() && name != "." && name != "..") names.push_back(name);
        start = end + 1;
    }
    return entryNameFromHost(names.empty() ? std::string() : asTheSystemReadsIt(names.back()));
#else
    return entryNameFromHost(hostFileName(sourcePath));
#endif
}

ArchivePair archivePairFor(const std::string& typedPath)
{
    std::string path = asSpelledOnDisk(asTheSystemReadsIt(typedPath));
    ArchivePair pair;
    pair.directory = namesHalf(path, ".dir") ? path : partnerOf(path, ".dir", "directory file");
    pair.data = namesHalf(path, ".img") ? path : partnerOf(pair.directory, ".img", "data file");
    return pair;
}

}  // namespace brimlet
