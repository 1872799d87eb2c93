// Cubic-spline curve fits (CSF_DATA) and the four curve element models. A curve is fitted
// once when the project is read: linear with the chord slope on its two end intervals,
// cubic Hermite segments in between with slopes chosen for continuous curvature; it is
// checked against the rules of its kind, then evaluated (and for pressure-against-flow
// curves inverted) during the run. Fewer than four points give a piecewise-linear curve.
#include "airflow/afe-csf.h"

#include <cmath>
#include <cstdio>

#include "airflow/afe-sim.h"
#include "common-src/memory.h"
#include "common-src/messages.h"

namespace vexlar {

namespace {

// Segment containing x, starting from the cached one; the end segments extend outward.
int csf_segment(int n, const CsfPoint* pts, int seg, double x)
{
    int i = seg < 0 ? 0 : (seg > n - 2 ? n - 2 : seg);
    while (i > 0 && x < pts[i].x)
        --i;
    while (i < n - 2 && x >= pts[i + 1].x)
        ++i;
    return i;
}

// Interval widths; an ERROR and 1 when two points coincide or are out of order.
int csf_widths(int n, const CsfPoint* pts, double* dx)
{
    for (int i = 0; i < n - 1; ++i) {
        dx[i] = pts[i + 1].x - pts[i].x;
        if (dx[i] < 0.0) {
            errorf(ERROR, __FILE__, __LINE__, "Data points out of order at x = %.4g", pts[i + 1].x);
            return 1;
        }
        if (dx[i] == 0.0) {
            errorf(ERROR, __FILE__, __LINE__, "Multiple data points  at x = %.4g", pts[i + 1].x);
            return 1;
        }
    }
    return 0;
}

// Slopes s[1..n-2] at the interior points: chord slopes of the end intervals at x_1 and
// x_{n-2}, continuity of the second derivative at x_2..x_{n-3} (tridiagonal system solved
// by forward elimination and back substitution).
void csf_slopes(int n, const CsfPoint* pts, const double* dx, double* s)
{
    double* diag = alc_vT<double>(1, n - 2, "spln-b");
    auto delta = [&](int i) { return (pts[i + 1].y - pts[i].y) / dx[i]; };
    diag[1] = 1.0;
    s[1] = delta(0);
    for (int i = 2; i <= n - 3; ++i) {
        double m = dx[i] / diag[i - 1];   // row i's coefficient of s[i-1]
        diag[i] = 2.0 * (dx[i - 1] + dx[i]) - (i - 1 == 1 ? 0.0 : m * dx[i - 2]);
        s[i] = 3.0 * (dx[i] * delta(i - 1) + dx[i - 1] * delta(i)) - m * s[i - 1];
    }
    s[n - 2] = delta(n - 2);
    for (int i = n - 3; i >= 2; --i)
        s[i] = (s[i] - dx[i - 1] * s[i + 1]) / diag[i];
    fre_vT(diag, 1, n - 2, "spln-b");
}

}  // namespace

int CSFinit(int n, CsfPoint* pts)
{
    if (n < 2) {
        error(ERROR, __FILE__, __LINE__, "too few data points for spline", "");
        return 1;
    }
    double* dx = alc_vT<double>(0, n - 2, "spln-dx");
    int bad = csf_widths(n, pts, dx);
    if (!bad) {
        for (int k = 0; k < n - 1; ++k) {   // linear everywhere, the end intervals stay so
            pts[k].b = (pts[k + 1].y - pts[k].y) / dx[k];
            pts[k].c = pts[k].d = 0.0;
        }
        if (n >= 4) {
            double* s = alc_vT<double>(1, n - 2, "spln-t");
            csf_slopes(n, pts, dx, s);
            pts[0].b = s[1];
            pts[n - 2].b = s[n - 2];
            for (int k = 1; k <= n - 3; ++k) {
                double delta = pts[k].b;
                pts[k].b = s[k];
                pts[k].c = (3.0 * delta - 2.0 * s[k] - s[k + 1]) / dx[k];
                pts[k].d = (s[k + 1] + s[k] - 2.0 * delta) / (dx[k] * dx[k]);
            }
            fre_vT(s, 1, n - 2, "spln-t");
        }
    }
    fre_vT(dx, 0, n - 2, "spln-dx");
    return bad;
}

double CSFintrp(int n, const CsfPoint* pts, int* seg, double* dy, double* d2y, double x)
{
    if (n < 2) {
        if (dy) *dy = 0.0;
        if (dy && d2y) *d2y = 0.0;
        return n == 1 ? pts[0].y : 0.0;
    }
    int i = csf_segment(n, pts, *seg, x);
    *seg = i;
    const CsfPoint& p = pts[i];
    double t = x - p.x;
    if (dy) {
        *dy = (3.0 * p.d * t + 2.0 * p.c) * t + p.b;
        if (d2y)
            *d2y = 6.0 * p.d * t + 2.0 * p.c;
    }
    return ((p.d * t + p.c) * t + p.b) * t + p.y;
}

// ---- Checking a fit against the rules of its curve kind ---------------------------------

namespace {

struct CsfCheck {
    int* flags;
    const char** texts;
    int failed;
};

void csf_fail(CsfCheck& ck, const char* text, double x, int seg)
{
    ulog_printf("     %s at x = %g, segment %d\n", text, x, seg);
    ck.failed = 1;
    if (ck.flags)
        ck.flags[seg] = 1;
    if (ck.texts)
        ck.texts[seg] = text;
}

// Zeros of the segment's slope b + 2 c t + 3 d t^2, ascending; returns their count.
int csf_slope_zeros(const CsfPoint& p, double* t)
{
    if (p.d == 0.0) {
        if (p.c == 0.0)
            return 0;
        t[0] = -p.b / (2.0 * p.c);
        return 1;
    }
    double disc = 4.0 * p.c * p.c - 12.0 * p.b * p.d;
    if (disc < 0.0)
        return 0;
    double r = std::sqrt(disc);
    double t0 = (-2.0 * p.c - r) / (6.0 * p.d), t1 = (-2.0 * p.c + r) / (6.0 * p.d);
    t[0] = t0 < t1 ? t0 : t1;
    t[1] = t0 < t1 ? t1 : t0;
    return 2;
}

double csf_value(const CsfPoint& p, double t, double* dy, double* d2y)
{
    *dy = (3.0 * p.d * t + 2.0 * p.c) * t + p.b;
    *d2y = 6.0 * p.d * t + 2.0 * p.c;
    return ((p.d * t + p.c) * t + p.b) * t + p.y;
}

void csf_check_range(CsfCheck& ck, double y, double x, int seg)
{
    if (y > 1.0)
        csf_fail(ck, "y > 1", x, seg);
    if (y < 0.0)
        csf_fail(ck, "y < 0", x, seg);
}

// Airflow curves: the slope is positive at every segment start and nowhere zero.
void csf_rules_airflow(CsfCheck& ck, const CsfPoint& p, double dx, int seg)
{
    if (p.b <= 0.0)
        csf_fail(ck, "y' <= 0", p.x, seg);
    double t[2];
    int nz = csf_slope_zeros(p, t);
    for (int j = 0; j < nz; ++j)
        if (t[j] > 0.0 && t[j] < dx)
            csf_fail(ck, "y' = 0", p.x + t[j], seg);
}

// Filter efficiencies: within 0..1 at segment starts and interior extrema; gas filters
// also never rising at a segment start.
void csf_rules_filter(CsfCheck& ck, const CsfPoint& p, double dx, int seg, int eq_type)
{
    csf_check_range(ck, p.y, p.x, seg);
    if (eq_type == CSF_GAS_FILTER && p.b > 0.0)
        csf_fail(ck, "y' > 0", p.x, seg);
    double t[2], dy, d2y;
    int nz = csf_slope_zeros(p, t);
    for (int j = 0; j < nz; ++j) {
        if (t[j] > 1e-5 * dx && t[j] < 0.99999 * dx) {
            double y = csf_value(p, t[j], &dy, &d2y);
            ulog_printf("    y' = 0 at x = %12.4e, y = %12.4e\n", p.x + t[j], y);
            csf_check_range(ck, y, p.x + t[j], seg);
        }
    }
}

}  // namespace

int CSFchk(const char* name, int n, const CsfPoint* pts, int eq_type, int* flags,
           const char** texts)
{
    if (eq_type < CSF_AIRFLOW || eq_type > CSF_GAS_FILTER)
        errorf(FATAL, __FILE__, __LINE__, "Invalid value for equation type: %d", eq_type);
    CsfCheck ck = {flags, texts, 0};
    for (int i = 0; i < n - 1; ++i) {
        if (flags) flags[i] = 0;
        if (texts) texts[i] = nullptr;
    }
    ulog_printf("CSFchk: %s\n", name);
    ulog_printf("seg #    x            y            y'           y\"\n");
    for (int i = 0; i < n - 1; ++i) {
        const CsfPoint& p = pts[i];
        double dx = pts[i + 1].x - p.x, dy, d2y;
        double y = csf_value(p, 0.0, &dy, &d2y);
        ulog_printf("%4d  %12.4e %12.4e %12.4e %12.4e\n", i, p.x, y, dy, d2y);
        y = csf_value(p, dx, &dy, &d2y);
        ulog_printf("      %12.4e %12.4e %12.4e %12.4e\n", p.x + dx, y, dy, d2y);
        if (eq_type == CSF_AIRFLOW)
            csf_rules_airflow(ck, p, dx, i);
        else
            csf_rules_filter(ck, p, dx, i, eq_type);
    }
    if (eq_type != CSF_AIRFLOW && n >= 2) {
        const CsfPoint& last = pts[n - 2];
        double dx = pts[n - 1].x - last.x, dy, d2y;
        csf_check_range(ck, csf_value(last, dx, &dy, &d2y), pts[n - 1].x, n - 2);
        if (pts[0].b != 0.0)
            csf_fail(ck, "y' != 0", pts[0].x, 0);
        if (dy != 0.0)
            csf_fail(ck, "y' != 0", pts[n - 1].x, n - 2);
    }
    return ck.failed;
}

// ---- Inversion -------------------------------------------------------------------------

int CSFxofyB(int n, const CsfPoint* pts, int* seg, double* x, double* dy, double y_target)
{
    auto f = [&](double at) { return CSFintrp(n, pts, seg, nullptr, nullptr, at) - y_target; };
    double lo = *x, hi = *x, x_mid = *x;
    double f0 = f(*x);
    // Widen by steps 1, 3, 9, ... until the target is bracketed; a curve that never
    // reaches it (flat or falling end segment) fails instead of stepping forever.
    double step = 1.0;
    int found = f0 == 0.0;
    for (int k = 0; !found && k < 200; ++k, step *= 3.0) {
        if (f0 < 0.0) {
            hi += step;
            found = f(hi) >= 0.0;
        } else {
            lo -= step;
            found = f(lo) <= 0.0;
        }
    }
    int rc = found ? 0 : 1;
    if (found && f0 != 0.0) {
        rc = 1;
        // The bracket closes to 1e-12 relative to its ends (absolutely near 0): an absolute
        // width would be finer than the spacing of doubles once the flow passes about 8000.
        double tol = 1e-12 * std::fmax(1.0, std::fmax(std::fabs(lo), std::fabs(hi)));
        for (int evals = 0; evals < 1001; ++evals) {
            if (hi - lo <= tol) {
                rc = 0;
                break;
            }
            x_mid = 0.5 * (lo + hi);
            double fm = f(x_mid);
            if (fm == 0.0) {
                rc = 0;
                break;
            }
            if (fm < 0.0)
                lo = x_mid;
            else
                hi = x_mid;
        }
        *x = x_mid;
    }
    CSFintrp(n, pts, seg, dy, nullptr, *x);
    return rc;
}

// ---- Curve element models --------------------------------------------------------------

namespace {

const CSF_DATA* csf_of(const AirPath* pp)
{
    // Duct curve elements (DctCsfData) begin with their CSF_DATA.
    return static_cast<const CSF_DATA*>(pp->element->model_data);
}

double upstream_density(const AirPath* pp)
{
    return pp->dp >= 0.0 ? pp->from_node->density : pp->to_node->density;
}

// Flow against pressure: y(dp) and y'(dp), scaled by k.
int csf_forward(AirPath* pp, double k)
{
    const CSF_DATA* csf = csf_of(pp);
    double dy;
    double y = CSFintrp(csf->npts, csf->pts, &pp->spline_hint, &dy, nullptr, pp->dp);
    pp->mass_flow[0] = y * k;
    pp->mass_flow[1] = 0.0;
    pp->dflow_dp = dy * k;
    return 1;
}

// A curve that never reaches the pressure difference (flat or falling at an end, which the
// checks made when the project is read refuse) or a pressure difference that is not a
// number ends the run, naming the path and its element.
static void no_inverse(const AirPath* pp)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "; %s %d, element %s: no flow found at which its curve gives %g Pa; the curve's "
                  "pressures must rise steadily with flow through that pressure difference",
                  pp->kind == 1 ? "duct" : "path", pp->number, pp->element->name, pp->dp);
    error(FATAL, __FILE__, __LINE__, "Too many iterations", text, "");
}

