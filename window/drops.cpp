#include "drops.h"

#include "archive/paths.h"

namespace brimlet {

std::vector<std::string> droppedFiles(const std::vector<std::string>& names)
{
    std::vector<std::string> files;
    for (const auto& name : names)
        if (fileExists(name)) files.push_back(name);
    return files;
}

}  // namespace brimlet
