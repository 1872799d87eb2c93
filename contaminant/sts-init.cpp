// Short-time-step structures: the junction sums, the duct cell rings, the transport cells
// of the zones with everything that feeds them (path ends, sensors, sources, sinks and
// occupants placed in their cells), the shared tridiagonal and kinetics work storage, and
// the stability limit of the explicit zone step. Built once before the first short step.
#include "contaminant/sts-init.h"

#include "contaminant/sts-int.h"

#include <algorithm>
#include <cstdlib>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/counters.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "model/sts-links.h"

namespace vexlar {

double* _sFMfJ = nullptr;   // junction flow sums, _nctm per junction in list order
int _Ntdmxr = 0;            // largest tridiagonal system of a duct or 1-D zone
AirNode** _Znode = nullptr;
int _nZnode = 0;
double* _sFMfZ = nullptr;
double* _MfC = nullptr;
double* _MfCi = nullptr;
double* _sFMfC = nullptr;
double** _Akr = nullptr;

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
    // The duct's ends start with the air it holds; a first re-grid builds from them.
    std::copy(mf, mf + _nctm, lag->mf_start);
    std::copy(mf, mf + _nctm, lag->mf_end);
    std::copy(mf, mf + _nctm, lag->outlet_mf);
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
            errorf(FATAL, __FILE__, __LINE__,
                   "Duct cell length sts_dx = %g m must be > 0: set sts_dx in Run Control above 0 "
                   "(e.g. 0.1), or sts_cells to 0 for one cell a duct", (double)_rcdat.sts_dx);
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

// ---- Zone cells and what feeds them ------------------------------------------------

namespace {

const char* const pathKindWord[4] = {"Path", "Duct", "Terminal", "Leak"};

// Width of the rows of _Atd: the lower, diagonal and upper coefficients and a spare, or
// one value per species where a duct's re-gridded profile is built in them.
int atdColumns() { return std::max(4, _nctm); }

void buildZnode()
{
    _nZnode = 0;
    for (AirNode* n = _afnd0; n; n = n->next)
        if (n->kind == 0) _nZnode++;
    if (_nZnode == 0) return;
    _Znode = alc_vT<AirNode*>(0, _nZnode - 1, "Znode");
    int k = 0;
    for (AirNode* n = _afnd0; n; n = n->next)
        if (n->kind == 0) _Znode[k++] = n;
}

// The explicit zone step divides by the zone's air mass: a transported zone needs a volume.
void checkZoneVolumes()
{
    bool bad = false;
    for (int i = 0; i < _nZnode; i++) {
        const AirNode* n = _Znode[i];
        if (n->volume > 0.0f || !(n->flags & NODE_VAR_MF)) continue;
        errorf(ERROR, __FILE__, __LINE__,
               (n->flags & NODE_AHS) ? "AHS zone %d: volume = %.3f m^3" : "Zone %d: volume = %.3f m^3",
               n->number, (double)n->volume);
        bad = true;
    }
    if (bad)
        error(FATAL, __FILE__, __LINE__, "STS method requires zone volumes for numerical stability",
              "");
}

void allocateSums()
{
    if (_nCmctm > 0) _sFMfZ = alc_vT<double>(0, _nCmctm - 1, "sFMfZ");
    if (_nCcctm > 0) {
        _MfC = alc_vT<double>(0, _nCcctm - 1, "MfC");
        _MfCi = alc_vT<double>(0, _nCcctm - 1, "MfCi");
        _sFMfC = alc_vT<double>(0, _nCcctm - 1, "sFMfC");
    }
}

// Gives every zone's cells their slices of the sums and, for 1-D zones, of the cell mass
// fractions, which start at the zone's own. Returns the number of cells.
int fillZoneCells()
{
    size_t single = 0, cell = 0;
    int total = 0;
    for (int i = 0; i < _nZnode; i++) {
        AirNode* n = _Znode[i];
        Cd1Zone* z = n->cd1_zone;
        if (!z) {
            ZoneCell* c = n->zone_cell;
            c->flow_mf_sums = _sFMfZ ? _sFMfZ + single : nullptr;
            c->mf = n->mf;
            c->mf_prev = n->mf_prev;
            single += _nctm;
            total++;
            continue;
        }
        float pos = 0.5f * z->cell_length;
        for (int k = 0; k < z->cell_count; k++, cell += _nctm) {
            ZoneCell* c = &z->cells[k];
            c->position = pos;
            pos += z->cell_length;
            c->index = k;
            c->mf = _MfC + cell;
            c->mf_prev = _MfCi + cell;
            c->flow_mf_sums = _sFMfC + cell;
            for (int s = 0; s < _nctm; s++) c->mf[s] = c->mf_prev[s] = n->mf[s];
            c->next = k + 1 < z->cell_count ? &z->cells[k + 1] : nullptr;
        }
        _Ntdmxr = std::max(_Ntdmxr, z->cell_count);
        total += z->cell_count;
    }
    return total;
}

void logZones(int cells)
{
    ulog_printf("Total Zones:    %5d\n", _nZnode);
    if (cells <= _nZnode) return;
    int nz = 0, nc = 0;
    if (_list > 0) ulog_printf(" 1-D C-D zones:\n zone  cells  dx [m]\n");
    for (int i = 0; i < _nZnode; i++) {
        const Cd1Zone* z = _Znode[i]->cd1_zone;
        if (!z) continue;
        if (_list > 0)
            ulog_printf("%5d %5d %7.3f\n", _Znode[i]->number, z->cell_count, (double)z->cell_length);
        nz++;
        nc += z->cell_count;
    }
    ulog_printf("1D CD Zones:    %5d\n", nz);
    ulog_printf("Zone cells:   %7d\n", nc);
}

[[noreturn]] void noCell()
{
    error(FATAL, __FILE__, __LINE__, "No Cell", "");
    abort();  // the FATAL hook ends the run; nothing may use a missing cell
}

// The cell of a zone holding the point (x, y, z relative to the zone's height): its single
// cell, or the cell of a 1-D zone along the axis. FATAL "No Cell" for a zone with neither.
ZoneCell* cellAt(const AirNode* n, float x, float y, float relZ, const char* kind, int number)
{
    if (n->zone_cell) return n->zone_cell;
    if (n->cd1_zone) return stsLocateCell(n->cd1_zone, x, y, relZ + n->height, kind, number);
    noCell();
}

// Points one end of a path at its zone's cell; 1-D zone ends are listed with their cell.
void linkPathEnd(AirPath* p, AirNode* n, ZoneCell** cell, double** mf, char end)
{
    if (n->kind != 0) return;
    if (n->zone_cell) {
        *cell = n->zone_cell;
        if (n != _pambt) *mf = n->zone_cell->mf;
        return;
    }
    if (!n->cd1_zone) noCell();
    ZoneCell* c = stsLocateCell(n->cd1_zone, p->x, p->y, p->z, pathKindWord[p->kind], p->number);
    *cell = c;
    *mf = c->mf;
    if (_list > 0)
        ulog_printf("    zone %c %d, cell %d at %.2f\n", end, n->number, c->index, (double)c->position);
}

int linkPaths()
{
    int paths = 0;
    if (_list > 0) ulog_printf("\nLinks to 1-D zone cells\nAirflow paths:\n");
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (p->kind == 1) continue;
        if (_list > 0) ulog_printf("  %s %d\n", pathKindWord[p->kind & 3], p->number);
        linkPathEnd(p, p->from_node, &p->cell_from, &p->mf_from, 'N');
        linkPathEnd(p, p->to_node, &p->cell_to, &p->mf_to, 'M');
        if (p->kind == 0) paths++;
    }
    return paths;
}

// A sensor reading a species in a 1-D zone reads the cell it stands in.
void linkSensors()
{
    if (_list > 0 && _Ctrl0) ulog_printf("Sensors:\n");
    for (CtrlNode* c = _Ctrl0; c; c = c->next) {
        if (c->type != CT_SNS || !(c->flags & 0x04)) continue;
        auto* s = static_cast<SensorData*>(c->data);
        AirNode* n = s->sensed_node;
        if (!n || n->kind != 0 || !n->cd1_zone || s->measure != 0) continue;
        ZoneCell* cell = stsLocateCell(n->cd1_zone, s->location[0], s->location[1],
                                       s->location[2] + n->height, "Sensor", c->number);
        s->sensed_ptr = &cell->mf[s->species];
        if (_list > 0)
            ulog_printf("  Sensor %d: zone %d, cell %d at %.2f\n", c->number, n->number, cell->index,
                        (double)cell->position);
    }
}

// The cells a source or sink covers: the single cell of its zone, or along a 1-D zone the
// cells between its location box's corners.
template <class Rec> void placeInBox(Rec* r, int number)
{
    const AirNode* n = r->zone_node;
    if (n->zone_cell) {
        r->cell_first = r->cell_last = n->zone_cell;
        r->cell_share = 1.0f;
        return;
    }
    if (!n->cd1_zone) noCell();
    const float c1[3] = {r->box[0], r->box[1], r->box[2] + n->height};
    const float c2[3] = {r->box[3], r->box[4], r->box[5] + n->height};
    stsBoxCells(n->cd1_zone, c1, c2, "Source", number, &r->cell_first, &r->cell_last,
                &r->cell_share);
}

void placeSources()
{
    for (CssRec* c = _Css0; c; c = c->next) placeInBox(c, c->number);
    // A boundary-layer sink in a 1-D zone covers the cells of its box, as deposition sinks do.
    for (BlsRec* b = _Bls0; b; b = b->next) placeInBox(b, b->number);
    for (DvrRec* d = _Dvr0; d; d = d->next) placeInBox(d, d->number);
    for (OccSchedRec* o = _Osch0; o; o = o->next)
        for (int i = 0; i < o->npts; i++) {
            const AirNode* n = o->zones[i].node;
            if (n) o->cells[i] = cellAt(n, o->x[i], o->y[i], o->rel_height[i], "OccSched", o->number);
        }
}

}  // namespace

