// The sector rules of the data file.
//
// The data file is addressed in sectors of 2048 bytes. The padded size of a
// byte length is the smallest multiple of 2048 strictly greater than it, so a
// length that is already a multiple gets one sector more than it needs:
// 0 -> 2048, 2047 -> 2048, 2048 -> 4096. Other tools rely on these counts.
#pragma once

#include <cstdint>

namespace brimlet {

inline constexpr uint64_t kSectorSize = 2048;

constexpr uint64_t paddedSize(uint64_t length) { return (length / kSectorSize + 1) * kSectorSize; }

constexpr uint64_t sectorsFor(uint64_t length) { return paddedSize(length) / kSectorSize; }

// An appended entry starts at the sector in which the data file ends, so it
// may overwrite the last few bytes of a file whose size is not whole sectors.
constexpr uint64_t appendStartSector(uint64_t dataFileSize) { return dataFileSize / kSectorSize; }

constexpr uint64_t sectorOffset(uint64_t sector) { return sector * kSectorSize; }

}  // namespace brimlet
