// search_timing: a search refresh over 65,536 names that all match, against
// a plain scan of the same names, in one run; prints both and their ratio.
#include "archive/paths.h"
#include "window/search_results.h"

#include <chrono>
#include <cstdio>

int main()
{
    brimlet::EntryTable table;
    for (int i = 0; i < 65536; ++i) {
        brimlet::DirEntry entry;
        entry.setStartSector(i);
        entry.setSectorCount(1);
        entry.setName("model" + std::to_string(i) + ".dff");
        table.append(entry);
    }
    auto timed = [](auto&& work) {
        auto start = std::chrono::steady_clock::now();
        for (int round = 0; round < 50; ++round) work();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count() / 50;
    };
    size_t matches = 0;
    double scan = timed([&] {
        for (size_t i = 0; i < table.count(); ++i) matches += brimlet::containsLowered(table[i].nameView(), ".dff");
    });
    brimlet::SearchResults results;
    double refresh = timed([&] { results.refresh(table, ".DFF"); });
    std::printf("plain scan %.3f ms, search refresh %.3f ms (%zu results): ratio %.2f\n", scan, refresh,
                results.count(), refresh / scan);
    return matches > 0 ? 0 : 1;
}
