#include "temporary_files.h"

#include "paths.h"
#include "sys.h"

#include <atomic>
#include <cstdlib>

namespace brimlet {

namespace {

// Named temporary files have exactly this form:
// ".brimlet-<host>-<pid>-<n>.tmp", where <host> is 16 hex digits of a hash
// of this machine's identity. Clean-up removes only files of this host
// whose process is gone: another machine's on a shared folder, or a file
// that merely has such a name, is never touched.
const char* const kTemporaryPrefix = ".brimlet-";
const char* const kTemporarySuffix = ".tmp";

const std::string& hostTag()
{
    static const std::string tag = [] {
        uint64_t hash = 14695981039346656037ull; // FNV-1a
        for (unsigned char c : sys::hostIdentity()) hash = (hash ^ c) * 1099511628211ull;
        static const char digits[] = "0123456789abcdef";
        std::string hex;
        for (int shift = 60; shift >= 0; shift -= 4) hex += digits[(hash >> shift) & 0xF];
        return hex;
    }();
    return tag;
}

}  // namespace

std::string temporaryFileName()
{
    static std::atomic<unsigned> counter{0};
    return kTemporaryPrefix + hostTag() + "-" + std::to_string(sys::processId()) + "-" + std::to_string(counter++) +
           kTemporarySuffix;
}

bool isTemporaryFileName(const std::string& name)
{
    std::string lowered = lowerAscii(name);
    return lowered.rfind(kTemporaryPrefix, 0) == 0 && lowered.size() >= 13 &&
           lowered.compare(lowered.size() - 4, 4, kTemporarySuffix) == 0;
}

namespace {

// Digits as std::to_string writes them: no sign, no leading zero.
bool allDigits(const std::string& text)
{
    return !text.empty() && text.size() < 12 && text.find_first_not_of("0123456789") == std::string::npos &&
           (text.size() == 1 || text[0] != '0');
}

// The process id in a name of exactly our temporary form, made on this
// host; 0 for any other name.
long temporaryOwner(const std::string& name)
{
    std::string prefix = kTemporaryPrefix + hostTag() + "-", suffix = kTemporarySuffix;
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
        return 0;
    std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    auto dash = middle.find('-');
    if (dash == std::string::npos || !allDigits(middle.substr(0, dash)) || !allDigits(middle.substr(dash + 1)))
        return 0;
    return std::atol(middle.c_str());
}

}  // namespace

std::string processTag() { return hostTag() + "-" + std::to_string(sys::processId()); }

bool isStaleProcessTag(const std::string& tag)
{
    std::string prefix = hostTag() + "-";
    if (sys::hostIdentity().empty() || tag.rfind(prefix, 0) != 0 || !allDigits(tag.substr(prefix.size()))) return false;
    long pid = std::atol(tag.c_str() + prefix.size());
    return pid > 0 && pid != sys::processId() && !sys::processExists(pid);
}

void removeStaleTemporaries(const std::string& folder)
{
    static const bool provable = !sys::hostIdentity().empty();
    if (!provable) return; // nothing could prove a file ours
    for (const std::string& name : sys::listFolder(folder.c_str())) {
        long pid = temporaryOwner(name);
        if (pid > 0 && pid != sys::processId() && !sys::processExists(pid)) sys::unlink(joinPath(folder, name).c_str());
    }
}

}  // namespace brimlet
