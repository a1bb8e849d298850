// A console reporter that also keeps each benchmark's fastest repetition, its time per
// iteration: the least disturbed by whatever else the machine is doing. The programs
// print their ratios from these.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

class FastestRuns : public benchmark::ConsoleReporter {
public:
    // byLabel: benchmarks are told apart by name and label ("BM_LevelFrame/natural").
    explicit FastestRuns(bool byLabel = false) : byLabel_(byLabel) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0)
                continue;
            const std::string name = run.run_name.function_name + (byLabel_ ? "/" + run.report_label : "");
            const double t = run.GetAdjustedRealTime();
            const auto it = fastest_.find(name);
            if (it == fastest_.end() || t < it->second)
                fastest_[name] = t;
        }
    }

    // The fastest time of a benchmark, or 0 when it did not run.
    double fastest(const std::string& name) const
    {
        const auto it = fastest_.find(name);
        return it == fastest_.end() ? 0.0 : it->second;
    }

private:
    bool                          byLabel_;
    std::map<std::string, double> fastest_;
};
