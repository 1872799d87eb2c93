// Darcy friction factor of a duct (ffdwc): 64/Re up to Re 2300, the Colebrook equation
// solved by Newton steps on 1/sqrt(f) from Re 3500, and a straight line between the two in
// the transition range. The duct model and the regime limits of every duct use it.
#include "common-src/afe-friction.h"

#include <cmath>

#include "common-src/messages.h"

namespace vexlar {

namespace {

constexpr double RE_LAMINAR = 2300.0;
constexpr double RE_TURBULENT = 3500.0;
constexpr double F_LAMINAR_END = 0.02782608695652174;   // 64 / 2300
// 2 / ln 10 to six digits: 2 log10 g = TWO_OVER_LN10 ln g, and its derivative in x is
// TWO_OVER_LN10 a / g.
constexpr double TWO_OVER_LN10 = 0.868589;

// Colebrook: 1/sqrt(f) = -2 log10(e/3.7 + 2.51 / (Re sqrt(f))), Newton on x = 1/sqrt(f).
double colebrook(double rel_roughness, double re, double f_start)
{
    double a = 2.51 / re;
    double x = 1.0 / std::sqrt(f_start);
    double step;
    do {
        double g = a * x + rel_roughness / 3.7;
        step = (TWO_OVER_LN10 * std::log(g) + x) / (1.0 + TWO_OVER_LN10 * a / g);
        x -= step;
    } while (std::fabs(step / x) > 1e-7);
    return 1.0 / (x * x);
}

}  // namespace

double ffdwc(double rel_roughness, double re, double f_start)
{
    if (re <= 0.0)
        errorf(FATAL, __FILE__, __LINE__, "Re <= 0: %g", re);
    if (re >= RE_TURBULENT) {
        if (f_start <= 0.0)
            errorf(FATAL, __FILE__, __LINE__, "f <= 0: %g", f_start);
        return colebrook(rel_roughness, re, f_start);
    }
    if (re <= RE_LAMINAR)
        return 64.0 / re;
    double t = (re - RE_LAMINAR) / (RE_TURBULENT - RE_LAMINAR);
    return t * ffdwc(rel_roughness, RE_TURBULENT, 0.04) + (1.0 - t) * F_LAMINAR_END;
}

}  // namespace vexlar
