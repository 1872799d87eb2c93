// What the two building tests share: the ".val" report they write, the three volume
// classes both report, the unit conversions of their tables, and the checks that a
// building can be tested at all. Private to sim-bldg-flow, sim-bldg-pres and sim-bldg-val.
#pragma once
#include <cstdio>

namespace vexlar {

struct AirNode;

constexpr double VAL_CFM_PER_M3S = 2118.88;    // cubic feet per minute in one m3/s
constexpr double VAL_CUFT_PER_M3 = 35.314667;  // cubic feet in one m3

// Node volumes by class [m3]: conditioned zones; ducts and systems (junctions,
// terminals and the zones of air-handling systems); unconditioned zones. The ambient
// node is in none of them.
struct BldgVolumes {
    double conditioned, ducts, unconditioned;
};

// The volume class of a node; a zone number outside 0.._nzone is FATAL.
enum VolumeClass { VOL_NONE, VOL_CONDITIONED, VOL_DUCTS, VOL_UNCONDITIONED };
VolumeClass volumeClass(const AirNode* n);
BldgVolumes bldgVolumes();

// Whether some zone is conditioned (neither a system zone nor unconditioned), and
// whether some path links the building to the ambient: any path kind, or with
// paths_only the ordinary airflow paths alone.
bool haveConditionedZone();
bool haveEnvelopePath(bool paths_only);

// The reason a building cannot be tested, given as an ERROR. The result files of the run,
// which would hold no result time, are removed; each test has removed the report of an
// earlier run before it starts.
void declineTest(const char* reason);

// Opens the project's ".val" report for writing (FATAL when it cannot be opened).
FILE* openValReport();
// Closes the report; a write that did not reach the file is a counted result-file ERROR.
void closeValReport();
void writeVolumes(FILE* f, const BldgVolumes& v);

// ---- The building airflow test, step by step --------------------------------------------

// Columns of the flow table: flows into a zone by the way they come, flows out of it by
// the way they go, the outdoor air carried in, then the zone's state. Flows are positive
// [kg/s]; the zone and ambient classes follow the order Czone, Uzone, Ambt.
enum BfColumn {
    BF_FM_TERM, BF_FM_LEAK, BF_FM_AHS, BF_FM_FAN, BF_FM_CZONE, BF_FM_UZONE, BF_FM_AMBT,
    BF_TO_TERM, BF_TO_LEAK, BF_TO_AHS, BF_TO_FAN, BF_TO_CZONE, BF_TO_UZONE, BF_TO_AMBT,
    BF_OA_TERM, BF_OA_LEAK, BF_OA_AHS, BF_OA_FAN,
    BF_VOLUME,        // [m3]; -1 for a zone without volume; row 0: every node but unconditioned
    BF_TEMPERATURE,   // [C]
    BF_DENSITY,       // [kg/m3]
    BF_PGAGE,         // [Pa]
    BF_NCOL
};

struct BfTable {
    double** flows;    // "Flows": rows zone number 0 (ambient) .. _nzone
    char* cu;          // "cu": A, C, U or S per zone number 0.._nzone
    char* jt;          // "jt": J or T per junction number 1.._njct; null without junctions
    BldgVolumes vol;
};

// The time of day [s] and the day (its name, or the day type 8..12) the report gives.
const char* bfReportTime(int* time);
void bfAlloc(BfTable* t);
void bfFree(BfTable* t);
void bfNodeData(BfTable* t);    // classes, zone states and volumes
void bfPathFlows(BfTable* t);   // every path's flows booked by where they come from and go
double bfOutdoorAir(const BfTable* t);   // the building's outdoor-air flow [kg/s]
// The report of the result time t [s] of day `day`.
void bfWriteReport(FILE* f, const BfTable* t, int time, const char* day);

// ---- The building pressurization test, step by step -------------------------------------

void bpTestConditions(double rho);   // 20 C, no wind, test pressure, ambient fixed at 0
void bpShutMechanical();             // fans, systems and outward terminals off
double bpTestFlow();                 // the envelope flow [kg/s]
void bpWriteReport(FILE* f, double rho, double F, const BldgVolumes& v);

}  // namespace vexlar
