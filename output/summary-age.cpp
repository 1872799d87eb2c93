// Age of air (".age"): after every step the mean age of the air in every node, the time
// since it entered from outdoors, from the step's path flows and node air masses. With A
// the node flow matrix (column j: node j's outflow on the diagonal, minus its flow to each
// other node) and M the air masses, the ages solve A age = M. Zone ages are listed and
// kept as statistics; a running in/out balance check of every node goes to the log at the
// run end. Air that only recirculates, never reaching outdoors, has no age: those nodes
// are reported undefined and the rest are solved without them.
#include <cmath>
#include <cstdio>
#include <limits>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "output/sim-out.h"
#include "output/summary-int.h"
#include "output/summary.h"
#include "solvers/solv-se.h"

namespace vexlar {

FILE* _uage = nullptr;

static double** _flows;    // [1..n][1..n] node flow matrix [kg/s]
static double** _times;    // [1..n][1..n] its inverse, columns scaled by the air masses [s]
static double* _ident;     // [1..n] right-hand side of the unit solves
static double* _mass;      // [1..n] node air masses [kg]
static double* rowchk;     // [1..n] inflow of each node summed over the run [kg/s]
static double* colchk;     // [1..n] outflow summed over the run [kg/s]
static double* maxdif;     // [1..n] largest relative in/out difference seen
static int* reaches;       // [1..n] 1 when the node's air reaches outdoors
static int* pending;       // [0..n-1] work list of the reach search
static int n_age;          // nodes the storage was allocated for
static int warnedClosedLoop;
static StatFamily age;     // quantity z - 1: zone z

static const float AGE_UNDEFINED = std::numeric_limits<float>::quiet_NaN();

static void freeAgeStorage()
{
    if (!_flows) return;
    int n = n_age;
    _flows = fre_mcT(_flows, 1, n, 1, n);
    _times = fre_mcT(_times, 1, n, 1, n);
    _ident = fre_vT(_ident, 1, n, "ident");
    _mass = fre_vT(_mass, 1, n, "mass");
    rowchk = fre_vT(rowchk, 1, n, "rowchk");
    colchk = fre_vT(colchk, 1, n, "colchk");
    maxdif = fre_vT(maxdif, 1, n, "maxdif");
    reaches = fre_vT(reaches, 1, n, "reaches");
    pending = fre_vT(pending, 0, n - 1, "pending");
    statFamilyFree(age);
}

// The first line: zones, the run's first and last days, the listing step and the switches.
static const char* ageHead()
{
    const RunControlData& r = _rcdat;
    static char line[96];
    snprintf(line, sizeof line, "%d\t%s\t%s\t%d\t%d\t%d\n", _nzone, datxstr(r.start_date),
             datxstr(r.end_date), _time_list, r.age_step, r.age_stats);
    return line;
}

void setAge_periodEnd() { rewriteFirstLine(_uage, ".age", ageHead()); }

void set_uage_open()
{
    const RunControlData& r = _rcdat;
    int n = n_age = _nafnd;
    _uage = createResultFile(".age", "w+", "AGE");
    fputs(ageHead(), _uage);
    if (r.age_step) {
        fprintf(_uage, "day\ttime");
        for (int z = 1; z <= _nzone; z++) fprintf(_uage, "\t%d", z);
        fprintf(_uage, "\n");
    }
    if (r.age_stats) fprintf(_uage, "day\tzone\tavg\tdev\tmin\tmin\tmax\tmax\n");
    warnedClosedLoop = 0;
    if (n < 1) return;
    _flows = alc_mcT<double>(1, n, 1, n, "flows");
    _times = alc_mcT<double>(1, n, 1, n, "times");
    _ident = alc_vT<double>(1, n, "ident");
    _mass = alc_vT<double>(1, n, "mass");
    rowchk = alc_vT<double>(1, n, "rowchk");
    colchk = alc_vT<double>(1, n, "colchk");
    maxdif = alc_vT<double>(1, n, "maxdif");
    reaches = alc_vT<int>(1, n, "reaches");
    pending = alc_vT<int>(0, n - 1, "pending");
    statFamilyAlloc(age, _nzone, "age_day", "age_run");
}

void set_uage_close(int flag)
{
    freeAgeStorage();
    closeResultFile(&_uage, flag, ".age");
}

// ---- The age system of one step -------------------------------------------------------------

static void enterFlow(double** a, int from, int to, double m)
{
    if (m > 0.0) {
        a[from][from] += m;
        a[to][from] -= m;
    } else if (m < 0.0) {
        a[to][to] -= m;
        a[from][to] += m;
    }
}

static void fillFlowMatrix(int n)
{
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++) _flows[i][j] = 0.0;
    for (const AirPath* p = _pafp0; p; p = p->next) {
        int f = p->from_node->index, t = p->to_node->index;
        enterFlow(_flows, f, t, p->mass_flow[0]);
        enterFlow(_flows, f, t, p->mass_flow[1]);
    }
}

