#include "version2.h"

#include "errors.h"
#include "file.h"
#include "sectors.h"

#include <cstring>

namespace brimlet {

namespace {

uint32_t readU32(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | uint32_t{at[3]} << 24; }

constexpr size_t kSecondSizeAt = 6; // in an entry

}  // namespace

bool startsAsVersion2(const std::string& path)
{
    try {
        File file(path, File::Mode::ReadOnly);
        char magic[sizeof kVersion2Magic] = {};
        if (file.size() < sizeof magic) return false;
        file.readExact(std::span<char>(magic, sizeof magic), 0);
        return std::memcmp(magic, kVersion2Magic, sizeof magic) == 0;
    } catch (const Failure&) {
        return false; // the open that follows says what is wrong
    }
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
