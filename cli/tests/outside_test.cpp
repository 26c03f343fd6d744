// The archive store attacked from outside, as a hostile or careless user
// would: real symbolic links, other users and permissions, a full tmpfs,
// FIFOs and devices, file-size limits, two processes at once, and archives
// that other tools wrote. Each test builds the situation for real, runs the
// real brimlet-cli and checks every entry's bytes afterwards.
#include "archive/archive.h"
#include "archive/errors.h"
#include "archive/file.h"
#include "archive/temporary_files.h"
#include "archive/tests/test_support.h"
#include "cli_runner.h"

#include <atomic>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <thread>
#include <unistd.h>

using namespace brimlet;
using namespace brimlet::test;

namespace {

ino_t inodeOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

struct stat statOf(const std::string& path)
{
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st;
}

// Every entry as `list` shows it and as `export` writes it.
std::vector<std::pair<std::string, Bytes>> entriesOf(const std::string& dir)
{
    Archive archive;
    archive.openimg(dir);
    TempDir out;
    std::vector<std::pair<std::string, Bytes>> entries;
    for (size_t i = 0; i < archive.count(); ++i) {
        archive.exportEntry(i, out / "e");
        entries.emplace_back(archive.name(i), readFile(out / "e"));
    }
    return entries;
}

Bytes head(const Bytes& bytes, size_t n) { return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(n)); }

// A small tmpfs of its own, unmounted when the test ends; `mounted` is false
// where this process may not mount one.
class SmallTmpfs {
public:
    explicit SmallTmpfs(const std::string& options)
    {
        std::filesystem::create_directories(folder_.path());
        mounted = ::mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallTmpfs()
    {
        if (mounted) ::umount2(folder_.path().c_str(), MNT_DETACH);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    std::string operator/(const std::string& name) const { return folder_ / name; }

    bool mounted = false;

private:
    TempDir folder_;
};

// A folder others may enter, for commands run as another user.
void openToOthers(const std::string& folder) { ::chmod(folder.c_str(), 0755); }

// Runs `adds` adds of distinct files through `path`, one process after another.
pid_t startAdder(const std::string& path, const std::string& sources, const std::string& tag, int adds,
                 uid_t user = 0)
{
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    bool allGood = true;
    for (int i = 0; i < adds; ++i)
        allGood &= runCli({"add", path, sources + "/" + tag + std::to_string(i) + ".dff"}, BRIMLET_CLI_PATH,
                          {{}, user, -1, ""}).exitCode == 0;
    ::_exit(allGood ? 0 : 1);
}

void writeSources(const std::string& folder, const std::string& tag, int count)
{
    for (int i = 0; i < count; ++i)
        writeFile(folder + "/" + tag + std::to_string(i) + ".dff",
                  pattern(100000 + static_cast<size_t>(i) * 37, static_cast<uint8_t>(tag[0] + i)));
}

// Each added entry holds its own file's bytes, and none is missing.
void expectAllAdded(const std::string& dir, const std::string& sources, const std::vector<std::string>& tags,
                    int each)
{
    auto entries = entriesOf(dir);
    ASSERT_EQ(entries.size(), tags.size() * static_cast<size_t>(each));
    for (const auto& [name, bytes] : entries) {
        Bytes file = readFile(sources + "/" + name);
        EXPECT_EQ(head(bytes, file.size()), file) << name;
    }
}

}  // namespace

// ---------------------------------------------------------------- the lock

TEST(Outside, TwoWritersThroughLinkedFoldersLoseNothing)
{
    TempDir t;
    std::filesystem::create_directories(t / "R");
    std::filesystem::create_directories(t / "L");
    std::filesystem::create_directories(t / "src");
    makeArchive(t / "R/a", {}, {});
    ::symlink("../R/a.dir", (t / "L/a.dir").c_str());
    ::symlink("../R/a.img", (t / "L/a.img").c_str());
    const int each = 30;
    writeSources(t / "src", "l", each);
    writeSources(t / "src", "r", each);
    pid_t left = startAdder(t / "L/a.dir", t / "src", "l", each);
    pid_t right = startAdder(t / "R/a.dir", t / "src", "r", each);
    EXPECT_EQ(waitCli(left), 0);
    EXPECT_EQ(waitCli(right), 0);
    expectAllAdded(t / "R/a.dir", t / "src", {"l", "r"}, each);
}

TEST(Outside, TwoWritersInAFolderTheyCannotListLoseNothing)
{
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to run the writers as another user";
    TempDir t;
    openToOthers(t.path());
    std::filesystem::create_directories(t / "src");
    openToOthers(t / "src");
    std::string folder = t / "box";
    std::filesystem::create_directories(folder);
    makeArchive(folder + "/a", {}, {});
    for (auto& e : std::filesystem::directory_iterator(folder)) ::chown(e.path().c_str(), kNobody, kNobody);
    ::chmod(folder.c_str(), 0733); // root's; to others, files writable and the folder not readable
    const int each = 40;
    writeSources(t / "src", "p", each);
    writeSources(t / "src", "q", each);
    pid_t p = startAdder(folder + "/a.dir", t / "src", "p", each, kNobody);
    pid_t q = startAdder(folder + "/a.dir", t / "src", "q", each, kNobody);
    EXPECT_EQ(waitCli(p), 0);
    EXPECT_EQ(waitCli(q), 0);
    expectAllAdded(folder + "/a.dir", t / "src", {"p", "q"}, each);
}

TEST(Outside, TwoArchivesInOneFolderDoNotWaitForEachOther)
{
    TempDir t;
    makeArchive(t / "a", {makeEntry(0, 1, "x.dff")}, pattern(2048));
    makeArchive(t / "b", {makeEntry(0, 1, "y.dff")}, pattern(2048));
    writeFile(t / "new.dff", {1, 2, 3});
    Archive a;
    a.openimg(t / "a.dir", Archive::LockScope::UntilClosed); // held for as long as `a` lives
    RunOptions bounded;
    bounded.timeLimitSeconds = 10;
    EXPECT_EQ(runCli({"add", t / "b.dir", t / "new.dff"}, BRIMLET_CLI_PATH, bounded).exitCode, 0);
    EXPECT_EQ(runCli({"list", t / "a.dir"}, BRIMLET_CLI_PATH, {{}, 0, -1, "", 1.5}).exitCode, kHung);
}

TEST(Outside, AWriterHeldUpByAnotherProgramSaysSoOrGivesUp)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "x.dff")}, pattern(2048));
    // flock(1) takes the same kind of lock as the store, on the data file.
    pid_t holder = startCli({t / "a.img", "sh", "-c", "echo held >&2; exec sleep 2"}, "/usr/bin/flock",
                            errorsInto(t / "held"));
    ASSERT_TRUE(waitForWord(t / "held", "held"));

    Archive window;
    window.setLockWait({300, {}});
    try {
        window.openimg(dir);
        ADD_FAILURE() << "opened while another program held the archive";
    } catch (const Failure& f) {
        EXPECT_EQ(std::string(f.what()), "Another program is using this archive; try again when it has finished");
    }
    EXPECT_FALSE(window.isOpen());

    Result waited = runCli({"list", dir});
    EXPECT_EQ(waited.exitCode, 0);
    EXPECT_EQ(waited.out, "0\t0\t1\tx.dff\n");
    EXPECT_EQ(waited.err, "brimlet-cli: waiting for another program to finish with " + dir + "\n");
    waitCli(holder);
}

// ---------------------------------------------------------------- saves

TEST(Outside, ALongArchiveNameIsStillSavedAtomically)
{
    TempDir t;
    std::string base = t / std::string(240, 'g');
    std::string dir = makeArchive(base, {makeEntry(0, 1, "a.dff")}, pattern(2048));
    ino_t before = inodeOf(dir);
    EXPECT_EQ(runCli({"rename", dir, "#0", "b.dff"}).exitCode, 0);
    EXPECT_NE(inodeOf(dir), before); // a new file renamed over the old one, not a rewrite
    EXPECT_EQ(entriesOf(dir)[0].first, "b.dff");
}

