// What the drop target delivers of a drop: the names of the dropped items
// that are existing files (the file-exists test: not a folder, not a name
// of nothing, a last-write time within 1980 to 2107), in the shell's order.
// Folders and names that fail the test are left out without a message.
#pragma once

#include <string>
#include <vector>

namespace brimlet {

std::vector<std::string> droppedFiles(const std::vector<std::string>& names);

}  // namespace brimlet
