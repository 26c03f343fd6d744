// Check: what in an archive the games will not load, or that another tool
// would trip on. Reads only.
//
// Entry problems, one line each, naming the entry by index and name:
//   a span past the end of the data file; spans that overlap; a name that
//   repeats another ignoring case; a name with no "." (one game loads nothing
//   without an extension); a part before the first "." longer than 20 bytes;
//   a 24-byte name with no NUL (one game cuts its last byte); a start sector
//   at 2^24 or beyond (the games keep the image number in the top 8 bits); a
//   0-sector entry; non-printable bytes in a name.
// A version 2 archive's entries also: a second size field that is not 0,
// a start inside the directory (those come first).
// Archive notes, which are not entry problems: a directory file whose size
// is not a multiple of 32, and, last, the dead space a rebuild gives back.
#pragma once

#include "entry_table.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brimlet {

class Archive;

// An entry problem: what kind, which entry, and its line of the report
// ("#3 \"name\": its span reaches past the end of the data file").
struct CheckProblem {
    enum class Kind {
        ZeroSectors, SpanPastTheEnd, StartOutsideTheGames, NoExtension, LongFirstPart, NameFillsTheField,
        NonPrintableName, Overlap, RepeatedName,
        SecondSize, InsideTheDirectory // version 2 only
    };
    Kind kind;
    size_t entry;
    std::string text;
};

struct CheckReport {
    std::vector<CheckProblem> problems; // in entry order, then overlaps, then repeats
    std::vector<std::string> problemLines() const;
    std::vector<std::string> notes;    // about the archive as a whole
    bool partialEntry = false;         // the directory file ends in part of an entry
    // Whether anything is wrong (the dead-space note is no fault).
    bool foundProblems() const { return !problems.empty() || partialEntry; }
};

// What about a new name the games may trip over; empty when nothing.
enum class NameTrouble { Empty, NoExtension, FillsTheField, OutsideAscii };
std::vector<NameTrouble> nameTroubleKinds(std::string_view name);
// One phrase each ("has no extension (...)"), to follow "the entry name "X"".
std::string troublePhrase(NameTrouble trouble);
std::vector<std::string> nameTroubles(std::string_view name);

// How problems name entries: Escaped, every byte outside printable ASCII
// (and "\\") as \xNN, for a terminal; AsListed, as the window's list shows
// them, Latin-1 as its characters and only control bytes as \xNN.
enum class NameStyle { Escaped, AsListed };

CheckReport checkTable(const EntryTable& table, uint64_t directoryFileSize, uint64_t dataFileSize,
                       NameStyle style = NameStyle::Escaped);
// The open archive, as it is on disk now.
CheckReport checkArchive(const Archive& archive, NameStyle style = NameStyle::Escaped);

}  // namespace brimlet
