// Short-time-step structures: duct cells, junction and link records and the cells of
// one-dimensional zones, laid out after the steady initialisation of a run that uses the
// short-time-step method, and the stability limit of the explicit zone step.
#pragma once

namespace vexlar {

struct AirNode;
struct Cd1Zone;
struct ZoneCell;

extern double* _sFMfJ;   // junction flow sums, _nctm per junction
extern int _Ntdmxr;      // largest tridiagonal system of a duct or 1-D zone
extern AirNode** _Znode; // 0.._nZnode-1: the zones and the ambient in node-list order
extern int _nZnode;
extern double* _sFMfZ;   // flow sums of the single zone cells, _nctm per cell
extern double* _MfC;     // mass fractions of the 1-D zone cells, _nctm per cell
extern double* _MfCi;    // ... at the start of the step
extern double* _sFMfC;   // flow sums of the 1-D zone cells
extern double** _Akr;    // kinetics matrix, _nctm x _nctm

// Builds every structure of the short-time-step method and logs what it built; FATAL for a
// transported zone without volume or an item whose zone has no cell to hold it.
void STSinit();
// Frees the 1-D zone records and the tridiagonal and kinetics work storage.
void fre_1DCD();
// Frees the junction and zone flow sums and the 1-D cell mass fractions; then the zone table.
void fre_STSsums();
void fre_Znode();

// Gives every junction its slice of the junction flow sums and its node's mass fractions,
// divides the ducts into cells when cells are requested (FATAL for a cell length of 0 or
// less) and writes the junction, duct, cell, terminal and leak counts to the log.
void stsInitDucts();

// The cell of a one-dimensional zone holding the point (x, y, z); a point beyond the far
// end by less than a cell goes into the last cell. FATAL for a point outside the zone,
// naming the item by its kind word and number.
ZoneCell* stsLocateCell(const Cd1Zone* z, float x, float y, float z_, const char* kind,
                        int number);

// The first and last cells a location box covers along the zone axis (its corners swapped
// when given in reverse) and the share of a rate that goes to each covered cell.
void stsBoxCells(const Cd1Zone* z, const float corner1[3], const float corner2[3],
                 const char* kind, int number, ZoneCell** first, ZoneCell** last,
                 float* share);

// Records the largest stable time step of every zone with transported mass fractions (in
// _dtMaxStab) and, when the current step exceeds the limit of any zone, reports each such
// zone and ends the run.
void stsCheckStability();

}  // namespace vexlar
