// Airflow element models of paths and duct segments: the power-law family, doors and
// two-opening elements, fans, Darcy-Weisbach ducts, air-handling-system paths, duct
// terminals and leaks. Each is called by the airflow assembly once per path and Newton
// iteration with the path's dp set; it writes the flow(s) and d(flow)/d(dp) into the path.
// Nothing here allocates; the only side effects are the work counters and messages.
#include "airflow/afe-sim.h"

#include <cmath>
#include <cstdio>

#include "common-src/afe-friction.h"
#include "common-src/messages.h"
#include "model/constants.h"
#include "model/counters.h"
#include "model/elements.h"
#include "model/run-control.h"

namespace vexlar {

namespace {

// Relative tolerance of the Newton solutions of fans and transitional ducts.
constexpr double NEWTON_RTOL = 2.220446049250313e-14;
// Pressure difference over which a secant slope replaces a derivative that is infinite
// at dp = 0 (square-root laws with no linear term) [Pa].
constexpr double DP_SECANT = 0.001;

// The three forms of the turbulent coefficient: mass flow from a sqrt(rho) coefficient,
// volume-flow coefficient (x rho), mass-flow coefficient (x 1).
enum LawForm { FORM_PLR, FORM_QCN, FORM_FCN };

const AirNode* upstream(const AirPath* pp) { return pp->dp >= 0 ? pp->from_node : pp->to_node; }

double controlFactor(const AirPath* pp) { return *pp->value_ptr * pp->multiplier; }

// One flow written into the path: a one-way element.
int setFlow(AirPath* pp, double flow, double dflow)
{
    pp->mass_flow[0] = flow;
    pp->mass_flow[1] = 0.0;
    pp->dflow_dp = dflow;
    return 1;
}

// Density/viscosity correction of a power law with exponent n: the turbulent coefficient
// was measured at the reference state rho0, nu0.
double correction(const AirNode* nd, double n, double m)
{
    return exp((2.0 * n - 1.0) * log(NU_REF * nd->density_viscosity_ratio) +
               m * log(RHO_REF / nd->density));
}

// Smaller magnitude of the laminar and turbulent flows wins, ties to laminar; so dp = 0
// always takes the laminar derivative and never divides by dp.
double lamOrTurb(double fl, double dl, double ft, double n, double dp, double* dflow)
{
    if (fabs(ft) < fabs(fl)) {
        *dflow = n * ft / dp;
        return ft;
    }
    *dflow = dl;
    return fl;
}

// A one-way power law through upstream node nd. `shortcut`: no correction at n = 0.5
// exactly (the single-coefficient laws); the dampers always correct.
double powerLaw(const AirNode* nd, float lam, float turb, float n, LawForm form,
                bool shortcut, double dp, double* dflow)
{
    double rmu = nd->density_viscosity_ratio;
    double coef = turb;
    double m = n - 0.5;
    if (form == FORM_PLR) {
        coef *= nd->sqrt_density;
    } else if (form == FORM_QCN) {
        coef *= nd->density;
        m = n;
    } else {
        m = n - 1.0;
    }
    if (_rcdat.af_corr && !(shortcut && n == 0.5f))
        coef *= correction(nd, n, m);
    double adp = fabs(dp);
    double ft = coef * (n == 0.5f ? sqrt(adp) : pow(adp, (double)n));
    if (dp < 0) ft = -ft;
    return lamOrTurb(lam * rmu * dp, lam * rmu, ft, n, dp, dflow);
}

// The afe_plr law at dp with its upstream node chosen by the sign of dp.
double plrLaw(const AirPath* pp, const PlrData* d, double dp, double* dflow)
{
    const AirNode* nd = dp >= 0 ? pp->from_node : pp->to_node;
    return powerLaw(nd, d->lam_coef, d->turb_coef, d->flow_exponent, FORM_PLR, true, dp, dflow);
}

int singlePowerLaw(AirPath* pp, LawForm form)
{
    const PlrData* d = static_cast<const PlrData*>(pp->element->model_data);
    double dflow;
    double f = powerLaw(upstream(pp), d->lam_coef, d->turb_coef, d->flow_exponent, form, true,
                        pp->dp, &dflow);
    double k = controlFactor(pp);
    return setFlow(pp, f * k, dflow * k);
}

// Dampers: separate laws per direction, the upstream node's side in use.
int damperLaw(AirPath* pp, LawForm form)
{
    const BdData* d = static_cast<const BdData*>(pp->element->model_data);
    double k = controlFactor(pp);
    double f = 0.0, dflow;
    if (pp->dp > 0) {
        f = powerLaw(pp->from_node, d->lam_coef, d->turb_pos, d->expt_pos, form, false, pp->dp,
                     &dflow);
    } else if (pp->dp < 0) {
        f = powerLaw(pp->to_node, d->lam_coef, d->turb_neg, d->expt_neg, form, false, pp->dp,
                     &dflow);
    } else if (form == FORM_QCN) {
        dflow = d->lam_coef * 0.5 * ((double)pp->to_node->density_viscosity_ratio +
                                     pp->from_node->density_viscosity_ratio);
    } else {
        dflow = d->lam_coef * (double)pp->from_node->density_viscosity_ratio;
    }
    return setFlow(pp, f * k, dflow * k);
}

}  // namespace

int afe_plr(AirPath* pp) { return singlePowerLaw(pp, FORM_PLR); }
int afe_qcn(AirPath* pp) { return singlePowerLaw(pp, FORM_QCN); }
int afe_fcn(AirPath* pp) { return singlePowerLaw(pp, FORM_FCN); }
int afe_bdq(AirPath* pp) { return damperLaw(pp, FORM_QCN); }
int afe_bdf(AirPath* pp) { return damperLaw(pp, FORM_FCN); }

// Quadratic element dp = a F + b F^2. Without a quadratic term the law is linear; without
// a linear term the slope at dp = 0 is infinite and the secant to DP_SECANT is used.
int afe_qfr(AirPath* pp)
{
    const QfrData* d = static_cast<const QfrData*>(pp->element->model_data);
    const AirNode* nd = upstream(pp);
    double a = d->quad_a, b = d->quad_b;
    if (_rcdat.af_corr) {
        a = a / (NU_REF * nd->density_viscosity_ratio);
        b = b * nd->temperature / T_REF;
    }
    double dp = pp->dp, f, dflow;
    if (b == 0.0) {
        f = dp / a;
        dflow = 1.0 / a;
    } else {
        double disc = a * a + 4.0 * b * fabs(dp);
        if (disc < 0) error(FATAL, __FILE__, __LINE__, "sqrt( -x )", "");
        if (dp >= 0) {
            f = (sqrt(disc) - a) / (2.0 * b);
            dflow = a + 2.0 * b * f;
        } else {
            f = (a - sqrt(disc)) * 0.5 / b;
            dflow = a - 2.0 * b * f;
        }
        if (dflow != 0.0)
            dflow = 1.0 / dflow;
        else  // a = 0 at dp = 0: F(dp) = sqrt(dp / b)
            dflow = sqrt(DP_SECANT / fabs(b)) / DP_SECANT;
    }
    int type = pp->element->type;
    if (type == AFE_QFR_QAB || type == AFE_QFR_CRACK) {
        f *= nd->density;
        dflow *= nd->density;
    }
    double k = controlFactor(pp);
    return setFlow(pp, f * k, dflow * k);
}

// Exponential approach to a limit flow: a rho (1 - exp(-dp/b)) forward, with the ratio c
// stretching the reverse branch.
int afe_jwa(AirPath* pp)
{
    const JwaData* d = static_cast<const JwaData*>(pp->element->model_data);
    float k = (float)pp->multiplier * *pp->value_ptr;
    double a = d->jwa_flow, b = d->jwa_dp, c = d->jwa_ratio, dp = pp->dp, f, dflow;
    if (dp >= 0) {
        double rho = pp->from_node->density, e = exp(-dp / b);
        f = a * rho * (1.0 - e);
        dflow = a * rho / b * e;
    } else {
        double rho = pp->to_node->density, e = exp(dp / (b * c));
        f = -a * rho * c * (1.0 - e);
        dflow = a * rho / b * e;
    }
    return setFlow(pp, f * k, dflow * k);
}

int afe_cmf(AirPath* pp)
{
    const ConstFlowData* d = static_cast<const ConstFlowData*>(pp->element->model_data);
    return setFlow(pp, d->design_flow * controlFactor(pp), 0.0);
}

// Constant volume flow; the from node's density whatever the direction.
int afe_cvf(AirPath* pp)
{
    const ConstFlowData* d = static_cast<const ConstFlowData*>(pp->element->model_data);
    return setFlow(pp, d->design_flow * pp->from_node->density * controlFactor(pp), 0.0);
}

// ---- Doors and two-opening elements ---------------------------------------------------

namespace {

// Door with buoyancy: flow through the opening integrated over its height above and below
// the neutral plane z (relative to mid-height). Returns the number of flows.
int doorTwoWay(AirPath* pp, const DoorData* d, double k0)
{
    const AirNode* n1 = pp->from_node;
    const AirNode* n2 = pp->to_node;
    double dRhoG = (n1->density - n2->density) * _rcdat.gravity;
    double k = k0 * 0.666667 * d->door_width * d->discharge_coef * sqrt(2.0 * fabs(dRhoG));
    double h2 = d->door_height / 2.0;
    double z = pp->dp / dRhoG;
    double x = fabs(h2 - z), y = fabs(h2 + z);
    double A = x * sqrt(x), B = y * sqrt(y);
    pp->mass_flow[1] = 0.0;
    if (z < -h2 || z > h2) {
        bool positive = (z > h2) == (dRhoG > 0);
        pp->mass_flow[0] = positive ? n1->sqrt_density * k * fabs(A - B)
                                    : -n2->sqrt_density * k * fabs(A - B);
        return 1;
    }
    if (dRhoG > 0) {
        pp->mass_flow[0] = -n2->sqrt_density * k * A;
        pp->mass_flow[1] = n1->sqrt_density * k * B;
    } else {
        pp->mass_flow[0] = n1->sqrt_density * k * A;
        pp->mass_flow[1] = -n2->sqrt_density * k * B;
    }
    return 2;
}

}  // namespace

int afe_dor(AirPath* pp)
{
    const DoorData* d = static_cast<const DoorData*>(pp->element->model_data);
    double k0 = controlFactor(pp);
    if (0.0001 * fabs(pp->dp) >= fabs(pp->from_node->density - pp->to_node->density)) {
        double dflow;
        double f = plrLaw(pp, &d->plr, pp->dp, &dflow);
        return setFlow(pp, f * k0, dflow * k0);
    }
    return doorTwoWay(pp, d, k0);
}

// Two power-law openings at +d and -d from the path's height; two flows, possibly of the
// same sign.
int afe_pl2(AirPath* pp)
{
    const Pl2Data* d = static_cast<const Pl2Data*>(pp->element->model_data);
    double k = controlFactor(pp);
    float dg = d->opening_offset * _rcdat.gravity;
    double buoy = dg * (pp->from_node->density - pp->to_node->density);
    double dflow;
    pp->mass_flow[0] = plrLaw(pp, &d->plr, pp->dp - buoy, &dflow) * k;
    pp->mass_flow[1] = plrLaw(pp, &d->plr, pp->dp + buoy, &dflow) * k;
    return 2;
}

void setNmDrv()
{
    for (AirPath* pp = _pafp0; pp; pp = pp->next) {
        if (!pp->element) continue;
        int type = pp->element->type;
        if (type == AFE_DOR_DOOR || type == AFE_DOR_PL2) pp->flags |= PATH_NUM_DERIV;
    }
}

// ---- Fans ------------------------------------------------------------------------------

namespace {

// Real roots of a2 x^2 + a1 x + a0 (a2 may be 0): the one nearest `near`.
double quadraticRoot(double a0, double a1, double a2, double near)
{
    if (a2 == 0.0) return a1 != 0.0 ? -a0 / a1 : near;
    double disc = a1 * a1 - 4.0 * a2 * a0;
    if (disc < 0) return -a1 / (2.0 * a2);  // no real root: the vertex, nearest to one
    double s = sqrt(disc);
    double r1 = (-a1 + s) / (2.0 * a2), r2 = (-a1 - s) / (2.0 * a2);
    return fabs(r1 - near) <= fabs(r2 - near) ? r1 : r2;
}

// Three real roots of the depressed cubic t^3 + p t + q (p < 0): the x = t - b/3 nearest
// `near`.
double trigRootNearest(double p, double q, double b, double near)
{
    double r = 2.0 * sqrt(-p / 3.0);
    double arg = 3.0 * q / (p * r);
    arg = arg > 1.0 ? 1.0 : (arg < -1.0 ? -1.0 : arg);
    double phi = acos(arg) / 3.0;
    double best = 0.0;
    for (int j = 0; j < 3; j++) {
        double x = r * cos(phi - 2.0 * M_PI * j / 3.0) - b / 3.0;
        if (j == 0 || fabs(x - near) < fabs(best - near)) best = x;
    }
    return best;
}

double signedCbrt(double x) { return x < 0 ? -pow(-x, 0.3333333333) : pow(x, 0.3333333333); }

// Newton solution of c0 + c1 x + c2 x^2 + c3 x^3 = 0 from x, at most 10 steps. Returns 1
// when converged or stopped by a vanishing slope (x kept), 0 when the closed form is needed.
int cubicNewton(double c0, double c1, double c2, double c3, double* x)
{
    for (int it = 0; it < 10; it++) {
        double f = *x;
        double slope = c1 + (2.0 * c2 + 3.0 * c3 * f) * f;
        if (fabs(slope) < 1e-20) return 1;
        double step = (c0 + (c1 + (c2 + c3 * f) * f) * f) / slope;
        *x = f - step;
        if (fabs(step) < NEWTON_RTOL * fabs(*x)) return 1;
    }
    return 0;
}

}  // namespace

// Closed-form real root of a3 x^3 + a2 x^2 + a1 x + a0. Where the closed form has no square
// root (three real roots) the root nearest x_near is taken; a curve that is not cubic
// (a3 = 0) is solved as the quadratic it is.
double cubic(double a0, double a1, double a2, double a3, double x_near)
{
    _NrCubicA++;
    if (a3 == 0.0) return quadraticRoot(a0, a1, a2, x_near);
    double b = a2 / a3;
    double p = (3.0 * a1 / a3 - b * b) / 3.0;
    double q = (2.0 * b * b * b - 9.0 * b * a1 / a3 + 27.0 * a0 / a3) / 27.0;
    double disc = p * p * p / 27.0 + q * q / 4.0;
    if (disc < 0) return trigRootNearest(p, q, b, x_near);
    double r = sqrt(disc);
    return signedCbrt(-q / 2.0 + r) + signedCbrt(-q / 2.0 - r) - b / 3.0;
}

// Fan: cubic curve P(f) at reference density and full speed, scaled by the fan laws for
// the speed ratio s and density ratio r; at or below the cut-off speed a leak.
int afe_fan(AirPath* pp)
{
    const FanData* d = static_cast<const FanData*>(pp->element->model_data);
    double s = *pp->value_ptr, m = pp->multiplier;
    if (s <= d->cutoff_ratio) {
        double dflow;
        double f = plrLaw(pp, &d->plr, pp->dp, &dflow);
        return setFlow(pp, f * m, dflow * m);
    }
    _NrCubicN++;
    const float* a = d->curve_coef;
    double r = pp->from_node->density / d->ref_density;
    double c0 = a[0] + pp->dp / (s * s * r);
    double f = pp->fan_state;
    if (!cubicNewton(c0, a[1], a[2], a[3], &f)) f = cubic(c0, a[1], a[2], a[3], f);
    double slope = a[1] + (2.0 * a[2] + 3.0 * a[3] * f) * f;
    pp->fan_state = (float)f;
    return setFlow(pp, f * r * s * m, -m / (slope * s));
}

// ---- Ducts -----------------------------------------------------------------------------

namespace {

// Regime counters of _rangeDWC.
enum { DWC_LAM = 0, DWC_TRANS = 1, DWC_TURB = 2 };

// The turbulent system at (Re, x): F1 = Re^2 (SumC + L/D / x^2) - o, F2 = x + 2 log10(B),
// B = e/D / 3.7 + 2.51 x / Re, and its Jacobian.
struct DwcTurb {
    double f1, f2, j11, j12, j21, j22;
};

// Evaluates the system; reports and returns 1 when B <= 0 (log10 undefined).
int dwcEval(const AirPath* pp, double lod, double sumc, double rr, double o, double re,
            double x, DwcTurb* t)
{
    constexpr double INV_3_7 = 0.2702702702702703;      // 1 / 3.7
    constexpr double DLOG_B = 2.180158299154324;        // 2 x 2.51 / ln 10
    double b = rr * INV_3_7 + 2.51 * x / re;
    int bad = 0;
    if (b <= 0) {
        char buf[48];
        snprintf(buf, sizeof buf, "%d/%d", pp->number, pp->index);
        error(ERROR, __FILE__, __LINE__, "dr1dg <= 0, pp->s_nr/nr ", buf, "");
        bad = 1;
    }
    double bp = DLOG_B / (b * re);   // d(2 log10 B)/dx = 2/(B ln 10) x 2.51/Re
    t->f1 = re * re * (sumc + lod / (x * x)) - o;
    t->f2 = x + 2.0 * log10(b);
    t->j11 = 2.0 * re * sumc + 2.0 * re * lod / (x * x);
    t->j12 = -2.0 * re * re * lod / (x * x * x);
    t->j21 = -bp * x / re;
    t->j22 = 1.0 + bp;
    return bad;
}

// Turbulent duct: one simultaneous Newton step on (Re, 1/sqrt(f)) per call, the state
// carried in inv_sqrt_f. A failed step (ERRORs reported) returns the duct's state to its
// start values and takes the flow of the point before the step. Returns Re; *a = dO/dRe
// along F2 = 0.
double dwcTurbulent(AirPath* pp, double lod, double sumc, double rr, double o, double* a)
{
    DuctData* dd = pp->duct_data;
    double x = dd->inv_sqrt_f;
    double re = sqrt(o / (sumc + lod / (x * x)));
    DwcTurb t, t1;
    int bad = dwcEval(pp, lod, sumc, rr, o, re, x, &t);
    double det = t.j11 * t.j22 - t.j12 * t.j21;
    double x1 = x - (t.j11 * t.f2 - t.j21 * t.f1) / det;
    double re1 = re - (t.f1 * t.j22 - t.j12 * t.f2) / det;
    bad |= dwcEval(pp, lod, sumc, rr, o, re1, x1, &t1);
    if (x1 <= 0) {
        error(ERROR, __FILE__, __LINE__, "g <= 0", "");
        bad = 1;
    }
    double a1 = t1.j11 - t1.j21 * t1.j12 / t1.j22;
    if (!bad && std::isfinite(re1) && std::isfinite(a1)) {
        dd->inv_sqrt_f = (float)x1;
        *a = a1;
        return re1;
    }
    dd->inv_sqrt_f = 5.0f;
    dd->re_state = 2900.0f;
    *a = t.j11 - t.j21 * t.j12 / t.j22;
    return re;
}

// Laminar duct: o = 64 L/D Re + SumC Re^2 solved for Re; *a = dO/dRe.
double dwcLaminar(double lod, double sumc, double o, double* a)
{
    if (sumc > 0) {
        double re = (sqrt(o * sumc + 32.0 * lod * 32.0 * lod) - 32.0 * lod) / sumc;
        *a = 64.0 * lod + 2.0 * sumc * re;
        return re;
    }
    *a = 64.0 * lod;
    return o / (64.0 * lod);
}

// Transition: o = a3 Re^3 + a2 Re^2 by Newton from re_state, then the closed form.
double dwcTransition(DuctData* dd, double o, double* a)
{
    _NrCubicN++;
    double a3 = dd->trans_a3, a2 = dd->trans_a2;
    double re = dd->re_state;
    if (!cubicNewton(-o, 0.0, a2, a3, &re)) re = cubic(-o, 0.0, a2, a3, re);
    dd->re_state = (float)re;
    *a = (3.0 * a3 * re + 2.0 * a2) * re;
    return re;
}

}  // namespace

// Duct segment by Darcy-Weisbach with dynamic losses, in terms of the regime variable
// o = 2 rho |dp| (D/mu)^2 = (f L/D + SumC) Re^2. No control value or multiplier applies.
int afe_dwc(AirPath* pp)
{
    const DwcData* e = static_cast<const DwcData*>(pp->element->model_data);
    DuctData* dd = pp->duct_data;
    const AirNode* nd = pp->dp > 0 ? pp->from_node : pp->to_node;
    double rho = nd->density, mu = nd->viscosity, diam = e->hyd_diameter;
    double lod = dd->length / diam, sumc = dd->loss_coef;
    double flow_per_re = mu * e->flow_area / diam;  // F = Re mu A / D
    double dm = diam / mu;
    double o = 2.0 * rho * fabs(pp->dp) * dm * dm;
    double re, a;
    if (o >= dd->turb_limit) {
        re = dwcTurbulent(pp, lod, sumc, e->rel_roughness, o, &a);
        _rangeDWC[DWC_TURB]++;
    } else if (o <= dd->lam_limit) {
        re = dwcLaminar(lod, sumc, o, &a);
        _rangeDWC[DWC_LAM]++;
    } else {
        re = dwcTransition(dd, o, &a);
        _rangeDWC[DWC_TRANS]++;
    }
    double f = pp->dp < 0 ? -re * flow_per_re : re * flow_per_re;
    double dflow;
    if (a != 0.0) {
        dflow = 2.0 * rho * e->flow_area * diam / (mu * a);
    } else {  // length 0 at dp = 0: dynamic losses alone, dp ~ F^2; secant to DP_SECANT
        double as;
        dflow = dwcLaminar(lod, sumc, 2.0 * rho * DP_SECANT * dm * dm, &as) * flow_per_re /
                DP_SECANT;
    }
    return setFlow(pp, f, dflow);
}

// ---- Air-handling-system paths -----------------------------------------------------------

// Supply or return path: design flow times the control value, independent of pressure.
int afe_ahs(AirPath* pp)
{
    float c = *pp->value_ptr;
    if (c < 0) errorf(ERROR, __FILE__, __LINE__, "AHS Path %d: control = %.2f m^3\n", pp->number, c);
    float flow = c * pp->ahs_design_flow;
    pp->dp = 0.0;
    return setFlow(pp, flow, 0.0);
}

// Recirculation: supply minus the outdoor air (design outdoor air limited by the supply,
// at least the fraction c of it), limited by the return; hands outdoor-air and exhaust
// flows to their paths through the system nodes.
int afe_ahr(AirPath* pp)
{
    double fr = pp->to_node->sum_abs_flow;    // supply
    double fx = pp->from_node->sum_abs_flow;  // return
    double foa = pp->ahs_design_flow;
    double c = *pp->value_ptr;
    double e = fr < foa ? fr : foa;
    double oa = e > c * fr ? e : c * fr;
    e = fr - oa;
    if (fx < e) e = fx;
    double fex = fx - e, fo = fr - e;
    char buf[32];
    if (fex < 0) {
        snprintf(buf, sizeof buf, "%.5g", fex);
        error(ERROR, __FILE__, __LINE__, "Invalid exhaust air flow ", buf, "");
    }
    if (e < 0) {
        snprintf(buf, sizeof buf, "%.5g", e);
        error(ERROR, __FILE__, __LINE__, "Invalid recirculation air flow ", buf, "");
    }
    pp->dp = 0.0;
    pp->to_node->ahs_flow = (float)fo;
    pp->from_node->ahs_flow = (float)fex;
    return setFlow(pp, e, 0.0);
}

int afe_aho(AirPath* pp) { return setFlow(pp, pp->to_node->ahs_flow, 0.0); }
int afe_ahx(AirPath* pp) { return setFlow(pp, pp->from_node->ahs_flow, 0.0); }

// ---- Duct terminals and leaks ------------------------------------------------------------

// Terminal: orifice of area A with losses C1 + C2 plus the extra loss of a partly closed
// balancing damper (setting s < 1); smaller of laminar and turbulent flow.
int afe_trm(AirPath* pp)
{
    const TerminalData* d = static_cast<const TerminalData*>(pp->element->model_data);
    const AirNode* nd = upstream(pp);
    double s = *pp->value_ptr, rho = nd->density, dp = pp->dp;
    double rmu = nd->density_viscosity_ratio;
    double ft;
    if (s >= 1) {
        ft = d->turb_coef * sqrt(rho * fabs(dp));
    } else {
        float c12 = d->loss_coef1 + d->loss_coef2;
        double kl = c12 + (s < 1e-6 ? 1000000.0 : (1.0 - s) / s);
        ft = d->area * sqrt(2.0 * rho * fabs(dp) / kl);
    }
    if (dp < 0) ft = -ft;
    double dflow;
    double f = lamOrTurb(d->lam_coef * rmu * dp, d->lam_coef * rmu, ft, 0.5, dp, &dflow);
    return setFlow(pp, f, dflow);
}

// Junction leak: 0.65 power law of the leakage coefficient (a volume-flow coefficient),
// linear within 0.001 Pa of zero.
int afe_jlk(AirPath* pp)
{
    const AirNode* nd = upstream(pp);
    double kc = _rcdat.af_corr ? correction(nd, 0.65, 0.65) : 1.0;
    double c = kc * pp->duct_data->leak_coef * nd->density;
    double dp = pp->dp;
    if (fabs(dp) <= 0.001) {
        double slope = c * 0.011220184543019632 / 0.001;  // 0.001^0.65 / 0.001
        return setFlow(pp, dp * slope, slope);
    }
    double f = c * pow(fabs(dp), 0.65);
    if (dp < 0) f = -f;
    return setFlow(pp, f, 0.65 * f / dp);
}

}  // namespace vexlar
