// The 32-byte directory entry.
//
//   offset 0   4 bytes  start sector, signed 32-bit little-endian
//   offset 4   4 bytes  sector count, unsigned 32-bit little-endian
//   offset 8  24 bytes  name: 8-bit characters up to the first NUL, or all
//                       24 bytes when none is NUL
//
// The entry is kept as its raw bytes, so that a record read from a directory
// file is written back byte for byte, bytes after the name's NUL included.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>

namespace brimlet {

inline constexpr size_t kEntrySize = 32;
inline constexpr size_t kNameFieldSize = 24;

class DirEntry {
public:
    using Bytes = std::array<uint8_t, kEntrySize>;

    DirEntry() { bytes_.fill(0); }
    explicit DirEntry(const Bytes& bytes) : bytes_(bytes) {}

    int32_t startSector() const { return static_cast<int32_t>(readU32(0)); }
    uint32_t sectorCount() const { return readU32(4); }
    void setStartSector(int32_t sector) { writeU32(0, static_cast<uint32_t>(sector)); }
    void setSectorCount(uint32_t count) { writeU32(4, count); }

    // The name: the field's bytes before the first NUL (all 24 without one).
    std::string name() const;
    std::string_view nameView() const;

    // Writes `name` into the field followed by one NUL when it is shorter than
    // the field; the bytes after that NUL keep their values. Throws Failure
    // for a name longer than 24 bytes, changing nothing.
    void setName(const std::string& name);

    const Bytes& bytes() const { return bytes_; }

private:
    uint32_t readU32(size_t at) const;
    void writeU32(size_t at, uint32_t value);

    Bytes bytes_;
};

static_assert(sizeof(DirEntry) == kEntrySize);
// The table is copied and read from disk with memcpy.
static_assert(std::is_trivially_copyable_v<DirEntry>);

// Refuses a name that does not fit the 24-byte field, with a clear message.
void checkNameFits(const std::string& name);

}  // namespace brimlet
