// afnd_set: the airflow node list, in the order every solver relies on: zones in project
// order, then duct junctions and terminals, then the ambient node, always last. Also the
// junction records of the short-time-step duct model and the one-dimensional zones.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "contaminant/node-help.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/prj-common.h"

namespace vexlar {

namespace {

// Short-time-step cells are laid out only when that method simulates contaminants.
bool sts_cells_wanted() { return _rcdat.mf_solver == 1 && _rcdat.sim_mf != 0; }

AirNode* new_node(AirNode**& tail, int index, const char* tag)
{
    AirNode* n = static_cast<AirNode*>(alc_ec(&_ms, sizeof(AirNode), tag));
    n->index = index;
    *tail = n;
    tail = &n->next;
    return n;
}

void give_zone_cell(AirNode* n)
{
    n->zone_cell = static_cast<ZoneCell*>(alc_ec(&_ms, sizeof(ZoneCell), "cdc"));
    _nCmctm += _nctm;
}

float level_height(const LevelRec* lev) { return lev ? lev->ref_height : 0.0f; }

void zone_node(AirNode* n, ZoneRec* z)
{
    n->number = z->number;
    n->kind = 0;
    z->node = n;
    n->flags = z->flags;
    n->location.level = z->level;
    n->volume = z->volume;
    n->height = level_height(z->level) + z->rel_height;
    n->abs_tol = 2.4f * _rcdat.abscnvg * std::max(n->volume, 0.01f);
    n->humidity_ratio = 0.00001;
    n->temperature = z->temperature;
    n->temperature_ptr = sd_value_source(z->ctrl, z->vf_type, z->vf_name, z->wsch, nullptr);
    n->reaction = z->reaction;
    n->pressure = n->pressure_prev = (z->flags & NODE_VAR_P) ? 0.0 : z->pressure;
    if (_nctm > 0) {
        n->mf = _MfZ + (size_t)z->number * _nctm;
        n->mf_prev = _MfZi + (size_t)z->number * _nctm;
    }
    n->is_cfd = (z->flags & 0x20) ? 1 : 0;
    _nCFDzone += n->is_cfd;
    std::memcpy(n->cfd_name, z->cfd_name, sizeof n->cfd_name);
    n->cfd_name[sizeof n->cfd_name - 1] = '\0';
    if (sts_cells_wanted() && z->cd1 < 1)
        give_zone_cell(n);
}

void junction_node(AirNode* n, JunctionRec* j)
{
    n->kind = j->term_type != 0 ? 2 : 1;
    n->number = j->number;
    j->node = n;
    if (j->zone == &_ambt) {
        n->location.level = j->level;
    } else {
        n->location.zone = j->zone->node;
        n->in_zone = 1;
    }
    n->volume = j->volume;
    n->height = level_height(j->level) + j->rel_height;
    n->abs_tol = 2.4f * _rcdat.abscnvg * std::max(n->volume, 0.001f);
    n->flags = NODE_VAR_P | NODE_VAR_MF;
    n->temperature = j->temperature;
    n->temperature_ptr = sd_value_source(j->ctrl, j->vf_type, j->vf_name, j->wsch, nullptr);
    n->reaction = j->reaction;
    if (_nctm > 0) {
        n->mf = _MfJ + (size_t)(j->number - 1) * _nctm;
        n->mf_prev = _MfJi + (size_t)(j->number - 1) * _nctm;
    }
}

void junction_record(JunctionNode**& tail, AirNode* n, JunctionRec* j)
{
    JunctionNode* jn = static_cast<JunctionNode*>(alc_ec(&_ms, sizeof(JunctionNode), "jctn"));
    jn->node = n;
    jn->number = j->number;
    jn->network = j->network;
    jn->terminal_state = j->term_type != 0 ? 1 : 0;
    j->jctn = jn;
    *tail = jn;
    tail = &jn->next;
}

void ambient_node(AirNode* n)
{
    n->kind = 0;
    n->number = 0;
    n->height = 0.0f;
    n->flags |= NODE_AMBIENT;
    n->location.level = _Lev0;
    n->temperature = _wthdat.Tambt;
    if (_nctm > 0) {
        n->mf = _MfZ;
        n->mf_prev = _MfZi;
        for (int k = 0; k < _nctm; k++)
            _MfZ[k] = _ambt.ambient_mf[k];
    }
    _pambt = n;
    _ambt.node = n;
    if (sts_cells_wanted())
        give_zone_cell(n);
}

// Cells of a one-dimensional zone along the axis between its two end points. A zone
// without length or volume has no cells to divide it into and ends the run.
void cd1_zone(AirNode* n, const ZoneRec* z, Cd1Zone**& tail)
{
    const float* g = z->cd1_geom;
    float zref = level_height(z->level);
    float p[6] = {g[0], g[1], g[2] + zref, g[3], g[4], g[5] + zref};
    float dx_req = g[6], D = g[7];
    float ux = p[3] - p[0], uy = p[4] - p[1], uz = p[5] - p[2];
    float L = std::sqrt(ux * ux + uy * uy + uz * uz);
    double q = dx_req > 0.0f ? L / dx_req + 0.5 : 1.0;
    int cells = q < (double)INT_MAX ? std::max((int)q, 1) : INT_MAX;
    float dx = (float)(L * (1.0 / cells));
    if (dx == 0.0f || dx > 1.5f * dx_req)
        errorf(L > 0.0f ? ERROR : FATAL, __FILE__, __LINE__,
               "1-D C-D zone %d: cell dx=%.3f, L=%.3f, ==> N=%d, dx=%.3f\n", z->number, dx_req, L,
               cells, dx);
    if (!(z->volume > 0.0f))
        errorf(FATAL, __FILE__, __LINE__, "1-D C-D zone %d: volume = %.3f m^3\n", z->number,
               z->volume);
    Cd1Zone* c = static_cast<Cd1Zone*>(alc_e(sizeof(Cd1Zone), "cdzn"));
    c->node = n;
    c->cell_length = dx;
    c->inv_cell_length = 1.0f / dx;
    c->zone_length = L;
    c->inv_area = L / z->volume;
    c->diffusion_per_length = D / dx;
    c->cell_count = cells;
    c->inv_cell_count = 1.0 / cells;
    std::memcpy(c->end_points, p, sizeof p);
    c->direction[0] = ux / L;
    c->direction[1] = uy / L;
    c->direction[2] = uz / L;
    c->cells = static_cast<ZoneCell*>(alc_e(cells * sizeof(ZoneCell), "cdcVec"));
    n->cd1_zone = c;
    *tail = c;
    tail = &c->next;
    _nCcctm += cells * _nctm;
}

// Properties every node starts from, then its density from the gas law.
void node_properties()
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->gas_const = 287.055;
        n->cp = 1003.5f;
        if (_nctm > 0)
            n->mf_eqn = static_cast<int32_t*>(alc_ec(&_ms, _nctm * sizeof(int32_t), "ns"));
        n->flags = n->volume > 0.0f ? (n->flags | NODE_VOLUME) : (n->flags & ~NODE_VOLUME);
        if (_rcdat.dodMdt)
            n->flags |= NODE_STORAGE;
    }
    if (_nntc > 0) {
        normalizeAirNodeMfSums_nonTr_check();
        findAirNodeRs_nonTr();
        if (_rcdat.mf_solver == 1 && _rcdat.sts_temp)
            findAirNodeCps_nonTr();
    }
    for (AirNode* n = _afnd0; n; n = n->next)
        n->density = (n->pressure + _wthdat.Pbar) / (n->gas_const * n->temperature);
}

}  // namespace

int afnd_set()
{
    _nCFDzone = _nCmctm = _nCcctm = 0;
    _afnd0 = nullptr;
    _jctn0 = nullptr;
    _cdzn0 = nullptr;
    AirNode** tail = &_afnd0;
    JunctionNode** jtail = &_jctn0;
    Cd1Zone** ctail = &_cdzn0;
    int count = 0;
    for (int k = 1; k <= _nzone; k++)
        zone_node(new_node(tail, ++count, "afnd"), _ZoneList[k]);
    for (int k = 1; k <= _njct; k++) {
        AirNode* n = new_node(tail, ++count, "afnd");
        junction_node(n, _JctList[k]);
        if (_rcdat.mf_solver == 1)
            junction_record(jtail, n, _JctList[k]);
    }
    ambient_node(new_node(tail, ++count, "ambt"));
    if (sts_cells_wanted()) {
        for (int k = 1; k <= _nzone; k++)
            if (_ZoneList[k]->cd1 >= 1)
                cd1_zone(_ZoneList[k]->node, _ZoneList[k], ctail);
    }
    node_properties();
    return count;
}

}  // namespace vexlar
