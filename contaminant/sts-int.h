// What the files of the short-time-step method share among themselves: the tridiagonal
// work storage and Thomas solver of ducts and one-dimensional zones, the step of a duct and
// the step of a one-dimensional convection-diffusion zone, called by the transport step.
#pragma once

namespace vexlar {

struct AirNode;
struct DuctLagData;
struct DuctLink;

// Columns of a row of _Atd. The fourth is free for the caller's per-row scratch.
enum { TD_LOWER = 0, TD_DIAG = 1, TD_UPPER = 2, TD_SPARE = 3 };

extern double** _Atd;   // rows 0.._Ntdmxr of at least four columns, see TD_*; null when unused
extern double* _Bxtd;   // right-hand side and solution, 0.._Ntdmxr

// Factors the tridiagonal rows 0..m of a in place (Thomas algorithm): the lower entries
// become the elimination multipliers and the diagonal entries their inverses. Returns the
// first row whose pivot is exactly 0 (the caller ends the run naming its system), else -1;
// the rows are then unusable.
int stsThomasFactor(double** a, int m);

// Solves the system factored by stsThomasFactor for the right-hand side b[0..m], in place.
// A factorisation serves any number of right-hand sides.
void stsThomasSolve(double* const* a, double* b, int m);

// Advances the cell mass fractions of one one-dimensional zone by one short time step from
// the flows and flow sums its cells gathered this step, and sets the zone's mass fractions to
// the cell average. FATAL on a zero pivot.
void stsZone1DStep(AirNode* zone);

// Carries one duct's contents along it for the step (plugs or fixed cells, with axial
// dispersion) and leaves what left it in outlet_mf. FATAL on a zero pivot.
void stsDuctStep(DuctLink* d);
// Re-grids a duct into uniform cells from its current chain; profile holds n + 2 rows of
// _nctm values, x n + 2 positions (scratch: the profile is built before the cells change).
void EulerSet(DuctLagData* lag, double** profile, double* x);

}  // namespace vexlar
