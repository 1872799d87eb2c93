// Short-time-step structures: duct cells, junction and link records and the cells of
// one-dimensional zones, laid out after the steady initialisation of a run that uses the
// short-time-step method, and the stability limit of the explicit zone step.
#pragma once

namespace vexlar {

struct Cd1Zone;
struct ZoneCell;

extern double* _sFMfJ;   // junction flow sums, _nctm per junction
extern int _Ntdmxr;      // largest tridiagonal system of a duct or 1-D zone

void STSinit();
void fre_1DCD();

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
