// The bulk commands of an archive that write into it: create and import.
#include "archive.h"

#include "descriptor.h"
#include "errors.h"
#include "file.h"
#include "whole_file_writer.h"
#include "name_index.h"
#include "paths.h"
#include "sectors.h"
#include "placement.h"
#include "sys.h"
#include "version2.h"

#include <cerrno>
#include <map>
#include <set>

namespace brimlet {

// ---------------------------------------------------------------- create

namespace {

bool isEmptyFile(const std::string& path)
{
    sys::FileStatus st;
    return sys::stat(path.c_str(), &st) == 0 && S_ISREG(st.mode) && st.size == 0;
}

// Makes `path` as a new empty file, never replacing one: false when a file
// of that name appeared meanwhile (another create made it). A name taken by
// anything but a regular file (a folder, a link to nothing) is refused.
bool makeEmptyFile(const std::string& path, FileIdentity* made = nullptr)
{
    Descriptor fd(sys::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
    if (!fd.valid() && errno == EEXIST) {
        sys::FileStatus st;
        if (sys::stat(path.c_str(), &st) != 0 || !S_ISREG(st.mode))
            throw Failure("Cannot create file " + path + ": the name is taken by a folder, a link to nothing or "
                          "another thing that is not a file");
        return false;
    }
    sys::FileStatus st;
    if (!fd.valid() || (made && sys::fstat(fd.get(), &st) != 0) || fd.close() != 0)
        throw Failure("Cannot create file " + path);
    if (made) *made = {st.device, st.inode};
    return true;
}

// A power cut before the folder is flushed may lose either new name.
void flushNewNames(const std::string& file)
{
    if (!flushFolder(folderOf(file))) throw Failure("Cannot create file " + file);
}

}  // namespace

// Version 2: the one file, written whole and flushed with its name. A
// create cut short leaves it empty or its first bytes only: the same create
// again writes the rest.
std::string Archive::createVersion2(const std::string& path)
{
    ArchivePair pair = archivePairFor(path);
    if (fileExists(pair.directory)) throw Failure("The archive already exists: " + pair.directory);
    std::vector<uint8_t> bytes = emptyVersion2Archive();
    std::string data = fileExists(pair.data) ? pair.data : dataPathFor(directoryPathFor(asTheSystemReadsIt(path)));
    bool cutShort = fileExists(data);
    if (cutShort) {
        File made(data, File::Mode::ReadOnly);
        std::vector<uint8_t> start(static_cast<size_t>(std::min<uint64_t>(made.size(), bytes.size() + 1)));
        made.readExact(std::span<uint8_t>(start), 0);
        if (start.size() >= bytes.size() || !std::equal(start.begin(), start.end(), bytes.begin()))
            throw Failure("The archive already exists: " + data);
    } else if (!makeEmptyFile(data)) {
        throw Failure("The archive already exists: " + data);
    }
    File file(data, File::Mode::ReadWrite);
    file.writeExact(std::span<const char>(reinterpret_cast<const char*>(bytes.data()), bytes.size()), 0);
    file.sync();
    file.close();
    flushNewNames(data);
    return cutShort ? data : std::string();
}

std::string Archive::create(const std::string& path, Version version)
{
    // "", "mods/" or "." (an unset variable in a script) names no archive:
    // it would make hidden files such as .dir and .img, or ..dir and ..img.
    std::string name = hostFileName(directoryPathFor(asTheSystemReadsIt(path)));
    std::string base = name.substr(0, name.size() - std::string(".dir").size());
    if (base.find_first_not_of('.') == std::string::npos) raiseIoAt(io_code::kInvalidFilename, path);
    if (version == Version::Two) return createVersion2(path);
    ArchivePair pair = archivePairFor(path); // finds either file in any case of its name
    bool hasDirectory = fileExists(pair.directory), hasData = fileExists(pair.data);
    // Killed between its two files, a create leaves one empty file: the
    // same create again finishes the pair. Anything else there is refused.
    if (hasDirectory != hasData) {
        const std::string& present = hasDirectory ? pair.directory : pair.data;
        const std::string& missing = hasDirectory ? pair.data : pair.directory;
        if (!isEmptyFile(present))
            throw Failure("The archive already exists: " + present + " (its " +
                          (hasDirectory ? "data" : "directory") + " file " + missing + " is missing)");
        // Another create running at once may finish it first: whole either way.
        bool made = makeEmptyFile(missing);
        flushNewNames(missing);
        return made ? missing : std::string();
    }
    if (hasDirectory) throw Failure("The archive already exists: " + pair.directory);
    std::string directory = directoryPathFor(asTheSystemReadsIt(path)), data = dataPathFor(directory);
    FileIdentity ours;
    if (!makeEmptyFile(directory, &ours)) throw Failure("The archive already exists: " + directory);
    try {
        makeEmptyFile(data); // made meanwhile by a create that finished our pair: whole as well
    } catch (const Failure&) {
        // Nothing half-made stays; but a directory file that is no longer
        // the one made here is someone else's.
        sys::FileStatus now;
        if (sys::stat(directory.c_str(), &now) == 0 && FileIdentity{now.device, now.inode} == ours)
            sys::unlink(directory.c_str());
        throw;
    }
    flushNewNames(directory);
    if (folderOf(data) != folderOf(directory)) flushNewNames(data);
    return {};
}

// ---------------------------------------------------------------- import

namespace {

struct ImportItem {
    std::string source;
    std::string name;
    long replaces = -1; // the entry it replaces; -1: added
};

// Everything that can be refused without writing a byte.
std::vector<ImportItem> planImport(const Archive& archive, const std::vector<std::string>& sources)
{
    std::vector<ImportItem> plan;
    std::map<std::string, std::string> byName; // lower-cased entry name -> source
    NameIndex entries(archive.table());
    size_t added = 0;
    for (const auto& source : sources) {
        std::string name = entryNameFor(source);
        checkNameFits(name);
        auto [it, fresh] = byName.emplace(lowerAscii(name), source);
        if (!fresh)
            throw Failure("Two files would both become the entry \"" + name + "\": " + it->second + " and " + source);
        long replaces = entries.find(name);
        if (replaces < 0) ++added;
        plan.push_back({source, name, replaces});
    }
    if (archive.count() + added > EntryTable::kCapacity)
        throw Failure("The archive would hold " + std::to_string(archive.count() + added) +
                      " entries; it can hold 65536 at most");
    return plan;
}

}  // namespace

Archive::ImportCount Archive::importFiles(const std::vector<std::string>& sources, const Progress& progress)
{
    refuseWritingVersion2();
    std::vector<ImportItem> plan = planImport(*this, sources);
    auto held = lock();
    checkUnchanged();
    File data(dataPath_, File::Mode::ReadWrite);
    refuseUnlocked(data);
    AppendedBytes appended(data, &version2SaveStands_);
    EntryTable& next = draft();
    SpanReach reach(next);
    reach.setFloor(directoryFloor(next.count() + plan.size()));
    ImportCount count;
    uint64_t bytesTotal = 0;
    for (const ImportItem& item : plan) { // for the progress only: the sizes as they are now
        sys::FileStatus st;
        if (sys::stat(item.source.c_str(), &st) == 0) bytesTotal += st.size;
    }
    ProgressCount done(progress, plan.size(), bytesTotal);
    for (size_t k = 0; k < plan.size(); ++k) {
        File source(plan[k].source, File::Mode::ReadOnly);
        refuseArchiveFile(source, directoryPath_, data);
        uint64_t length = knownLength(source);
        if (plan[k].replaces >= 0) {
            appendPlacement(next[static_cast<size_t>(plan[k].replaces)], source, length, data, next, reach,
                            done.partial());
            ++count.replaced;
        } else {
            DirEntry entry;
            entry.setName(plan[k].name);
            appendPlacement(entry, source, length, data, next, reach, done.partial());
            next.append(entry);
            ++count.added;
        }
        source.close();
        done.entryDone(length);
    }
    makeRoomForDirectory(next, data);
    data.sync(); // the data before the directory that points at it
    commit({TableChange::Kind::Reset});
    keepAppended(appended);
    data.close();
    return count;
}

}  // namespace brimlet