// Pressure against flow: the flow x with y(x) = dp by Newton steps from the last one, with
// bracketing and bisection when the steps stop shrinking or the slope vanishes.
int csf_inverse(AirPath* pp, double k)
{
    const CSF_DATA* csf = csf_of(pp);
    int n = csf->npts, seg = pp->spline_hint;
    double x = pp->fan_state, dy = 0.0, prev = 0.0;
    for (int it = 1;; ++it) {
        double step = (CSFintrp(n, csf->pts, &seg, &dy, nullptr, x) - pp->dp) / dy;
        if (!std::isfinite(step) || (it >= 6 && std::fabs(step) > 0.75 * std::fabs(prev))) {
            x = pp->fan_state;
            if (CSFxofyB(n, csf->pts, &seg, &x, &dy, pp->dp))
                no_inverse(pp);
            break;
        }
        x -= step;
        if (std::fabs(step) <= 1e-12) {
            CSFintrp(n, csf->pts, &seg, &dy, nullptr, x);
            break;
        }
        prev = step;
    }
    pp->mass_flow[0] = x * k;
    pp->mass_flow[1] = 0.0;
    pp->fan_state = (float)x;
    pp->dflow_dp = k / dy;
    pp->spline_hint = seg;
    return 1;
}

double control_factor(const AirPath* pp)
{
    return *pp->value_ptr * pp->multiplier;
}

}  // namespace

int afe_fsp(AirPath* pp)
{
    return csf_forward(pp, control_factor(pp));
}

int afe_qsp(AirPath* pp)
{
    return csf_forward(pp, control_factor(pp) * upstream_density(pp));
}

int afe_psf(AirPath* pp)
{
    return csf_inverse(pp, control_factor(pp));
}

int afe_psq(AirPath* pp)
{
    return csf_inverse(pp, control_factor(pp) * upstream_density(pp));
}

}  // namespace vexlar
