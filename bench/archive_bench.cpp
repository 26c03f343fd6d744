// Archive operations against plain file work of the same size, measured in
// the same run: loading a 65,536-entry directory against reading its bytes;
// delete and rename against writing 2 MiB; export, add and replace of a
// 256 MiB entry against copying 256 MiB the same way (into a new file, onto
// the end of a file, over existing bytes). Every write is flushed to disk on
// both sides. Prints a ratio table and the peak memory growth.
//
// A replace in place is crash-safe: it builds the span's new image at the end
// of the data file, switches the directory to it, copies it into the span,
// switches back and cuts the file. So it writes the bytes twice and the
// directory twice; its target is 2.2 times the plain copy over existing bytes.
#include "archive/archive.h"
#include "archive/sectors.h"
#include "bench_support.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace brimlet;
using namespace brimlet::bench;

namespace {

constexpr size_t kEntries = 65536;
constexpr size_t kBigEntry = 256u << 20;

std::string path(const std::string& name) { return scratchFolder() + "/" + name; }

void writeBytes(const std::string& file, const void* data, size_t size)
{
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::write(fd, data, size) != static_cast<ssize_t>(size)) std::abort();
    ::fsync(fd);
    ::close(fd);
}

void makeFile(const std::string& file, size_t size)
{
    std::vector<char> chunk(1 << 20, 'x');
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (size_t done = 0; done < size; done += chunk.size())
        if (::write(fd, chunk.data(), std::min(chunk.size(), size - done)) < 0) std::abort();
    ::fsync(fd);
    ::close(fd);
}

// Each measurement starts with no dirty pages left over from the one before.
void settle() { ::sync(); }

// A directory of 65,536 one-sector entries over an 8-sector data file.
void makeLargeDirectory(const std::string& base)
{
    std::vector<uint8_t> bytes;
    bytes.reserve(kEntries * kEntrySize);
    for (size_t i = 0; i < kEntries; ++i) {
        DirEntry e;
        e.setStartSector(static_cast<int32_t>(i % 8));
        e.setSectorCount(1);
        e.setName("entry" + std::to_string(i) + ".dff");
        bytes.insert(bytes.end(), e.bytes().begin(), e.bytes().end());
    }
    writeBytes(base + ".dir", bytes.data(), bytes.size());
    makeFile(base + ".img", 8 * kSectorSize);
}

// One entry whose span holds 256 MiB and a bit, so a 256 MiB file fits in place.
void makeBigArchive(const std::string& base)
{
    DirEntry e;
    e.setStartSector(0);
    e.setSectorCount(static_cast<uint32_t>(sectorsFor(kBigEntry)));
    e.setName("big.dff");
    writeBytes(base + ".dir", e.bytes().data(), kEntrySize);
    makeFile(base + ".img", sectorsFor(kBigEntry) * kSectorSize);
}

// 16,000 entries of 1 GiB of data, as a version 1 pair and as one version 2
// file: opening and listing each (every row's text, as a list shows it).
constexpr size_t kGameEntries = 16000;
constexpr uint64_t kGameData = uint64_t{1} << 30;

void makeGameArchives()
{
    std::vector<uint8_t> entries;
    uint32_t sectors = static_cast<uint32_t>(kGameData / kSectorSize / kGameEntries);
    uint32_t first = static_cast<uint32_t>((8 + kGameEntries * kEntrySize + kSectorSize - 1) / kSectorSize);
    for (size_t i = 0; i < kGameEntries; ++i) {
        DirEntry e;
        e.setStartSector(static_cast<int32_t>(first + i * sectors));
        e.setSectorCount(sectors);
        e.setName("model" + std::to_string(i) + ".dff");
        entries.insert(entries.end(), e.bytes().begin(), e.bytes().end());
    }
    writeBytes(path("game1.dir"), entries.data(), entries.size());
    std::vector<uint8_t> front = {'V', 'E', 'R', '2'};
    for (int shift = 0; shift < 32; shift += 8) front.push_back(static_cast<uint8_t>(kGameEntries >> shift));
    front.insert(front.end(), entries.begin(), entries.end());
    writeBytes(path("game2.img"), front.data(), front.size());
    writeBytes(path("game1.img"), nullptr, 0);
    // The data itself is never read by an open: sparse files of its size.
    for (const char* name : {"game1.img", "game2.img"})
        if (::truncate(path(name).c_str(), static_cast<off_t>(first * kSectorSize + kGameData)) != 0) std::abort();
}

void openAndList(benchmark::State& state, const std::string& file)
{
    Archive archive;
    for (auto _ : state) {
        archive.openimg(file);
        size_t characters = 0;
        for (size_t i = 0; i < archive.count(); ++i)
            characters += archive.name(i).size() + std::to_string(archive.table()[i].sectorCount()).size();
        benchmark::DoNotOptimize(characters);
    }
}