TEST(Outside, AFolderOutOfInodesRefusesTheSaveAndKeepsTheDirectory)
{
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to mount a small tmpfs";
    SmallTmpfs disk("size=4m,nr_inodes=8");
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
    std::string dir = makeArchive(disk / "a", {makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "b.dff")}, pattern(4096));
    for (int i = 0; ::close(::open((disk / ("fill" + std::to_string(i))).c_str(), O_CREAT | O_WRONLY, 0644)) == 0;)
        ++i;
    Bytes before = readFile(dir);
    Result r = runCli({"delete", dir, "#0"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "brimlet-cli: Cannot create file " + dir + "\n");
    EXPECT_EQ(readFile(dir), before);
}

TEST(Outside, RebuildRefusesUpFrontWithoutTheSpaceItNeeds)
{
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to mount a small tmpfs";
    SmallTmpfs disk("size=1m");
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
    // 300 KiB of dead space, then a 400 KiB entry: 700 KiB of a 1 MiB disk.
    std::string dir = makeArchive(disk / "a", {makeEntry(150, 200, "late.dff")}, pattern(350 * 2048));
    Bytes directoryBefore = readFile(dir), dataBefore = readFile(disk / "a.img");
    Result r = runCli({"rebuild", dir});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("brimlet-cli: Not enough free space to rebuild: it needs 409600 bytes and the disk has ", 0), 0u)
        << r.err;
    EXPECT_EQ(readFile(dir), directoryBefore);
    EXPECT_EQ(readFile(disk / "a.img"), dataBefore);

    // Live bytes only at the back, as a rebuild cut short leaves them: they
    // go straight to the front, with no room to spare.
    std::string back = makeArchive(disk / "a", {makeEntry(250, 100, "late.dff")}, pattern(350 * 2048));
    EXPECT_EQ(runCli({"rebuild", back}).out, "gave back 512000 bytes\n");
    Bytes all = pattern(350 * 2048);
    EXPECT_EQ(readFile(disk / "a.img"), Bytes(all.begin() + 250 * 2048, all.end()));
}

// The folder is root's and the files another user's, who runs the command:
// the directory can only be written in place.
class InPlaceFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!canSwitchUser()) GTEST_SKIP() << "needs root, to run the command as another user";
        openToOthers(t.path());
    }
    void giveAway()
    {
        for (auto& e : std::filesystem::directory_iterator(t.path())) ::chown(e.path().c_str(), kNobody, kNobody);
    }
    RunOptions asNobody(long fileSizeLimit = -1) const { return {{}, kNobody, fileSizeLimit, ""}; }
    TempDir t;
};

TEST_F(InPlaceFolder, ASaveThatCannotMakeAFileWritesInPlaceWithoutCuttingFirst)
{
    std::vector<DirEntry> entries;
    for (int i = 0; i < 40000; ++i) entries.push_back(makeEntry(i % 4, 1, "e" + std::to_string(i) + ".dff"));
    std::string dir = makeArchive(t / "big", entries, pattern(4 * 2048));
    giveAway();
    ino_t inode = inodeOf(dir);
    EXPECT_EQ(runCli({"rename", dir, "#1", "renamed.dff"}, BRIMLET_CLI_PATH, asNobody()).exitCode, 0);
    EXPECT_EQ(inodeOf(dir), inode);
    EXPECT_EQ(readFile(dir).size(), 40000u * 32);

    // A delete moves every later entry down; stopped by the file-size limit
    // half-way, the write is taken back: the directory is as it was.
    Bytes before = readFile(dir);
    Result r = runCli({"delete", dir, "#0"}, BRIMLET_CLI_PATH, asNobody(500 * 1024));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "brimlet-cli: " + dir + ": Stream write error\n"); // the file it could not write
    EXPECT_EQ(readFile(dir), before);
    EXPECT_EQ(runCli({"delete", dir, "#0"}, BRIMLET_CLI_PATH, asNobody()).exitCode, 0);
    EXPECT_EQ(readFile(dir).size(), 39999u * 32);
    Archive after;
    after.openimg(dir);
    EXPECT_EQ(after.name(0), "renamed.dff");
}

TEST_F(InPlaceFolder, ASaveKeepsTheOwnerGroupAndMode)
{
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    // Saved by root: the file stays its owner's.
    ::chown(dir.c_str(), kNobody, kNobody);
    ::chmod(dir.c_str(), 0640);
    EXPECT_EQ(runCli({"rename", dir, "#0", "b.dff"}).exitCode, 0);
    EXPECT_EQ(statOf(dir).st_uid, kNobody);
    EXPECT_EQ(statOf(dir).st_gid, kNobody);
    EXPECT_EQ(statOf(dir).st_mode & 07777, 0640u);

    // Saved in a shared folder by a user who does not own the file.
    ::chmod(t.path().c_str(), 01777);
    ::chown(dir.c_str(), 1234, 1234);
    ::chmod(dir.c_str(), 0666);
    ::chmod((t / "a.img").c_str(), 0666);
    EXPECT_EQ(runCli({"rename", dir, "#0", "c.dff"}, BRIMLET_CLI_PATH, asNobody()).exitCode, 0);
    EXPECT_EQ(statOf(dir).st_uid, 1234u);
    EXPECT_EQ(statOf(dir).st_gid, 1234u);
    EXPECT_EQ(entriesOf(dir)[0].first, "c.dff");
}

TEST(Outside, ExtendedAttributesAndAclsSurviveASave)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    if (::setxattr(dir.c_str(), "user.note", "keep", 4, 0) != 0) GTEST_SKIP() << "no user attributes here";
    EXPECT_EQ(runCli({"rename", dir, "#0", "b.dff"}).exitCode, 0);
    char value[16] = {};
    EXPECT_EQ(::getxattr(dir.c_str(), "user.note", value, sizeof value), 4);
    EXPECT_EQ(std::string(value), "keep");
}

TEST(Outside, AHardLinkedDirectoryStaysOneFile)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    ::link(dir.c_str(), (t / "backup.dir").c_str());
    EXPECT_EQ(runCli({"rename", dir, "#0", "b.dff"}).exitCode, 0);
    EXPECT_EQ(readFile(t / "backup.dir"), readFile(dir));
}

TEST(Outside, ALinkedDirectoryAndItsOwnPathShareOneLock)
{
    // L/a.dir leads to R/a.dir, and L has no data file of its own: renames
    // through L and adds through R must still wait for each other.
    TempDir t;
    std::filesystem::create_directories(t / "R");
    std::filesystem::create_directories(t / "L");
    std::vector<DirEntry> entries;
    for (int i = 0; i < 30; ++i) entries.push_back(makeEntry(i, 1, "e" + std::to_string(i) + ".dff"));
    makeArchive(t / "R/a", entries, pattern(30 * 2048));
    ::symlink("../R/a.dir", (t / "L/a.dir").c_str());
    writeSources(t.path(), "s", 30);
    pid_t renamer = ::fork();
    if (renamer == 0) {
        bool good = true;
        for (int i = 0; i < 30; ++i)
            good &= runCli({"rename", t / "L/a.dir", "#" + std::to_string(i), "r" + std::to_string(i) + ".dff"}).exitCode == 0;
        ::_exit(good ? 0 : 1);
    }
    pid_t adder = startAdder(t / "R/a.dir", t.path(), "s", 30);
    EXPECT_EQ(waitCli(renamer), 0);
    EXPECT_EQ(waitCli(adder), 0);
    auto after = entriesOf(t / "R/a.dir");
    ASSERT_EQ(after.size(), 60u);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(after[static_cast<size_t>(i)].first, "r" + std::to_string(i) + ".dff");
}

