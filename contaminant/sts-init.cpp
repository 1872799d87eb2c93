// Short-time-step structures: the junction sums, the duct cell rings, the placement of
// points and boxes in one-dimensional zones and the stability limit of the zone step.
// The set-up of the zone cells, path ends, sensors, sources and sinks, and the release,
// are not assembled yet: STSinit and fre_1DCD do nothing so far.
#include "contaminant/sts-init.h"

#include <algorithm>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/counters.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/run-control.h"
#include "model/sts-links.h"

namespace vexlar {

double* _sFMfJ = nullptr;   // junction flow sums, _nctm per junction in list order
int _Ntdmxr = 0;            // largest tridiagonal system of a duct or 1-D zone

void STSinit() {}
void fre_1DCD() {}

namespace {

// Builds the ring of n + 3 cells of one duct: n interior cells between a boundary cell
// before the start and one past the end, plus a spare, all holding the upstream air.
void buildDuctCells(DuctLink* d, int n)
{
    DuctLagData* lag = d->lag;
    lag->mode = 1;
    lag->cell_length = (double)(lag->length / (float)n);
    lag->inv_cell_length = 1.0 / lag->cell_length;
    const AirPath* p = d->path;
    const double* mf = p->mass_flow[0] >= 0.0 ? p->from_node->mf : p->to_node->mf;
    DuctCell* prev = nullptr;
    DuctCell* head = nullptr;
    for (int i = 0; i < n + 3; i++) {
        auto* c = static_cast<DuctCell*>(
            alc_ec(&_ms, sizeof(DuctCell) + (size_t)_nctm * sizeof(double), "lagcell"));
        c->mf = reinterpret_cast<double*>(c + 1);
        std::copy(mf, mf + _nctm, c->mf);
        c->length = lag->cell_length;
        c->inv_spacing = lag->inv_cell_length;
        if (prev) {
            prev->next = c;
            c->prev = prev;
        } else {
            head = c;
        }
        prev = c;
    }
    prev->next = head;
    head->prev = prev;
    lag->head_cell = head;
    DuctCell* c = head;
    c->position = -0.5 * lag->cell_length;
    for (int i = 1; i < n + 2; i++) {
        c->next->position = c->position + lag->cell_length;
        c = c->next;
    }
    lag->tail_cell = c;
}

}  // namespace

void stsInitDucts()
{
    if (!_jctn0) return;
    int nj = 0;
    for (JunctionNode* j = _jctn0; j; j = j->next) nj++;
    _sFMfJ = alc_vT<double>(0, nj * std::max(_nctm, 1) - 1, "sFMfJ");
    int k = 0;
    for (JunctionNode* j = _jctn0; j; j = j->next, k++) {
        j->flow_mf_sums = _sFMfJ + (size_t)k * _nctm;
        j->mf = j->node->mf;
    }
    ulog_printf("Junctions:      %5d\n", nj);
    int nd = 0;
    for (DuctLink* d = _duct0; d; d = d->next) nd++;
    ulog_printf("Duct segments:  %5d\n", nd);
    if (_rcdat.sts_cells == 0) {
        ulog_printf("Duct cells:   %7d\n", nd);
    } else {
        // A cell length of 0 or less would divide by zero and ask for no or endless cells.
        if (!(_rcdat.sts_dx > 0.0f))
            errorf(FATAL, __FILE__, __LINE__, "Duct cell length sts_dx = %g m must be > 0",
                   (double)_rcdat.sts_dx);
        int total = 0;
        for (DuctLink* d = _duct0; d; d = d->next) {
            int n = (int)(d->lag->length / _rcdat.sts_dx + 0.9);
            d->lag->cell_count = n;
            total += n;
            if (n <= 0) continue;
            _Ntdmxr = std::max(_Ntdmxr, n);
            buildDuctCells(d, n);
        }
        _Ntdmxr += 3;
        if (total != 0) ulog_printf("Duct cells:   %7d\n", total);
    }
    int nt = 0, nl = 0;
    for (TerminalLink* t = _term0; t; t = t->next) nt++;
    for (LeakLink* l = _leak0; l; l = l->next) nl++;
    ulog_printf("Duct terminals: %5d\n", nt);
    ulog_printf("Duct leaks:     %5d\n", nl);
}

namespace {

// Unclamped cell index of a point along the zone axis, truncated toward zero.
int axisIndex(const Cd1Zone* z, float x, float y, float zz)
{
    const float* e = z->end_points;
    const float* u = z->direction;
    float s = (x - e[0]) * u[0] + (y - e[1]) * u[1] + (zz - e[2]) * u[2];
    return (int)(s * z->inv_cell_length);
}

}  // namespace

ZoneCell* stsLocateCell(const Cd1Zone* z, float x, float y, float z_, const char* kind,
                        int number)
{
    int i = axisIndex(z, x, y, z_);
    int n = z->cell_count;
    if (i < 0 || i > n) {
        errorf(FATAL, __FILE__, __LINE__,
               "Invalid zone cell index: %s %d in zone %d, indx=%d max=%d\n", kind, number,
               z->node->index, i, n);
        return nullptr;
    }
    return &z->cells[i == n ? n - 1 : i];
}

void stsBoxCells(const Cd1Zone* z, const float corner1[3], const float corner2[3],
                 const char* kind, int number, ZoneCell** first, ZoneCell** last,
                 float* share)
{
    *first = stsLocateCell(z, corner1[0], corner1[1], corner1[2], kind, number);
    *last = stsLocateCell(z, corner2[0], corner2[1], corner2[2], kind, number);
    // A box given with its ends reversed covers the same cells.
    if ((*last)->index < (*first)->index) std::swap(*first, *last);
    *share = 1.0f / (float)((*last)->index - (*first)->index + 1);
}

void stsCheckStability()
{
    bool unstable = false;
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (n->kind != 0 || !(n->flags & NODE_VAR_MF)) continue;
        double twoM = 2.0 * n->air_mass;
        double s = n->sum_abs_flow;
        if (s <= 0.0) continue;
        if (twoM < _dtMaxStab * s) _dtMaxStab = (float)(twoM / s);
        if (twoM <= _dt * s) {
            const char* fmt = (n->flags & NODE_AHS)
                ? "AHS zone %d (%.3f m^3) requires a time step < %.2f s for stability"
                : "Zone %d (%.3f m^3) requires a time step < %.2f s for stability";
            errorf(WARNING, __FILE__, __LINE__, fmt, n->number, (double)n->volume, twoM / s);
            unstable = true;
        }
    }
    if (unstable)
        error(FATAL, __FILE__, __LINE__, "Revise time step (or volume) to permit stable solution",
              "");
}

}  // namespace vexlar
