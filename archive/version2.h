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
// passes the end of the file is refused; an entry of at most 65,535
// sectors (the size field is 16 bits). An archive with a second size that
// is not 0 is read but never written, so that those bytes stay as they are.
//
// The save. The directory is rewritten in place, at the front of the one
// file that also holds the entries, so no rename can make it atomic.
// Instead:
//   1. every byte the new directory points at is written and flushed (new
//      entries appended; entries that sit where a grown directory will
//      reach copied to the end first);
//   2. a copy of the new directory is appended past the file's end, with a
//      32-byte trailer that proves it whole ("BRIMLET V2 SAVE", where the
//      copy starts, its length, a checksum), and flushed;
//   3. the copy is written into place at the front, and flushed;
//   4. the copy and its trailer are cut off (not flushed: a cut that loses
//      this leaves the copy, which is the directory already).
// A cut before the copy is whole leaves the front as it was: the old
// directory, pointing at bytes no step has touched. A cut after it leaves
// the copy, which the next open writes into place and cuts off (an open
// that may not write refuses the archive until one that may has). So at
// every moment each entry reads its old bytes or its new ones.
#pragma once

#include "entry_table.h"

#include <cstdint>
#include <string>
#include <vector>

namespace brimlet {

class File;

inline constexpr char kVersion2Magic[4] = {'V', 'E', 'R', '2'};
inline constexpr size_t kVersion2HeaderSize = 8;

// Whether the file at `path` starts with "VER2"; a Failure when it cannot be read.
bool startsAsVersion2(const std::string& path);

// Reads the directory at the front of a version 2 file into `table` as
// version 1 entries; returns each entry's second size field, or nothing
// when every one is 0 (the games' own files).
std::vector<uint16_t> readVersion2Directory(const File& file, const std::string& path, EntryTable& table);

// Whether the file's directory is still `table` with those second sizes.
bool version2DirectoryIs(const File& file, const EntryTable& table, const std::vector<uint16_t>& secondSizes);
// The sectors the directory's bytes reach into: no entry may start below.
uint64_t version2DirectorySectors(size_t count);

// Steps 2 to 4 of the save (the entries' bytes are flushed already).
// `stands` is set once the copy is whole: from then on the new directory
// is the archive's, whatever fails, and no byte it points at may be cut.
void saveVersion2Directory(File& file, const EntryTable& table, bool& stands);
// A save cut short after its step 2 is finished: the copy written into
// place and cut off. `mayWrite` false: refused with a message instead.
// Whether there was one.
bool finishCutVersion2Save(File& file, bool mayWrite);

// The directory's bytes at the front: "VER2", the count, the entries.
std::vector<uint8_t> version2Front(const EntryTable& table);

// A new, empty version 2 archive's bytes: "VER2" and a count of 0.
std::vector<uint8_t> emptyVersion2Archive();

}  // namespace brimlet