void Version1OpenAndList16000(benchmark::State& state) { openAndList(state, path("game1.dir")); }
void Version2OpenAndList16000(benchmark::State& state) { openAndList(state, path("game2.img")); }

void setUp()
{
    makeLargeDirectory(path("large"));
    makeGameArchives();
    makeBigArchive(path("big"));
    makeFile(path("source.dff"), kBigEntry);
}

void reportPeak(benchmark::State& state, long before)
{
    state.counters["peak_growth_MiB"] = static_cast<double>(peakMemoryKiB() - before) / 1024.0;
}

// ------------------------------------------------------------------ 65,536 entries

void PlainReadDir(benchmark::State& state)
{
    std::vector<char> buffer(kEntries * kEntrySize);
    for (auto _ : state) {
        int fd = ::open(path("large.dir").c_str(), O_RDONLY);
        if (::read(fd, buffer.data(), buffer.size()) != static_cast<ssize_t>(buffer.size())) std::abort();
        ::close(fd);
        benchmark::DoNotOptimize(buffer.data());
    }
}

// The window keeps one archive for the whole run, so its table is allocated once.
void LoadDirectory(benchmark::State& state)
{
    Archive archive;
    for (auto _ : state) {
        archive.openimg(path("large.dir"));
        benchmark::DoNotOptimize(archive.count());
    }
}


void PlainWrite2MiB(benchmark::State& state)
{
    std::vector<char> buffer(kEntries * kEntrySize, 'd');
    for (auto _ : state) writeBytes(path("plain.bin"), buffer.data(), buffer.size());
}

void DeleteFirstEntry(benchmark::State& state)
{
    makeLargeDirectory(path("large"));
    Archive archive;
    archive.openimg(path("large.dir"));
    for (auto _ : state) archive.deleteEntry(0);
}

// A small entry of a 65,536-entry archive replaced in place: two directory
// saves, against one plain 2 MiB write.
void ReplaceSmallInPlace(benchmark::State& state)
{
    makeLargeDirectory(path("large"));
    std::vector<char> small(1000, 's');
    writeBytes(path("small.dff"), small.data(), small.size());
    Archive archive;
    archive.openimg(path("large.dir"));
    for (auto _ : state) archive.replaceEntry(0, path("small.dff"));
}

void RenameEntry(benchmark::State& state)
{
    makeLargeDirectory(path("large"));
    Archive archive;
    archive.openimg(path("large.dir"));
    int n = 0;
    for (auto _ : state) archive.renameEntry(0, "renamed" + std::to_string(n++ % 2));
}

// ------------------------------------------------------------------ 256 MiB entry

// Copies source.dff into `target` at `offset` through a 1 MiB buffer and
// flushes it: what export, add and replace do, without the archive.
void plainCopy(const std::string& target, int flags, bool atEnd, const std::string& source = "source.dff")
{
    static std::unique_ptr<char[]> buffer(new char[1 << 20]);
    int in = ::open(path(source).c_str(), O_RDONLY);
    int out = ::open(target.c_str(), O_WRONLY | O_CREAT | flags, 0644);
    off_t offset = atEnd ? ::lseek(out, 0, SEEK_END) : 0;
    ssize_t n;
    while ((n = ::read(in, buffer.get(), 1 << 20)) > 0) {
        if (::pwrite(out, buffer.get(), static_cast<size_t>(n), offset) != n) std::abort();
        offset += n;
    }
    ::fsync(out);
    ::close(in);
    ::close(out);
}

// Each iteration times the plain copy and the archive operation back to back
// and keeps their ratio: the disk's speed drifts over a run far more than the
// difference measured, so only neighbouring pairs compare fairly. Reports the
// median ratio, both times, and the peak memory growth of the operation.
template <typename Plain, typename Operation>
void paired(benchmark::State& state, Plain plain, Operation operation)
{
    std::vector<double> ratios;
    double plainTotal = 0, operationTotal = 0;
    settle();
    resetPeakMemory();
    long before = peakMemoryKiB();
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        plain();
        settle();
        auto t1 = std::chrono::steady_clock::now();
        operation();
        settle();
        auto t2 = std::chrono::steady_clock::now();
        double p = std::chrono::duration<double>(t1 - t0).count(), o = std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(o);
        ratios.push_back(o / p);
        plainTotal += p;
        operationTotal += o;
    }
    std::sort(ratios.begin(), ratios.end());
    auto n = static_cast<double>(ratios.size());
    state.counters["ratio_median"] = ratios[ratios.size() / 2];
    state.counters["plain_ms"] = plainTotal / n * 1000;
    state.counters["op_ms"] = operationTotal / n * 1000;
    reportPeak(state, before);
}