// Inflow (row) and outflow (column) of every node summed over the run, and the largest
// relative difference between them seen so far.
static void balanceCheck(int n)
{
    for (int i = 1; i <= n; i++)
        for (int j = 1; j <= n; j++)
            if (i != j) {
                rowchk[i] -= _flows[i][j];
                colchk[j] -= _flows[i][j];
            }
    for (int i = 1; i <= n; i++) {
        double s = rowchk[i] + colchk[i];
        if (s == 0.0) continue;
        double d = std::fabs(rowchk[i] - colchk[i]) / s;
        if (d > maxdif[i]) maxdif[i] = d;
    }
}

// Marks the nodes 1..m (every node but the ambient, index m + 1) whose air reaches
// outdoors: those already marked (a raised diagonal), those with a flow to the ambient,
// and every node that flows into a marked one. The others form closed loops, and their
// block of the matrix is singular. Returns the number of unmarked nodes.
// A flow counts when it is more than a rounding error of the node's whole outflow: an
// airflow solution can leave a closed loop with some 1e-20 kg/s to outdoors, which would
// take the loop for reaching outdoors and leave its block singular to working precision.
static bool carries(double flow, double outflow) { return std::fabs(flow) > 1e-12 * outflow; }

static int markReachingNodes(int m)
{
    int top = 0;
    for (int j = 1; j <= m; j++) {
        reaches[j] = reaches[j] || carries(_flows[m + 1][j], _flows[j][j]);
        if (reaches[j]) pending[top++] = j;
    }
    while (top > 0) {
        int i = pending[--top];
        for (int j = 1; j <= m; j++)
            if (!reaches[j] && j != i && carries(_flows[i][j], _flows[j][j])) {
                reaches[j] = 1;
                pending[top++] = j;
            }
    }
    int closed = 0;
    for (int j = 1; j <= m; j++) closed += !reaches[j];
    return closed;
}

// A closed loop's rows and columns become those of the identity, which leaves the
// remaining nodes' equations as they were: no flow enters them from the loop.
static void isolateClosedLoops(int m)
{
    for (int j = 1; j <= m; j++) {
        if (reaches[j]) continue;
        for (int i = 1; i <= m; i++) _flows[i][j] = _flows[j][i] = 0.0;
        _flows[j][j] = 1.0;
    }
}

static void warnClosedLoop(int m)
{
    if (warnedClosedLoop) return;
    warnedClosedLoop = 1;
    int j = 1;
    while (j <= m && reaches[j]) j++;
    const AirNode* n = _afnd0;
    while (n && n->index != j) n = n->next;
    char text[200];
    snprintf(text, sizeof text,
             "Age of air undefined: air recirculates without outdoor air at node %d "
             "(%s %d, day %s %s); such nodes are listed as undefined",
             j, n && n->kind != 0 ? "junction" : "zone", n ? n->number : 0, datxstr(_dayofy),
             steptimestr(_stepEndTime));
    error(WARNING, __FILE__, __LINE__, text, "");
}

// Ages [h] of nodes 1..m from the inverse of the flow block: age_i = sum_l inv(i,l) M_l,
// summed in single precision.
static void solveAges(int m)
{
    luf_ge(_flows, m);
    for (int k = 1; k <= m; k++) {
        for (int r = 1; r <= m; r++) _ident[r] = r == k ? 1.0 : 0.0;
        lus_ge(_flows, _ident, m);
        for (int r = 1; r <= m; r++) _times[r][k] = _ident[r] * _mass[k];
    }
}

