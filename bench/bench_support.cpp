#include "bench_support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace brimlet::bench {

std::string scratchFolder()
{
    static std::string folder = [] {
        auto path = std::filesystem::temp_directory_path() / ("brimlet-bench-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return folder;
}

void removeScratch()
{
    std::error_code ec;
    std::filesystem::remove_all(scratchFolder(), ec);
}

void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

long peakMemoryKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    long value = 0;
    while (status >> key) {
        if (key == "VmHWM:") {
            status >> value;
            return value;
        }
        status.ignore(1 << 10, '\n');
    }
    return -1;
}

void RatioReporter::compare(const std::string& measured, const std::string& baseline, const std::string& note)
{
    pairs_.push_back({measured, baseline, note});
}

void RatioReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const auto& run : runs) {
        if (run.run_type != Run::RT_Iteration) continue;
        double seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
        millis_[run.benchmark_name()] = seconds * 1000.0;
    }
    ConsoleReporter::ReportRuns(runs);
}

void RatioReporter::Finalize()
{
    ConsoleReporter::Finalize();
    std::printf("\n%-32s %-32s %10s %10s %7s\n", "measured", "baseline", "ms", "base ms", "ratio");
    for (const auto& p : pairs_) {
        auto m = millis_.find(p[0]), b = millis_.find(p[1]);
        if (m == millis_.end() || b == millis_.end()) continue;
        std::printf("%-32s %-32s %10.3f %10.3f %6.2fx  %s\n", p[0].c_str(), p[1].c_str(), m->second, b->second,
                    m->second / b->second, p[2].c_str());
    }
}

}  // namespace brimlet::bench
