// The running statistic shared by the text summaries (air changes, zone concentrations,
// age of air, occupant exposure): per quantity a weighted sum and sum of squares, and the
// minimum and maximum with the time each occurred, first over one day, then folded into
// the run at every day end. Private to the results output.
#pragma once
#include <cstdint>
#include <cstdio>

namespace vexlar {

struct StatAccum {
    double sum;       // sum of the weighted values
    double sum_sq;    // sum of the weighted squared values
    double min;
    double max;
    int32_t at_min;   // day statistics: step-end time [s of the day]; run: day of year
    int32_t at_max;
};

// One family of statistics: `count` quantities, each with its day and run accumulator and
// the number of values each has taken (a quantity may skip a step, as an undefined age
// does). dayCt and runCt count the steps of the family.
struct StatFamily {
    StatAccum* day;
    StatAccum* run;
    int* dayN;
    int* runN;
    int count;
    int dayCt;
    int runCt;
};

// Storage of a family, allocated before the run and released by the file's closer.
void statFamilyAlloc(StatFamily& f, int count, const char* dayTag, const char* runTag);
void statFamilyFree(StatFamily& f);

// Value v of quantity i observed at step time t with weight w. The first value of a day
// starts the accumulator; later ones add, and a strictly smaller or larger value moves
// the extreme (ties keep the earlier time). With canSetMin false the value may raise the
// maximum but never lowers the minimum.
void statAdd(StatFamily& f, int i, double v, double w, int t, bool canSetMin = true);

// Folds every quantity's day into its run (the first day copies, later days add and
// compare strictly, with `day` as the time of a new extreme).
void statFold(StatFamily& f, int day);

// Mean and deviation from a sum, a sum of squares and the reciprocal of the divisor; the
// absolute value keeps rounding from making the radicand negative.
void statMeanDev(const StatAccum& s, double inv, double* mean, double* dev);

// Writes "\tmean\tdev\twhen\tmin\twhen\tmax\n": times of the day for a day line, days of
// the year (m/d) for a final line. A minimum never set (only partly occupied steps)
// shows 0.
void statWriteTail(FILE* f, const char* what, const StatAccum& s, double mean, double dev, bool final);
// The same tail for a quantity that took no value in the period.
void statWriteUndefined(FILE* f);

}  // namespace vexlar