// Takes, from a new process, the POSIX record lock that wine makes of
// brimlet-cli.exe's lock on the byte at 2^63 - 2 of the data file: a write
// lock, or a read lock where it could open the file only for reading.
// Returns its pid once it holds it, or -1 when it was refused.
pid_t lockAsWineDoes(const std::string& dataPath, bool forWriting = true)
{
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    pid_t child = ::fork();
    if (child == 0) {
        int fd = ::open(dataPath.c_str(), forWriting ? O_RDWR : O_RDONLY);
        struct flock record {};
        record.l_type = forWriting ? F_WRLCK : F_RDLCK;
        record.l_whence = SEEK_SET;
        record.l_start = 0x7FFFFFFFFFFFFFFE;
        record.l_len = 1;
        char held = ::fcntl(fd, F_SETLK, &record) == 0 ? 'y' : 'n';
        (void)!::write(ready[1], &held, 1);
        if (held == 'n') ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char held = 'n';
    (void)!::read(ready[0], &held, 1);
    ::close(ready[0]);
    if (held == 'y') return child;
    ::waitpid(child, nullptr, 0);
    return -1;
}

TEST(Outside, TheWindowsProgramUnderWineAndThisOneWaitForEachOther)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    writeFile(t / "b.dff", {2});
    pid_t wine = lockAsWineDoes(t / "a.img");
    ASSERT_GT(wine, 0);
    pid_t cli = startCli({"add", dir, t / "b.dff"}, BRIMLET_CLI_PATH, errorsInto(t / "err"));
    ASSERT_TRUE(waitForWord(t / "err", "waiting for another program"));
    EXPECT_TRUE(stillRunning(cli)); // waiting for the lock
    EXPECT_EQ(readFile(dir).size(), 32u);
    ::kill(wine, SIGKILL);
    ::waitpid(wine, nullptr, 0);
    EXPECT_EQ(waitCli(cli), 0);
    EXPECT_EQ(readFile(dir).size(), 64u);
    // And the other way: while this program holds the archive, wine's lock is refused.
    Archive holder;
    holder.openimg(dir, Archive::LockScope::UntilClosed);
    for (bool forWriting : {true, false}) {
        pid_t notWaiting = lockAsWineDoes(t / "a.img", forWriting);
        EXPECT_EQ(notWaiting, -1);
        if (notWaiting > 0) {
            ::kill(notWaiting, SIGKILL);
            ::waitpid(notWaiting, nullptr, 0);
        }
    }
}

TEST(Outside, AWriterThatMayOnlyReadTheDataFileStillWaitsForWine)
{
    // A rename writes only the directory file: a user who owns it, but not
    // the data file, must still be kept out while the Windows program works.
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to run the command as another user";
    TempDir t;
    openToOthers(t.path());
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    ::chown(dir.c_str(), kNobody, kNobody);
    ::chmod((t / "a.img").c_str(), 0644); // root's
    pid_t wine = lockAsWineDoes(t / "a.img");
    ASSERT_GT(wine, 0);
    RunOptions asNobody;
    asNobody.user = kNobody;
    asNobody.stderrPath = t / "err";
    Bytes before = readFile(dir);
    pid_t cli = startCli({"rename", dir, "#0", "b.dff"}, BRIMLET_CLI_PATH, asNobody);
    ASSERT_TRUE(waitForWord(t / "err", "waiting for another program"));
    EXPECT_TRUE(stillRunning(cli));
    EXPECT_EQ(readFile(dir), before);
    ::kill(wine, SIGKILL);
    ::waitpid(wine, nullptr, 0);
    EXPECT_EQ(waitCli(cli), 0);
    EXPECT_EQ(entriesOf(dir)[0].first, "b.dff");
}

// ---------------------------------------------------------------- other tools' archives

TEST(Outside, AddAfterAnUnpaddedLastEntryKeepsItsBytes)
{
    TempDir t;
    Bytes data = pattern(2048 + 3000, 3); // "b" spans 2 sectors, but its last one is cut short
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff"), makeEntry(1, 2, "b.dff")}, data);
    writeFile(t / "c.dff", pattern(500, 7));
    EXPECT_EQ(runCli({"add", dir, t / "c.dff"}).exitCode, 0);
    auto entries = entriesOf(dir);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(head(entries[1].second, 3000), Bytes(data.begin() + 2048, data.end()));
    EXPECT_EQ(head(entries[2].second, 500), pattern(500, 7));
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\ta.dff\n1\t1\t2\tb.dff\n2\t3\t1\tc.dff\n");

    // Padded archives, "+1" byte and all, append as they always did.
    std::string padded = makeArchive(t / "p", {makeEntry(0, 1, "a.dff")}, Bytes(2049, 0));
    EXPECT_EQ(runCli({"add", padded, t / "c.dff"}).exitCode, 0);
    EXPECT_EQ(runCli({"list", padded}).out, "0\t0\t1\ta.dff\n1\t1\t1\tc.dff\n");
    EXPECT_EQ(readFile(t / "p.img").size(), 2049u + 2048 + 1);
}

TEST(Outside, AReplaceNeverWritesIntoASpanThatAnotherEntryShares)
{
    TempDir t;
    Bytes data = pattern(4 * 2048, 6);
    std::string dir = makeArchive(t / "a",
                                  {makeEntry(0, 2, "e0.dff"), makeEntry(2, 2, "e1.dff"), makeEntry(0, 2, "shared.dff"),
                                   makeEntry(3, 1, "inside.dff")},
                                  data);
    writeFile(t / "s.dff", pattern(100, 1));
    EXPECT_EQ(runCli({"replace", dir, "shared.dff", t / "s.dff"}).exitCode, 0);
    EXPECT_EQ(runCli({"replace", dir, "inside.dff", t / "s.dff"}).exitCode, 0);
    auto entries = entriesOf(dir);
    EXPECT_EQ(entries[0].second, head(data, 2 * 2048));
    EXPECT_EQ(entries[1].second, Bytes(data.begin() + 2 * 2048, data.end()));
    EXPECT_EQ(head(entries[2].second, 100), pattern(100, 1));
    EXPECT_EQ(head(entries[3].second, 100), pattern(100, 1));
}

// ---------------------------------------------------------------- clean-up

// This host's tag in our temporary names: ".brimlet-<tag>-<pid>-<n>.tmp".
std::string ourTemporaryName(const std::string& pid, const std::string& n)
{
    std::string name = temporaryFileName();
    std::string tag = name.substr(9, name.find('-', 9) - 9);
    return ".brimlet-" + tag + "-" + pid + "-" + n + ".tmp";
}

TEST(Outside, OnlyOurOwnLeftoversAreCleanedUp)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    std::vector<std::string> others = {"notes.txt.brimlet-99999-draft", "a.dir.brimlet-4000000-backup",
                                       ".brimlet-4000000-7.tmp", // no host: nothing proves it ours
                                       ".brimlet-0123456789abcdef-4000000-7.tmp", // another machine's
                                       ourTemporaryName("4000000", "1") + ".keep", ourTemporaryName("x", "1"),
                                       ourTemporaryName("04000000", "0"), ourTemporaryName("4000000", "00")};
    for (const auto& name : others) writeFile(t / name, {1});
    writeFile(t / ourTemporaryName("4000000", "7"), {2}); // a dead writer's of this host
    EXPECT_EQ(runCli({"export", dir, "#0", t / "notes.txt"}).exitCode, 0);
    EXPECT_EQ(runCli({"rename", dir, "#0", "b.dff"}).exitCode, 0);
    for (const auto& name : others) EXPECT_TRUE(exists(t / name)) << name;
    EXPECT_FALSE(exists(t / ourTemporaryName("4000000", "7")));
}

