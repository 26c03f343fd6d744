// Extract: entries written as files into a folder, each under a name of
// its own (see fileNamesFor), never over the archive's own files, another
// archive's pairing, a read-only file or a temporary name of ours; each file
// whole or not at all, and flushed before the command reports success.
#include "archive.h"

#include "descriptor.h"
#include "errors.h"
#include "file.h"
#include "temporary_files.h"
#include "paths.h"
#include "placement.h"
#include "sectors.h"
#include "sys.h"

#include <cerrno>
#include <map>
#include <optional>
#include <set>

namespace brimlet {

namespace {

// An open folder.
class Folder {
public:
    explicit Folder(const std::string& path) : path_(path), fd_(sys::open(path.c_str(), O_RDONLY | sys::kOpenFolder))
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
    Descriptor fd(sys::openAt(folder.fd(), ".", sys::kOpenUnnamed | O_WRONLY, 0666));
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

// `which`, or every entry when it is empty.
std::vector<size_t> entriesOrAll(const std::vector<size_t>& which, size_t count)
{
    if (!which.empty()) return which;
    std::vector<size_t> all(count);
    for (size_t i = 0; i < count; ++i) all[i] = i;
    return all;
}

// `file` with "~<tag>" before its extension: "a_b.dff" -> "a_b~3.dff".
std::string withTag(const std::string& file, size_t tag)
{
    auto dot = file.find_last_of('.');
    if (dot == std::string::npos || dot == 0) dot = file.size();
    return file.substr(0, dot) + "~" + std::to_string(tag) + file.substr(dot);
}

// The file name of every entry, in directory order, and for each the first
// entry of its name (ignoring case): only that one has a name of its own,
// since the games never load a later one. Names that are file names
// already come first and keep their name; a name made safe (see
// safeFileName) never takes a name that another entry has or was given: it
// is tagged with its entry number instead.
struct TableFileNames {
    std::vector<std::string> files; // "" for a later entry of a name
    std::vector<size_t> firstOf;
};

TableFileNames fileNamesOfAll(const EntryTable& table)
{
    size_t count = table.count();
    TableFileNames names{std::vector<std::string>(count), std::vector<size_t>(count)};
    // Keyed as the games compare names (ASCII letters in any case), and on
    // Windows as its file names compare (every letter in any case).
    auto key = [](const std::string& name) { return sys::fileNameKey(lowerAscii(name)); };
    std::map<std::string, size_t> firsts;
    std::set<std::string> taken;
    // Names are Latin-1; file names are written as UTF-8 (on Windows, as the
    // UTF-16 of that), and compared so, where "\xE9" and "\xC9" are one name.
    auto textOf = [&](size_t i) { return hostTextOfEntryName(table[i].nameView()); };
    for (size_t i = 0; i < count; ++i) names.firstOf[i] = firsts.emplace(key(textOf(i)), i).first->second;
    for (size_t i = 0; i < count; ++i) {
        std::string name = textOf(i);
        if (names.firstOf[i] == i && safeFileName(name) == name) taken.insert(key(names.files[i] = name));
    }
    for (size_t i = 0; i < count; ++i) {
        std::string name = textOf(i), safe = safeFileName(name);
        if (names.firstOf[i] != i || safe == name) continue;
        std::string file = safe;
        for (size_t extra = 0; taken.count(key(file)); ++extra)
            file = withTag(safe, i) + (extra ? std::string(extra, '~') : "");
        taken.insert(key(names.files[i] = file));
    }
    return names;
}

// The file name for each entry of `order`, as the whole table names it, so
// that an entry's file is the same whichever others are extracted with it.
// Of the entries of one name, the first in `order` takes the name; the
// others get "", and are skipped.
std::vector<std::string> fileNamesFor(const EntryTable& table, const std::vector<size_t>& order)
{
    TableFileNames all = fileNamesOfAll(table);
    std::set<size_t> named; // the first entries of names already given
    std::vector<std::string> files(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
        size_t first = all.firstOf[order[k]];
        if (named.insert(first).second) files[k] = all.files[first];
    }
    return files;
}

struct Skipped {
    std::string reason;
    bool unreadable = false; // the entry's bytes cannot be read
};

// Why an entry is not written as `file` (empty for a later entry of a name
// already written), or nothing when it is written.
std::optional<Skipped> whySkipped(const std::string& file, const Span& span, uint64_t dataSize,
                                  const std::string& folder, const std::string& directoryPath, const File& data)
{
    std::string path = joinPath(folder, file);
    if (file.empty()) return Skipped{"an entry of that name was already written"};
    if (!spanInside(span, dataSize)) return Skipped{"Read beyond end of file", true};
    if (isArchiveFileAt(path, directoryPath, data))
        return Skipped{"it would overwrite the archive's own directory or data file"};
    if (isTemporaryFileName(file)) return Skipped{file + " is a name this program gives its temporary files"};
    if (std::string clash = pairingClash(folder, file); !clash.empty())
        return Skipped{"beside " + clash + " it would change which files make up an archive in the folder"};
    if (isReadOnlyFile(path)) return Skipped{file + " is read-only"};
    return std::nullopt;
}

}  // namespace

std::vector<std::string> Archive::extractFileNames(const std::vector<size_t>& which) const
{
    for (size_t i : which) checkIndex(i);
    return fileNamesFor(table_, entriesOrAll(which, table_.count()));
}

Archive::ExtractCount Archive::extractEntries(const std::string& folderPath, const std::vector<size_t>& which,
                                              const std::function<void(const std::string&)>& note,
                                              const Progress& progress)
{
    for (size_t i : which) checkIndex(i);
    auto held = lock();
    checkUnchanged();
    File data = openForReading(dataPath_);
    refuseUnlocked(data);
    uint64_t dataSize = data.size();
    makeFolders(folderPath);
    Folder folder(folderPath);
    removeStaleTemporaries(folderPath); // of an extract into it that was killed
    std::vector<size_t> order = entriesOrAll(which, table_.count());
    std::vector<std::string> files = fileNamesFor(table_, order);
    uint64_t bytesTotal = 0;
    for (size_t i : order) bytesTotal += spanOf(table_[i]).length;
    ProgressCount done(progress, order.size(), bytesTotal);
    ExtractCount count;
    for (size_t k = 0; k < order.size(); ++k) {
        size_t i = order[k];
        std::string name = table_[i].name();
        Span span = spanOf(table_[i]);
        if (auto skipped = whySkipped(files[k], span, dataSize, folderPath, directoryPath_, data)) {
            note(entryLabel(i, name) + " skipped: " + skipped->reason);
            ++count.skipped;
            if (skipped->unreadable) ++count.unreadable;
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