// The source copied into a new file and flushed, as `cp` and `sync` would.
void copyIntoNewFile()
{
    ::unlink(path("copy.bin").c_str());
    plainCopy(path("copy.bin"), O_EXCL, false);
}

void Export256MiB(benchmark::State& state)
{
    makeBigArchive(path("big"));
    Archive archive;
    archive.openimg(path("big.dir"));
    paired(state, copyIntoNewFile, [&] { archive.exportEntry(0, path("exported.dff")); });
}

void Add256MiB(benchmark::State& state)
{
    makeBigArchive(path("big"));
    makeFile(path("append.bin"), sectorsFor(kBigEntry) * kSectorSize);
    Archive archive;
    archive.openimg(path("big.dir"));
    paired(
        state, [] { plainCopy(path("append.bin"), 0, true); }, [&] { archive.addEntry(path("source.dff")); });
}

// Version 2 entries hold at most 65,535 sectors: 120 MiB, added to and
// exported from a version 2 archive against the same plain copies.
constexpr size_t kVersion2Entry = 120u << 20;

void makeVersion2Archive()
{
    ::unlink(path("v2.img").c_str());
    if (!Archive::create(path("v2.img"), Archive::Version::Two).empty()) std::abort();
    makeFile(path("source120.dff"), kVersion2Entry);
}

void Version2Add120MiB(benchmark::State& state)
{
    makeVersion2Archive();
    makeFile(path("append120.bin"), kSectorSize);
    Archive archive;
    archive.openimg(path("v2.img"));
    paired(
        state, [] { plainCopy(path("append120.bin"), 0, true, "source120.dff"); },
        [&] { archive.addEntry(path("source120.dff")); });
}

void Version2Export120MiB(benchmark::State& state)
{
    makeVersion2Archive();
    Archive archive;
    archive.openimg(path("v2.img"));
    archive.addEntry(path("source120.dff"));
    paired(
        state,
        [] {
            ::unlink(path("copy120.bin").c_str());
            plainCopy(path("copy120.bin"), O_EXCL, false, "source120.dff");
        },
        [&] { archive.exportEntry(0, path("exported120.dff")); });
}

void Replace256MiB(benchmark::State& state)
{
    makeBigArchive(path("big"));
    makeFile(path("overwrite.bin"), sectorsFor(kBigEntry) * kSectorSize);
    Archive archive;
    archive.openimg(path("big.dir"));
    paired(
        state, [] { plainCopy(path("overwrite.bin"), 0, false); },
        [&] { archive.replaceEntry(0, path("source.dff")); }); // fits in place
}

// The same replace against a flushed copy of the same bytes into a new file,
// which is what copying the entry anywhere costs: a scheme that never tears
// the entry must write its bytes twice, once into blocks not yet allocated.
void Replace256MiBAgainstNewCopy(benchmark::State& state)
{
    makeBigArchive(path("big"));
    Archive archive;
    archive.openimg(path("big.dir"));
    paired(state, copyIntoNewFile, [&] { archive.replaceEntry(0, path("source.dff")); });
}

}  // namespace

BENCHMARK(PlainReadDir)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadDirectory)->Unit(benchmark::kMillisecond);
BENCHMARK(Version1OpenAndList16000)->Unit(benchmark::kMillisecond);
BENCHMARK(Version2OpenAndList16000)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainWrite2MiB)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(DeleteFirstEntry)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(RenameEntry)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(ReplaceSmallInPlace)->Unit(benchmark::kMillisecond)->Iterations(40);
BENCHMARK(Export256MiB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(Add256MiB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(Replace256MiB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(Version2Add120MiB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(Version2Export120MiB)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();
BENCHMARK(Replace256MiBAgainstNewCopy)->Unit(benchmark::kMillisecond)->Iterations(5)->UseManualTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    setUp();
    RatioReporter reporter;
    reporter.compare("LoadDirectory", "PlainReadDir", "target < 3x");
    reporter.compare("Version2OpenAndList16000", "Version1OpenAndList16000", "target < 1.2x");
    reporter.compare("DeleteFirstEntry/iterations:40", "PlainWrite2MiB/iterations:40", "one directory write");
    reporter.compare("RenameEntry/iterations:40", "PlainWrite2MiB/iterations:40", "one directory write");
    reporter.compare("ReplaceSmallInPlace/iterations:40", "PlainWrite2MiB/iterations:40", "two directory writes");
    // The 256 MiB operations print their paired ratio_median (target < 1.1x;
    // 2.2x for the crash-safe replace in place) and peak_growth_MiB (target
    // < 16) in their own rows above the table.
    benchmark::RunSpecifiedBenchmarks(&reporter);
    removeScratch();
    return 0;
}