TEST(Outside, ExtractWritesNoTemporaryNamesAndCleansUpAfterAKilledOne)
{
    TempDir t;
    std::string planted = ".brimlet-4000000-3.tmp"; // our temporary names' old form; today's do not fit an entry
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, planted), makeEntry(1, 1, "b.dff")}, pattern(4096));
    std::filesystem::create_directories(t / "out");
    writeFile(t / ("out/" + ourTemporaryName("4000001", "0")), pattern(2048)); // a killed extract's
    writeFile(t / "out/.brimlet-0123456789abcdef-4000001-0.tmp", {1});    // another machine's
    Result r = runCli({"extract", dir, t / "out"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("skipped: " + planted + " is a name this program gives its temporary files"),
              std::string::npos) << r.err;
    EXPECT_FALSE(exists(t / ("out/" + planted)));
    EXPECT_FALSE(exists(t / ("out/" + ourTemporaryName("4000001", "0"))));
    EXPECT_TRUE(exists(t / "out/.brimlet-0123456789abcdef-4000001-0.tmp"));
    Bytes data = pattern(4096);
    EXPECT_EQ(readFile(t / "out/b.dff"), Bytes(data.begin() + 2048, data.end()));
    Result exported = runCli({"export", dir, "#1", t / ("out/" + ourTemporaryName("4000002", "0"))});
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_FALSE(exists(t / ("out/" + ourTemporaryName("4000002", "0"))));
}

TEST(Outside, KilledExportsLeaveNothingBehind)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 32768, "big.dff")}, pattern(64u << 20));
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runCli({"export", dir, "#0", t / "out.dff"}).exitCode, 0);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    for (double at : {0.3, 0.5, 0.7, 0.9}) {
        pid_t pid = startCli({"export", dir, "#0", t / "out.dff"});
        std::this_thread::sleep_for(took * at);
        ::kill(pid, SIGKILL);
        waitCli(pid);
    }
    for (auto& e : std::filesystem::directory_iterator(t.path())) {
        std::string name = e.path().filename().string();
        EXPECT_TRUE(name == "a.dir" || name == "a.img" || name == "out.dff") << name;
    }
}

// ---------------------------------------------------------------- FIFOs and devices

TEST(Outside, PipesAndDevicesAreRefusedAtOnceOrWrittenStraightThrough)
{
    TempDir t;
    Bytes data = pattern(3 * 2048, 4);
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff"), makeEntry(1, 2, "b.dff")}, data);
    ::mkfifo((t / "fifo.dff").c_str(), 0644);
    RunOptions bounded;
    bounded.timeLimitSeconds = 10;
    auto run = [&](std::vector<std::string> args) { return runCli(args, BRIMLET_CLI_PATH, bounded); };

    Result fifoSource = run({"add", dir, t / "fifo.dff"});
    EXPECT_EQ(fifoSource.exitCode, 1);
    EXPECT_EQ(fifoSource.err, "brimlet-cli: " + (t / "fifo.dff") + " is a pipe or a device, not a file\n");
    Result nobodyReads = run({"export", dir, "#0", t / "fifo.dff"});
    EXPECT_EQ(nobodyReads.exitCode, 1);
    EXPECT_EQ(nobodyReads.err, "brimlet-cli: Cannot create file " + (t / "fifo.dff") + "\n");
    Result proc = run({"add", dir, "/proc/self/status"});
    EXPECT_EQ(proc.exitCode, 1);
    EXPECT_EQ(proc.err, "brimlet-cli: The size of /proc/self/status cannot be known; copy it to an ordinary file first\n");
    Result device = run({"add", dir, "/dev/zero"});
    EXPECT_EQ(device.exitCode, 1);

    // A pipe that someone reads, standard output and /dev/null get the span.
    int readEnd = ::open((t / "fifo.dff").c_str(), O_RDONLY | O_NONBLOCK); // a reader before the writer comes
    std::atomic<bool> exported{false};
    Bytes fromFifo;
    std::thread reader([&] {
        char buffer[4096];
        for (;;) {
            ssize_t n = ::read(readEnd, buffer, sizeof buffer);
            if (n > 0) fromFifo.insert(fromFifo.end(), buffer, buffer + n);
            else if (n == 0 && exported) break;
            else ::usleep(1000);
        }
    });
    EXPECT_EQ(run({"export", dir, "b.dff", t / "fifo.dff"}).exitCode, 0);
    exported = true;
    reader.join();
    ::close(readEnd);
    EXPECT_EQ(fromFifo, Bytes(data.begin() + 2048, data.end()));
    Result toStdout = run({"export", dir, "b.dff", "-"});
    EXPECT_EQ(toStdout.exitCode, 0);
    EXPECT_EQ(Bytes(toStdout.out.begin(), toStdout.out.end()), Bytes(data.begin() + 2048, data.end()));
    EXPECT_EQ(run({"export", dir, "#0", "/dev/null"}).exitCode, 0);
    EXPECT_EQ(entriesOf(dir).size(), 2u);

    // Standard output as a path: the stream it is, appended to as it was opened.
    writeFile(t / "log", {'l', 'o', 'g'});
    Result toLog = runCli({"-c", "exec \"$0\" export \"$1\" b.dff /dev/stdout >> \"$2\"", BRIMLET_CLI_PATH, dir,
                           t / "log"},
                          "/bin/sh", bounded);
    EXPECT_EQ(toLog.exitCode, 0);
    Bytes log = readFile(t / "log");
    EXPECT_EQ(head(log, 3), (Bytes{'l', 'o', 'g'}));
    EXPECT_EQ(Bytes(log.begin() + 3, log.end()), Bytes(data.begin() + 2048, data.end()));
    // With standard input and output closed, "-" must not find the data file
    // there, and an export with nowhere to go is no success.
    Result closed = runCli({"-c", "exec \"$0\" export \"$1\" b.dff - <&- >&-", BRIMLET_CLI_PATH, dir}, "/bin/sh", bounded);
    EXPECT_EQ(closed.exitCode, 1);
    EXPECT_EQ(closed.err, "brimlet-cli: Stream write error\n");
    EXPECT_EQ(readFile(t / "a.img"), data);
    // Nor may standard output be the data file itself.
    Result intoItself = runCli({"-c", "exec \"$0\" export \"$1\" b.dff - 1<>\"$2\"", BRIMLET_CLI_PATH, dir, t / "a.img"},
                               "/bin/sh", bounded);
    EXPECT_EQ(intoItself.err, "brimlet-cli: An entry cannot be exported onto the archive's own directory or data file\n");
    EXPECT_EQ(readFile(t / "a.img"), data);
    // Other commands do their work; their summary goes nowhere.
    writeFile(t / "c.dff", {3});
    EXPECT_EQ(runCli({"-c", "exec \"$0\" import \"$1\" \"$2\" >&-", BRIMLET_CLI_PATH, dir, t / "c.dff"}, "/bin/sh", bounded)
                  .exitCode,
              0);
    EXPECT_EQ(entriesOf(dir)[2].first, "c.dff");

    // A directory file that is a pipe.
    ::mkfifo((t / "p.dir").c_str(), 0644);
    Result fifoDirectory = run({"list", t / "p.dir"});
    EXPECT_EQ(fifoDirectory.exitCode, 1);
    EXPECT_EQ(fifoDirectory.err, "brimlet-cli: " + (t / "p.dir") + " is a pipe or a device, not a file\n");
    // A data file that is one, even for commands that never read it.
    writeFile(t / "q.dir", {});
    ::symlink("/dev/null", (t / "q.img").c_str());
    EXPECT_EQ(run({"list", t / "q.dir"}).err, "brimlet-cli: " + (t / "q.img") + " is a pipe or a device, not a file\n");
}

