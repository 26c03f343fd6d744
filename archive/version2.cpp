#include "version2.h"

#include "errors.h"
#include "file.h"
#include "sectors.h"
#include "sys.h"

#include <cerrno>
#include <cstring>
#include <optional>

namespace brimlet {

namespace {

uint32_t readU32(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t{at[3]} << 24; }

constexpr size_t kSecondSizeAt = 6; // in an entry

void put32(uint8_t* at, uint32_t value)
{
    for (int k = 0; k < 4; ++k) at[k] = static_cast<uint8_t>(value >> (8 * k));
}

// The save's trailer, after the copy of the directory.
constexpr char kTrailerMagic[16] = {'B', 'R', 'I', 'M', 'L', 'E', 'T', ' ', 'V', '2', ' ', 'S', 'A', 'V', 'E', '\0'};
constexpr size_t kTrailerSize = 32;

uint32_t checksum(const uint8_t* bytes, size_t size)
{
    uint32_t hash = 2166136261u; // FNV-1a
    for (size_t k = 0; k < size; ++k) hash = (hash ^ bytes[k]) * 16777619u;
    return hash;
}

}  // namespace

std::vector<uint8_t> version2Front(const EntryTable& table)
{
    std::vector<uint8_t> front(kVersion2HeaderSize + table.imageSize());
    std::memcpy(front.data(), kVersion2Magic, sizeof kVersion2Magic);
    put32(front.data() + 4, static_cast<uint32_t>(table.count()));
    std::memcpy(front.data() + kVersion2HeaderSize, table.image(), table.imageSize());
    return front;
}

namespace {

// The copy a save left past its data, when its trailer proves it whole.
struct CutSave {
    uint64_t start;
    std::vector<uint8_t> front;
};

std::optional<CutSave> cutSaveIn(const File& file)
{
    uint64_t size = file.size();
    if (size < kTrailerSize + kVersion2HeaderSize) return std::nullopt;
    uint8_t trailer[kTrailerSize];
    file.readExact(std::span<uint8_t>(trailer, sizeof trailer), size - kTrailerSize);
    if (std::memcmp(trailer, kTrailerMagic, sizeof kTrailerMagic) != 0) return std::nullopt;
    uint64_t start = readU32(trailer + 16) | uint64_t{readU32(trailer + 20)} << 32;
    uint32_t length = readU32(trailer + 24);
    // A save's copy lies past every byte the directory it holds may cover,
    // and holds at most the most entries there can be: a trailer that says
    // otherwise is no save of ours, whatever its checksum.
    constexpr uint64_t kLongest = kVersion2HeaderSize + uint64_t{EntryTable::kCapacity} * kEntrySize;
    if (length < kVersion2HeaderSize || length > kLongest || start < length || start > size - kTrailerSize ||
        size - kTrailerSize - start != length)
        return std::nullopt;
    CutSave cut{start, std::vector<uint8_t>(length)};
    file.readExact(std::span<uint8_t>(cut.front), start);
    bool whole = checksum(cut.front.data(), length) == readU32(trailer + 28) &&
                 std::memcmp(cut.front.data(), kVersion2Magic, sizeof kVersion2Magic) == 0 &&
                 kVersion2HeaderSize + uint64_t{readU32(cut.front.data() + 4)} * kEntrySize == length;
    if (!whole) return std::nullopt;
    return cut;
}

}  // namespace

void saveVersion2Directory(File& file, const EntryTable& table, bool& stands)
{
    for (size_t i = 0; i < table.count(); ++i)
        if (table[i].sectorCount() > 0xFFFF)
            throw Failure("An entry of a version 2 archive holds at most 65535 sectors (128 MiB): \"" + table[i].name() +
                          "\" would need " + std::to_string(table[i].sectorCount()));
    std::vector<uint8_t> front = version2Front(table);
    uint64_t start = file.size();
    std::vector<uint8_t> copy = front;
    copy.resize(front.size() + kTrailerSize);
    uint8_t* trailer = copy.data() + front.size();
    std::memcpy(trailer, kTrailerMagic, sizeof kTrailerMagic);
    put32(trailer + 16, static_cast<uint32_t>(start));
    put32(trailer + 20, static_cast<uint32_t>(start >> 32));
    put32(trailer + 24, static_cast<uint32_t>(front.size()));
    put32(trailer + 28, checksum(front.data(), front.size()));
    try {
        file.writeExact(std::span<const char>(reinterpret_cast<const char*>(copy.data()), copy.size()), start);
        file.sync();
    } catch (...) {
        try {
            file.truncate(start); // the front is untouched: the old directory stands
        } catch (const Failure&) {
        }
        throw;
    }
    // From here on the copy stands for the directory: a failure leaves it
    // for the next open to finish.
    stands = true;
    try {
        file.writeExact(std::span<const char>(reinterpret_cast<const char*>(front.data()), front.size()), 0);
        file.sync();
        // Not flushed: a cut that loses it leaves the copy, which the next
        // open writes into place again; a later command's flush takes it.
        file.truncate(start);
    } catch (const Failure& failure) {
        Failure kept(std::string(failure.what()) + "; the change is kept, and shows once the archive is opened again");
        kept.setPath(failure.path());
        throw kept;
    }
}

bool finishCutVersion2Save(File& file, bool mayWrite)
{
    std::optional<CutSave> cut = cutSaveIn(file);
    if (!cut) return false;
    if (!mayWrite)
        throw Failure(file.path() + ": its last save was cut short; open it once where it may be written, which "
                                    "finishes that save");
    file.writeExact(std::span<const char>(reinterpret_cast<const char*>(cut->front.data()), cut->front.size()), 0);
    file.sync();
    file.truncate(cut->start);
    return true;
}

std::vector<uint8_t> emptyVersion2Archive()
{
    std::vector<uint8_t> bytes(kVersion2HeaderSize, 0);
    std::memcpy(bytes.data(), kVersion2Magic, sizeof kVersion2Magic);
    return bytes;
}

bool startsAsVersion2(const std::string& path)
{
    sys::FileStatus st;
    if (sys::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return false;
        raiseErrno(errno, path);
    }
    File file(path, File::Mode::ReadOnly);
    char magic[sizeof kVersion2Magic] = {};
    if (file.size() < sizeof magic) return false;
    file.readExact(std::span<char>(magic, sizeof magic), 0);
    return std::memcmp(magic, kVersion2Magic, sizeof magic) == 0;
}

std::vector<uint16_t> readVersion2Directory(const File& file, const std::string& path, EntryTable& table)
{
    uint64_t size = file.size();
    uint8_t header[kVersion2HeaderSize] = {};
    if (size < sizeof header) throw Failure(path + ": its version 2 header is cut short");
    file.readExact(std::span<uint8_t>(header, sizeof header), 0);
    uint64_t count = readU32(header + 4);
    if (count > EntryTable::kCapacity) throw Failure("The directory of " + path + " holds more than 65536 entries");
    if (sizeof header + count * kEntrySize > size)
        throw Failure(path + ": its directory of " + std::to_string(count) + (count == 1 ? " entry" : " entries") +
                      " passes the end of the file");
    file.readExact(std::span<uint8_t>(table.storage(), static_cast<size_t>(count) * kEntrySize), sizeof header);
    table.setCount(static_cast<size_t>(count));
    std::vector<uint16_t> secondSizes;
    for (size_t i = 0; i < count; ++i) {
        uint32_t fields = table[i].sectorCount();
        if (fields >> 16 == 0) continue;
        secondSizes.resize(static_cast<size_t>(count), 0);
        secondSizes[i] = static_cast<uint16_t>(fields >> 16);
        table[i].setSectorCount(fields & 0xFFFF);
    }
    return secondSizes;
}

bool version2DirectoryIs(const File& file, const EntryTable& table, const std::vector<uint16_t>& secondSizes)
{
    uint64_t size = kVersion2HeaderSize + table.imageSize();
    if (file.size() < size) return false;
    std::vector<uint8_t> onDisk(static_cast<size_t>(size));
    file.readExact(std::span<uint8_t>(onDisk), 0);
    if (std::memcmp(onDisk.data(), kVersion2Magic, sizeof kVersion2Magic) != 0 || readU32(onDisk.data() + 4) != table.count())
        return false;
    uint8_t* entries = onDisk.data() + kVersion2HeaderSize;
    for (size_t i = 0; i < secondSizes.size(); ++i) {
        uint8_t* second = entries + i * kEntrySize + kSecondSizeAt;
        if ((second[0] | second[1] << 8) != secondSizes[i]) return false;
        second[0] = second[1] = 0;
    }
    return std::memcmp(entries, table.image(), table.imageSize()) == 0;
}

uint64_t version2DirectorySectors(size_t count)
{
    uint64_t bytes = kVersion2HeaderSize + uint64_t{count} * kEntrySize;
    return (bytes + kSectorSize - 1) / kSectorSize;
}

}  // namespace brimlet
