// The bulk commands against the plain file work they stand for, measured in
// pairs in the same run (the disk's speed drifts over a run far more than the
// differences measured, so only neighbours compare fairly). Every write is
// flushed on both sides. Prints the median ratio of each pair and its target:
//   rebuild of a 256 MiB archive, a quarter dead    vs cp of the live bytes + sync  (< 2.5x, memory < 16 MiB)
//   import of 1,000 files of 100 KiB into 65,536     vs copying those bytes + one directory write (< 1.3x)
//   extract of 65,536 small entries                 vs tar -x of the same files + sync (< 1.5x)
//   check of 65,536 entries                         vs loading the directory (< 3x)
#include "archive/archive.h"
#include "archive/check.h"
#include "archive/sectors.h"
#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace brimlet;
using namespace brimlet::bench;

namespace {

constexpr size_t kEntries = 65536;

std::string path(const std::string& name) { return scratchFolder() + "/" + name; }

void writeBytes(const std::string& file, const std::vector<char>& bytes)
{
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || ::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::abort();
    ::fsync(fd);
    ::close(fd);
}

void makeFile(const std::string& file, size_t size, char fill = 'x')
{
    std::vector<char> chunk(1 << 20, fill);
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (size_t done = 0; done < size; done += chunk.size())
        if (::write(fd, chunk.data(), std::min(chunk.size(), size - done)) < 0) std::abort();
    ::fsync(fd);
    ::close(fd);
}

void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) std::abort();
}

// Flushed work is timed up to the end of its flush; reads are not flushed.
bool flushing = true;

double seconds(const std::function<void()>& work)
{
    ::sync();
    auto start = std::chrono::steady_clock::now();
    work();
    if (flushing) ::sync();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `rounds` pairs (set up, baseline, operation) and prints the median ratio.
void pair(const char* name, const char* target, int rounds, const std::function<void()>& setUp,
          const std::function<void()>& baseline, const std::function<void()>& operation)
{
    std::vector<double> ratios;
    double base = 0, op = 0;
    resetPeakMemory();
    long before = peakMemoryKiB();
    for (int i = 0; i < rounds; ++i) {
        setUp();
        double b = seconds(baseline), o = seconds(operation);
        ratios.push_back(o / b);
        base += b;
        op += o;
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("%-10s %9.1f ms  baseline %9.1f ms  ratio %5.2fx  (target %s)  peak growth %.1f MiB\n", name,
                op / rounds * 1000, base / rounds * 1000, ratios[ratios.size() / 2], target,
                static_cast<double>(peakMemoryKiB() - before) / 1024.0);
    std::fflush(stdout);
}

// A directory of `count` entries of `sectors` sectors each, back to back
// from sector `first`, with a gap of `gap` sectors after each.
void makeArchive(const std::string& base, size_t count, uint32_t sectors, uint32_t gap)
{
    std::vector<char> bytes;
    bytes.reserve(count * kEntrySize);
    uint64_t at = 0;
    for (size_t i = 0; i < count; ++i) {
        DirEntry e;
        e.setStartSector(static_cast<int32_t>(at));
        e.setSectorCount(sectors);
        e.setName("entry" + std::to_string(i) + ".dff");
        bytes.insert(bytes.end(), e.bytes().begin(), e.bytes().end());
        at += sectors + gap;
    }
    writeBytes(base + ".dir", bytes);
    makeFile(base + ".img", at * kSectorSize);
}

void rebuildBench()
{
    // 1,024 entries of 96 sectors, each followed by 32 dead ones: 256 MiB, a quarter dead.
    constexpr size_t count = 1024;
    uint64_t live = count * 96 * kSectorSize;
    makeFile(path("live.bin"), live);
    Archive archive;
    pair(
        "rebuild", "< 2.5x", 3,
        [&] {
            makeArchive(path("rebuild"), count, 96, 32);
            ::unlink(path("live.copy").c_str());
        },
        [] { run("cp " + path("live.bin") + " " + path("live.copy")); },
        [&] {
            archive.openimg(path("rebuild.dir"));
            archive.rebuild();
        });
}

void importBench()
{
    std::filesystem::create_directories(path("mod"));
    std::vector<std::string> files;
    for (int i = 0; i < 1000; ++i) {
        // Half replace entries of the archive, half are new.
        std::string name = (i % 2 ? "entry" + std::to_string(i) : "new" + std::to_string(i)) + ".dff";
        files.push_back(path("mod/" + name));
        makeFile(files.back(), 100 * 1024, static_cast<char>('a' + i % 26));
    }
    std::vector<char> directory((kEntries - 500) * kEntrySize, 'd');
    Archive archive;
    pair(
        "import", "< 1.3x", 3,
        [&] {
            makeArchive(path("import"), kEntries - 500, 1, 0);
            ::unlink(path("plain.img").c_str());
        },
        [&] {
            run("cat " + path("mod") + "/* > " + path("plain.img"));
            writeBytes(path("plain.dir"), directory);
        },
        [&] {
            archive.openimg(path("import.dir"));
            archive.importFiles(files);
        });
}

void extractBench()
{
    makeArchive(path("many"), kEntries, 1, 0);
    Archive archive;
    archive.openimg(path("many.dir"));
    std::filesystem::remove_all(path("tarred"));
    archive.extractEntries(path("tarred"), {}, [](const std::string&) {});
    run("tar -C " + path("tarred") + " -cf " + path("many.tar") + " .");
    pair(
        "extract", "< 1.5x", 2,
        [] {
            std::filesystem::remove_all(path("untar"));
            std::filesystem::remove_all(path("out"));
            std::filesystem::create_directories(path("untar"));
        },
        [] { run("tar -C " + path("untar") + " -xf " + path("many.tar")); },
        [&] { archive.extractEntries(path("out"), {}, [](const std::string&) {}); });
}

void checkBench()
{
    makeArchive(path("checked"), kEntries, 1, 0);
    flushing = false;
    Archive archive;
    pair(
        "check", "< 3x", 20, [] {}, [&] { archive.openimg(path("checked.dir")); },
        [&] {
            archive.openimg(path("checked.dir"));
            benchmark::DoNotOptimize(checkArchive(archive).problems.size());
        });
}

}  // namespace

// With arguments, only the benchmarks named (rebuild, import, extract, check).
int main(int argc, char** argv)
{
    std::vector<std::string> only(argv + 1, argv + argc);
    auto wanted = [&](const char* name) { return only.empty() || std::count(only.begin(), only.end(), name) > 0; };
    std::printf("bulk commands, medians of paired runs in %s\n", scratchFolder().c_str());
    if (wanted("rebuild")) rebuildBench();
    if (wanted("import")) importBench();
    if (wanted("extract")) extractBench();
    if (wanted("check")) checkBench();
    removeScratch();
    return 0;
}