// ---------------------------------------------------------------- pairs of mixed case

TEST(Outside, TheNamedFileAndItsOwnPartnerComeFirst)
{
    TempDir t;
    writeFile(t / "G0.DIR", directoryBytes({makeEntry(0, 1, "a.dff")}));
    writeFile(t / "G0.IMG", pattern(2048, 1));
    writeFile(t / "g0.img", pattern(2048, 2)); // another archive's data file, without its directory
    writeFile(t / "new.dff", {9});
    EXPECT_EQ(runCli({"add", t / "G0.IMG", t / "new.dff"}).exitCode, 0);
    EXPECT_EQ(readFile(t / "g0.img"), pattern(2048, 2));
    EXPECT_EQ(readFile(t / "G0.IMG").size(), 2u * 2048 + 1);
    EXPECT_EQ(runCli({"add", t / "G0.DIR", t / "new.dff"}).exitCode, 0); // G0.IMG: the same base name
    EXPECT_EQ(readFile(t / "g0.img"), pattern(2048, 2));
    // g0.dir has no data file of its own; G0.IMG is G0.DIR's, and never its.
    writeFile(t / "g0.dir", directoryBytes({makeEntry(0, 1, "mine.dff")}));
    ::unlink((t / "g0.img").c_str());
    Bytes g0Before = readFile(t / "G0.IMG");
    Result other = runCli({"replace", t / "g0.dir", "#0", t / "new.dff"});
    EXPECT_EQ(other.err, "brimlet-cli: " + (t / "g0.img") + ": File not found\n");
    EXPECT_EQ(readFile(t / "G0.IMG"), g0Before);

    // Several candidates and no exact one: refused, naming them.
    writeFile(t / "gta3.dir", directoryBytes({}));
    writeFile(t / "GTA3.IMG", {});
    writeFile(t / "Gta3.Img", {});
    Result r = runCli({"add", t / "gta3.dir", t / "new.dff"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("More than one file could be this archive's data file ("), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(t / "GTA3.IMG"), std::string::npos);
    EXPECT_NE(r.err.find(t / "Gta3.Img"), std::string::npos);
    EXPECT_EQ(readFile(t / "gta3.dir").size(), 0u);
}

// ---------------------------------------------------------------- limits

TEST(Outside, AFileSizeLimitGivesDiskFullAndChangesNothing)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    writeFile(t / "big.dff", pattern(300 * 1024));
    Result r = runCli({"add", dir, t / "big.dff"}, BRIMLET_CLI_PATH, {{}, 0, 100 * 1024, ""});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "brimlet-cli: " + (t / "a.img") + ": Disk full\n");
    EXPECT_EQ(readFile(dir), directoryBytes({makeEntry(0, 1, "a.dff")}));
    EXPECT_EQ(readFile(t / "a.img"), pattern(2048));
}

TEST(Outside, DestinationsThatCannotBeCreatedSaySo)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    std::string longName = t / std::string(300, 'x');
    Result tooLong = runCli({"export", dir, "#0", longName});
    EXPECT_EQ(tooLong.err, "brimlet-cli: Cannot create file " + longName + "\n");
    if (!canSwitchUser()) return;
    openToOthers(t.path());
    ::chown(dir.c_str(), kNobody, kNobody);
    ::chown((t / "a.img").c_str(), kNobody, kNobody);
    std::filesystem::create_directories(t / "closed");
    ::chmod((t / "closed").c_str(), 0600); // no search permission for anyone but root
    Result closed = runCli({"export", dir, "#0", t / "closed/out"}, BRIMLET_CLI_PATH, {{}, kNobody, -1, ""});
    EXPECT_EQ(closed.err, "brimlet-cli: Cannot create file " + (t / "closed/out") + "\n");
}

// ---------------------------------------------------------------- pairs and links

using Entries = std::vector<std::pair<std::string, Bytes>>;

// Three entries with dead space between them, so that rebuild has work.
std::string makeSpacedArchive(const std::string& base)
{
    return makeArchive(base, {makeEntry(0, 1, "a.dff"), makeEntry(2, 1, "b.dff"), makeEntry(4, 1, "c.dff")},
                       pattern(5 * 2048));
}

TEST(Outside, OneFileBehindBothNamesOfAPairIsRefusedByEveryCommand)
{
    TempDir t;
    writeFile(t / "new.dff", pattern(3000, 5));
    std::string message = "brimlet-cli: " + (t / "x.dir") + " and " + (t / "x.img") +
                          " are one file reached by two names; an archive needs a directory file and a data file of "
                          "its own\n";
    for (bool hardLink : {true, false}) {
        ::unlink((t / "x.dir").c_str());
        writeFile(t / "x.img", directoryBytes({makeEntry(0, 1, "a.dff")})); // both names: one 32-byte file
        if (hardLink) ::link((t / "x.img").c_str(), (t / "x.dir").c_str());
        else ::symlink("x.img", (t / "x.dir").c_str());
        Bytes before = readFile(t / "x.img");
        for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
                 {"list", t / "x.dir"}, {"add", t / "x.dir", t / "new.dff"}, {"delete", t / "x.img", "#0"},
                 {"rename", t / "x", "#0", "b"}, {"replace", t / "x.dir", "#0", t / "new.dff"},
                 {"import", t / "x.dir", t / "new.dff"}, {"export", t / "x.dir", "#0", t / "out"},
                 {"extract", t / "x.dir", t / "folder"}, {"rebuild", t / "x.dir"}, {"check", t / "x.dir"}}) {
            Result r = runCli(command);
            EXPECT_EQ(r.exitCode, 1) << command[0];
            EXPECT_EQ(r.err, message) << command[0];
            EXPECT_EQ(readFile(t / "x.img"), before) << command[0];
        }
        EXPECT_FALSE(exists(t / "out"));
        EXPECT_FALSE(exists(t / "folder"));
    }
}

TEST(Outside, ADataFileSharedWithABackupKeepsTheBackupsBytes)
{
    // cp -al links both files; rsync --link-dest links the data file alone
    // when only the directory changed since.
    for (bool directoryLinked : {true, false}) {
        TempDir t;
        std::string a = makeSpacedArchive(t / "a");
        ::link((t / "a.img").c_str(), (t / "b.img").c_str());
        if (directoryLinked) ::link(a.c_str(), (t / "b.dir").c_str());
        else writeFile(t / "b.dir", readFile(a));
        Entries backup = entriesOf(t / "b.dir");
        Bytes dataBefore = readFile(t / "a.img");

        Result rebuilt = runCli({"rebuild", a});
        EXPECT_EQ(rebuilt.exitCode, 1);
        EXPECT_NE(rebuilt.err.find("has other hard links"), std::string::npos) << rebuilt.err;
        EXPECT_EQ(readFile(t / "a.img"), dataBefore);

        // A replace that would fit in place moves to the end instead; an add
        // appends. Neither touches a byte the backup points at.
        writeFile(t / "small.dff", pattern(100, 7));
        EXPECT_EQ(runCli({"replace", a, "b.dff", t / "small.dff"}).exitCode, 0);
        EXPECT_EQ(runCli({"add", a, t / "small.dff"}).exitCode, 0);
        if (!directoryLinked) {
            EXPECT_EQ(entriesOf(t / "b.dir"), backup);
        }
        Entries after = entriesOf(a);
        ASSERT_EQ(after.size(), 4u);
        EXPECT_EQ(after[0], backup[0]);
        EXPECT_EQ(head(after[1].second, 100), pattern(100, 7));
        EXPECT_EQ(after[2], backup[2]);
        EXPECT_EQ(Bytes(dataBefore.begin(), dataBefore.end()), head(readFile(t / "b.img"), dataBefore.size()));
    }
}

