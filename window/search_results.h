// The search results: the names of the entries that contain the search
// text, in archive order, duplicates repeated.
//
// The results are a snapshot: they are refreshed only when asked, so they may
// still show names that a later command changed or removed. The names are
// kept in one buffer, not as one object per row, so a refresh over 65,536
// matching entries costs little more than scanning them.
#pragma once

#include "archive/entry_table.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brimlet {

class SearchResults {
public:
    // Every entry whose name contains `search` (Latin-1 bytes), ignoring the
    // case of ASCII letters; an empty search text matches nothing.
    void refresh(const EntryTable& table, const std::string& search);

    size_t count() const { return ends_.size(); }
    std::string_view name(size_t row) const;

private:
    std::string names_;          // the names, one after another
    std::vector<uint32_t> ends_; // where each name ends in names_
};

}  // namespace brimlet
