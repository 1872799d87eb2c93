// Numerical set-up used while the network is built: duct geometry, volume and leakage from
// a duct flow element, the laminar coefficient and flow-regime limits of Darcy-Weisbach
// ducts, and the two fits of a wind-pressure profile (periodic cubic spline, five-point
// trigonometric). Failed wind fits warn and report 0 so the profile is used linearly.
#include "common-src/prj-file-util.h"

#include <cmath>

#include "common-src/afe-friction.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/constants.h"
#include "model/prj-records.h"

namespace vexlar {

namespace {

constexpr double M30_PER_D = 30.0 * MU_REF;   // mass flow at Re 30 per metre of D [kg/(s m)]

// The five geometry values of a duct flow element, null for any other type.
const DuctLine* duct_line(const AfeRec* e)
{
    switch (e->type) {
    case AFE_DCT_DWC: return &static_cast<const DwcData*>(e->model_data)->duct;
    case AFE_DCT_PLR: return &static_cast<const DctPlrData*>(e->model_data)->duct;
    case AFE_DCT_FCN:
    case AFE_DCT_QCN: return &static_cast<const DctPlr3Data*>(e->model_data)->duct;
    case AFE_DCT_FAN: return &static_cast<const DctFanData*>(e->model_data)->duct;
    case AFE_DCT_CMF:
    case AFE_DCT_CVF: return &static_cast<const DctConstFlowData*>(e->model_data)->duct;
    case AFE_DCT_BDQ:
    case AFE_DCT_BDF: return &static_cast<const DctBdData*>(e->model_data)->duct;
    case AFE_DCT_FSP:
    case AFE_DCT_QSP:
    case AFE_DCT_PSF:
    case AFE_DCT_PSQ: return &static_cast<const DctCsfData*>(e->model_data)->duct;
    default: return nullptr;
    }
}

// Laminar coefficient of a dct_dwc duct: the flow at Reynolds number 30 over its pressure
// drop there, at reference density and viscosity.
float dwc_lam_coef(const DwcData* dwc, float length, float loss_coef)
{
    float d = dwc->hyd_diameter, a = dwc->flow_area;
    double f30 = ffdwc(dwc->rel_roughness, 30.0, 0.0);
    float m30 = (float)(a * M30_PER_D / d);
    float dp30 = (float)((length / d * f30 + loss_coef) * m30 * m30 / (2.0 * a * a * RHO_REF));
    double denom = dp30 < 1e-10 ? 1e-10 * RHO_REF : dp30 * RHO_REF;
    return (float)(m30 * MU_REF / denom);
}

}  // namespace

int duct_geometry(const AfeRec* elem, float length, float loss_coef, DuctGeometry* out,
                  float* lam_coef)
{
    if (!elem)
        return 0;
    const DuctLine* g = duct_line(elem);
    if (!g) {
        errorf(ERROR, __FILE__, __LINE__, "Invalid element type %d", elem->type);
        return 0;
    }
    if (elem->type == AFE_DCT_DWC && lam_coef)
        *lam_coef = dwc_lam_coef(static_cast<const DwcData*>(elem->model_data), length, loss_coef);
    out->length = length;
    out->diameter = g->hyd_diameter;
    out->volume = length * g->area;
    out->area = g->area;
    out->leak_coef = g->leak_dp > 0.0f
        ? (float)(g->perimeter * length * (g->leak_rate * 0.001) / std::pow(g->leak_dp, 0.65f))
        : 0.0f;
    return 1;
}

int duct_elmt_data(DuctSegRec* seg, DuctGeometry* out)
{
    return duct_geometry(seg->element, seg->length, seg->loss_coef, out, &seg->lam_coef);
}

void dwc_regime_data(const DwcData* dwc, float length, float loss_coef, DuctData* dd)
{
    double ld = (double)length / dwc->hyd_diameter;
    double f_lam = ffdwc(dwc->rel_roughness, 2300.0, 0.04);
    double f_turb = ffdwc(dwc->rel_roughness, 3500.0, 0.04);
    double slope = (f_turb - f_lam) / 1200.0;
    dd->lam_limit = (float)((ld * f_lam + loss_coef) * 2300.0 * 2300.0);
    dd->turb_limit = (float)((ld * f_turb + loss_coef) * 3500.0 * 3500.0);
    dd->trans_a3 = (float)(ld * slope);
    dd->trans_a2 = (float)((f_lam - 2300.0 * slope) * ld + loss_coef);
    dd->inv_sqrt_f = 5.0f;
    dd->re_state = 2900.0f;
}

// ---- Wind-profile fits -------------------------------------------------------------------

namespace {

// Solves a[1..m][1..m] s = r by row elimination without pivoting; 0 on a zero pivot.
int wp_solve(double** a, double* r, int m)
{
    for (int k = 1; k <= m; ++k) {
        double piv = a[k][k];
        if (std::fabs(piv) < 2.220446049250313e-16) {
            errorf(WARNING, __FILE__, __LINE__, "%s on the diagonal, row %d",
                   piv == 0.0 ? "Zero" : "Near zero", k);
            if (piv == 0.0)
                return 0;
        }
        for (int i = k + 1; i <= m; ++i) {
            double f = a[i][k] / piv;
            if (f == 0.0)
                continue;
            for (int j = k; j <= m; ++j)
                a[i][j] -= f * a[k][j];
            r[i] -= f * r[k];
        }
    }
    for (int k = m; k >= 1; --k) {
        double sum = r[k];
        for (int j = k + 1; j <= m; ++j)
            sum -= a[k][j] * r[j];
        r[k] = sum / a[k][k];
    }
    return 1;
}

// Periodic second-derivative system: row l stands for point x_{l-1}; its neighbours wrap
// around, and with three points the two wrapped entries of a row coincide and add up.
void wp_periodic_system(int m, const float* x, const float* y, double** a, double* r)
{
    auto h = [&](int k) { return (double)x[k] - x[k - 1]; };          // interval k = 1..m
    auto slope = [&](int k) { return ((double)y[k] - y[k - 1]) / h(k); };
    for (int l = 1; l <= m; ++l) {
        int left = l == 1 ? m : l - 1;            // interval ending at point x_{l-1}
        int right = l;                            // interval starting at it
        int col_left = l == 1 ? m : l - 1;
        int col_right = l == m ? 1 : l + 1;
        a[l][col_left] += h(left);
        a[l][l] += 2.0 * (h(left) + h(right));
        a[l][col_right] += h(right);
        r[l] = 6.0 * (slope(right) - slope(left));
    }
}

float wp_small_to_zero(double v)
{
    return std::fabs(v) < 1e-12 ? 0.0f : (float)v;
}

}  // namespace

int wp_ccspl(int n, const float* azm, const float* coef, WpSpline* blocks)
{
    if (n < 3) {
        error(WARNING, __FILE__, __LINE__, "too few data points for spline", "");
        return 0;
    }
    if (coef[n - 1] != coef[0]) {
        error(WARNING, __FILE__, __LINE__, " Wind pressure profile data is not periodic", "");
        return 0;
    }
    int m = n - 1;
    double** a = alc_mcT<double>(1, m, 1, m, "spln-c");
    double* s = alc_vT<double>(0, m, "spln-S");
    wp_periodic_system(m, azm, coef, a, s);
    int ok = wp_solve(a, s, m);
    if (ok) {
        // s[l] is the second derivative at x_{l-1}; shift to S_0..S_m with S_m = S_0.
        for (int l = 0; l < m; ++l)
            s[l] = s[l + 1];
        s[m] = s[0];
        for (int k = 0; k < m; ++k) {
            double h = (double)azm[k + 1] - azm[k];
            double b = ((double)coef[k + 1] - coef[k]) / h - (2.0 * s[k] + s[k + 1]) * h / 6.0;
            blocks[k] = {wp_small_to_zero(azm[k]), wp_small_to_zero(coef[k]), wp_small_to_zero(b),
                         wp_small_to_zero(s[k] / 2.0),
                         wp_small_to_zero((s[k + 1] - s[k]) / (6.0 * h))};
        }
        blocks[m] = {azm[m], coef[m], 0.0f, 0.0f, 0.0f};
    }
    fre_vT(s, 0, m, "spln-S");
    fre_mcT(a, 1, m, 1, m);
    return ok;
}

int wp_htrig(int n, const float* azm, const float* coef, float* out)
{
    if (n <= 0)
        return 0;
    float cp[5];
    int taken = 0;
    float expect = 0.0f;
    for (int i = 0; i < n; ++i) {
        if (std::fabs(azm[i] - expect) < 0.01f) {
            if (taken < 5)
                cp[taken] = coef[i];
            ++taken;
            expect += 90.0f;
        }
    }
    if (taken != 5)
        return 0;
    out[0] = cp[0] + cp[2];
    out[1] = cp[0] - cp[2];
    out[2] = cp[1] + cp[3];
    out[3] = cp[1] - cp[3];
    return 1;
}

}  // namespace vexlar
