// Duct balancing (run mode 2): traces every balanced duct terminal through the ducts to
// the fan that serves it, replaces each such fan by a constant mass flow of its
// terminals' total design flow, throttles the terminals by repeated airflow solutions
// until each passes its design flow, and writes the ".bal" report with the speed ratio
// at which each curve fan would deliver that flow. main calls Balance after the result
// files are open; the steps are declared here so that each can be tested on its own.
#pragma once
#include <cstdio>

namespace vexlar {

struct AirNode;
struct AirPath;

// How a balancing run ended. The report's status line carries the number; the two
// walk failures share status 4 and differ only in their message.
enum BalEnding {
    BAL_CONVERGED = 0,       // every terminal within tolerance of its design flow
    BAL_NOT_CONVERGED = 1,   // the iteration limit was reached first
    BAL_NO_TERMINALS = 2,    // no terminal has its balancing switch on
    BAL_BAD_DIRECTION = 3,   // a terminal's flow runs against its design direction
    BAL_WALK_STUCK = 4,      // a walk found neither fan nor terminal (a duct loop)
    BAL_MIXED = 5,           // one fan serves supply and return terminals
    BAL_NO_FAN = 6           // a walk reached another terminal before any fan (status 4)
};

// Walk record of one balanced terminal (tag "terminal", in _mb), kept in a doubly linked
// list: first the list of records still walking, in path order, then the list of
// finished records, each new one at its head.
struct BalTerm {
    BalTerm* prev;
    BalTerm* next;
    AirPath* terminal;
    AirPath* fan;       // the duct fan the walk ended at, null until found
    AirNode* node;      // where the walk stands
    int dir;            // +1 supply terminal (design flow > 0), -1 return terminal
    int moves;          // segments walked, which bounds the walk
};

// Duct record of the walk (tag "duct", in _mb): one per duct segment, in path order.
struct BalDuct {
    BalDuct* next;
    AirPath* path;
};

struct BalWalk {
    BalTerm* walking;
    BalTerm* finished;
    BalDuct* ducts;
    int nduct;
};

// One fan system (tag "BalDat", in _ms): the fan and the n terminals it serves. The
// vectors run 0..n: index 0 the fan (control value, total design flow), 1..n the
// terminals in the order of the finished list.
struct BalDat {
    BalDat* next;
    int n;
    int mixed;          // 1 when it serves supply and return terminals
    AirPath* fan;
    AirPath** pp;       // "pp": the fan, then the terminal paths
    float* sig;         // "sig": control values the paths read through value_ptr
    double* Fd;         // "Fd": design flows [kg/s], index 0 their sum
    double* AdFd;       // "AdFd": 2 A^2 / Fd^2 of each terminal [m4 s2/kg2]
    int has_curve;      // the fan was a curve fan (dct_fan)
    float curve[4];     // its performance curve a0..a3
};

extern BalDat* _BalDat0;   // fan systems, each new one at the head
extern FILE* _ubal;        // the ".bal" report while it is written

// Closes the report; a write failure of a kept report is reported (output/sim-out.h). With
// flag set a report this run created is removed.
void set_ubal_close(int flag);

void Balance();

// The steps of Balance, in its order. Each returns BAL_CONVERGED (0) to go on or the
// ending it reached, having written the report's status and rows of that ending.
int balTerminals(BalWalk* w);          // walk records; report rows of wrong directions
int balWalkToFans(BalWalk* w);         // walk from each terminal to its fan
int balFanSystems(const BalWalk* w);   // group by fan, replace fans by constant flows
int balIterate(int itmax, float tol, int* iterations);  // throttling iterations
void balWriteBody(float ambient_density);  // fan and terminal rows of the final state
void balFreeSystems();                 // the systems' vectors; paths back to _one

// Speed ratio r at which a fan of curve a0..a3 (pressure rise at reference density and
// full speed against mass flow at reference density) delivers the mass flow K against
// the rise L at density ratio J, by the fan laws; 0 when r is outside 1/128..128.
float fanSpeedRatio(const float a[4], float J, float K, float L);

}  // namespace vexlar
