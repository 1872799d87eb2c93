// Transport along one duct during a short time step: the duct's ring of cells is used as a
// train of plugs moving with the air when the air crosses more than a cell per step, and as
// fixed cells otherwise; axial dispersion is implicit in both, through the tridiagonal
// solver the one-dimensional zones share. Nothing is allocated: plugs are recycled within
// the duct's ring and every system is built in the shared rows _Atd and vector _Bxtd.
#include <algorithm>
#include <cmath>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "contaminant/sts-init.h"
#include "contaminant/sts-int.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/sts-links.h"

namespace vexlar {

namespace {

// The per-step quantities of one duct, from its upstream junction's air.
struct DuctFlow {
    const double* up_mf;  // upstream mass fractions
    double U;             // velocity [m/s], positive from start to end
    double s;             // displacement over the step [m]
    double Re;            // Reynolds number
};

// Axial dispersion coefficient [m2/s] of species k: one turbulent value for all species,
// or molecular diffusion enhanced by the laminar velocity profile. Without a positive
// molecular diffusivity the laminar enhancement has no meaning and the duct disperses
// nothing.
double dispersion(const DuctLagData* lag, const DuctFlow& f, int k)
{
    double D = lag->diameter, u = std::fabs(f.U);
    if (f.Re >= 2000.0) return D * u * (1.35 / std::pow(f.Re, 0.125) + 3e7 / std::pow(f.Re, 2.1));
    double Dm = _ctm[k].diffusivity;
    if (Dm <= 0.0) return 0.0;
    return Dm + (f.U * D) * (f.U * D) / (192.0 * Dm);
}

bool sameForAllSpecies(const DuctFlow& f) { return f.Re >= 2000.0; }

[[noreturn]] void zeroPivot(const DuctLink* d)
{
    errorf(FATAL, __FILE__, __LINE__, "Zero on diagonal of 1-D duct %d at time %s", d->path->number,
           steptimestr(_stepEndTime));
    abort();
}

void factor(const DuctLink* d, int m)
{
    if (stsThomasFactor(_Atd, m) >= 0) zeroPivot(d);
}

DuctCell* toward(DuctCell* c, bool forward) { return forward ? c->next : c->prev; }

// Value of species k at x between the neighbouring cells a and b (a before b along x).
double interpolate(const DuctCell* a, const DuctCell* b, double x, int k)
{
    return (a->mf[k] * (b->position - x) + b->mf[k] * (x - a->position)) / (b->position - a->position);
}

// Rows of an implicit dispersion step over a plug train of m + 1 cells from `first`,
// walked with the flow: each row's storage is its length, neighbours couple by K dt over
// the distance between their centres.
void plugRows(DuctCell* first, int m, bool forward, double Kdt)
{
    DuctCell* c = first;
    double gPrev = 0.0;
    for (int i = 0; i <= m; i++, c = toward(c, forward)) {
        double g = 0.0;
        if (i < m) g = Kdt / std::fabs(toward(c, forward)->position - c->position);
        double* row = _Atd[i];
        row[TD_LOWER] = -gPrev;
        row[TD_DIAG] = c->length + gPrev + g;
        row[TD_UPPER] = -g;
        gPrev = g;
    }
}

// Solves species k over the plug train: the entering plug (row 0) carries what crossed
// the inlet; the cells take the solution.
void plugSolve(DuctCell* first, int m, bool forward, double inflowLength, double upMf, int k)
{
    DuctCell* c = first;
    _Bxtd[0] = inflowLength * upMf;
    c = toward(c, forward);
    for (int i = 1; i <= m; i++, c = toward(c, forward)) _Bxtd[i] = c->mf[k] * c->length;
    stsThomasSolve(_Atd, _Bxtd, m);
    c = first;
    for (int i = 0; i <= m; i++, c = toward(c, forward)) c->mf[k] = _Bxtd[i];
}

int chainLength(const DuctLagData* lag)
{
    int m = 0;
    for (const DuctCell* c = lag->head_cell; c != lag->tail_cell; c = c->next) m++;
    return m;
}

// The dispersion step of a plug train for every species, the system refactored only when
// the coefficient changes between species.
void plugDisperse(const DuctLink* d, const DuctFlow& f, DuctCell* first, int m, bool forward,
                  double inflowLength)
{
    for (int k = 0; k < _nctm; k++) {
        if (k == 0 || !sameForAllSpecies(f)) {
            plugRows(first, m, forward, dispersion(d->lag, f, k) * _dt);
            factor(d, m);
        }
        plugSolve(first, m, forward, inflowLength, f.up_mf[k], k);
    }
}

void copyMf(double* to, const double* from) { std::copy(from, from + _nctm, to); }

}  // namespace

// Re-grids a duct into its n uniform cells and two boundary cells from the current chain;
// the profile is built first in the rows of _Atd (one value per species each) and the
// positions in _Bxtd, so the chain can then be overwritten in place.
void EulerSet(DuctLagData* lag, double** profile, double* x)
{
    int n = lag->cell_count;
    double dx = lag->cell_length;
    x[0] = -0.5 * dx;
    for (int j = 1; j <= n + 1; j++) x[j] = x[j - 1] + dx;
    copyMf(profile[0], lag->mf_start);
    copyMf(profile[n + 1], lag->mf_end);
    const DuctCell* a = lag->head_cell;
    for (int j = 1; j <= n; j++) {
        while (a != lag->tail_cell && a->next->position <= x[j]) a = a->next;
        if (a == lag->tail_cell || x[j] < a->position) {
            copyMf(profile[j], a->mf);  // outside the chain: the nearest cell's value
            continue;
        }
        for (int k = 0; k < _nctm; k++) profile[j][k] = interpolate(a, a->next, x[j], k);
    }
    DuctCell* c = lag->head_cell;
    for (int j = 0; j <= n + 1; j++) {
        c->position = x[j];
        c->length = dx;
        c->inv_spacing = lag->inv_cell_length;
        copyMf(c->mf, profile[j]);
        lag->tail_cell = c;
        c = c->next;
    }
}

namespace {

void regrid(DuctLagData* lag)
{
    EulerSet(lag, _Atd, _Bxtd);
    lag->mode = 0;
}

// Turns the spare cell c into the boundary cell at `position` beyond a duct end, holding what
// the entering plug holds.
void setBoundaryCell(const DuctLagData* lag, DuctCell* c, double position, const DuctCell* plug)
{
    c->position = position;
    c->length = lag->cell_length;
    c->inv_spacing = lag->inv_cell_length;
    copyMf(c->mf, plug->mf);
}

void forwardPlugStep(DuctLink* d, const DuctFlow& f)
{
    _NrDuctLagr++;
    DuctLagData* lag = d->lag;
    double s = f.s, L = lag->length;
    for (DuctCell* c = lag->tail_cell; c != lag->head_cell; c = c->prev) c->position += s;
    DuctCell* plug = lag->head_cell;
    plug->position = 0.5 * s;
    plug->length = s;
    plug->inv_spacing = 1.0 / (plug->next->position - 0.5 * s);
    plugDisperse(d, f, plug, chainLength(lag), true, s);
    copyMf(lag->mf_start, plug->mf);
    // What crossed the duct end: the middle of the slab that left during the step.
    double X = L + 0.5 * s;
    DuctCell* a = lag->tail_cell->prev;
    while (a != plug && a->position > X) a = a->prev;
    for (int k = 0; k < _nctm; k++) lag->outlet_mf[k] = lag->mf_end[k] = interpolate(a, a->next, X, k);
    while (lag->tail_cell != plug && L <= lag->tail_cell->prev->position) lag->tail_cell = lag->tail_cell->prev;
    DuctCell* head = plug->prev;
    setBoundaryCell(lag, head, -0.5 * lag->cell_length, plug);
    lag->head_cell = head;
    if (lag->tail_cell->next == head) regrid(lag);
}

void backwardPlugStep(DuctLink* d, const DuctFlow& f)
{
    _NrDuctLagr++;
    DuctLagData* lag = d->lag;
    double s = f.s, L = lag->length;
    for (DuctCell* c = lag->head_cell; c != lag->tail_cell; c = c->next) c->position += s;
    DuctCell* plug = lag->tail_cell;
    plug->position = L + 0.5 * s;
    plug->length = -s;
    plug->inv_spacing = 1.0 / (plug->position - plug->prev->position);
    plugDisperse(d, f, plug, chainLength(lag), false, -s);
    copyMf(lag->mf_end, plug->mf);
    double X = 0.5 * s;
    DuctCell* a = lag->head_cell;
    while (a->next != plug && a->next->position <= X) a = a->next;
    for (int k = 0; k < _nctm; k++) lag->outlet_mf[k] = lag->mf_start[k] = interpolate(a, a->next, X, k);
    while (lag->head_cell != plug && lag->head_cell->next->position <= 0.0) lag->head_cell = lag->head_cell->next;
    DuctCell* tail = plug->next;
    setBoundaryCell(lag, tail, L + 0.5 * lag->cell_length, plug);
    lag->tail_cell = tail;
    if (tail->next == lag->head_cell) regrid(lag);
}

// Hybrid upwind/central rows of the n + 1 fixed cells nearest the inflow end.
void eulerRows(int n, double U, double D, double a0)
{
    double aW = std::max({U, D + 0.5 * U, 0.0});
    double aE = std::max({-U, D - 0.5 * U, 0.0});
    double end = a0 + (U > 0.0 ? aW : aE);
    for (int i = 0; i <= n; i++) {
        double* row = _Atd[i];
        row[TD_LOWER] = i > 0 ? -aW : 0.0;
        row[TD_UPPER] = i < n ? -aE : 0.0;
        row[TD_DIAG] = (i == 0 || i == n) ? end : a0 + aE + aW;
    }
}

void eulerStep(DuctLink* d, const DuctFlow& f)
{
    _NrDuctEulr++;
    DuctLagData* lag = d->lag;
    int n = lag->cell_count;
    double U = f.U;
    DuctCell* head = lag->head_cell;
    DuctCell* tail = lag->tail_cell;
    if (U == 0.0) {
        std::fill(lag->outlet_mf, lag->outlet_mf + _nctm, 0.0);
        copyMf(head->mf, head->next->mf);
        copyMf(tail->mf, tail->prev->mf);
        return;
    }
    double a0 = lag->cell_length * _dti;
    DuctCell* first = U > 0.0 ? head->next : head;
    for (int k = 0; k < _nctm; k++) {
        if (k == 0 || !sameForAllSpecies(f)) {
            eulerRows(n, U, dispersion(lag, f, k) * lag->inv_cell_length, a0);
            factor(d, n);
        }
        DuctCell* c = first;
        for (int i = 0; i <= n; i++, c = c->next) _Bxtd[i] = a0 * c->mf[k];
        if (U > 0.0) _Bxtd[0] += U * f.up_mf[k];
        else _Bxtd[n] += -U * f.up_mf[k];
        stsThomasSolve(_Atd, _Bxtd, n);
        c = first;
        for (int i = 0; i <= n; i++, c = c->next) c->mf[k] = _Bxtd[i];
    }
    const DuctCell* out = U > 0.0 ? tail->prev : head;
    for (int k = 0; k < _nctm; k++) lag->outlet_mf[k] = 0.5 * (out->mf[k] + out->next->mf[k]);
    if (U > 0.0) copyMf(head->mf, head->next->mf);
    else copyMf(tail->mf, tail->prev->mf);
}

}  // namespace

void stsDuctStep(DuctLink* d)
{
    DuctLagData* lag = d->lag;
    const JunctionNode* up = d->link_flow >= 0.0 ? d->from_junction : d->to_junction;
    if (lag->cell_count == 0) {
        copyMf(lag->outlet_mf, up->mf);
        return;
    }
    const AirNode* a = up->node;
    DuctFlow f;
    f.up_mf = up->mf;
    f.U = d->link_flow / (lag->area * a->density);
    f.Re = a->density * std::fabs(f.U) * lag->diameter / a->viscosity;
    f.s = f.U * _dt;
    double dx = lag->cell_length;
    const double slack = (double)2e-6f;
    if (lag->mode == 0) {
        if (f.s > dx + slack) lag->mode = 1;
        else if (f.s < -dx - slack) lag->mode = -1;
    } else if (0.5 * dx > std::fabs(f.s)) {
        regrid(lag);
    } else if (lag->mode * f.U < 0.0) {
        lag->mode = -lag->mode;
    }
    if (lag->mode > 0) forwardPlugStep(d, f);
    else if (lag->mode < 0) backwardPlugStep(d, f);
    else eulerStep(d, f);
}

}  // namespace vexlar
