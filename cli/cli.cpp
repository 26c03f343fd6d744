#include "cli.h"

#include "archive/archive.h"
#include "archive/check.h"
#include "window/wording.h"
#include "archive/errors.h"
#include "archive/paths.h"
#include "archive/sys.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <memory>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <ostream>

namespace brimlet::cli {

namespace {

// The descriptor of standard output, where "-" sends an export.
constexpr int kStandardOutput = 1;

// The commands as --help lists them: name, operands, what it does.
struct Synopsis {
    const char* name;
    const char* operands;
    const char* what;
};
constexpr Synopsis kSynopses[] = {
    {"list", "ARCHIVE", "one line per entry: INDEX, START, COUNT, NAME (tab-separated)"},
    {"export", "ARCHIVE ENTRY DEST", "write the entry's whole span to DEST (- for standard output; a folder: under the entry's name)"},
    {"add", "ARCHIVE FILE...", "append each FILE as a new entry"},
    {"replace", "ARCHIVE ENTRY FILE", "put FILE's bytes into the entry"},
    {"delete", "ARCHIVE ENTRY", "remove the entry"},
    {"rename", "ARCHIVE ENTRY NEWNAME", "rename the entry (at most 24 bytes)"},
    {"create", "[--version 2] ARCHIVE", "make an empty pair (0-byte .dir and .img), or one version 2 .img"},
    {"import", "ARCHIVE FILE...", "replace each entry named like a FILE, add the others"},
    {"extract", "ARCHIVE FOLDER [ENTRY...]", "write entries as files named after them (all without ENTRY)"},
    {"rebuild", "ARCHIVE", "remove dead space; entries in directory order from sector 0"},
    {"check", "ARCHIVE", "report every problem; exit 0 when none, 1 when any"},
};

std::string padded(const std::string& text, size_t width)
{
    return text + std::string(text.size() < width ? width - text.size() : 1, ' ');
}

const std::string& usage()
{
    static const std::string text = [] {
        std::string u = "usage: brimlet-cli COMMAND ARCHIVE [ARGUMENTS]\n"
                        "       brimlet-cli --help | --version\n"
                        "       brimlet-cli COMMAND --help\n"
                        "\n";
        for (const Synopsis& s : kSynopses) u += "  " + padded(s.name, 8) + padded(s.operands, 25) + s.what + "\n";
        return u + "\n"
                   "ARCHIVE is x.dir, x.img or x (the pair x.dir + x.img).\n"
                   "ENTRY is an entry name (ASCII letters match in any case; the first match counts)\n"
                   "or #N for the entry at index N, counted from 0. After --, every argument is a\n"
                   "name, even one that starts with -.\n"
                   "Exit status: 0 success, 1 failure (one line \"brimlet-cli: MESSAGE\" on standard error),\n"
                   "2 usage error.\n";
    }();
    return text;
}

// "usage: brimlet-cli export ARCHIVE ENTRY DEST" and what it does.
std::string commandUsage(const std::string& name)
{
    for (const Synopsis& s : kSynopses)
        if (name == s.name) return "usage: brimlet-cli " + name + " " + s.operands + "\n  " + s.what + "\n";
    return usage();
}

// A message as one line that cannot steer the terminal: control bytes from
// names and paths are shown as \xNN.
std::string oneLine(std::string_view text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c != 0x7F) out += static_cast<char>(c);
        else out += std::string("\\x") + hex[c >> 4] + hex[c & 15];
    }
    return out;
}

bool isIndexForm(const std::string& wanted)
{
    return wanted.size() > 1 && wanted[0] == '#' && wanted.find_first_not_of("0123456789", 1) == std::string::npos;
}

// An entry name typed as UTF-8, as the entry holds it (Latin-1); a name
// that no entry can hold is kept as typed, and so found nowhere.
std::string nameOfArgument(const std::string& text)
{
    try {
        return entryNameFromHost(text);
    } catch (const Failure&) {
        return text;
    }
}

// The games compare names as ASCII and trip over some: a new name is
// warned of, never refused, for what check reports.
void warnOfName(std::ostream& err, const std::string& name, const std::vector<std::string>& troubles)
{
    for (const std::string& trouble : troubles)
        err << "brimlet-cli: warning: the entry name \"" << oneLine(hostTextOfEntryName(name)) << "\" " << trouble
            << '\n';
}