TEST(Outside, ExtractAndExportNeverRepairAnArchiveInTheFolder)
{
    TempDir t;
    // A pair copied from Windows: gta3.dir with GTA3.IMG. An entry named
    // gta3.img would become gta3.dir's exact-case partner.
    std::string own = t / "gta3.dir";
    writeFile(own, directoryBytes({makeEntry(0, 1, "gta3.img"), makeEntry(1, 1, "GTA3.DIR"), makeEntry(2, 1, "ok.dff")}));
    writeFile(t / "GTA3.IMG", pattern(3 * 2048));
    Entries ownBefore = entriesOf(own);
    Result r = runCli({"extract", own, t.path()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("#0 \"gta3.img\" skipped: beside GTA3.IMG it would change which files make up an archive"),
              std::string::npos) << r.err;
    EXPECT_FALSE(exists(t / "gta3.img"));
    EXPECT_TRUE(exists(t / "ok.dff"));
    Result exported = runCli({"export", own, "#0", t / "gta3.img"});
    EXPECT_EQ(exported.exitCode, 1);
    EXPECT_EQ(exported.err, "brimlet-cli: An entry cannot be exported as " + (t / "gta3.img") + ": beside GTA3.IMG it "
                            "would change which files make up an archive in that folder\n");
    EXPECT_FALSE(exists(t / "gta3.img"));
    EXPECT_EQ(entriesOf(own), ownBefore);

    // A game folder with GTA3.DIR and gta3.img; a mod's entry gta3.dir would
    // become gta3.img's partner, and a rebuild through it would cut the game's data.
    TempDir game;
    std::string gameDir = makeSpacedArchive(game / "GTA3");
    ::rename((game / "GTA3.img").c_str(), (game / "gta3.img").c_str());
    Entries gameBefore = entriesOf(gameDir);
    TempDir mod;
    std::string modDir = makeArchive(mod / "mod", {makeEntry(0, 1, "gta3.dir"), makeEntry(1, 1, "Gta3.Img"),
                                                   makeEntry(2, 1, "gta3.col")}, pattern(3 * 2048, 3));
    Result planted = runCli({"extract", modDir, game.path()});
    EXPECT_EQ(planted.exitCode, 0);
    EXPECT_FALSE(exists(game / "gta3.dir"));
    EXPECT_FALSE(exists(game / "Gta3.Img"));
    EXPECT_TRUE(exists(game / "gta3.col"));
    EXPECT_EQ(runCli({"export", modDir, "#0", game / "GTA3.dir"}).exitCode, 1);
    EXPECT_EQ(runCli({"rebuild", game / "gta3.img"}).exitCode, 0);
    EXPECT_EQ(entriesOf(gameDir), gameBefore);

    // Where no archive would change, such names are written as before.
    TempDir empty;
    EXPECT_EQ(runCli({"extract", modDir, empty.path(), "#0", "#2"}).exitCode, 0);
    EXPECT_TRUE(exists(empty / "gta3.dir"));
    EXPECT_EQ(runCli({"export", modDir, "#0", empty / "gta3.dir"}).exitCode, 0); // the same name again
}

TEST(Outside, RebuildRefusesStartSectorsTheDirectoryCannotHold)
{
    // A sparse data file of almost 2^31 sectors: the first entry fills it,
    // two more share its first sector. Rebuilt, the last would start past
    // sector 2^31 - 1.
    TempDir t;
    const uint32_t first = 0x7FFFFFFC;
    std::string dir = t / "big.dir";
    writeFile(dir, directoryBytes({makeEntry(0, first, "a.dff"), makeEntry(0, 10, "b.dff"), makeEntry(0, 10, "c.dff")}));
    writeFile(t / "big.img", {});
    if (::truncate((t / "big.img").c_str(), static_cast<off_t>(first) * 2048) != 0)
        GTEST_SKIP() << "the file system holds no sparse file of 4 TiB";
    Bytes before = readFile(dir);
    Result r = runCli({"rebuild", dir});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("2147483647"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir), before);
    EXPECT_EQ(statOf(t / "big.img").st_size, static_cast<off_t>(first) * 2048);
}

// A program built with AddressSanitizer cannot run without /proc (it finds
// its stacks there): the tests that hide /proc skip in that build.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRunsWithoutProc = false;
#else
constexpr bool kRunsWithoutProc = true;
#endif

TEST(Outside, WithoutProcAStandardOutputOnTheDataFileIsStillRefused)
{
    if (!kRunsWithoutProc) GTEST_SKIP() << "AddressSanitizer needs /proc";
    TempDir t;
    std::string dir = makeArchive(t / "x", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    Bytes before = readFile(t / "x.img");
    std::string script = "mount -t tmpfs none /proc || exit 77; exec " + std::string(BRIMLET_CLI_PATH) + " export " +
                         dir + " '#0' /dev/stdout 1<>" + (t / "x.img");
    Result r = runCli({"--mount", "--propagation", "private", "--", "/bin/sh", "-c", script}, "/usr/bin/unshare");
    if (r.exitCode == 77 || (r.exitCode == 1 && r.err.find("unshare") != std::string::npos))
        GTEST_SKIP() << "needs root, to hide /proc: " << r.err;
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "brimlet-cli: An entry cannot be exported onto the archive's own directory or data file\n");
    EXPECT_EQ(readFile(t / "x.img"), before);
}

TEST(Outside, ASaveThroughALinkInAFolderPastPathMaxReachesItsTarget)
{
    TempDir t;
    std::string real = makeArchive(t / "real", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    writeFile(t / "new.dff", {7});
    // A folder deeper than PATH_MAX, made and entered a step at a time.
    std::string step(200, 'd'), half;
    for (int i = 0; i < 12; ++i) half += (half.empty() ? "" : "/") + step;
    std::string script = "cd " + t.path() + " && mkdir -p " + half + " && cd " + half + " && mkdir -p " + half +
                         " && cd -P " + half + " && ln -s " + real + " x.dir && ln -s " +
                         (t / "real.img") + " x.img && exec " + BRIMLET_CLI_PATH + " add x.dir " + (t / "new.dff");
    Result r = runCli({"-c", script}, "/bin/sh");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(runCli({"list", real}).out, "0\t0\t1\ta.dff\n1\t1\t1\tnew.dff\n");
    std::filesystem::remove_all(t / step); // the deep folder (remove_all walks it by descriptors)
}

// ---------------------------------------------------------------- exit codes and read-only media

TEST(Outside, ExtractExitsOneWhenAnEntryCouldNotBeRead)
{
    TempDir t;
    // Another tool's unpadded last entry: its span reaches past the file's end.
    Bytes data = pattern(2048 + 100);
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "cut.dff")}, data);
    Result r = runCli({"extract", dir, t / "out"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "extracted 1, skipped 1 (1 could not be read)\n");
    EXPECT_EQ(r.err, "brimlet-cli: #1 \"cut.dff\" skipped: Read beyond end of file\n"
                     "brimlet-cli: 1 entry could not be read\n");
    EXPECT_EQ(readFile(t / "out/a.dff"), head(data, 2048));
    // A skip that was asked for stays a success.
    Result again = runCli({"extract", dir, t / "out", "a.dff", "A.DFF"});
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_EQ(again.out, "extracted 1, skipped 1\n");
}

