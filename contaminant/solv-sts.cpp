// Short-time-step transport step: every zone takes an explicit-in, implicit-out step from
// what its paths, terminals, leaks and sources bring in during the step (with the
// junctions' values of the previous step), then the duct networks are traversed from
// upstream to downstream, each duct carrying its upstream junction's new values to the
// next junction. Everything it touches was sized by the set-up; the step allocates nothing.
#include "contaminant/solv-sts.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "airflow/af-prep.h"
#include "airflow/afe-filter.h"
#include "airflow/solv-af.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "contaminant/cse-sim.h"
#include "contaminant/node-help.h"
#include "contaminant/sts-duct.h"
#include "contaminant/sts-init.h"
#include "contaminant/sts-int.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "model/sts-links.h"

namespace vexlar {

namespace {

void clearCell(ZoneCell* c)
{
    c->inflow = c->outflow = 0.0;
    std::copy(c->mf, c->mf + _nctm, c->mf_prev);
}

// Step start: the junction and cell sums cleared, the cells' start values kept.
void clearStepSums()
{
    for (JunctionNode* j = _jctn0; j; j = j->next) {
        j->inflow = j->outflow = j->cp_flow = j->heat_flow = 0.0;
        std::fill(j->flow_mf_sums, j->flow_mf_sums + _nctm, 0.0);
    }
    for (int i = 0; i < _nZnode; i++) {
        AirNode* n = _Znode[i];
        if (n->cd1_zone)
            for (int k = 0; k < n->cd1_zone->cell_count; k++) clearCell(&n->cd1_zone->cells[k]);
        else if (n->zone_cell)
            clearCell(n->zone_cell);
    }
    if (_sFMfZ) std::fill(_sFMfZ, _sFMfZ + _nCmctm, 0.0);
    if (_sFMfC) std::fill(_sFMfC, _sFMfC + _nCcctm, 0.0);
    if (_MfC) std::copy(_MfC, _MfC + _nCcctm, _MfCi);
}

// The airflows are solved before the step that changes the zones' air masses: their
// storage term takes each zone's change of the previous step. The airflow assembly reads
// it from the start mass, which is put back afterwards.
void lagStorage(double sign)
{
    double dt = _dt;
    for (int i = 0; i < _nZnode; i++) {
        AirNode* n = _Znode[i];
        if (stsLagsStorage(n)) n->air_mass_prev -= sign * n->zone_cell->mass_rate * dt;
    }
}

// Airflows of a transient run: solved at every step, or, when the run holds them, only in
// the step after an input they depend on has changed.
void solveAirflows()
{
    if (!_sim_af_dyn) return;
    if (_newSTSaf > 0) {
        lagStorage(1.0);
        calc_sP();
        SolveAf(_AF_mat);
        lagStorage(-1.0);
    }
    if (_rcdat.wpc_hold) _newSTSaf = 0;
}

void copyLinkFlows()
{
    for (DuctLink* d = _duct0; d; d = d->next) d->link_flow = d->path->mass_flow[0];
    for (TerminalLink* t = _term0; t; t = t->next) t->link_flow = t->path->mass_flow[0];
    for (LeakLink* l = _leak0; l; l = l->next) l->link_flow = l->path->mass_flow[0];
}

// Flow F [kg/s] from the cell `from` into the cell `to`, carrying the filtered `mf`.
void cellToCell(ZoneCell* from, ZoneCell* to, double F, const float* p, const double* mf)
{
    from->outflow += F;
    to->inflow += F;
    for (int k = 0; k < _nctm; k++) to->flow_mf_sums[k] += p[k] * mf[k] * F;
}

void pathFlows()
{
    for (AirPath* p = _pafp0; p && p->kind == 0; p = p->next) {
        const float* pen = filter_sim(p);
        for (double F : p->mass_flow) {
            if (F > 0.0) cellToCell(p->cell_from, p->cell_to, F, pen, p->mf_from);
            else if (F < 0.0) cellToCell(p->cell_to, p->cell_from, -F, pen, p->mf_to);
        }
    }
}

// What terminals and leaks supply to their zones (the junctions' previous values), and
// the zone air they take back (added to the junctions once the zones have their new values).
void supplyZones(TerminalLink* list, bool filtered)
{
    for (TerminalLink* t = list; t; t = t->next) {
        double F = t->link_flow;
        ZoneCell* c = t->path->cell_to;
        JunctionNode* j = t->junction;
        if (F > 0.0) {
            const float* pen = filtered ? filter_sim(t->path) : _penf;
            j->outflow += F;
            c->inflow += F;
            for (int k = 0; k < _nctm; k++) c->flow_mf_sums[k] += pen[k] * j->mf[k] * F;
        } else if (F < 0.0) {
            j->inflow -= F;
            c->outflow -= F;
        }
    }
}

void returnToJunctions(TerminalLink* list, bool filtered)
{
    for (TerminalLink* t = list; t; t = t->next) {
        double F = t->link_flow;
        JunctionNode* j = t->junction;
        if (filtered) j->terminal_state = F > 0.0 ? 2 : 1;
        if (F >= 0.0) continue;
        const float* pen = filtered ? filter_sim(t->path) : _penf;
        const double* mf = t->path->mf_to;
        for (int k = 0; k < _nctm; k++) j->flow_mf_sums[k] += pen[k] * mf[k] * -F;
        if (_rcdat.sts_temp) {
            const AirNode* z = t->path->to_node;
            double w = -F * z->cp;
            j->cp_flow += w;
            j->heat_flow += w * z->temperature;
        }
    }
}

// What species k of a zone held at the step start and took in during the step [kg].
double heldAndTaken(const AirNode* n, const ZoneCell* c, int k, double dt)
{
    return n->mf[k] * n->air_mass_prev + c->flow_mf_sums[k] * dt;
}

// Air mass M of a zone whose species other than the air end the step at
// m_k = b_k / (1 + O dt / M) (b_k what it held and took in, O dt what left): the gas law
// M R = (P + Pbar) V / T with M R = Rs_0 M + sum (Rs_k - Rs_0) m_k, a quadratic in M.
double gasLawAirMass(const AirNode* n, const ZoneCell* c, double dt)
{
    const double Q = (n->pressure + _wthdat.Pbar) * n->volume / n->temperature;
    const double Odt = c->outflow * dt;
    double B = 0.0;
    for (int k = 1; k < _nntc; k++) B += (_Rs[k] - _Rs[0]) * heldAndTaken(n, c, k, dt);
    const double a = _Rs[0], h = a * Odt + B - Q;
    double root = std::sqrt(h * h + 4.0 * a * Q * Odt);
    return h <= 0.0 ? (root - h) / (2.0 * a) : 2.0 * Q * Odt / (h + root);
}

// Explicit in the inflows, implicit in the outflow: the only form whose new value stays
// between the old one and the inflow's for any step the stability check lets through.
// With a mixture of non-trace species the zone's air mass follows the gas law at its new
// composition and the air (species 0) takes up whatever the flows did not bring, as under
// the implicit method: every other species keeps the mass the step gave it. With air
// alone the air mass is what the flows left.
void wellMixedZone(AirNode* n)
{
    const ZoneCell* c = n->zone_cell;
    double dt = _dt, O = c->outflow;
    double M = n->air_mass;
    if (_nntc >= 2) {
        M = gasLawAirMass(n, c, dt);
        n->air_mass = M;
        n->zone_cell->mass_rate = (M - n->air_mass_prev) / dt;
    } else if (_nntc > 0) {
        double in = 0.0;
        for (int k = 0; k < _nntc; k++) in += c->flow_mf_sums[k];
        M = n->air_mass_prev + dt * (in - O);
        n->air_mass = M;
    }
    double div = M + O * dt;
    for (int k = 0; k < _nctm; k++) n->mf[k] = heldAndTaken(n, c, k, dt) / div;
    if (_nntc < 2) return;
    double others = 0.0;
    for (int k = 1; k < _nntc; k++) others += n->mf[k];
    n->mf[0] = 1.0 - others;
}

}  // namespace

bool stsLagsStorage(const AirNode* n)
{
    return _rcdat.mf_solver == 1 && _nntc >= 2 && (n->flags & NODE_STORAGE) && (n->flags & NODE_VAR_MF) &&
           n->zone_cell && !n->cd1_zone;
}

void stsKinetics(AirNode* n)
{
    const ReactionRec* r = n->reaction;
    int m = _nctm;
    double** A = _Akr;
    double dti = _dti;
    for (int i = 0; i < m; i++) {
        std::fill(A[i], A[i] + m, 0.0);
        A[i][i] = dti;
    }
    for (int t = 0; t < r->nterms; t++) A[r->prod[t]][r->src[t]] -= r->coef[t];
    double* b = n->mf;
    for (int i = 0; i < m; i++) b[i] *= dti;
    for (int i = 0; i < m; i++) {
        double piv = A[i][i];
        if (std::fabs(piv) < (double)FLT_MIN) {
            if (piv == 0.0)
                error(FATAL, __FILE__, __LINE__, "Zero on diagonal, row ", intstr(i), "; call Dravik");
            error(ERROR, __FILE__, __LINE__, "Near-zero on diagonal, row ", intstr(i), "");
        }
        for (int r2 = i + 1; r2 < m; r2++) {
            if (A[r2][i] == 0.0) continue;
            double f = A[r2][i] / piv;
            for (int c = i; c < m; c++) A[r2][c] -= f * A[i][c];
            b[r2] -= f * b[i];
        }
    }
    for (int i = m - 1; i >= 0; i--) {
        double s = b[i];
        for (int c = i + 1; c < m; c++) s -= A[i][c] * b[c];
        b[i] = s / A[i][i];
    }
}

namespace {

void stepZones()
{
    for (int i = 0; i < _nZnode; i++) {
        AirNode* n = _Znode[i];
        if (!(n->flags & NODE_VAR_MF)) continue;
        if (n->cd1_zone) {
            stsZone1DStep(n);
        } else {
            wellMixedZone(n);
            if (n->reaction) stsKinetics(n);
        }
    }
}

// A duct's outflow added to its downstream junction (rounded to single precision as the
// junction sums always were); the junction is mixed once its last inflowing duct is in.
void deliver(DuctLink* d)
{
    JunctionNode* up = d->link_flow > 0.0 ? d->from_junction : d->to_junction;
    JunctionNode* J = d->link_flow > 0.0 ? d->to_junction : d->from_junction;
    const double* out = _rcdat.sts_cells ? d->lag->outlet_mf : up->mf;
    const float* pen = filter_sim(d->path);
    double F = std::fabs(d->link_flow);
    for (int k = 0; k < _nctm; k++) J->flow_mf_sums[k] += (float)(F * pen[k] * out[k]);
    if (--J->remaining == 0) mixJunction(J, _rcdat.sts_cells == 0);
}

void stepDucts()
{
    if (!_duct0) return;
    _duct0 = LinkSeq(_duct0);
    LinkSet();
    for (DuctLink* d = _duct0; d; d = d->next) {
        if (_rcdat.sts_cells) stsDuctStep(d);
        if (d->link_flow != 0.0) deliver(d);
    }
    if (_rcdat.sts_temp) LinkTSim(_duct0);
}

void checkNonNegative()
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        for (int k = 0; k < _nctm; k++)
            if (n->mf[k] < 0.0) {
                error(FATAL, __FILE__, __LINE__, "Mf < 0, node ", intstr(n->index), "");
                abort();
            }
}

}  // namespace

void solve_STS()
{
    _NrSolveSTS++;
    // Without contaminants the network has no transport cells: only the air moves.
    if (_rcdat.sim_mf == 0) {
        solveAirflows();
        return;
    }
    clearStepSums();
    if (_Css0 || _Bls0 || _Dvr0 || _Pxs0) findPolMassRates_cse_sts(_Css0, _Bls0, _Dvr0, _Pxs0);
    solveAirflows();
    stsCheckStability();
    copyLinkFlows();
    pathFlows();
    supplyZones(_leak0, false);
    supplyZones(_term0, true);
    stepZones();
    returnToJunctions(_leak0, false);
    returnToJunctions(_term0, true);
    stepDucts();
    checkNonNegative();
    if (_nntc > 0) {
        findAirNodeRs_nonTr();
        if (_rcdat.sts_temp) findAirNodeCps_nonTr();
    }
}

}  // namespace vexlar