// Finds the entry named by `wanted`: "#" followed by digits is an index, and
// anything else ("#abc" included) a name.
size_t findEntry(const Archive& archive, const std::string& wanted)
{
    if (isIndexForm(wanted)) {
        size_t index = 0;
        auto [end, ec] = std::from_chars(wanted.data() + 1, wanted.data() + wanted.size(), index);
        if (ec == std::errc() && end == wanted.data() + wanted.size() && index < archive.count()) return index;
    } else if (long index = archive.indexOf(nameOfArgument(wanted)); index >= 0) {
        return static_cast<size_t>(index);
    }
    throw Failure("No entry \"" + wanted + "\" in the archive");
}

// What a command works with.
struct Call {
    Archive& archive;
    const std::vector<std::string>& args; // after COMMAND ARCHIVE
    std::ostream& out;
    std::ostream& err;
    Archive::Progress progress; // empty unless standard error is a terminal
};

int list(Call& c)
{
    const EntryTable& table = c.archive.table();
    for (size_t i = 0; i < table.count(); ++i)
        c.out << i << '\t' << table[i].startSector() << '\t' << table[i].sectorCount() << '\t'
              << oneLine(hostTextOfEntryName(table[i].nameView())) << '\n'; // a tab or newline cannot split the line
    return 0;
}

bool isExistingFolder(const std::string& path)
{
    sys::FileStatus st;
    return sys::stat(path.c_str(), &st) == 0 && S_ISDIR(st.mode);
}

// Into a folder, as cp does: the file takes the entry's name, by the rules
// extract names files by; what keeps extract from writing it fails here.
void exportIntoFolder(Call& c, size_t i, const std::string& folder)
{
    std::string why;
    auto note = [&](const std::string& text) {
        if (text.find(" written as ") != std::string::npos)
            c.err << "brimlet-cli: " << oneLine(text) << '\n';
        else
            why = text;
    };
    if (c.archive.extractEntries(folder, {i}, note).written == 0) throw Failure(why);
}

int exportEntry(Call& c)
{
    size_t i = findEntry(c.archive, c.args[0]);
    if (c.args[1] == "-") {
        if (outputWasClosed()) throw Failure("Stream write error");
        // The descriptor is checked only when `out` is this process's own
        // standard output (tests hand run() a string stream).
        c.archive.exportEntry(i, c.out, &c.out == &std::cout ? kStandardOutput : -1);
    }
    else if (isExistingFolder(c.args[1])) exportIntoFolder(c, i, c.args[1]);
    else c.archive.exportEntry(i, c.args[1]);
    return 0;
}

int add(Call& c)
{
    c.archive.addEntries(c.args);
    for (const auto& file : c.args) warnOfName(c.err, entryNameFor(file), nameTroubles(entryNameFor(file)));
    return 0;
}

int rename(Call& c)
{
    std::string name = entryNameFromHost(c.args[1]);
    size_t i = findEntry(c.archive, c.args[0]);
    c.archive.renameEntry(i, name);
    warnOfName(c.err, name, nameWarnings(c.archive.table(), i, name, true));
    return 0;
}

int import(Call& c)
{
    auto count = c.archive.importFiles(c.args, c.progress);
    for (const auto& file : c.args) warnOfName(c.err, entryNameFor(file), nameTroubles(entryNameFor(file)));
    c.out << "replaced " << count.replaced << ", added " << count.added << '\n';
    return 0;
}

int extract(Call& c)
{
    std::vector<size_t> which;
    for (size_t k = 1; k < c.args.size(); ++k) which.push_back(findEntry(c.archive, c.args[k]));
    auto note = [&](const std::string& text) { c.err << "brimlet-cli: " << oneLine(text) << '\n'; };
    auto count = c.archive.extractEntries(c.args[0], which, note, c.progress);
    c.out << "extracted " << count.written << ", skipped " << count.skipped;
    if (count.unreadable == 0) {
        c.out << '\n';
        return 0;
    }
    // Skips asked for are no failure; an entry that could not be read is.
    c.out << " (" << count.unreadable << " could not be read)\n";
    c.err << "brimlet-cli: " << count.unreadable << (count.unreadable == 1 ? " entry" : " entries")
          << " could not be read\n";
    return 1;
}

