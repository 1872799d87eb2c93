// Lists the time loop walks every step, prepared once by the network build: day and
// week schedules in use, sources and sinks split by solver and species class (with the
// boundary-layer and deposition sinks as records of their own), occupant emissions,
// occupancy schedules, occupants, and the control network bound and sequenced.
#pragma once
#include <cstdint>

namespace vexlar {

struct AirNode;
struct CseRec;
struct CssRec;
struct CtrlNode;
struct DaySchedRec;
struct WeekSchedRec;
struct ExposureSrcRec;
struct OccSchedRec;
struct ExposureRec;
struct ZoneCell;

// Boundary-layer (sorption) sink: one extra equation of the mass-fraction system.
struct BlsRec {
    BlsRec* next;
    AirNode* zone_node;
    CseRec* cse;
    float* value_ptr;       // the source's value pointer
    double surface_mass;    // kg/kg; starts at the source's initial value
    float coef_mult;        // element data value 4 x multiplier
    float multiplier;
    float box[6];           // location box x0, y0, z0, x1, y1, z1 [m]
    int32_t species;
    int32_t number;
    double mass_released;   // run totals [kg]
    double mass_removed;
    double release_coef;    // surface to air, written by the rate assembly
    double uptake_coef;     // air to surface
    int32_t sink_eqn;       // the sink's own equation
    int32_t zone_eqn;       // the equation of its zone for its species
    ZoneCell* cell_first;   // cells covered under the short-time-step method
    ZoneCell* cell_last;
    float cell_share;
};

// Deposition/resuspension sink: one extra equation of the mass-fraction system.
struct DvrRec {
    DvrRec* next;
    AirNode* zone_node;
    CseRec* cse;
    double mass_released;   // run totals [kg]
    double mass_removed;
    float* value_ptr;
    double surface_mass;    // kg/m2; starts at the source's initial value
    float multiplier;
    float box[6];
    int32_t species;
    int32_t number;
    double release_coef;
    double uptake_coef;
    int32_t sink_eqn;
    int32_t zone_eqn;
    ZoneCell* cell_first;
    ZoneCell* cell_last;
    float cell_share;
};

extern DaySchedRec* _Dsch0;      // day schedules in use, index order
extern WeekSchedRec* _Wsch0;     // week schedules in use, index order
extern CssRec* _Csst0;           // implicit solver: trace-species sources
extern CssRec* _Cssnt0;          // implicit solver: non-trace-species sources
extern BlsRec* _Bls0;            // other solvers: every active boundary-layer sink
extern BlsRec* _Blst0;
extern BlsRec* _Blsnt0;
extern BlsRec* _BlsInactive0;    // multiplier <= 0
extern DvrRec* _Dvr0;
extern DvrRec* _Dvrt0;
extern DvrRec* _Dvrnt0;
extern DvrRec* _DvrInactive0;    // multiplier x element value 3 <= 0
extern ExposureSrcRec* _Pxst0;   // implicit solver: trace occupant emissions
extern ExposureSrcRec* _Pxsnt0;  // implicit solver: non-trace occupant emissions
extern OccSchedRec* _Osch0;      // every occupancy schedule, index order
extern ExposureRec* _Pexp0;      // every occupant, index order
extern CtrlNode** _CtrlLogs;     // 0.._nlogc-1: log control nodes by number
extern int _nbls, _ndvr;
extern int _doOccSens;           // a sensor reads a zone's occupancy

// Step 16 of the network build, in its fixed order. Each returns 0.
int srcl_schedules();
int srcl_sources();
int srcl_emissions();
int srcl_occupants();
int srcl_controls();

// Forgets the schedule, source, sink, emission and occupant lists and their counts (the
// records stay in the pools that own them; _CtrlLogs is freed by its owner), so that a
// network built later in the same process starts from none.
void srcl_clear();

}  // namespace vexlar
