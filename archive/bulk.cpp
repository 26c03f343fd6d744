// The bulk commands of an archive: create, import and extract.
#include "archive.h"

#include "descriptor.h"
#include "errors.h"
#include "file.h"
#include "name_index.h"
#include "paths.h"
#include "sectors.h"
#include "placement.h"
#include "sys.h"

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

std::string Archive::create(const std::string& path)
{
    // "", "mods/" or "." (an unset variable in a script) names no archive:
    // it would make hidden files such as .dir and .img, or ..dir and ..img.
    std::string name = hostFileName(directoryPathFor(asTheSystemReadsIt(path)));
    std::string base = name.substr(0, name.size() - std::string(".dir").size());
    if (base.find_first_not_of('.') == std::string::npos) raiseIoAt(io_code::kInvalidFilename, path);
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
    std::vector<ImportItem> plan = planImport(*this, sources);
    auto held = lock();
    checkUnchanged();
    File data(dataPath_, File::Mode::ReadWrite);
    AppendedBytes appended(data);
    EntryTable& next = draft();
    SpanReach reach(next);
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
    data.sync(); // the data before the directory that points at it
    commit({TableChange::Kind::Reset});
    appended.keep();
    data.close();
    return count;
}

// ---------------------------------------------------------------- extract

namespace {

// An open folder.
class Folder {
public:
    explicit Folder(const std::string& path) : path_(path), fd_(sys::open(path.c_str(), O_RDONLY | O_DIRECTORY))
    {
        if (!fd_.valid()) throw Failure("Cannot create folder " + path);
    }
    int fd() const { return fd_.get(); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    Descriptor fd_;
};

// Creates `path` and the folders above it that are missing.
void makeFolders(const std::string& path)
{
    for (size_t slash = path.find_first_of(kPathSeparators, 1);; slash = path.find_first_of(kPathSeparators, slash + 1)) {
        std::string part = path.substr(0, slash);
        bool drive = splitPath(part).name.empty(); // "C:" or "C:\\" is no folder to make
        if (!part.empty() && !drive && sys::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            throw Failure("Cannot create folder " + path);
        if (slash == std::string::npos) return;
    }
}

// Whether something has the name `path` (a link to nothing too).
bool nameTaken(const std::string& path)
{
    sys::FileStatus st;
    return sys::stat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// Writes `length` bytes of `data` from `offset` as `name` in the folder, as a
// new file renamed over whatever had that name (a file, or a link, which is
// replaced and not followed). Not flushed, but where it replaces a file: the
// caller flushes once.
void writeInFolder(const Folder& folder, const std::string& name, const File& data, uint64_t offset,
                   uint64_t length, const ByteProgress& progress)
{
    std::string temp = temporaryFileName();
    std::string target = joinPath(folder.path(), name);
    Descriptor fd(sys::openAt(folder.fd(), ".", O_TMPFILE | O_WRONLY, 0666));
    bool named = !fd.valid();
    if (named) fd.reset(sys::openAt(folder.fd(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666));
    if (!fd.valid()) throw Failure("Cannot create file " + target);
    try {
        copyBetween(data, offset, fd.get(), target, 0, length, WriteFailure::StreamWriteError, progress);
        if (!sys::kSyncsWholeFileSystem && sys::fsync(fd.get()) != 0) raiseStreamWriteError(target);
        // An unnamed file takes the entry's name at once where none is
        // there yet, so that no moment leaves a temporary name behind.
        if (!named && sys::linkOpenFileAt(fd.get(), folder.fd(), name.c_str()) == 0) {
            if (fd.close() != 0) raiseStreamWriteError(target);
            return;
        }
        if (!named && (errno != EEXIST || sys::linkOpenFileAt(fd.get(), folder.fd(), temp.c_str()) != 0))
            throw Failure("Cannot create file " + target);
        bool replacing = !named || nameTaken(target); // unnamed, it came here for a name taken
        named = true;
        // The new bytes reach the disk before the rename drops the old file:
        // a power cut in between must not leave the name on an empty file.
        if (replacing && sys::kSyncsWholeFileSystem && sys::fsync(fd.get()) != 0) raiseStreamWriteError(target);
        if (sys::renameAt(folder.fd(), temp.c_str(), name.c_str()) != 0) throw Failure("Cannot create file " + target);
        named = false;
    } catch (...) {
        if (named) sys::unlink(joinPath(folder.path(), temp).c_str());
        throw;
    }
    if (fd.close() != 0) raiseStreamWriteError(target);
}

// Whether `path` is a file its owner made read-only (on Windows, the
// read-only attribute). Extract does not replace it, as export does not.
bool isReadOnlyFile(const std::string& path)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        raiseErrno(errno, path);
    }
    return S_ISREG(st.mode) && (st.mode & 0222) == 0;
}

std::string entryLabel(size_t i, const std::string& name)
{
    return "#" + std::to_string(i) + " \"" + hostTextOfEntryName(name) + "\"";
}

// `file` with "~<tag>" before its extension: "a_b.dff" -> "a_b~3.dff".
std::string withTag(const std::string& file, size_t tag)
{
    auto dot = file.find_last_of('.');
    if (dot == std::string::npos || dot == 0) dot = file.size();
    return file.substr(0, dot) + "~" + std::to_string(tag) + file.substr(dot);
}

// The file name for each entry of `order`; empty for a later entry whose
// name (ignoring case) comes again, which the games never load. Names that
// are file names already come first and keep their name; a name made safe
// (see safeFileName) never takes a name that another entry has or was
// given: it is tagged with its entry number instead.
std::vector<std::string> fileNamesFor(const EntryTable& table, const std::vector<size_t>& order)
{
    std::vector<std::string> files(order.size());
    // Keyed as the games compare names (ASCII letters in any case), and on
    // Windows as its file names compare (every letter in any case).
    auto key = [](const std::string& name) { return sys::fileNameKey(lowerAscii(name)); };
    std::set<std::string> seenNames, taken;
    std::vector<bool> duplicate(order.size());
    // Names are Latin-1; file names are written as UTF-8 (on Windows, as the
    // UTF-16 of that), and compared so, where "\xE9" and "\xC9" are one name.
    auto textOf = [&](size_t k) { return hostTextOfEntryName(table[order[k]].nameView()); };
    for (size_t k = 0; k < order.size(); ++k) duplicate[k] = !seenNames.insert(key(textOf(k))).second;
    for (size_t k = 0; k < order.size(); ++k) {
        std::string name = textOf(k);
        if (!duplicate[k] && safeFileName(name) == name) taken.insert(key(files[k] = name));
    }
    for (size_t k = 0; k < order.size(); ++k) {
        std::string name = textOf(k), safe = safeFileName(name);
        if (duplicate[k] || safe == name) continue;
        std::string file = safe;
        for (size_t extra = 0; taken.count(key(file)); ++extra)
            file = withTag(safe, order[k]) + (extra ? std::string(extra, '~') : "");
        taken.insert(key(files[k] = file));
    }
    return files;
}

}  // namespace

Archive::ExtractCount Archive::extractEntries(const std::string& folderPath, const std::vector<size_t>& which,
                                              const std::function<void(const std::string&)>& note,
                                              const Progress& progress)
{
    for (size_t i : which) checkIndex(i);
    auto held = lock();
    checkUnchanged();
    File data = openForReading(dataPath_);
    uint64_t dataSize = data.size();
    makeFolders(folderPath);
    Folder folder(folderPath);
    removeStaleTemporaries(folderPath); // of an extract into it that was killed
    std::vector<size_t> order = which;
    if (order.empty())
        for (size_t i = 0; i < table_.count(); ++i) order.push_back(i);
    std::vector<std::string> files = fileNamesFor(table_, order);
    uint64_t bytesTotal = 0;
    for (size_t i : order) bytesTotal += spanOf(table_[i]).length;
    ProgressCount done(progress, order.size(), bytesTotal);
    ExtractCount count;
    for (size_t k = 0; k < order.size(); ++k) {
        size_t i = order[k];
        std::string name = table_[i].name();
        Span span = spanOf(table_[i]);
        if (files[k].empty()) {
            note(entryLabel(i, name) + " skipped: an entry of that name was already written");
            ++count.skipped;
        } else if (!spanInside(span, dataSize)) {
            note(entryLabel(i, name) + " skipped: Read beyond end of file");
            ++count.skipped;
            ++count.unreadable;
        } else if (isArchiveFileAt(joinPath(folderPath, files[k]), directoryPath_, data)) {
            note(entryLabel(i, name) + " skipped: it would overwrite the archive's own directory or data file");
            ++count.skipped;
        } else if (isTemporaryFileName(files[k])) {
            note(entryLabel(i, name) + " skipped: " + files[k] + " is a name this program gives its temporary files");
            ++count.skipped;
        } else if (std::string clash = pairingClash(folderPath, files[k]); !clash.empty()) {
            note(entryLabel(i, name) + " skipped: beside " + clash +
                 " it would change which files make up an archive in the folder");
            ++count.skipped;
        } else if (isReadOnlyFile(joinPath(folderPath, files[k]))) {
            note(entryLabel(i, name) + " skipped: " + files[k] + " is read-only");
            ++count.skipped;
        } else {
            if (files[k] != hostTextOfEntryName(name)) note(entryLabel(i, name) + " written as \"" + files[k] + "\"");
            writeInFolder(folder, files[k], data, static_cast<uint64_t>(span.start), span.length, done.partial());
            ++count.written;
        }
        done.entryDone(span.length);
    }
    if (sys::syncfs(folder.fd()) != 0) raiseStreamWriteError(folderPath);
    data.close();
    return count;
}

}  // namespace brimlet