int rebuild(Call& c)
{
    c.out << rebuildSummary(c.archive.rebuild(c.progress)) << '\n';
    return 0;
}

int check(Call& c)
{
    CheckReport report = checkArchive(c.archive);
    if (!report.foundProblems()) c.out << "No problems found\n"; // as the window's report begins
    for (const auto& problem : report.problems) c.out << problem.text << '\n';
    for (const auto& line : report.notes) c.out << line << '\n';
    return report.foundProblems() ? 1 : 0;
}

struct Command {
    size_t minArgs; // after COMMAND ARCHIVE
    bool variadic;
    std::function<int(Call&)> run;
    // What it does: reads the archive only (its files are opened for
    // reading, so that read-only media do), and whether its standard output
    // is what it makes (a write that fails there fails the command; after a
    // change is on disk, a lost summary is only a warning).
    enum Kind { Writes, Reads, Prints } kind = Writes;
};

const std::map<std::string, Command>& commands()
{
    static const std::map<std::string, Command> table = {
        {"list", {0, false, list, Command::Prints}},
        {"export", {2, false, exportEntry, Command::Prints}},
        {"add", {1, true, add}},
        {"replace", {2, false, [](Call& c) { c.archive.replaceEntry(findEntry(c.archive, c.args[0]), c.args[1]); return 0; }}},
        {"delete", {1, false, [](Call& c) { c.archive.deleteEntry(findEntry(c.archive, c.args[0])); return 0; }}},
        {"rename", {2, false, rename}},
        {"create", {0, false, nullptr}},
        {"import", {1, true, import}},
        {"extract", {1, true, extract, Command::Reads}},
        {"rebuild", {0, false, rebuild}},
        {"check", {0, false, check, Command::Prints}},
    };
    return table;
}

// "12.3 MB", for the progress line.
std::string megabytes(uint64_t bytes)
{
    uint64_t tenths = (bytes * 10 + 524288) / 1048576;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// On a terminal, long commands show how far they are on standard error, a
// line redrawn at most five times a second (and once at the end); piped,
// they print only their summary.
Archive::Progress progressOn(std::ostream& err, const std::string& command)
{
    if (&err != &std::cerr || !errorIsTerminal()) return {};
    auto last = std::make_shared<std::chrono::steady_clock::time_point>();
    return [&err, command, last](const Archive::ProgressStep& step) {
        auto now = std::chrono::steady_clock::now();
        bool finished = step.entries == step.entriesTotal;
        if (!finished && now - *last < std::chrono::milliseconds(200)) return;
        *last = now;
        err << '\r' << command << ": " << step.entries << " of " << step.entriesTotal << " entries, "
            << megabytes(step.bytes) << " of " << megabytes(step.bytesTotal) << " (" << step.permille() / 10 << "%)"
            << (finished ? "\n" : "") << std::flush;
    };
}

// Output that cannot be written (a full disk, a closed pipe) fails a
// command whose output is its product. Once a command has changed the files,
// though, exit 1 would tell a script that nothing changed: the lost summary
// is only a warning then.
int finish(int code, std::ostream& out, std::ostream& err, bool outputIsProduct = true)
{
    if (out.flush()) return code;
    if (errno == EPIPE) return code; // its reader has gone: nobody is left to tell
    if (!outputIsProduct) {
        err << "brimlet-cli: warning: the summary could not be written (Stream write error)\n";
        return code;
    }
    err << "brimlet-cli: Stream write error\n";
    return 1;
}

}  // namespace

