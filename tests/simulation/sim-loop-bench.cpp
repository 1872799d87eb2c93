// Benchmark of the transient time loop: a year of hourly steps (8760) of a generated office
// building (tools/gen-building.py --transient: windows opening and closing over each day),
// SIM output only, run by the vexlar-x executable, with transient airflow alone, with one
// species (CO2 released in every room) transported implicitly, and with that species over
// steady airflow. Reports the wall time per step and the share of the engine's processor
// time spent in the airflow solutions (the log's "Time to compute airflows").
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int STEPS = 8760;

double childCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + 1e-6 * (u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

// The number after `label` in the log, 0 when it is not there.
double logValue(const std::string& log, const std::string& label)
{
    size_t at = log.find(label);
    return at == std::string::npos ? 0.0 : std::atof(log.c_str() + at + label.size());
}

// Generator options of the three runs: airflow alone, one species, one species over steady
// airflow.
const char* const RUNS[] = {" --transient", " --transient --species",
                            " --transient --species --steady-airflow"};

void TransientAirflowYear(benchmark::State& state)
{
    const int zones = (int)state.range(0);
    const int kind = (int)state.range(1);
    const std::string dir = "/tmp/vexlar-bench-year-" + std::to_string(zones) + "-" + std::to_string(kind) + "/";
    const std::string prep = "mkdir -p " + dir + " && python3 '" VEXLAR_SOURCE_DIR
                             "/tools/gen-building.py' " + std::to_string(zones) +
                             RUNS[kind] + " --sim-only -o " + dir + "year.prj";
    if (std::system(prep.c_str()) != 0) {
        state.SkipWithError("the building generator failed");
        return;
    }
    const std::string run = "cd " + dir + " && '" VEXLAR_X_BIN "' year.prj >/dev/null 2>&1";
    double wall = 0.0, cpu = 0.0, airflow = 0.0;
    for (auto _ : state) {
        double cpu0 = childCpuSeconds();
        auto t0 = std::chrono::steady_clock::now();
        int rc = std::system(run.c_str());
        auto t1 = std::chrono::steady_clock::now();
        if (rc != 0) {
            state.SkipWithError("vexlar-x failed");
            break;
        }
        wall = std::chrono::duration<double>(t1 - t0).count();
        cpu = childCpuSeconds() - cpu0;
        state.SetIterationTime(wall);
        std::ifstream in(dir + "year.xlog");
        std::stringstream log;
        log << in.rdbuf();
        airflow = logValue(log.str(), "Time to compute airflows: ");
    }
    state.counters["us_per_step"] = 1e6 * wall / STEPS;
    state.counters["airflow_share"] = cpu > 0.0 ? airflow / cpu : 0.0;
    state.counters["airflow_s"] = airflow;
    state.counters["cpu_s"] = cpu;
    std::system(("rm -rf " + dir).c_str());
}

BENCHMARK(TransientAirflowYear)
    ->ArgNames({"zones", "run"})
    ->ArgsProduct({{100, 1000}, {0, 1, 2}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