TEST(Outside, ACommandThatChangedTheArchiveExitsZeroWhenItsSummaryIsLost)
{
    TempDir t;
    std::string dir = makeArchive(t / "a", {makeEntry(0, 1, "a.dff"), makeEntry(3, 1, "b.dff")}, pattern(4 * 2048));
    writeFile(t / "c.dff", pattern(10, 3));
    RunOptions full;
    full.stdoutPath = "/dev/full";
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"import", dir, t / "c.dff"}, {"rebuild", dir}}) {
        Result r = runCli(command, BRIMLET_CLI_PATH, full);
        EXPECT_EQ(r.exitCode, 0) << command[0];
        EXPECT_EQ(r.err, "brimlet-cli: warning: the summary could not be written (Stream write error)\n");
    }
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\ta.dff\n1\t1\t1\tb.dff\n2\t2\t1\tc.dff\n");
    // Output that is the command's product still fails it.
    EXPECT_EQ(runCli({"list", dir}, BRIMLET_CLI_PATH, full).exitCode, 1);
    EXPECT_EQ(runCli({"export", dir, "#0", "-"}, BRIMLET_CLI_PATH, full).exitCode, 1);
}

TEST(Outside, ACreateCutShortIsFinishedByTheNextOne)
{
    TempDir t;
    writeFile(t / "c.dir", {}); // what a create killed between its two files leaves
    Result r = runCli({"create", t / "c"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "brimlet-cli: made the missing " + (t / "c.img") + " of a create that was cut short\n");
    EXPECT_TRUE(exists(t / "c.img"));
    writeFile(t / "d.img", {1}); // not a create's leftover: refused, naming the missing file
    Result d = runCli({"create", t / "d"});
    EXPECT_EQ(d.exitCode, 1);
    EXPECT_EQ(d.err, "brimlet-cli: The archive already exists: " + (t / "d.img") + " (its directory file " +
                     (t / "d.dir") + " is missing)\n");
    EXPECT_FALSE(exists(t / "d.dir"));
}

TEST(Outside, AnArchiveOnReadOnlyMediaCanBeRead)
{
    TempDir t;
    Bytes data = pattern(2 * 2048);
    makeFolder(t / "ro");
    std::string dir = makeArchive(t / "ro/a", {makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "b.dff")}, data);
    writeFile(t / "new.dff", {5});
    auto readsButNeverWrites = [&](const std::string& how) {
        SCOPED_TRACE(how);
        EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\ta.dff\n1\t1\t1\tb.dff\n");
        Result exported = runCli({"export", dir, "b.dff", t / "b.out"});
        EXPECT_EQ(exported.exitCode, 0) << exported.err;
        EXPECT_EQ(readFile(t / "b.out"), Bytes(data.begin() + 2048, data.end()));
        EXPECT_EQ(runCli({"extract", dir, t / ("out-" + how)}).exitCode, 0);
        EXPECT_EQ(runCli({"check", dir}).exitCode, 0);
        for (const std::vector<std::string>& write : std::vector<std::vector<std::string>>{
                 {"add", dir, t / "new.dff"}, {"rename", dir, "#0", "x"}, {"delete", dir, "#0"}}) {
            Result r = runCli(write);
            EXPECT_EQ(r.exitCode, 1) << write[0];
            EXPECT_EQ(r.err, "brimlet-cli: " + dir + ": File access denied\n") << write[0];
        }
        EXPECT_EQ(readFile(dir), directoryBytes({makeEntry(0, 1, "a.dff"), makeEntry(1, 1, "b.dff")}));
        EXPECT_EQ(readFile(t / "ro/a.img"), data);
    };
    ::chmod(dir.c_str(), 0444);
    ::chmod((t / "ro/a.img").c_str(), 0444);
    readsButNeverWrites("mode 444");
    ::chmod(dir.c_str(), 0644);
    ::chmod((t / "ro/a.img").c_str(), 0644);
    // A read-only bind mount, as a disc or a mounted image would be.
    if (::mount((t / "ro").c_str(), (t / "ro").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "needs root, to mount";
    bool remounted = ::mount(nullptr, (t / "ro").c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    if (remounted) readsButNeverWrites("read-only mount");
    ::umount2((t / "ro").c_str(), MNT_DETACH);
    EXPECT_TRUE(remounted);
}

// ---------------------------------------------------------------- found by attacking the above

TEST(Outside, ARebuildRefusesADirectoryFileSharedWithABackup)
{
    // cp -al, then the data file made a file of its own: the directory file
    // is still shared, and a save writes it in place for both names.
    TempDir t;
    std::string live = makeSpacedArchive(t / "live");
    ::link(live.c_str(), (t / "backup.dir").c_str());
    ::link((t / "live.img").c_str(), (t / "backup.img").c_str());
    Entries backup = entriesOf(t / "backup.dir");
    writeFile(t / "copy.img", readFile(t / "live.img"));
    ::rename((t / "copy.img").c_str(), (t / "live.img").c_str());
    Result r = runCli({"rebuild", live});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("brimlet-cli: The directory file " + live + " has other hard links", 0), 0u) << r.err;
    EXPECT_EQ(entriesOf(t / "backup.dir"), backup);
}

TEST(Outside, AnExportThroughALinkIsJudgedWhereItLands)
{
    TempDir t;
    std::string dir = makeArchive(t / "x", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    makeFolder(t / "other");
    writeFile(t / "other/gta3.img", pattern(2048, 4)); // a lone data file another directory may pair with
    ::symlink("other/gta3.dir", (t / "out.bin").c_str());
    ::symlink("other/GTA3.IMG", (t / "out2.bin").c_str());
    EXPECT_EQ(runCli({"export", dir, "a.dff", t / "out.bin"}).exitCode, 1);
    EXPECT_EQ(runCli({"export", dir, "a.dff", t / "out2.bin"}).exitCode, 1);
    EXPECT_FALSE(exists(t / "other/gta3.dir"));
    EXPECT_FALSE(exists(t / "other/GTA3.IMG"));
}

TEST(Outside, TwoCreatesAtOnceMakeOneWholePair)
{
    TempDir t;
    for (int i = 0; i < 60; ++i) {
        std::string base = t / ("z" + std::to_string(i));
        pid_t a = startCli({"create", base}), b = startCli({"create", base});
        int codes = (waitCli(a) == 0) + (waitCli(b) == 0);
        EXPECT_GE(codes, 1);
        EXPECT_TRUE(exists(base + ".dir") && exists(base + ".img")) << base;
    }
}

TEST(Outside, CrossedPairsDoNotWaitForEachOtherForEver)
{
    // b.dir is a.img and b.img is a.dir: the two archives take the same two
    // files in the opposite order.
    TempDir t;
    std::string a = makeSpacedArchive(t / "a");
    ::symlink("a.img", (t / "b.dir").c_str());
    ::symlink("a.dir", (t / "b.img").c_str());
    RunOptions bounded;
    bounded.timeLimitSeconds = 20;
    for (int i = 0; i < 40; ++i) {
        pid_t other = startCli({"list", t / "b"});
        EXPECT_NE(runCli({"list", a}, BRIMLET_CLI_PATH, bounded).exitCode, kHung);
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (stillRunning(other) && std::chrono::steady_clock::now() < until) ::usleep(2000);
        if (stillRunning(other)) killCli(other), ADD_FAILURE() << "the other list still waited after 20 s";
        waitCli(other);
    }
}

TEST(Outside, WithoutProcNoTemporaryFileCanBeProvedOursAndNoneIsRemoved)
{
    if (!kRunsWithoutProc) GTEST_SKIP() << "AddressSanitizer needs /proc";
    TempDir t;
    std::string dir = makeArchive(t / "x", {makeEntry(0, 1, "a.dff")}, pattern(2048));
    std::string leftover = ourTemporaryName("4000000", "0"); // it could be a live writer's in a namespace we cannot see
    writeFile(t / leftover, {1});
    std::string script = "mount -t tmpfs none /proc || exit 77; exec " + std::string(BRIMLET_CLI_PATH) + " rename " +
                         dir + " '#0' b.dff";
    Result r = runCli({"--mount", "--propagation", "private", "--", "/bin/sh", "-c", script}, "/usr/bin/unshare");
    if (r.exitCode == 77 || (r.exitCode == 1 && r.err.find("unshare") != std::string::npos))
        GTEST_SKIP() << "needs root, to hide /proc: " << r.err;
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(exists(t / leftover));
    EXPECT_EQ(runCli({"list", dir}).out, "0\t0\t1\tb.dff\n");
}

// ---------------------------------------------------------------- for the whole command

TEST(Outside, ADirectoryReachedWithoutItsDataFileWaitsForTheWholeCommand)
{
    // lonely/y.dir leads to x.dir, and lonely has no y.img: a command
    // through it meets only the directory file's lock. Between the two saves
    // of an in-place replace, and of a rebuild, it must still wait.
    for (const std::string command : {"replace", "rebuild"}) {
        SCOPED_TRACE(command);
        TempDir t;
        std::string dir = makeArchive(t / "x",
                                      {makeEntry(0, 4, "a.dff"), makeEntry(4, 1, "f.bin"), makeEntry(6, 2, "c.col")},
                                      pattern(8 * 2048, 3));
        std::filesystem::create_directories(t / "lonely");
        ::symlink("../x.dir", (t / "lonely/y.dir").c_str());
        writeFile(t / "small.dff", pattern(3000, 8));
        auto before = entriesOf(dir);
        Archive a;
        a.openimg(dir);
        int changes = 0;
        a.setChangeListener([&](const TableChange&, bool beforeChange) {
            if (beforeChange || ++changes != 1) return;
            RunOptions briefly;
            briefly.timeLimitSeconds = 1.5;
            EXPECT_EQ(runCli({"delete", t / "lonely/y", "f.bin"}, BRIMLET_CLI_PATH, briefly).exitCode, kHung);
            EXPECT_EQ(runCli({"rename", t / "lonely/y", "c.col", "r.col"}, BRIMLET_CLI_PATH, briefly).exitCode, kHung);
        });
        if (command == "replace")
            a.replaceEntry(0, t / "small.dff");
        else
            a.rebuild();
        EXPECT_GE(changes, 2);
        auto after = entriesOf(dir);
        ASSERT_EQ(after.size(), 3u);
        EXPECT_EQ(after[1], before[1]);
        EXPECT_EQ(after[2], before[2]);
        EXPECT_EQ(runCli({"check", dir}).exitCode, 0);
        // Once it is done, the path's commands run.
        EXPECT_EQ(runCli({"delete", t / "lonely/y", "f.bin"}).exitCode, 0);
        EXPECT_EQ(entriesOf(dir).size(), 2u);
    }
}

TEST(Outside, ARebuildOnAFillingDiskIsAllOrNothing)
{
    // Whatever room is left, a rebuild either finishes or changes nothing,
    // and a refusal names the file it could not write.
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to mount a small tmpfs";
    SmallTmpfs disk("size=16m");
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
    // 2,000 entries (a 64,000-byte directory) after a dead sector: all move,
    // through the staging copies (about 4 MB).
    std::vector<DirEntry> entries;
    for (int i = 0; i < 2000; ++i) entries.push_back(makeEntry(1 + i, 1, "e" + std::to_string(i) + ".dff"));
    Bytes data = pattern(2001 * 2048, 6);
    int finished = 0, refused = 0;
    for (long room = 4000 * 1024; room <= 4400 * 1024; room += 16 * 1024) {
        SCOPED_TRACE("room " + std::to_string(room));
        std::filesystem::remove_all(disk / "w");
        std::filesystem::create_directories(disk / "w");
        std::string dir = makeArchive(disk / "w/x", entries, data);
        struct statvfs fs {};
        ::statvfs((disk / "w").c_str(), &fs);
        long fill = static_cast<long>(fs.f_bavail * fs.f_frsize) - room;
        if (fill > 0) writeFile(disk / "w/fill", Bytes(static_cast<size_t>(fill), 1));
        Bytes directoryBefore = readFile(dir);
        Result r = runCli({"rebuild", dir});
        if (r.exitCode == 0) {
            ++finished;
            EXPECT_EQ(readFile(disk / "w/x.img"), Bytes(data.begin() + 2048, data.end()));
        } else {
            ++refused;
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_TRUE(r.err.find(disk / "w/x.") != std::string::npos ||
                        r.err.find("Not enough free space to rebuild") != std::string::npos)
                << r.err;
            EXPECT_EQ(readFile(dir), directoryBefore);
            EXPECT_EQ(readFile(disk / "w/x.img"), data);
        }
        EXPECT_EQ(runCli({"check", dir}).exitCode, 0);
        for (const auto& e : std::filesystem::directory_iterator(disk / "w"))
            EXPECT_EQ(e.path().filename().string().find(".brimlet-"), std::string::npos);
    }
    EXPECT_GT(finished, 0);
    EXPECT_GT(refused, 0);
}

// A version 2 archive is rebuilt as a new file beside the old: one that
// lacks room for it is refused before a byte is written, and saying so.
TEST(Outside, AVersion2RebuildOnAFillingDiskIsAllOrNothing)
{
    if (!canSwitchUser()) GTEST_SKIP() << "needs root, to mount a small tmpfs";
    SmallTmpfs disk("size=16m");
    if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
    // 2,000 entries (a directory of 32 sectors), then a dead sector: about 4 MB.
    std::vector<Version2Entry> entries;
    for (uint32_t i = 0; i < 2000; ++i) entries.push_back({33 + i, 1, 0, "e" + std::to_string(i) + ".dff"});
    Bytes file = version2File(entries, pattern(2001 * 2048, 6), 32);
    int finished = 0, refused = 0;
    for (long room = 2000 * 1024; room <= 4400 * 1024; room += 100 * 1024) {
        SCOPED_TRACE("room " + std::to_string(room));
        std::filesystem::remove_all(disk / "w");
        std::filesystem::create_directories(disk / "w");
        writeFile(disk / "w/x.img", file);
        struct statvfs fs {};
        ::statvfs((disk / "w").c_str(), &fs);
        long fill = static_cast<long>(fs.f_bavail * fs.f_frsize) - room;
        if (fill > 0) writeFile(disk / "w/fill", Bytes(static_cast<size_t>(fill), 1));
        Result r = runCli({"rebuild", disk / "w/x.img"});
        if (r.exitCode == 0) {
            ++finished;
            EXPECT_EQ(readFile(disk / "w/x.img").size(), file.size() - 2048);
        } else {
            ++refused;
            EXPECT_EQ(r.exitCode, 1);
            if (room < 3000 * 1024) {
                EXPECT_NE(r.err.find("Not enough free space to rebuild"), std::string::npos) << r.err;
            }
            EXPECT_EQ(readFile(disk / "w/x.img"), file);
        }
        EXPECT_EQ(runCli({"check", disk / "w/x.img"}).exitCode, 0);
        for (const auto& e : std::filesystem::directory_iterator(disk / "w"))
            EXPECT_EQ(e.path().filename().string().find(".brimlet-"), std::string::npos);
    }
    EXPECT_GT(finished, 0);
    EXPECT_GT(refused, 0);
}

TEST(Outside, CreateCountsOnlyARegularFileAsHalfAPair)
{
    TempDir t;
    for (const std::string kind : {"dangling link", "folder"}) {
        SCOPED_TRACE(kind);
        std::filesystem::remove_all(t / "x.img");
        writeFile(t / "x.dir", {});
        if (kind == "folder")
            std::filesystem::create_directories(t / "x.img");
        else
            ::symlink("nowhere.img", (t / "x.img").c_str());
        Result r = runCli({"create", t / "x"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.err, "brimlet-cli: Cannot create file " + (t / "x.img") +
                             ": the name is taken by a folder, a link to nothing or another thing that is not a file\n");
        EXPECT_FALSE(exists(t / "nowhere.img"));
        EXPECT_EQ(readFile(t / "x.dir").size(), 0u);
    }
}