namespace {

constexpr int kUsageError = 2;

// A usage error: one line saying what was wrong, then where to look.
int usageError(std::ostream& err, const std::string& what, const std::string& more = "")
{
    err << "brimlet-cli: " << oneLine(what) << "\n" << more << "Try 'brimlet-cli --help' for more information.\n";
    return kUsageError;
}

// The operands after COMMAND, with "--" ending the options. An argument of
// "-" is an operand (standard output); "--help" asks for the command's usage.
// Create alone takes "--version 1|2" (or "--version=2").
struct Operands {
    std::vector<std::string> values;
    bool help = false;
    std::string unknownOption;
    std::string version; // as given
};

Operands operandsOf(const std::vector<std::string>& args)
{
    Operands o;
    bool options = true;
    bool takesVersion = args[0] == "create";
    for (size_t k = 1; k < args.size(); ++k) {
        const std::string& a = args[k];
        if (options && a == "--") options = false;
        else if (options && (a == "--help" || a == "-h")) o.help = true;
        else if (options && takesVersion && a == "--version" && k + 1 < args.size()) o.version = args[++k];
        else if (options && takesVersion && a.rfind("--version=", 0) == 0) o.version = a.substr(10);
        else if (options && a.size() > 1 && a[0] == '-' && o.unknownOption.empty()) o.unknownOption = a;
        else if (!options || a.size() <= 1 || a[0] != '-') o.values.push_back(a);
    }
    return o;
}

// The failure as the user reads it: "PATH: MESSAGE" where it is about one file.
std::string describe(const std::exception& e)
{
    auto* failure = dynamic_cast<const Failure*>(&e);
    if (failure && !failure->path().empty()) return oneLine(failure->path()) + ": " + oneLine(e.what());
    return oneLine(e.what());
}

}  // namespace

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << usage();
        return finish(0, out, err);
    }
    if (args.size() == 1 && args[0] == "--version") {
        out << "brimlet-cli " BRIMLET_VERSION "\n";
        return finish(0, out, err);
    }
    if (args.empty()) return usageError(err, "no command given");
    if (args[0].size() > 1 && args[0][0] == '-') return usageError(err, "unknown option '" + args[0] + "'");
    auto command = commands().find(args[0]);
    if (command == commands().end()) return usageError(err, "unknown command '" + args[0] + "'");
    Operands operands = operandsOf(args);
    if (operands.help) {
        out << commandUsage(args[0]);
        return finish(0, out, err);
    }
    if (!operands.unknownOption.empty())
        return usageError(err, "unknown option '" + operands.unknownOption + "'");
    const Command& c = command->second;
    size_t given = operands.values.empty() ? 0 : operands.values.size() - 1;
    if (operands.values.empty() || given < c.minArgs || (!c.variadic && given != c.minArgs)) {
        return usageError(err, "wrong number of arguments for '" + args[0] + "'", commandUsage(args[0]));
    }
    const std::string& path = operands.values[0];
    std::vector<std::string> rest(operands.values.begin() + 1, operands.values.end());
    // When the reader of what it prints has gone (`list | head -1`), a
    // command that only prints ends as other tools do, quietly.
    if (c.kind == Command::Prints && &out == &std::cout) endQuietlyWhenTheReaderGoes();
    try {
        if (!c.run) { // create: there is no archive to open yet
            if (!operands.version.empty() && operands.version != "1" && operands.version != "2")
                return usageError(err, "--version takes 1 or 2, not '" + operands.version + "'", commandUsage(args[0]));
            std::string finished =
                Archive::create(path, operands.version == "2" ? Archive::Version::Two : Archive::Version::One);
            if (!finished.empty())
                err << "brimlet-cli: made the missing " << oneLine(finished) << " of a create that was cut short\n";
            return finish(0, out, err, false);
        }
        Archive archive;
        // A script may wait for the window or another script, but is told so.
        archive.setLockWait({-1, [&] {
                                 err << "brimlet-cli: waiting for another program to finish with " << oneLine(path)
                                     << "\n" << std::flush;
                             }});
        if (c.kind != Command::Writes) archive.setReadAccess(Archive::ReadAccess::ReadOnly);
        // Held from reading the directory to writing it, so no other program
        // can change the archive in between.
        archive.openimg(path, Archive::LockScope::UntilClosed);
        Call call{archive, rest, out, err, progressOn(err, args[0])};
        return finish(c.run(call), out, err, c.kind == Command::Prints);
    } catch (const std::exception& e) {
        err << "brimlet-cli: " << describe(e) << '\n';
        return 1;
    }
}

}  // namespace brimlet::cli
