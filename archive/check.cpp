#include "check.h"

#include "archive.h"
#include "file.h"
#include "name_index.h"
#include "paths.h"
#include "placement.h"
#include "version2.h"

#include <algorithm>

namespace brimlet {

namespace {

constexpr int64_t kFirstSectorTheGamesCannotReach = int64_t{1} << 24;

// A name as the report shows it: bytes outside printable ASCII as \xNN.
std::string shown(std::string_view name)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : name) {
        if (c >= 0x20 && c < 0x7F && c != '\\') out += static_cast<char>(c);
        else out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
    }
    return out + "\"";
}

// A name as the window's list shows it: Latin-1 as its characters (UTF-8),
// only control bytes as \xNN.
std::string asListed(std::string_view name)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out = "\"";
    for (unsigned char c : name) {
        bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
        if (control) out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
        else out += hostTextOfEntryName(std::string_view(reinterpret_cast<const char*>(&c), 1));
    }
    return out + "\"";
}

// "#3 \"name\"": an entry by its position (from 0, as the list counts) and name.
struct Label {
    const EntryTable& table;
    NameStyle style;
    std::string operator()(size_t i) const
    {
        std::string_view name = table[i].nameView();
        return "#" + std::to_string(i) + " " + (style == NameStyle::AsListed ? asListed(name) : shown(name));
    }
};

bool printable(std::string_view name)
{
    return std::all_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x20 && c != 0x7F; });
}

}  // namespace

std::vector<NameTrouble> nameTroubleKinds(std::string_view name)
{
    if (name.empty()) return {NameTrouble::Empty};
    std::vector<NameTrouble> troubles;
    if (name.find('.') == std::string_view::npos) troubles.push_back(NameTrouble::NoExtension);
    if (name.size() >= kNameFieldSize) troubles.push_back(NameTrouble::FillsTheField);
    if (!std::all_of(name.begin(), name.end(), [](char c) { auto byte = static_cast<unsigned char>(c); return byte >= 0x20 && byte < 0x7F; }))
        troubles.push_back(NameTrouble::OutsideAscii);
    return troubles;
}

std::string troublePhrase(NameTrouble trouble)
{
    switch (trouble) {
    case NameTrouble::Empty: return "is empty (no game can load it)";
    case NameTrouble::NoExtension: return "has no extension (one game loads nothing without one)";
    case NameTrouble::FillsTheField: return "fills all 24 bytes (one game cuts its last byte)";
    case NameTrouble::OutsideAscii: return "holds bytes outside printable ASCII, which the games compare as ASCII";
    }
    return {};
}

std::vector<std::string> nameTroubles(std::string_view name)
{
    std::vector<std::string> phrases;
    for (NameTrouble trouble : nameTroubleKinds(name)) phrases.push_back(troublePhrase(trouble));
    return phrases;
}

namespace {

using Problems = std::vector<CheckProblem>;
using Kind = CheckProblem::Kind;

void checkName(const EntryTable& table, const Label& label, size_t i, Problems& out)
{
    std::string_view name = table[i].nameView();
    auto dot = name.find('.');
    if (dot == std::string_view::npos) out.push_back({Kind::NoExtension, i, label(i) + ": the name has no extension"});
    else if (dot > 20)
        out.push_back({Kind::LongFirstPart, i, label(i) + ": the name's part before the first \".\" is longer than 20 bytes"});
    if (name.size() == kNameFieldSize)
        out.push_back({Kind::NameFillsTheField, i, label(i) + ": the name fills all 24 bytes with no NUL"});
    if (!printable(name)) out.push_back({Kind::NonPrintableName, i, label(i) + ": the name has non-printable bytes"});
}

void checkSpan(const EntryTable& table, const Label& label, size_t i, uint64_t dataFileSize, Problems& out)
{
    const DirEntry& e = table[i];
    if (e.sectorCount() == 0) out.push_back({Kind::ZeroSectors, i, label(i) + ": it has 0 sectors"});
    else if (!spanInside(spanOf(e), dataFileSize))
        out.push_back({Kind::SpanPastTheEnd, i, label(i) + ": its span reaches past the end of the data file"});
    if (e.startSector() >= kFirstSectorTheGamesCannotReach || e.startSector() < 0)
        out.push_back({Kind::StartOutsideTheGames, i,
                       label(i) + ": it starts at sector " + std::to_string(e.startSector()) + ", outside 0 to 16777215"});
}

void checkRepeats(const EntryTable& table, const Label& label, Problems& out)
{
    NameIndex index(table);
    for (auto [repeat, first] : index.repeats())
        out.push_back({Kind::RepeatedName, repeat, label(repeat) + ": the name repeats that of #" + std::to_string(first)});
}

// Each entry whose span begins inside an earlier-starting one, once.
void checkOverlaps(const EntryTable& table, const Label& label, Problems& out)
{
    std::vector<size_t> order;
    order.reserve(table.count());
    bool sorted = true; // as an archive written front to back is: then no sort is needed
    for (size_t i = 0; i < table.count(); ++i) {
        if (table[i].sectorCount() == 0) continue;
        sorted = sorted && (order.empty() || table[order.back()].startSector() <= table[i].startSector());
        order.push_back(i);
    }
    if (!sorted)
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return std::pair(table[a].startSector(), a) < std::pair(table[b].startSector(), b);
        });
    int64_t reach = INT64_MIN;
    size_t reacher = 0;
    for (size_t i : order) {
        int64_t start = table[i].startSector(), end = start + table[i].sectorCount();
        if (start < reach) out.push_back({Kind::Overlap, i, label(i) + ": its span overlaps that of " + label(reacher)});
        if (end > reach) {
            reach = end;
            reacher = i;
        }
    }
}

}  // namespace

