// The version 2 archive of the later games: one file, "gta3.img", with its
// directory inside.
//
//   offset 0   4 bytes  "VER2"
//   offset 4   4 bytes  N, the entry count, unsigned 32-bit little-endian
//   offset 8  32 bytes  N times: uint32 start sector, uint16 size in
//                       sectors (the streaming size), uint16 a second size
//                       (0 in the games' own files), 24-byte name as in
//                       version 1 (dir_entry.h)
//
// Sectors are 2048 bytes, counted from the start of the file; the entries'
// bytes follow the directory, each from a sector's start. A ".img" that
// starts with "VER2" and has no ".dir" beside it is one; a version 1 pair
// has no header.
//
// In memory an entry is held as a version 1 entry of the same bytes: the
// fields line up, but for the second size, which is taken out of the
// entry's count (so its sector count is the streaming size) and kept aside.
//
// Limits: N of at most 65,536 entries (as version 1); a directory that
// passes the end of the file is refused. This program reads version 2
// archives (list, search, export, extract, check); commands that would
// write one are refused before they touch it.
#pragma once

#include "entry_table.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brimlet {

class File;

inline constexpr char kVersion2Magic[4] = {'V', 'E', 'R', '2'};
inline constexpr size_t kVersion2HeaderSize = 8;

// Whether the file at `path` starts with "VER2" (false when it cannot be read).
bool startsAsVersion2(const std::string& path);

// Reads the directory at the front of a version 2 file into `table` as
// version 1 entries; returns each entry's second size field, or nothing
// when every one is 0 (the games' own files).
std::vector<uint16_t> readVersion2Directory(const File& file, const std::string& path, EntryTable& table);

// Whether the file's directory is still `table` with those second sizes.
bool version2DirectoryIs(const File& file, const EntryTable& table, const std::vector<uint16_t>& secondSizes);
// The sectors the directory's bytes reach into: no entry may start below.
uint64_t version2DirectorySectors(size_t count);

}  // namespace brimlet