void STSinit()
{
    ulog_printf("\nSet up structures for STS simulation.\n");
    _Ntdmxr = 0;
    stsInitDucts();
    buildZnode();
    checkZoneVolumes();
    // Without contaminants the network has no zone cells: the step only moves the air.
    if (_rcdat.sim_mf != 0) {
        allocateSums();
        logZones(fillZoneCells());
        int paths = linkPaths();
        linkSensors();
        placeSources();
        if (_list > 0) ulog_printf("\n");
        ulog_printf("Paths:          %5d\n", paths);
    }
    if (_Ntdmxr != 0) {
        _Atd = alc_mcT<double>(0, _Ntdmxr, 0, atdColumns() - 1, "Atd");
        _Bxtd = alc_vT<double>(0, _Ntdmxr, "Bxtd");
    }
    if (_nctm > 0) _Akr = alc_mcT<double>(0, _nctm - 1, 0, _nctm - 1, "Akr");
    ulog_printf("STS initialization complete.\n\n");
}

void fre_1DCD()
{
    for (int i = 0; i < _nZnode; i++) {
        Cd1Zone* z = _Znode[i]->cd1_zone;
        if (!z) continue;
        fre_e(z->cells, (size_t)z->cell_count * sizeof(ZoneCell), "cdcVec");
        fre_e(z, sizeof(Cd1Zone), "cdzn");
        _Znode[i]->cd1_zone = nullptr;
    }
    if (_Bxtd) _Bxtd = fre_vT(_Bxtd, 0, _Ntdmxr, "Bxtd");
    if (_Atd) _Atd = fre_mcT(_Atd, 0, _Ntdmxr, 0, atdColumns() - 1);
    if (_Akr) _Akr = fre_mcT(_Akr, 0, _nctm - 1, 0, _nctm - 1);
}

void fre_STSsums()
{
    if (_sFMfC) _sFMfC = fre_vT(_sFMfC, 0, _nCcctm - 1, "sFMfC");
    if (_MfCi) _MfCi = fre_vT(_MfCi, 0, _nCcctm - 1, "MfCi");
    if (_MfC) _MfC = fre_vT(_MfC, 0, _nCcctm - 1, "MfC");
    if (_sFMfZ) _sFMfZ = fre_vT(_sFMfZ, 0, _nCmctm - 1, "sFMfZ");
    if (_sFMfJ) {
        int nj = 0;
        for (JunctionNode* j = _jctn0; j; j = j->next) nj++;
        _sFMfJ = fre_vT(_sFMfJ, 0, nj * std::max(_nctm, 1) - 1, "sFMfJ");
    }
}

void fre_Znode()
{
    if (_Znode) _Znode = fre_vT(_Znode, 0, _nZnode - 1, "Znode");
    _nZnode = 0;
}

}  // namespace vexlar