static void setNodeAges(int n)
{
    int m = n - 1;
    for (AirNode* nd = _afnd0; nd; nd = nd->next) {
        int i = nd->index;
        if (n < 2 || i > m || i < 1) {
            nd->age = 0.0f;
            continue;
        }
        if (!reaches[i]) {
            nd->age = AGE_UNDEFINED;
            continue;
        }
        float sum = 0.0f;
        for (int l = 1; l <= m; l++) sum += (float)_times[i][l];
        nd->age = sum * 0.0002777778f;
    }
}

// The diagonal is raised to at least 1e-6 so that a node without flows stays solvable;
// such a node counts as reaching outdoors (its age is its air mass over 1e-6 kg/s).
static void computeAges()
{
    int n = n_age;
    int m = n - 1;
    fillFlowMatrix(n);
    for (int i = 1; i <= n; i++) {
        if (i <= m) reaches[i] = _flows[i][i] < 1e-6;
        if (_flows[i][i] < 1e-6) _flows[i][i] = 1e-6;
    }
    for (AirNode* nd = _afnd0; nd; nd = nd->next) _mass[nd->index] = nd->air_mass;
    balanceCheck(n);
    if (m >= 1) {
        if (markReachingNodes(m) > 0) {
            warnClosedLoop(m);
            isolateClosedLoops(m);
        }
        solveAges(m);
    }
    setNodeAges(n);
}

// ---- The file ------------------------------------------------------------------------------

static bool isListedZone(const AirNode* nd) { return nd->kind == 0 && nd->number >= 1 && nd->number <= _nzone; }

static void writeAgeValue(float a)
{
    if (std::isnan(a)) fprintf(_uage, "\tundefined");
    else resultPrintf(_uage, "AGE file", "\t%.6e", a);
}

void writeAge_stepEnd(int t)
{
    const RunControlData& r = _rcdat;
    if (!_flows) return;
    computeAges();
    if (r.age_step && _uage && _time_list > 0 && t % _time_list == 0) {
        fprintf(_uage, "%s\t%s", datxstr(_dayofy), steptimestr(t));
        for (const AirNode* nd = _afnd0; nd; nd = nd->next)
            if (isListedZone(nd)) writeAgeValue(nd->age);
        fprintf(_uage, "\n");
    }
    if (!r.age_stats || !age.day) return;
    for (const AirNode* nd = _afnd0; nd; nd = nd->next)
        if (isListedZone(nd) && !std::isnan(nd->age)) statAdd(age, nd->number - 1, nd->age, 1.0, t);
    age.dayCt++;
}

static void writeAgeLines(const char* day, bool final)
{
    for (int z = 1; z <= _nzone; z++) {
        const StatAccum& s = final ? age.run[z - 1] : age.day[z - 1];
        int count = final ? age.runN[z - 1] : age.dayN[z - 1];
        fprintf(_uage, "%s\t%d", day, z);
        if (count == 0) {
            statWriteUndefined(_uage);
            continue;
        }
        double mean, dev;
        statMeanDev(s, 1.0 / count, &mean, &dev);
        statWriteTail(_uage, "AGE file", s, mean, dev, final);
    }
}

void writeAge_dayEnd()
{
    if (!_rcdat.age_stats || !age.day) return;
    // A run stopped before the day's first listing has nothing to average for the day.
    if (age.dayCt == 0) return;
    statFold(age, _dayofy);
    if (_uage) writeAgeLines(datxstr(_dayofy), false);
    age.runCt += age.dayCt;
    age.dayCt = 0;
    for (int i = 0; i < age.count; i++) age.dayN[i] = 0;
}

static void logBalanceReport()
{
    int n = n_age;
    ulog_printf("Age-of-air balance data: |row[n] - col[n]|/(row[n] + col[n])\n");
    bool review = false;
    for (int i = 1; i <= n; i++) {
        bool zone = i <= _nzone;
        ulog_printf("  %.6e %c %d\n", maxdif[i], zone ? 'z' : 'j', zone ? i : i - _nzone);
        if (maxdif[i] > 2.0 * _rcdat.relcnvg) review = true;
    }
    if (review) error(WARNING, __FILE__, __LINE__, "Review age-of-air balance data in XLog file", "");
}

void writeAge_simEnd()
{
    if (_rcdat.age_stats && age.day) {
        // A run stopped before its first listing has no final line to write.
        if (_uage && age.runCt > 0) writeAgeLines("final", true);
    }
    if (_flows) logBalanceReport();
}

}  // namespace vexlar
