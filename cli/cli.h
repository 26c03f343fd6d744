// brimlet-cli: the scriptable front end over the archive operations.
//
//   brimlet-cli list ARCHIVE
//   brimlet-cli export ARCHIVE ENTRY DEST
//   brimlet-cli add ARCHIVE FILE...
//   brimlet-cli replace ARCHIVE ENTRY FILE
//   brimlet-cli delete ARCHIVE ENTRY
//   brimlet-cli rename ARCHIVE ENTRY NEWNAME
//
// ARCHIVE is x.dir, x.img or x. ENTRY is a name (the first entry whose whole
// name equals it, ignoring the case of ASCII letters) or #N for index N.
// Exit codes: 0 success, 1 failure (one line "brimlet-cli: MESSAGE" on
// standard error), 2 usage error.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace brimlet::cli {

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Run first in main(). Opens /dev/null on standard input, output or error
// when they are closed, so that no file the program opens takes their
// numbers (an export to "-" would otherwise write into it); and makes a
// write past the file-size limit or to a closed pipe fail with an error
// (reported) instead of ending the program. On Windows: standard output
// carries bytes unchanged (no CR added before LF) and the console shows UTF-8.
void prepareProcess();

// Whether the program was started with standard output closed. An export
// to "-" then fails (it would reach nobody); a command's summary or listing
// goes nowhere, and the command's work still counts.
bool outputWasClosed();

// The command's arguments (after the program's name) in UTF-8. On Windows
// they are read as UTF-16 from the system, whatever the console's code page.
std::vector<std::string> arguments(int argc, char** argv);

// From here on, a write to a pipe whose reader has gone ends the program
// quietly, as it ends other tools (on POSIX; a no-op elsewhere). Only for
// commands that change nothing.
void endQuietlyWhenTheReaderGoes();

// Whether standard error is a terminal (progress is shown only there).
bool errorIsTerminal();

}  // namespace brimlet::cli
