// Power cuts. A killed process keeps what it wrote (the kernel has it), but a
// power cut loses whatever was not yet flushed: a write or a size change not
// followed by an fsync of its file, a new name, a rename or an unlink not
// followed by an fsync of its folder. So no kill test can show a missing or
// misplaced flush.
//
// Here every writing command runs under a recorder of the store's system
// calls. A model of the disk follows them: what is durable, and what is
// still pending (a write over several 512-byte sectors may be torn: each
// sector's piece is pending on its own). At every moment of the command (after each call that
// changed something), each state a power cut could leave there (the durable
// state plus any subset of the pending changes, applied in their order) is
// written out as real files and read back: the archive must read as it was
// before or as it is after, every entry's bytes and names; once the command
// has returned, only as after. Then each flush of a command is left out in
// turn, or moved past the next rename, to show that the explorer catches it.
#include "archive/archive.h"
#include "archive/errors.h"
#include "archive/sys.h"
#include "archive/tests/test_support.h"

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>

using namespace brimlet;
using namespace brimlet::test;

namespace {

// ---------------------------------------------------------------- the disk model

// Names (full paths) and the bytes of each file, by an inode number of the model's.
struct Disk {
    std::map<std::string, int> names;
    std::set<std::string> folders;
    std::map<int, std::string> contents;
};

std::string folderOfPath(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

// One change not yet flushed.
struct Change {
    enum class Kind { Write, Resize, Link, Unlink, Rename, MakeFolder } kind;
    int inode = -1;          // Write, Resize, Link
    uint64_t offset = 0;     // Write: where; Resize: the new length
    std::string bytes;       // Write
    std::string path, to;    // Link, Unlink, MakeFolder: path; Rename: path -> to
    bool isData() const { return kind == Kind::Write || kind == Kind::Resize; }
    // The folder whose flush makes a change of names durable.
    std::string folder() const { return folderOfPath(kind == Kind::Rename ? to : path); }
};

// Applies `c` as the disk would; a change of names that cannot be made on
// this state (its source was lost) is left out, as it would be.
void apply(Disk& disk, const Change& c)
{
    switch (c.kind) {
    case Change::Kind::Write: {
        std::string& bytes = disk.contents[c.inode];
        if (bytes.size() < c.offset + c.bytes.size()) bytes.resize(c.offset + c.bytes.size(), '\0');
        bytes.replace(c.offset, c.bytes.size(), c.bytes);
        break;
    }
    case Change::Kind::Resize:
        disk.contents[c.inode].resize(c.offset, '\0');
        break;
    case Change::Kind::Link:
        disk.names[c.path] = c.inode;
        break;
    case Change::Kind::Unlink:
        disk.names.erase(c.path);
        break;
    case Change::Kind::Rename: {
        auto it = disk.names.find(c.path);
        if (it == disk.names.end()) break;
        int inode = it->second;
        disk.names.erase(it);
        disk.names[c.to] = inode;
        break;
    }
    case Change::Kind::MakeFolder:
        disk.folders.insert(c.path);
        break;
    }
}

// A moment of a command: the durable state and what is still pending.
struct Moment {
    Disk durable;
    std::vector<Change> pending;
};

// How the recorded flushes are taken, to show that the explorer catches a
// flush that the code left out or made too late.
struct FlushMutation {
    int forget = -1; // the n-th flush (from 1) is taken as never made
    int delay = -1;  // the n-th flush is made only after the next rename
};

class DiskModel : public sys::Recorder {
public:
    DiskModel(const std::string& root, FlushMutation mutation) : mutation_(mutation)
    {
        current_.folders.insert(root);
        for (const auto& e : std::filesystem::recursive_directory_iterator(fsPath(root))) {
            std::string path = utf8Path(e.path());
            if (e.is_directory()) {
                current_.folders.insert(path);
            } else if (e.is_regular_file()) {
                Bytes bytes = readFile(path);
                current_.names[path] = nextInode_;
                current_.contents[nextInode_++] = std::string(bytes.begin(), bytes.end());
            }
        }
        durable_ = current_;
        moments_.push_back({durable_, {}});
    }

    const std::vector<Moment>& moments() const { return moments_; }
    const Disk& current() const { return current_; }
    int flushes() const { return flushes_; }

    void opened(int fd, int folderFd, const char* path, int flags) override
    {
        std::string full = pathAt(folderFd, path);
        if ((flags & O_TMPFILE) == O_TMPFILE) {
            files_[fd] = newInode();
        } else if (current_.folders.count(full)) {
            folderFds_[fd] = full;
        } else if (auto it = current_.names.find(full); it != current_.names.end()) {
            files_[fd] = it->second;
        } else if ((flags & O_CREAT) && current_.folders.count(folderOfPath(full))) {
            int inode = newInode();
            files_[fd] = inode;
            change({Change::Kind::Link, inode, 0, {}, full, {}});
        }
    }
    // A write over several of the disk's 512-byte sectors may reach it in
    // part: each sector's piece is a change of its own.
    void wrote(int fd, const void* bytes, size_t count, uint64_t offset) override
    {
        auto it = files_.find(fd);
        if (it == files_.end()) return;
        std::vector<Change> pieces;
        for (size_t done = 0; done < count;) {
            size_t piece = std::min<size_t>(count - done, kDiskSector - (offset + done) % kDiskSector);
            pieces.push_back({Change::Kind::Write, it->second, offset + done,
                              std::string(static_cast<const char*>(bytes) + done, piece), {}, {}});
            done += piece;
        }
        change(pieces);
    }
    void resized(int fd, uint64_t length) override
    {
        if (auto it = files_.find(fd); it != files_.end()) change({Change::Kind::Resize, it->second, length, {}, {}, {}});
    }
    void renamed(int folderFd, const char* from, const char* to) override
    {
        std::string source = pathAt(folderFd, from);
        if (current_.names.count(source)) change({Change::Kind::Rename, -1, 0, {}, source, pathAt(folderFd, to)});
    }
    void linked(int fd, int folderFd, const char* name) override
    {
        if (auto it = files_.find(fd); it != files_.end())
            change({Change::Kind::Link, it->second, 0, {}, pathAt(folderFd, name), {}});
    }
    void unlinked(const char* path) override
    {
        if (current_.names.count(path)) change({Change::Kind::Unlink, -1, 0, {}, path, {}});
    }
    void madeFolder(const char* path) override
    {
        if (current_.folders.count(folderOfPath(path))) change({Change::Kind::MakeFolder, -1, 0, {}, path, {}});
    }
    void duplicated(int fd, int copy) override
    {
        if (files_.count(fd)) files_[copy] = files_[fd];
        if (folderFds_.count(fd)) folderFds_[copy] = folderFds_[fd];
    }
    void closed(int fd) override
    {
        files_.erase(fd);
        folderFds_.erase(fd);
    }
    void flushed(int fd) override
    {
        std::function<bool(const Change&)> covers;
        if (auto it = files_.find(fd); it != files_.end()) {
            int inode = it->second;
            covers = [inode](const Change& c) { return c.isData() && c.inode == inode; };
        } else if (auto f = folderFds_.find(fd); f != folderFds_.end()) {
            std::string folder = f->second;
            covers = [folder](const Change& c) { return !c.isData() && c.folder() == folder; };
        } else {
            return;
        }
        flush(covers);
    }
    void flushedEverything() override
    {
        flush([](const Change&) { return true; });
    }

private:
    std::string pathAt(int folderFd, const std::string& path) const
    {
        std::string full = folderFd == AT_FDCWD ? path : folderFds_.at(folderFd) + "/" + path;
        for (bool trimmed = true; trimmed;) {
            trimmed = false;
            if (full.size() > 2 && full.compare(full.size() - 2, 2, "/.") == 0) full.resize(full.size() - 2), trimmed = true;
            if (full.size() > 1 && full.back() == '/') full.pop_back(), trimmed = true;
        }
        return full;
    }
    int newInode()
    {
        current_.contents[nextInode_] = "";
        durable_.contents[nextInode_] = "";
        return nextInode_++;
    }
    static constexpr uint64_t kDiskSector = 512;

    void change(const std::vector<Change>& pieces)
    {
        for (const Change& c : pieces) {
            apply(current_, c);
            pending_.push_back(c);
        }
        moments_.push_back({durable_, pending_});
    }
    void change(const Change& c)
    {
        apply(current_, c);
        pending_.push_back(c);
        moments_.push_back({durable_, pending_});
        if (c.kind == Change::Kind::Rename && delayed_) {
            auto covers = std::move(*delayed_);
            delayed_.reset();
            makeDurable(covers);
            moments_.push_back({durable_, pending_});
        }
    }
    void flush(const std::function<bool(const Change&)>& covers)
    {
        ++flushes_;
        if (flushes_ == mutation_.forget) return;
        if (flushes_ == mutation_.delay) {
            delayed_ = covers;
            return;
        }
        makeDurable(covers);
        moments_.push_back({durable_, pending_});
    }
    void makeDurable(const std::function<bool(const Change&)>& covers)
    {
        std::vector<Change> left;
        for (const Change& c : pending_) {
            if (covers(c))
                apply(durable_, c);
            else
                left.push_back(c);
        }
        pending_ = std::move(left);
    }

    FlushMutation mutation_;
    Disk current_, durable_;
    std::vector<Change> pending_;
    std::vector<Moment> moments_;
    std::map<int, int> files_;
    std::map<int, std::string> folderFds_;
    std::optional<std::function<bool(const Change&)>> delayed_;
    int nextInode_ = 1;
    int flushes_ = 0;
};

// The subsets of `n` pending changes to try: all of them for a few; else
// every prefix, every set with one left out, and a sample.
std::vector<std::vector<bool>> subsetsOf(size_t n, std::mt19937& random)
{
    std::vector<std::vector<bool>> subsets;
    if (n <= 8) {
        for (unsigned mask = 0; mask < (1u << n); ++mask) {
            std::vector<bool> s(n);
            for (size_t k = 0; k < n; ++k) s[k] = (mask >> k) & 1;
            subsets.push_back(s);
        }
        return subsets;
    }
    for (size_t k = 0; k <= n; ++k) {
        std::vector<bool> prefix(n), allBut(n, true);
        for (size_t j = 0; j < k; ++j) prefix[j] = true;
        if (k < n) allBut[k] = false;
        subsets.push_back(prefix);
        subsets.push_back(allBut);
    }
    for (int sample = 0; sample < 256; ++sample) {
        std::vector<bool> s(n);
        for (size_t k = 0; k < n; ++k) s[k] = random() & 1;
        subsets.push_back(s);
    }
    return subsets;
}

Disk crashState(const Moment& moment, const std::vector<bool>& kept)
{
    Disk disk = moment.durable;
    for (size_t k = 0; k < moment.pending.size(); ++k)
        if (kept[k]) apply(disk, moment.pending[k]);
    return disk;
}

// The files under `root` that a state holds, by their path below it, with
// their bytes; a name in a folder the state lacks is not there.
std::map<std::string, std::string> filesUnder(const Disk& disk, const std::string& root)
{
    std::map<std::string, std::string> files;
    for (const auto& [path, inode] : disk.names) {
        if (path.rfind(root + "/", 0) != 0) continue;
        bool reachable = true;
        for (std::string folder = folderOfPath(path); folder.size() > root.size(); folder = folderOfPath(folder))
            reachable = reachable && disk.folders.count(folder);
        if (reachable) files[path.substr(root.size() + 1)] = disk.contents.at(inode);
    }
    return files;
}

// ---------------------------------------------------------------- what a user would find

// An archive as a user would find it: each entry's name and exported bytes,
// or why it could not be read.
// A version 2 archive is opened as the window opens it, which finishes a
// save that a cut left with its directory's copy at the end.
std::string archiveSeenAt(const std::string& dir, Archive::Version version)
{
    std::ostringstream seen;
    try {
        Archive archive;
        if (version == Archive::Version::One) archive.setReadAccess(Archive::ReadAccess::ReadOnly);
        archive.openimg(dir);
        for (size_t i = 0; i < archive.count(); ++i) {
            seen << archive.name(i) << ':';
            archive.exportEntry(i, seen);
            seen << '\n';
        }
    } catch (const Failure& f) {
        return std::string("unreadable: ") + f.what();
    }
    return seen.str();
}

void writeOut(const std::map<std::string, std::string>& files, const std::string& folder)
{
    for (const auto& e : std::filesystem::directory_iterator(fsPath(folder))) std::filesystem::remove_all(e.path());
    for (const auto& [name, bytes] : files) {
        std::filesystem::create_directories(fsPath(folderOfPath(folder + "/" + name)));
        writeFile(folder + "/" + name, Bytes(bytes.begin(), bytes.end()));
    }
}

// ---------------------------------------------------------------- the commands

enum class Seen { Archive, ExtractedFiles, NewPair };

struct Command {
    std::string name;
    std::function<void(const TempDir&)> setUp;
    std::function<void(Archive&, const TempDir&)> run;
    Seen seen = Seen::Archive;
};

using Version = Archive::Version;

// The archive the commands work on: "x.dir" and "x.img", or version 2's "x.img".
std::string archiveIn(const std::string& folder, Version version)
{
    return folder + (version == Version::One ? "/x.dir" : "/x.img");
}

// Ten entries of two sectors with a dead sector after each, so that a
// rebuild must stage its copies; and the files that go in. In version 2
// they follow the directory's sector.
std::function<void(const TempDir&)> tenEntries(Version version)
{
    return [version](const TempDir& t) {
        const char* names[] = {"a.dff", "b.txd", "c.col", "d.ifp", "e.dff", "f.txd", "g.col", "h.ifp", "i.dff", "j.txd"};
        if (version == Version::One) {
            std::vector<DirEntry> entries;
            for (int i = 0; i < 10; ++i) entries.push_back(makeEntry(3 * i, 2, names[i]));
            makeArchive(t / "x", entries, pattern(30 * 2048, 5));
        } else {
            std::vector<Version2Entry> entries;
            for (uint32_t i = 0; i < 10; ++i) entries.push_back({1 + 3 * i, 2, 0, names[i]});
            writeFile(t / "x.img", version2File(entries, pattern(30 * 2048, 5), 1));
        }
        writeFile(t / "small.dff", pattern(100, 8));
        writeFile(t / "big.dff", pattern(5000, 9));
        writeFile(t / "b.txd", pattern(700, 3));
    };
}

// Sixty-two entries of one sector, whose version 2 directory (8 + 62 x 32
// bytes) just fits its first sector: two more grow it over the first
// entry's, which moves to the end first.
std::function<void(const TempDir&)> aFullFirstSector(Version version)
{
    return [version](const TempDir& t) {
        std::vector<DirEntry> entries;
        std::vector<Version2Entry> entries2;
        for (uint32_t i = 0; i < 62; ++i) {
            std::string name = "e" + std::to_string(i) + ".col";
            entries.push_back(makeEntry(static_cast<int32_t>(i), 1, name));
            entries2.push_back({1 + i, 1, 0, name});
        }
        if (version == Version::One) makeArchive(t / "x", entries, pattern(62 * 2048, 5));
        else writeFile(t / "x.img", version2File(entries2, pattern(62 * 2048, 5), 1));
        writeFile(t / "m1.col", pattern(50, 1));
        writeFile(t / "m2.col", pattern(3000, 2));
    };
}

std::vector<Command> commands(Version version)
{
    auto tenEntries = ::tenEntries(version);
    std::vector<Command> all = {
        {"add", tenEntries, [](Archive& a, const TempDir& t) { a.addEntry(t / "big.dff"); }},
        {"add several", tenEntries,
         [](Archive& a, const TempDir& t) { a.addEntries({t / "big.dff", t / "small.dff", t / "b.txd"}); }},
        {"replace in place", tenEntries, [](Archive& a, const TempDir& t) { a.replaceEntry(2, t / "small.dff"); }},
        {"replace moved", tenEntries, [](Archive& a, const TempDir& t) { a.replaceEntry(1, t / "big.dff"); }},
        {"delete", tenEntries, [](Archive& a, const TempDir&) { a.deleteEntry(0); }},
        {"rename", tenEntries, [](Archive& a, const TempDir&) { a.renameEntry(1, "renamed.txd"); }},
        {"import", tenEntries, [](Archive& a, const TempDir& t) { a.importFiles({t / "b.txd", t / "big.dff", t / "small.dff"}); }},
        {"rebuild", tenEntries, [](Archive& a, const TempDir&) { a.rebuild(); }},
        {"rebuild straight to the front",
         [](const TempDir& t) {
             makeArchive(t / "x", {makeEntry(4, 2, "a.dff"), makeEntry(6, 1, "b.txd")}, pattern(7 * 2048, 9));
         },
         [](Archive& a, const TempDir&) { a.rebuild(); }},
        {"extract into a new folder", tenEntries,
         [](Archive& a, const TempDir& t) { a.extractEntries(t / "out", {}, [](const std::string&) {}); },
         Seen::ExtractedFiles},
        {"extract over older copies",
         [tenEntries](const TempDir& t) {
             tenEntries(t);
             makeFolder(t / "out");
             writeFile(t / "out/a.dff", pattern(300, 1));
             writeFile(t / "out/c.col", pattern(9000, 2));
             writeFile(t / "out/j.txd", pattern(4096, 4));
         },
         [](Archive& a, const TempDir& t) { a.extractEntries(t / "out", {}, [](const std::string&) {}); },
         Seen::ExtractedFiles},
        {"create", [](const TempDir&) {}, [version](Archive&, const TempDir& t) { Archive::create(t / "y.img", version); },
         Seen::NewPair},
        {"add growing the directory", aFullFirstSector(version),
         [](Archive& a, const TempDir& t) { a.addEntries({t / "m1.col", t / "m2.col"}); }},
        {"replace moved in a long directory", aFullFirstSector(version),
         [](Archive& a, const TempDir& t) { a.replaceEntry(0, t / "m2.col"); }},
        {"delete in a long directory", aFullFirstSector(version), [](Archive& a, const TempDir&) { a.deleteEntry(0); }},
    };
    if (version == Version::Two) // its set-up is a pair's
        std::erase_if(all, [](const Command& c) { return c.name == "rebuild straight to the front"; });
    return all;
}

// What a user finds in the files of `root`, for the kind of command.
std::string seenIn(Seen seen, const std::map<std::string, std::string>& files, const std::string& folder,
                   Version version)
{
    std::string text;
    if (seen == Seen::Archive) {
        writeOut(files, folder);
        return archiveSeenAt(archiveIn(folder, version), version);
    }
    for (const auto& [name, bytes] : files) {
        bool wanted = seen == Seen::NewPair ? name.rfind("y.", 0) == 0 : name.rfind("out/", 0) == 0;
        if (wanted) text += name + ":" + bytes + "\n";
    }
    return text;
}

// Extracted files: each one the user had is there with its old bytes or
// with the entry's; a new one may be missing or partial until the command
// returns. A new pair may be missing or half made until then.
bool acceptableMidway(Seen seen, const std::string& now, const std::string& before, const std::string& after,
                      const std::map<std::string, std::string>& files, const std::map<std::string, std::string>& old,
                      const std::map<std::string, std::string>& made)
{
    if (seen == Seen::Archive) return now == before || now == after;
    if (seen == Seen::NewPair) return true;
    for (const auto& [name, bytes] : old) {
        if (name.rfind("out/", 0) != 0) continue;
        auto it = files.find(name);
        if (it == files.end() || (it->second != bytes && it->second != made.at(name))) return false;
    }
    return true;
}

struct Exploration {
    long states = 0;     // crash states read back
    long moments = 0;
    std::vector<std::string> faults; // the first few states that were neither before nor after
};

Exploration explore(const Command& command, Version version, FlushMutation mutation = {})
{
    TempDir t, scratch;
    command.setUp(t);
    auto realFiles = [&] {
        DiskModel now(t.path(), {});
        return filesUnder(now.current(), t.path());
    };
    std::map<std::string, std::string> oldFiles = realFiles();
    std::string before = seenIn(command.seen, oldFiles, scratch.path(), version);
    Archive archive;
    if (command.seen != Seen::NewPair) archive.openimg(archiveIn(t.path(), version));
    DiskModel model(t.path(), mutation);
    sys::setRecorder(&model);
    try {
        command.run(archive, t);
    } catch (...) {
        sys::setRecorder(nullptr);
        throw;
    }
    sys::setRecorder(nullptr);
    std::map<std::string, std::string> newFiles = realFiles();
    std::string after = seenIn(command.seen, newFiles, scratch.path(), version);
    // The model followed every change: it holds what the disk holds.
    EXPECT_EQ(filesUnder(model.current(), t.path()), newFiles) << command.name;

    Exploration result;
    std::mt19937 random(7);
    std::set<std::map<std::string, std::string>> seenStates;
    const auto& moments = model.moments();
    for (size_t m = 0; m < moments.size(); ++m) {
        bool returned = m + 1 == moments.size();
        ++result.moments;
        for (const auto& kept : subsetsOf(moments[m].pending.size(), random)) {
            auto files = filesUnder(crashState(moments[m], kept), t.path());
            if (!returned && !seenStates.insert(files).second) continue;
            ++result.states;
            std::string now = seenIn(command.seen, files, scratch.path(), version);
            bool good = returned ? now == after
                                 : acceptableMidway(command.seen, now, before, after, files, oldFiles, newFiles);
            if (!good && result.faults.size() < 3)
                result.faults.push_back("moment " + std::to_string(m) + (returned ? " (returned)" : "") + ": " +
                                        now.substr(0, 200));
        }
    }
    return result;
}

}  // namespace

class PowerCut : public ::testing::TestWithParam<Version> {};

TEST_P(PowerCut, EveryWritingCommandLeavesTheArchiveBeforeOrAfter)
{
    long states = 0;
    for (const Command& command : commands(GetParam())) {
        SCOPED_TRACE(command.name);
        Exploration e = explore(command, GetParam());
        EXPECT_GT(e.moments, 2);
        for (const std::string& fault : e.faults) ADD_FAILURE() << fault;
        std::cout << "[ power   ] " << command.name << ": " << e.states << " crash states at " << e.moments
                  << " moments\n";
        states += e.states;
    }
    EXPECT_GT(states, 1000);
}

TEST_P(PowerCut, AFlushLeftOutOrMadeTooLateIsCaught)
{
    // Every flush of these commands is needed: leaving out any one of them,
    // or making it only after the next rename, must show. (A version 2
    // directory's copy is needed where a torn write could mix two
    // directories: one longer than a 512-byte disk sector, whose records
    // move, as a delete or a grown directory moves them.)
    std::vector<std::string> names = {"extract over older copies", "create", "add growing the directory",
                                      "delete in a long directory"};
    if (GetParam() == Version::One) names.insert(names.end(), {"add", "replace moved"});
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        Command command;
        for (const Command& c : commands(GetParam()))
            if (c.name == name) command = c;
        TempDir probe;
        int flushes = 0;
        {
            // How many flushes the command makes.
            command.setUp(probe);
            Archive archive;
            if (command.seen != Seen::NewPair) archive.openimg(archiveIn(probe.path(), GetParam()));
            DiskModel counter(probe.path(), {});
            sys::setRecorder(&counter);
            command.run(archive, probe);
            sys::setRecorder(nullptr);
            flushes = counter.flushes();
        }
        ASSERT_GT(flushes, 0);
        for (int k = 1; k <= flushes; ++k) {
            EXPECT_FALSE(explore(command, GetParam(), {k, -1}).faults.empty())
                << "flush " << k << " of " << flushes << " left out";
            if (k < flushes) {
                EXPECT_FALSE(explore(command, GetParam(), {-1, k}).faults.empty()) << "flush " << k << " made too late";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothVersions, PowerCut, ::testing::Values(Version::One, Version::Two),
                         [](const ::testing::TestParamInfo<Version>& param) {
                             return param.param == Version::One ? "Version1" : "Version2";
                         });
