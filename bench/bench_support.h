// Shared pieces of the benchmarks: a scratch folder, peak-memory readings and
// a reporter that prints each measurement as a ratio to its baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brimlet::bench {

std::string scratchFolder();
void removeScratch();

// Resets the kernel's peak-RSS mark and reads it back, in KiB.
void resetPeakMemory();
long peakMemoryKiB();

// Collects real times per benchmark and, at the end, prints
// "name: X ms, Y x baseline" for each pair registered with `compare`.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void compare(const std::string& measured, const std::string& baseline, const std::string& note = "");
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;

private:
    std::map<std::string, double> millis_;
    std::vector<std::vector<std::string>> pairs_;
};

}  // namespace brimlet::bench
