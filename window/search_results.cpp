#include "search_results.h"

#include "archive/paths.h"

namespace brimlet {

void SearchResults::refresh(const EntryTable& table, const std::string& search)
{
    names_.clear();
    ends_.clear();
    if (search.empty()) return;
    std::string lowered = lowerAscii(search);
    for (size_t i = 0; i < table.count(); ++i) {
        std::string_view name = table[i].nameView();
        if (!containsLowered(name, lowered)) continue;
        names_.append(name);
        ends_.push_back(static_cast<uint32_t>(names_.size()));
    }
}

std::string_view SearchResults::name(size_t row) const
{
    uint32_t begin = row == 0 ? 0 : ends_[row - 1];
    return std::string_view(names_).substr(begin, ends_[row] - begin);
}

}  // namespace brimlet
