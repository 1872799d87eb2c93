// One-dimensional convection-diffusion zones of the short-time-step method: a corridor or
// shaft divided into cells along its axis. Each short time step carries the species along
// the axis with the air its cells exchange, mixed by the zone's diffusion coefficient, by an
// implicit hybrid upwind/central scheme solved with the Thomas algorithm. The tridiagonal
// work storage and the solver live here because the ducts use them too.
#include "contaminant/sts-int.h"

#include <algorithm>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"

namespace vexlar {

double** _Atd = nullptr;
double* _Bxtd = nullptr;

int stsThomasFactor(double** a, int m)
{
    for (int i = 0; i <= m; i++) {
        if (i > 0) {
            a[i][TD_LOWER] *= a[i - 1][TD_DIAG];
            a[i][TD_DIAG] -= a[i][TD_LOWER] * a[i - 1][TD_UPPER];
        }
        // The first pivot is tested too: its inverse would otherwise be infinite.
        if (a[i][TD_DIAG] == 0.0) return i;
        a[i][TD_DIAG] = 1.0 / a[i][TD_DIAG];
    }
    return -1;
}

void stsThomasSolve(double* const* a, double* b, int m)
{
    for (int i = 1; i <= m; i++) b[i] -= a[i][TD_LOWER] * b[i - 1];
    b[m] *= a[m][TD_DIAG];
    for (int i = m - 1; i >= 0; i--) b[i] = (b[i] - a[i][TD_UPPER] * b[i + 1]) * a[i][TD_DIAG];
}

namespace {

// The zone's air mass at the end of the step, with each cell's net air inflow [kg/s] left in
// the spare column. The non-trace species carry the air, so their balance gives the new
// mass; a zone of trace species alone keeps its air mass.
double newAirMass(AirNode* zone, const Cd1Zone* z, double** a)
{
    const int n = z->cell_count;
    const ZoneCell* c = z->cells;
    if (_nntc <= 0) {
        for (int i = 0; i < n; i++) a[i][TD_SPARE] = c[i].inflow - c[i].outflow;
        return zone->air_mass;
    }
    const double dt = _dt;
    double mass = 0.0;
    for (int k = 0; k < _nntc; k++) {
        double net = 0.0;
        for (int i = 0; i < n; i++) net += c[i].flow_mf_sums[k] - c[i].outflow * c[i].mf_prev[k];
        mass += zone->air_mass_prev * zone->mf_prev[k] + dt * net;
    }
    for (int i = 0; i < n; i++) {
        double in = 0.0;
        for (int k = 0; k < _nntc; k++) in += c[i].flow_mf_sums[k];
        a[i][TD_SPARE] = in - c[i].outflow;
    }
    zone->air_mass = mass;
    return mass;
}

// Turns the net inflows in the spare column into face velocities [m/s]: the flow from cell i
// to cell i+1 is everything that entered cells 0..i less an even share of the zone's storage
// per cell, so that nothing passes the far end. scale = inverse cross-section / density.
void faceVelocities(const Cd1Zone* z, double** a, double scale)
{
    const int n = z->cell_count;
    double f = 0.0;
    for (int i = 0; i < n; i++) {
        f += a[i][TD_SPARE];
        a[i][TD_SPARE] = f;
    }
    const double storagePerCell = f * z->inv_cell_count;
    for (int i = 0; i < n; i++) a[i][TD_SPARE] = (a[i][TD_SPARE] - (i + 1) * storagePerCell) * scale;
    a[n - 1][TD_SPARE] = 0.0;
}

// The rows of the hybrid scheme: upwind where the cell Peclet number exceeds 2, central
// below. Units are m/s throughout (flows divided by density and cross-section).
void zoneRows(const Cd1Zone* z, double** a, double scale)
{
    const int n = z->cell_count;
    const double d = z->diffusion_per_length;
    const double a0 = (double)z->cell_length * (double)_dti;
    double gw = 0.0;   // velocity through the cell's first face
    for (int i = 0; i < n; i++) {
        const double ge = a[i][TD_SPARE];
        const double aE = i < n - 1 ? std::max({-ge, d - 0.5 * ge, 0.0}) : 0.0;
        const double aW = i > 0 ? std::max({gw, d + 0.5 * gw, 0.0}) : 0.0;
        a[i][TD_LOWER] = -aW;
        a[i][TD_UPPER] = -aE;
        a[i][TD_DIAG] = aE + a0 + aW + (ge - gw) + z->cells[i].outflow * scale;
        gw = ge;
    }
}

// Non-trace mass fractions of every cell scaled to add up to 1.
void normaliseNonTrace(const Cd1Zone* z)
{
    for (int i = 0; i < z->cell_count; i++) {
        double* mf = z->cells[i].mf;
        double sum = 0.0;
        for (int k = 0; k < _nntc; k++) sum += mf[k];
        if (sum > 0.0)
            for (int k = 0; k < _nntc; k++) mf[k] /= sum;
    }
}

}  // namespace

void stsZone1DStep(AirNode* zone)
{
    _NrCDZsim += 1;
    const Cd1Zone* z = zone->cd1_zone;
    const int n = z->cell_count;
    const int m = n - 1;
    double** a = _Atd;
    ZoneCell* c = z->cells;

    const double mass = newAirMass(zone, z, a);
    zone->density = mass / zone->volume;
    const double scale = z->inv_area / zone->density;
    faceVelocities(z, a, scale);
    zoneRows(z, a, scale);
    if (stsThomasFactor(a, m) >= 0)
        errorf(FATAL, __FILE__, __LINE__, "Zero on diagonal of 1-D zone %d at time %s",
               zone->number, steptimestr(_stepEndTime));

    // The step-start contents are the step-start air mass: scaling the storage term by the
    // change of air mass keeps the species mass balance exact when the air mass changes,
    // and makes a zone of one cell the well-mixed zone.
    const double a0 = (double)z->cell_length * (double)_dti;
    const double keep = a0 * (mass != 0.0 ? zone->air_mass_prev / mass : 1.0);
    for (int k = 0; k < _nctm; k++) {
        for (int i = 0; i < n; i++) _Bxtd[i] = c[i].flow_mf_sums[k] * scale + c[i].mf_prev[k] * keep;
        stsThomasSolve(a, _Bxtd, m);
        for (int i = 0; i < n; i++) c[i].mf[k] = _Bxtd[i];
    }
    if (_nntc > 0) normaliseNonTrace(z);
    for (int k = 0; k < _nctm; k++) {
        double sum = 0.0;
        for (int i = 0; i < n; i++) sum += c[i].mf[k];
        zone->mf[k] = sum * z->inv_cell_count;
    }
}

}  // namespace vexlar
