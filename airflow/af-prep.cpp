// Pressure terms the airflow solution needs at every step: wind pressures on the envelope
// openings from the wind and each opening's pressure-coefficient profile (calc_wP); node
// densities and viscosities with the stack pressure and pressure difference of every path
// (calc_sP); and, after the solution, ambient pressure and density of every level and the
// gauge pressure of every node (findPgage).
#include "airflow/af-prep.h"

#include <cmath>
#include <cstdio>

#include "cfd/cfd.h"
#include "common-src/messages.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/run-control.h"

namespace vexlar {

namespace {

// The interval found last in a profile table, kept with the table it belongs to; a new
// table starts its search in the middle.
struct IntervalCache {
    const void* table;
    int k;
};
IntervalCache _linearCache = {nullptr, 0};
IntervalCache _splineCache = {nullptr, 0};

// k with x_k <= u <= x_{k+1}; u must lie within x_0..x_{n-1}, n >= 2.
template <class XAt>
int findInterval(int n, XAt xAt, double u, IntervalCache* c, const void* table)
{
    if (c->table != table) {
        c->table = table;
        c->k = n / 2;
    }
    int k = c->k;
    if (k > n - 2) k = n - 2;
    if (k < 0) k = 0;
    while (k > 0 && u < xAt(k)) k--;
    while (k < n - 2 && u > xAt(k + 1)) k++;
    c->k = k;
    return k;
}

// FATAL when u lies outside the table's first and last azimuth.
template <class XAt>
void checkRange(int n, XAt xAt, double u, const char* tooSmall, const char* tooLarge)
{
    char buf[32];
    snprintf(buf, sizeof buf, "%g", u);
    if (u < xAt(0)) error(FATAL, __FILE__, __LINE__, tooSmall, buf, "");
    if (u > xAt(n - 1)) error(FATAL, __FILE__, __LINE__, tooLarge, buf, "");
}

double cpLinear(const WindProfileRec* wp, double u)
{
    const float* x = wp->wp_azimuth;
    auto xAt = [x](int i) { return (double)x[i]; };
    checkRange(wp->npts, xAt, u, "input value too small: ", "input value too large: ");
    if (wp->npts < 2) return wp->wp_cp[0];
    int k = findInterval(wp->npts, xAt, u, &_linearCache, wp);
    double hi = x[k + 1] - u, lo = u - x[k];
    return (wp->wp_cp[k] * hi + wp->wp_cp[k + 1] * lo) / (hi + lo);
}

double cpSpline(const WindProfileRec* wp, double u)
{
    const WpSpline* s = wp->spline;
    auto xAt = [s](int i) { return (double)s[i].x; };
    checkRange(wp->npts, xAt, u, "input value too small ", "input value too large ");
    if (wp->npts < 2) return s[0].a;
    int k = findInterval(wp->npts, xAt, u, &_splineCache, wp);
    double t = u - s[k].x;
    return s[k].a + t * (s[k].b + t * (s[k].c + t * s[k].d));
}

double cpTrig(const WindProfileRec* wp, double u)
{
    const float* r = wp->trig;
    double ang = u * 0.0174532925;
    double s = sin(ang), c = cos(ang);
    double sc = c < 0 ? -1.0 : (c > 0 ? 1.0 : 0.0);
    double s2 = s * s;
    return (float)(0.5 * (r[0] * pow(fabs(c), 0.5) + r[1] * sc * pow(fabs(c), 0.75) +
                          r[2] * s2 * s2 + r[3] * s));
}

// Pressure coefficient of a profile at the angle u between wind and wall, 0 <= u < 360.
double windCp(const WindProfileRec* wp, double u)
{
    if (wp->npts < 1) return 0.0;  // an empty profile has no coefficient to give
    if (wp->fit_type == WPF_SPLINE) return cpSpline(wp, u);
    if (wp->fit_type == WPF_TRIG) return cpTrig(wp, u);
    return cpLinear(wp, u);
}

// Angle between the wind direction and the wall azimuth, brought into 0 <= u < 360.
double relativeAngle(float wd, float azimuth)
{
    double u = fmod((double)wd - azimuth, 360.0);
    if (u < 0) u += 360.0;
    if (u >= 360.0) u -= 360.0;
    return u;
}

// Wind pressure on one opening: its profile at the relative wind angle, or its fixed value.
double windPressure(const AirPath* pp, double q)
{
    if (!pp->wind_profile) return pp->fixed_wind_pressure;
    double u = relativeAngle(_wthdat.WD, pp->azimuth);
    return windCp(pp->wind_profile, u) * pp->wind_mod * q;
}

}  // namespace

void calc_wP()
{
    if (_useWPCwp || (_wPBridge && _doBridge > 0)) return;
    double rho = _wthdat.Pbar / (_pambt->gas_const * _pambt->temperature);
    _pambt->density = rho;
    double q = 0.5 * rho * _wthdat.WS * _wthdat.WS;
    for (AirPath* pp = _pafp0; pp; pp = pp->next) {
        int env = pp->env_index;
        if (!(pp->flags & PATH_WIND) || env == 0) continue;  // no opening: reads _zero
        _ENV_wP[env] = (float)(windPressure(pp, q) * _ENV_wPs[env]);
    }
}

// ---- Densities and stack pressures ----------------------------------------------------

namespace {

void nodeProperties(AirNode* nd, double pbar)
{
    double p = _rcdat.densZP ? pbar + nd->pressure : pbar;
    nd->density = p / (nd->gas_const * nd->temperature);
    if (nd->density < 0.01)
        errorf(FATAL, __FILE__, __LINE__, "Node %d - invalid air density: %g kg/m^3\n  pressure = %g Pa",
               nd->index, nd->density, nd->pressure + pbar);
    float mu = (float)(3.7143e-6 + 4.9286e-8 * nd->temperature);
    nd->viscosity = mu;
    nd->sqrt_density = (float)sqrt(nd->density);
    nd->density_viscosity_ratio = (float)(nd->density / mu);
}

// Stack pressure of a duct rising h from its from junction to its to junction.
double ductStack(const AirPath* pp, double pbar, float g)
{
    const AirNode* n1 = pp->from_node;
    const AirNode* n2 = pp->to_node;
    float h = pp->duct_rise;
    if (h == 0) return 0.0;
    double rt = 0.5 * (n1->gas_const + n2->gas_const) * 0.5 * (n1->temperature + n2->temperature);
    double pm = 0.5 * (n1->pressure + n2->pressure);
    float mgh = -g * h;
    if (_rcdat.stackD) return (exp(mgh / rt) - 1.0) * (pm + pbar);
    return mgh * ((_rcdat.densZP ? pm : 0.0) + pbar) / rt;
}

// Pressure change from a node's height to the path's height, dz above it: exponential
// (isothermal column) or linear (node density). The pair is combined with the sign of
// its mode: E1 - E2 exponential, E2 - E1 linear.
double endTerm(const AirNode* nd, float dz, double pbar, float g)
{
    if (_rcdat.stackD) {
        if (dz == 0) return 0.0;
        return (exp(-g * dz / (nd->gas_const * nd->temperature)) - 1.0) * (pbar + nd->pressure);
    }
    return dz * nd->density * g;
}

double pathStack(AirPath* pp, double pbar, float g)
{
    bool coupled = _cpl && COUPLE;
    double cfd1 = 0.0, cfd2 = 0.0, unused = 0.0;
    if (pp->kind == 1) {
        double stack = ductStack(pp, pbar, g);
        if (coupled) {
            invexlar_loc(pp, &cfd2, &cfd1, unused, unused);
            stack += _rcdat.stackD ? cfd1 - cfd2 : cfd2 - cfd1;
        }
        return stack;
    }
    double e1 = endTerm(pp->from_node, pp->dz_from, pbar, g);
    double e2 = endTerm(pp->to_node, pp->dz_to, pbar, g);
    if (coupled) invexlar_loc(pp, &e2, &e1, unused, unused);
    return _rcdat.stackD ? e1 - e2 : e2 - e1;
}

}  // namespace

void calc_sP()
{
    double pbar = _wthdat.Pbar;
    float g = _rcdat.gravity;
    for (AirNode* nd = _afnd0; nd; nd = nd->next) nodeProperties(nd, pbar);
    for (AirPath* pp = _pafp0; pp; pp = pp->next) {
        double stack = pathStack(pp, pbar, g);
        pp->stack_pressure = stack;
        pp->dp = pp->from_node->pressure - pp->to_node->pressure + stack + *pp->wind_pressure;
    }
}

// ---- Gauge pressures -----------------------------------------------------------------

void findPgage()
{
    double pbar = _wthdat.Pbar;
    float g = _rcdat.gravity;
    double rta = _pambt->gas_const * _pambt->temperature;
    for (LevelRec* lv = _Lev0; lv; lv = lv->next) {
        if (_rcdat.stackD) {
            double f = exp(-(double)g * lv->ref_height / rta);
            lv->amb_density = pbar * f / rta;
            lv->amb_gauge_p = pbar * f - pbar;
        } else {
            lv->amb_density = _pambt->density;
            lv->amb_gauge_p = -_pambt->density * g * lv->ref_height;
        }
    }
    for (AirNode* nd = _afnd0; nd; nd = nd->next) {
        if (nd == _pambt) {
            nd->gauge_pressure = 0.0f;
        } else if (nd->in_zone) {
            const AirNode* zn = nd->location.zone;
            nd->gauge_pressure = (float)(nd->pressure - zn->pressure +
                                         (nd->height - zn->height) * zn->density * g);
        } else {
            const LevelRec* lv = nd->location.level;
            nd->gauge_pressure = (float)(nd->pressure - lv->amb_gauge_p +
                                         (nd->height - lv->ref_height) * lv->amb_density * g);
        }
    }
}

}  // namespace vexlar
