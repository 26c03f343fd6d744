#include "test_support.h"

#include "archive/paths.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#endif

namespace brimlet::test {

std::filesystem::path fsPath(const std::string& utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Path(const std::filesystem::path& path)
{
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

TempDir::TempDir()
{
    std::random_device random;
    auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        auto candidate = base / ("brimlet-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) path_ = utf8Path(candidate);
    }
    if (path_.empty()) throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Make everything writable again so tests of read-only files clean up.
    // Never throws: a path the library cannot walk (past MAX_PATH on
    // Windows) is left behind rather than end the test run.
    std::filesystem::recursive_directory_iterator it(fsPath(path_), ec), end;
    for (; !ec && it != end; it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(fsPath(path_), ec);
}

bool makeLink(const std::string& target, const std::string& link)
{
    std::error_code ec;
    std::filesystem::create_symlink(fsPath(target), fsPath(link), ec);
    return !ec;
}

void makeFolder(const std::string& path)
{
    if (!std::filesystem::create_directory(fsPath(path))) throw std::runtime_error("cannot make " + path);
}

Bytes readFile(const std::string& path)
{
    std::ifstream in(fsPath(path), std::ios::binary | std::ios::ate);
    if (!in) throw std::runtime_error("cannot read " + path);
    Bytes bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(fsPath(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::symlink_status(fsPath(path), ec).type() != std::filesystem::file_type::not_found && !ec;
}

Bytes pattern(size_t size, uint8_t seed)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>((i * 7 + seed) % 251 + 1);
    return bytes;
}

DirEntry makeEntry(int32_t start, uint32_t count, const std::string& name)
{
    DirEntry entry;
    entry.setStartSector(start);
    entry.setSectorCount(count);
    entry.setName(name);
    return entry;
}

Bytes directoryBytes(const std::vector<DirEntry>& entries)
{
    Bytes bytes;
    for (const auto& e : entries) bytes.insert(bytes.end(), e.bytes().begin(), e.bytes().end());
    return bytes;
}

EntryTable tableOf(const Bytes& directory)
{
    EntryTable table;
    table.setCount(std::min(directory.size() / kEntrySize, EntryTable::kCapacity));
    std::copy_n(directory.begin(), table.imageSize(), table.storage());
    return table;
}

bool containsIgnoringCase(const std::string& text, const std::string& search)
{
    return containsLowered(text, lowerAscii(search));
}

std::string makeArchive(const std::string& base, const std::vector<DirEntry>& entries, const Bytes& data)
{
    writeFile(base + ".dir", directoryBytes(entries));
    writeFile(base + ".img", data);
    return base + ".dir";
}

int openDescriptorCount()
{
#ifdef _WIN32
    DWORD handles = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &handles);
    return static_cast<int>(handles);
#else
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir)) ++count;
        ::closedir(dir);
    }
    return count;
#endif
}

static void put32(Bytes& out, uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

// "VER2", the count, the entries, then zeros up to the first entry's sector
// and the entries' bytes from `data` placed at their sectors.
Bytes version2File(const std::vector<Version2Entry>& entries, const Bytes& data, size_t dataSector)
{
    Bytes out = {'V', 'E', 'R', '2'};
    put32(out, static_cast<uint32_t>(entries.size()));
    for (const auto& e : entries) {
        put32(out, e.start);
        out.push_back(static_cast<uint8_t>(e.size));
        out.push_back(static_cast<uint8_t>(e.size >> 8));
        out.push_back(static_cast<uint8_t>(e.second));
        out.push_back(static_cast<uint8_t>(e.second >> 8));
        Bytes name(24, 0);
        std::copy(e.name.begin(), e.name.end(), name.begin());
        out.insert(out.end(), name.begin(), name.end());
    }
    out.resize(dataSector * 2048, 0);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}


std::vector<Version2Entry> readVersion2Independently(const Bytes& file)
{
    auto u32 = [&](size_t at) { return uint32_t(file.at(at)) | uint32_t(file.at(at + 1)) << 8 | uint32_t(file.at(at + 2)) << 16 | uint32_t(file.at(at + 3)) << 24; };
    auto u16 = [&](size_t at) { return static_cast<uint16_t>(file.at(at) | file.at(at + 1) << 8); };
    if (file.size() < 8 || std::string(file.begin(), file.begin() + 4) != "VER2") return {};
    std::vector<Version2Entry> entries;
    for (size_t i = 0, n = u32(4); i < n; ++i) {
        size_t at = 8 + 32 * i;
        std::string name;
        for (size_t k = 0; k < 24 && file.at(at + 8 + k) != 0; ++k) name += static_cast<char>(file.at(at + 8 + k));
        entries.push_back({u32(at), u16(at + 4), u16(at + 6), name});
    }
    return entries;
}

// ---------------------------------------------------------------- both versions

std::string Layout::make(const std::string& base, const std::vector<DirEntry>& entries, const Bytes& data) const
{
    if (version_ == Version::One) return makeArchive(base, entries, data);
    Bytes file = {'V', 'E', 'R', '2'};
    put32(file, static_cast<uint32_t>(entries.size()));
    for (DirEntry e : entries) {
        if (e.sectorCount() > 0xFFFF) throw std::invalid_argument("a version 2 entry holds at most 65,535 sectors");
        if (e.startSector() >= 0) e.setStartSector(e.startSector() + static_cast<int32_t>(firstDataSector()));
        file.insert(file.end(), e.bytes().begin(), e.bytes().end()); // the high half of the count is the second size: 0
    }
    if (file.size() > 2048) throw std::invalid_argument("more entries than the first sector holds");
    file.resize(2048, 0);
    file.insert(file.end(), data.begin(), data.end());
    writeFile(base + ".img", file);
    return base + ".img";
}

std::string Layout::dataPath(const std::string& archive) const
{
    return version_ == Version::One ? archive.substr(0, archive.size() - 4) + ".img" : archive;
}

Bytes Layout::data(const std::string& archive) const
{
    Bytes file = readFile(dataPath(archive));
    size_t front = std::min<size_t>(file.size(), firstDataSector() * 2048u);
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(front), file.end());
}

void Layout::writeData(const std::string& archive, const Bytes& data) const
{
    Bytes file;
    if (version_ == Version::Two) {
        file = readFile(archive);
        file.resize(firstDataSector() * 2048u);
    }
    file.insert(file.end(), data.begin(), data.end());
    writeFile(dataPath(archive), file);
}

int64_t Layout::relative(int32_t start) const
{
    return start >= static_cast<int32_t>(firstDataSector()) ? start - int64_t{firstDataSector()} : start;
}

Bytes Layout::directory(const std::string& archive) const
{
    if (version_ == Version::One) return readFile(archive);
    Bytes file = readFile(archive);
    size_t count = file.at(4) | size_t{file.at(5)} << 8 | size_t{file.at(6)} << 16 | size_t{file.at(7)} << 24;
    Bytes entries(file.begin() + 8, file.begin() + static_cast<std::ptrdiff_t>(8 + 32 * count));
    for (size_t at = 0; at < entries.size(); at += 32) {
        DirEntry::Bytes raw;
        std::copy_n(entries.begin() + static_cast<std::ptrdiff_t>(at), 32, raw.begin());
        DirEntry e(raw);
        e.setStartSector(static_cast<int32_t>(relative(e.startSector())));
        std::copy(e.bytes().begin(), e.bytes().end(), entries.begin() + static_cast<std::ptrdiff_t>(at));
    }
    return entries;
}

int64_t Layout::start(const Archive& archive, size_t i) const { return relative(archive.table()[i].startSector()); }

std::string versionName(Archive::Version version) { return version == Archive::Version::One ? "Version1" : "Version2"; }

}  // namespace brimlet::test
