// Entries by name, ignoring the case of ASCII letters, as the games look
// them up: built once over a table in one pass (an open-addressing hash
// table of entry numbers, no string copies), then each lookup takes constant
// time. Import looks up a thousand names in 65,536 entries with it, and
// check finds every repeated name.
#pragma once

#include "entry_table.h"

#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace brimlet {

class NameIndex {
public:
    explicit NameIndex(const EntryTable& table);

    // The first entry whose name equals `name` ignoring case; -1 when none.
    long find(std::string_view name) const;

    // Each entry whose name repeats an earlier one's, with that first entry.
    const std::vector<std::pair<size_t, size_t>>& repeats() const { return repeats_; }

private:
    size_t slotOf(std::string_view name) const;

    const EntryTable& table_;
    std::vector<uint32_t> slots_; // entry number + 1; 0 for an empty slot
    size_t mask_ = 0;
    std::vector<std::pair<size_t, size_t>> repeats_;
};

}  // namespace brimlet
