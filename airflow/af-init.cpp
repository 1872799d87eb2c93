// Linear start of the airflow solution (init_Af, declared in solv-af.h): every path is
// replaced by a conductance through zero (flow = k x pressure difference) or a fixed
// flow, the resulting linear network is assembled and, when run control asks for it,
// solved once for the node pressures from which the Newton iterations start.
#include <cfloat>
#include <cmath>
#include <cstring>
#include "airflow/af-assemble.h"
#include "airflow/afe-csf.h"
#include "airflow/afe-sim.h"
#include "airflow/solv-af.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/run-control.h"

namespace vexlar {

// Linearised path: flow = k x (pressure difference + head) + c.
struct LinearPath {
    double k;
    double c;
};

// 1/a, or 0 when a is 0 (the path then gives no conductance to start from).
static double inverse(double a) { return a != 0.0 ? 1.0 / a : 0.0; }

// Laminar coefficient of the power-law family, doors and one-way dampers: the first
// value of each of their data records.
static float lamCoef(const AfeRec* e)
{
    switch (e->type) {
    case AFE_PLR_BDQ: case AFE_PLR_BDF: return ((const BdData*)e->model_data)->lam_coef;
    case AFE_DCT_BDQ: case AFE_DCT_BDF: return ((const DctBdData*)e->model_data)->bd.lam_coef;
    case AFE_DOR_DOOR: return ((const DoorData*)e->model_data)->plr.lam_coef;
    case AFE_DOR_PL2: return ((const Pl2Data*)e->model_data)->plr.lam_coef;
    case AFE_DCT_PLR: return ((const DctPlrData*)e->model_data)->plr.lam_coef;
    case AFE_DCT_FCN: case AFE_DCT_QCN: return ((const DctPlr3Data*)e->model_data)->plr.lam_coef;
    default: return ((const PlrData*)e->model_data)->lam_coef;
    }
}

static const CSF_DATA* curveOf(const AfeRec* e)
{
    if (e->type >= AFE_DCT_FSP) return &((const DctCsfData*)e->model_data)->csf;
    return (const CSF_DATA*)e->model_data;
}

static const FanData* fanOf(const AfeRec* e)
{
    if (e->type == AFE_DCT_FAN) return &((const DctFanData*)e->model_data)->fan;
    return (const FanData*)e->model_data;
}

static float designFlow(const AfeRec* e)
{
    if (e->type == AFE_DCT_CMF || e->type == AFE_DCT_CVF)
        return ((const DctConstFlowData*)e->model_data)->flow.design_flow;
    return ((const ConstFlowData*)e->model_data)->design_flow;
}

// Slope at 0 of a fitted curve, from the path's cached segment.
static double curveSlope(AirPath* p)
{
    const CSF_DATA* csf = curveOf(p->element);
    double dy = 0.0;
    CSFintrp(csf->npts, csf->pts, &p->spline_hint, &dy, nullptr, 0.0);
    return dy;
}

// A fan above its cut-off starts as the fixed flow it delivers at half its shut-off
// pressure; below it, as the laminar part of its off-fan power law.
static LinearPath fanStart(AirPath* p, double ctl, double rv)
{
    const FanData* f = fanOf(p->element);
    p->fan_state = 0.5f * f->max_flow;
    if (ctl > f->cutoff_ratio) {
        p->dp = 0.5 * f->shutoff_dp;
        afe_fan(p);
        return {0.0, p->mass_flow[0]};
    }
    return {0.5 * f->plr.lam_coef * rv * p->multiplier, 0.0};
}

static const char* pathWord(int kind)
{
    switch (kind) {
    case 1: return "duct";
    case 2: return "terminal";
    case 3: return "leak";
    default: return "path";
    }
}

static LinearPath linearise(AirPath* p)
{
    const AfeRec* e = p->element;
    double ctl = *p->value_ptr, mult = p->multiplier;
    double rv = (double)p->from_node->density_viscosity_ratio + p->to_node->density_viscosity_ratio;
    double rho = p->from_node->density + p->to_node->density;
    int t = e->type;
    if ((t >= AFE_PLR_ORFC && t <= AFE_PLR_BDF) || t == AFE_DOR_DOOR ||
        (t >= AFE_DCT_PLR && t <= AFE_DCT_QCN) || t == AFE_DCT_BDQ || t == AFE_DCT_BDF)
        return {0.5 * lamCoef(e) * rv * ctl * mult, 0.0};
    switch (t) {
    case AFE_SRV_JWA: {
        const JwaData* j = (const JwaData*)e->model_data;
        return {0.5 * rho * j->jwa_flow * inverse(j->jwa_dp), 0.0};
    }
    case AFE_QFR_QAB: case AFE_QFR_FAB: case AFE_QFR_CRACK: case AFE_QFR_TEST2:
        return {inverse(((const QfrData*)e->model_data)->quad_a), 0.0};
    case AFE_DOR_PL2: return {rv * lamCoef(e) * ctl * mult, 0.0};
    case AFE_FAN_CMF: case AFE_DCT_CMF: return {0.0, designFlow(e) * ctl * mult};
    case AFE_FAN_CVF: case AFE_DCT_CVF: return {0.0, 0.5 * rho * designFlow(e) * ctl * mult};
    case AFE_FAN_FAN: case AFE_DCT_FAN: return fanStart(p, ctl, rv);
    case AFE_CSF_FSP: case AFE_DCT_FSP: return {curveSlope(p), 0.0};
    case AFE_CSF_QSP: case AFE_DCT_QSP: return {1.2 * curveSlope(p), 0.0};
    case AFE_CSF_PSF: case AFE_DCT_PSF: return {inverse(curveSlope(p)), 0.0};
    case AFE_CSF_PSQ: case AFE_DCT_PSQ:
        p->spline_hint = 0;
        return {1.2 * inverse(curveSlope(p)), 0.0};
    case AFE_DCT_DWC: return {0.5 * rv * p->duct_data->lam_coef, 0.0};
    case AFE_AHS_SR: return {0.0, ctl * p->ahs_design_flow};
    case AFE_AHS_XOR: case AFE_D_LEAK: return {0.0, 0.0};
    case AFE_D_TERM: return {0.5 * rv * ((const TerminalData*)e->model_data)->lam_coef, 0.0};
    default:
        // A kind without a model of its own (a super element only lists a choice of
        // elements): named with the path that carries it.
        error(FATAL, __FILE__, __LINE__, "Invalid AFE type: ", intstr(t), "; ", pathWord(p->kind), " ",
              intstr(p->number), " uses element ", e->name, " (",
              t >= 0 && t < AFE_NTYPES ? _afe_dnames[t] : "?",
              "), which no airflow model solves: give it an element of another kind", "");
        return {0.0, 0.0};
    }
}

// Known rows are identities holding their pressure; variable rows start from the
// node's air source (an inflow, like the flows into it).
static void startRows(AF_MAT* m)
{
    std::memset(&m->sa[1], 0, sizeof(double) * (size_t)m->nnz);
    for (AirNode* n = _afnd0; n; n = n->next) {
        if (n->flags & NODE_VAR_P) {
            m->b[n->af_eqn] = n->src_rate;
        } else {
            m->sa[n->af_eqn] = 1.0;
            m->b[n->af_eqn] = n->pressure;
        }
    }
}

static void addLinearPath(AF_MAT* m, const AirPath* p, LinearPath lp)
{
    const AirNode* from = p->from_node;
    const AirNode* to = p->to_node;
    bool fv = (from->flags & NODE_VAR_P) != 0, tv = (to->flags & NODE_VAR_P) != 0;
    double head = p->stack_pressure + *p->wind_pressure;
    int i = from->af_eqn, j = to->af_eqn;
    if (fv) {
        m->b[i] -= head * lp.k + lp.c;
        m->sa[i] += lp.k;
    }
    if (tv) {
        m->b[j] += head * lp.k + lp.c;
        m->sa[j] += lp.k;
    }
    if (fv && tv && p->sa_index > 0) m->sa[p->sa_index] -= lp.k;
    if (fv && !tv) m->b[i] += lp.k * m->b[j];
    if (tv && !fv) m->b[j] += lp.k * m->b[i];
}

void init_Af(AF_MAT* m)
{
    _NrFillAf++;
    startRows(m);
    for (AirPath* p = _pafp0; p; p = p->next) addLinearPath(m, p, linearise(p));
    for (AirNode* n = _afnd0; n; n = n->next) {
        if ((n->flags & NODE_VAR_P) && std::fabs(m->sa[n->af_eqn]) < DBL_EPSILON) {
            m->sa[n->af_eqn] = 1.0;
            m->b[n->af_eqn] = n->pressure;
        }
    }
    if (!_rcdat.af_init || m->newton < 0) return;
    solve_slae(m);
    for (AirNode* n = _afnd0; n; n = n->next)
        if (n->flags & NODE_VAR_P) n->pressure = m->x[n->af_eqn];
    for (AirPath* p = _pafp0; p; p = p->next)
        p->dp = p->from_node->pressure - p->to_node->pressure + p->stack_pressure + *p->wind_pressure;
}

}  // namespace vexlar
