#include "paths.h"

#include "sys.h"

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
    auto dot = extensionStart(path, "/");
    return dot == std::string::npos ? std::string() : path.substr(dot);
}

std::string hostFileName(const std::string& path)
{
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string changeHostExtension(const std::string& path, const std::string& extension)
{
    auto dot = extensionStart(path, "/");
    return (dot == std::string::npos ? path : path.substr(0, dot)) + extension;
}

std::string directoryPathFor(const std::string& anyArchivePath) { return changeHostExtension(anyArchivePath, ".dir"); }

std::string dataPathFor(const std::string& directoryPath) { return changeHostExtension(directoryPath, ".img"); }

std::string lowerAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && lowerAscii(a) == lowerAscii(b);
}

bool containsIgnoringCase(const std::string& text, const std::string& search)
{
    return containsLowered(text, lowerAscii(search));
}

namespace {
char lowerByte(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool containsLowered(std::string_view text, std::string_view loweredSearch)
{
    if (loweredSearch.empty() || loweredSearch.size() > text.size()) return false;
    for (size_t start = 0; start + loweredSearch.size() <= text.size(); ++start) {
        size_t i = 0;
        while (i < loweredSearch.size() && lowerByte(text[start + i]) == loweredSearch[i]) ++i;
        if (i == loweredSearch.size()) return true;
    }
    return false;
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return !path.empty() && sys::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

}  // namespace brimlet

namespace brimlet {

std::string existingWithAnyCase(const std::string& path)
{
    if (fileExists(path)) return path;
    auto slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const std::string& candidate : sys::listFolder(folder.c_str()))
        if (equalsIgnoringCase(candidate, name)) return slash == std::string::npos ? candidate : folder + candidate;
    return path;
}

}  // namespace brimlet
