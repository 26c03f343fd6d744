#include "cli.h"

#include "archive/archive.h"
#include "archive/errors.h"
#include "archive/paths.h"

#include <charconv>
#include <functional>
#include <map>
#include <ostream>

namespace brimlet::cli {

namespace {

constexpr const char* kUsage =
    "usage: brimlet-cli COMMAND ARCHIVE [ARGUMENTS]\n"
    "\n"
    "  list    ARCHIVE                  one line per entry: INDEX, START, COUNT, NAME (tab-separated)\n"
    "  export  ARCHIVE ENTRY DEST       write the entry's whole span to DEST (- for standard output)\n"
    "  add     ARCHIVE FILE...          append each FILE as a new entry\n"
    "  replace ARCHIVE ENTRY FILE       put FILE's bytes into the entry\n"
    "  delete  ARCHIVE ENTRY            remove the entry\n"
    "  rename  ARCHIVE ENTRY NEWNAME    rename the entry (at most 24 bytes)\n"
    "\n"
    "ARCHIVE is x.dir, x.img or x (the pair x.dir + x.img).\n"
    "ENTRY is an entry name (ASCII letters match in any case; the first match counts)\n"
    "or #N for the entry at index N, counted from 0.\n";

bool isIndexForm(const std::string& wanted)
{
    return wanted.size() > 1 && wanted[0] == '#' && wanted.find_first_not_of("0123456789", 1) == std::string::npos;
}

// Finds the entry named by `wanted`: "#" followed by digits is an index, and
// anything else ("#abc" included) a name.
size_t findEntry(const Archive& archive, const std::string& wanted)
{
    if (isIndexForm(wanted)) {
        size_t index = 0;
        auto [end, ec] = std::from_chars(wanted.data() + 1, wanted.data() + wanted.size(), index);
        if (ec == std::errc() && end == wanted.data() + wanted.size() && index < archive.count()) return index;
    } else if (long index = archive.indexOf(wanted); index >= 0) {
        return static_cast<size_t>(index);
    }
    throw Failure("No entry \"" + wanted + "\" in the archive");
}

void exportEntry(Archive& archive, const std::vector<std::string>& v, std::ostream& out)
{
    size_t i = findEntry(archive, v[0]);
    if (v[1] == "-") archive.exportEntry(i, out);
    else archive.exportEntry(i, v[1]);
}

void list(Archive& archive, std::ostream& out)
{
    const EntryTable& table = archive.table();
    for (size_t i = 0; i < table.count(); ++i)
        out << i << '\t' << table[i].startSector() << '\t' << table[i].sectorCount() << '\t' << table[i].name()
            << '\n';
}

struct Command {
    size_t minArgs; // after COMMAND ARCHIVE
    bool variadic;
    std::function<void(Archive&, const std::vector<std::string>&, std::ostream&)> run;
};

const std::map<std::string, Command>& commands()
{
    static const std::map<std::string, Command> table = {
        {"list", {0, false, [](Archive& a, const auto&, std::ostream& out) { list(a, out); }}},
        {"export", {2, false, exportEntry}},
        {"add", {1, true, [](Archive& a, const auto& v, std::ostream&) { a.addEntries(v); }}},
        {"replace", {2, false, [](Archive& a, const auto& v, std::ostream&) { a.replaceEntry(findEntry(a, v[0]), v[1]); }}},
        {"delete", {1, false, [](Archive& a, const auto& v, std::ostream&) { a.deleteEntry(findEntry(a, v[0])); }}},
        {"rename", {2, false, [](Archive& a, const auto& v, std::ostream&) { a.renameEntry(findEntry(a, v[0]), v[1]); }}},
    };
    return table;
}

}  // namespace

// Output that cannot be written (a full disk, a closed pipe) is a failure
// like any other.
int finish(std::ostream& out, std::ostream& err)
{
    if (out.flush()) return 0;
    err << "brimlet-cli: Stream write error\n";
    return 1;
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return finish(out, err);
    }
    auto command = args.empty() ? commands().end() : commands().find(args[0]);
    if (command == commands().end() || args.size() < 2) {
        err << kUsage;
        return 2;
    }
    std::vector<std::string> rest(args.begin() + 2, args.end());
    const Command& c = command->second;
    if (rest.size() < c.minArgs || (!c.variadic && rest.size() != c.minArgs)) {
        err << kUsage;
        return 2;
    }
    try {
        Archive archive;
        // A script may wait for the window or another script, but is told so.
        archive.setLockWait({-1, [&] {
                                 err << "brimlet-cli: waiting for another program to finish with " << args[1]
                                     << "\n" << std::flush;
                             }});
        // Held from reading the directory to writing it, so no other program
        // can change the archive in between.
        archive.openimg(args[1], Archive::LockScope::UntilClosed);
        c.run(archive, rest, out);
        return finish(out, err);
    } catch (const std::exception& e) {
        err << "brimlet-cli: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace brimlet::cli