CheckReport checkTable(const EntryTable& table, uint64_t directoryFileSize, uint64_t dataFileSize, NameStyle style)
{
    CheckReport report;
    Label label{table, style};
    Problems overlaps, repeats;
    for (size_t i = 0; i < table.count(); ++i) {
        checkSpan(table, label, i, dataFileSize, report.problems);
        checkName(table, label, i, report.problems);
    }
    checkOverlaps(table, label, overlaps);
    checkRepeats(table, label, repeats);
    report.problems.insert(report.problems.end(), overlaps.begin(), overlaps.end());
    report.problems.insert(report.problems.end(), repeats.begin(), repeats.end());
    report.partialEntry = directoryFileSize % kEntrySize != 0;
    if (report.partialEntry)
        report.notes.push_back("The directory file's size, " + std::to_string(directoryFileSize) +
                               " bytes, is not a multiple of 32: its last " +
                               std::to_string(directoryFileSize % kEntrySize) + " bytes are not an entry (every save keeps them after the entries)");
    uint64_t spans = 0;
    bool allInside = true;
    for (size_t i = 0; i < table.count(); ++i) {
        spans += uint64_t{table[i].sectorCount()} * kSectorSize;
        allInside = allInside && (table[i].sectorCount() == 0 || spanInside(spanOf(table[i]), dataFileSize));
    }
    if (!allInside)
        report.notes.push_back("No dead-space figure: a span reaches past the end of the data file, and rebuild "
                               "refuses such an archive");
    else if (dataFileSize > spans)
        report.notes.push_back("Dead space: " + std::to_string(dataFileSize - spans) +
                               (dataFileSize - spans == 1 ? " byte" : " bytes") + ", which rebuild gives back");
    else if (dataFileSize < spans)
        report.notes.push_back("No dead space; rebuild would add " + std::to_string(spans - dataFileSize) +
                               " bytes, giving entries that share a span their own copies");
    else
        report.notes.push_back("No dead space");
    return report;
}

std::vector<std::string> CheckReport::problemLines() const
{
    std::vector<std::string> lines;
    for (const auto& problem : problems) lines.push_back(problem.text);
    return lines;
}

namespace {

// What only a version 2 archive can have wrong: a second size field that is
// not 0, an entry that starts inside the directory. Its dead space is what
// neither the directory nor a span covers.
void checkVersion2(const Archive& archive, uint64_t fileSize, NameStyle style, CheckReport& report)
{
    const EntryTable& table = archive.table();
    Label label{table, style};
    uint64_t reserved = version2DirectorySectors(table.count());
    Problems found;
    uint64_t spans = 0;
    for (size_t i = 0; i < table.count(); ++i) {
        if (uint16_t second = archive.secondSize(i))
            found.push_back({Kind::SecondSize, i,
                             label(i) + ": its second size field holds " + std::to_string(second) +
                                 " (the games' own files have 0); its size is read from the first"});
        if (table[i].sectorCount() > 0 && table[i].startSector() >= 0 && uint64_t(table[i].startSector()) < reserved)
            found.push_back({Kind::InsideTheDirectory, i,
                             label(i) + ": it starts at sector " + std::to_string(table[i].startSector()) +
                                 ", inside the directory (sectors 0 to " + std::to_string(reserved - 1) + ")"});
        spans += uint64_t{table[i].sectorCount()} * kSectorSize;
    }
    report.problems.insert(report.problems.begin(), found.begin(), found.end());
    uint64_t free = fileSize > reserved * kSectorSize ? fileSize - reserved * kSectorSize : 0;
    if (!report.notes.empty() && report.notes.back().rfind("No dead-space figure", 0) != 0)
        report.notes.back() = free > spans ? "Dead space: " + std::to_string(free - spans) +
                                                 (free - spans == 1 ? " byte" : " bytes") + ", which rebuild gives back"
                                           : "No dead space";
}

}  // namespace

CheckReport checkArchive(const Archive& archive, NameStyle style)
{
    File data(archive.dataPath(), File::Mode::ReadOnly);
    uint64_t dataSize = data.size();
    data.close();
    if (archive.version() == Archive::Version::Two) {
        CheckReport report = checkTable(archive.table(), archive.table().imageSize(), dataSize, style);
        checkVersion2(archive, dataSize, style, report);
        return report;
    }
    File directory(archive.directoryPath(), File::Mode::ReadOnly);
    uint64_t directorySize = directory.size();
    directory.close();
    return checkTable(archive.table(), directorySize, dataSize, style);
}

}  // namespace brimlet
