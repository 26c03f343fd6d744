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

}  // namespace brimlet::cli
