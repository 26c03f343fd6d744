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

std::vector<uint8_t> readVersion2Directory(const File& file, const std::string& path, EntryTable& table)
{
    uint64_t size = file.size();
    uint8_t header[kVersion2HeaderSize] = {};
    if (size < sizeof header) throw Failure(path + ": its version 2 header is cut short");
    file.readExact(std::span<uint8_t>(header, sizeof header), 0);
    uint64_t count = readU32(header + 4);
    if (count > EntryTable::kCapacity) throw Failure("The directory of " + path + " holds more than 65536 entries");
    uint64_t end = sizeof header + count * kEntrySize;
    if (end > size)
        throw Failure(path + ": its directory of " + std::to_string(count) + (count == 1 ? " entry" : " entries") +
                      " passes the end of the file");
    std::vector<uint8_t> directory(static_cast<size_t>(end));
    file.readExact(std::span<uint8_t>(directory), 0);
    std::memcpy(table.storage(), directory.data() + sizeof header, static_cast<size_t>(count) * kEntrySize);
    table.setCount(static_cast<size_t>(count));
    for (size_t i = 0; i < count; ++i) table[i].setSectorCount(table[i].sectorCount() & 0xFFFF);
    return directory;
}

uint16_t version2SecondSize(const std::vector<uint8_t>& directory, size_t i)
{
    const uint8_t* at = directory.data() + kVersion2HeaderSize + i * kEntrySize + kSecondSizeAt;
    return static_cast<uint16_t>(at[0] | at[1] << 8);
}

uint64_t version2DirectorySectors(size_t count)
{
    uint64_t bytes = kVersion2HeaderSize + uint64_t{count} * kEntrySize;
    return (bytes + kSectorSize - 1) / kSectorSize;
}

}  // namespace brimlet
