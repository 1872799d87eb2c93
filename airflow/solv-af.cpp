// Newton solution of the airflow network. SolveAfstr globalises the Newton step with a
// variable trust region (step doubling while the residual model agrees, quadratic and
// cubic backtracking when it does not); SolveAfsur relaxes the steps by a fixed factor.
// Both assemble with FillAf, solve with solve_slae, count their iterations into the
// Newton histogram and report a failure in full once per run, then as one log line.
#include "airflow/solv-af.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <ctime>
#include "airflow/af-assemble.h"
#include "common-src/convert.h"
#include "common-src/messages.h"
#include "contaminant/node-help.h"
#include "model/clock.h"
#include "model/counters.h"
#include "model/network.h"
#include "model/run-control.h"
#include "solvers/blas-1-like.h"
#include "solvers/sparse-mat.h"

namespace vexlar {

int _afFailIgnored;

// ---- timing, counting --------------------------------------------------------------

struct AfTimer {
    bool on;
    clock_t start;
};

static AfTimer timerStart()
{
    AfTimer t{_rcdat.dbg[1] != 0 || _nafnd > 1000, 0};
    if (t.on) t.start = clock();
    return t;
}

// Adds the solution's processor time to _aftime; with dbg[1] logs the summary line.
static void solveEnd(const AF_MAT* m, const AfTimer& t, const char* name, int count, int cg)
{
    if (t.on) {
        float secs = (float)(clock() - t.start) / (float)CLOCKS_PER_SEC;
        _aftime += secs;
        if (_rcdat.dbg[1]) {
            ulog_printf("%s SolveAf%s: %d NR iter, %d CG iter, %.2f s\n", steptimestr(_stepEndTime), name,
                   count, cg, secs);
            ulog_flush();
        }
    }
    if (_facBins && count >= 0 && count <= m->itmax + 1) _facBins[count]++;
}

// One Newton solution by `method`, counted, timed and entered in the histogram.
static int countedSolve(AF_MAT* m, int (*method)(AF_MAT*, int&), const char* name)
{
    AfTimer t = timerStart();
    _NrSolveAf++;
    int cg = 0;
    int count = method(m, cg);
    solveEnd(m, t, name, count, cg);
    return count;
}

// ---- residuals and steps -----------------------------------------------------------

// The node test and the residual measures of an assembly, taken in one walk over the
// nodes: the sum of sum_flow squared over all nodes (trust region), and over the
// variable nodes the sums of |sum_flow| and of sum_abs_flow (under-relaxation).
struct Residuals {
    bool converged;
    double sum_sq;
    double sum_abs_res;
    double sum_abs_flow;
};

static Residuals residuals(float relcnvg)
{
    Residuals r{true, 0.0, 0.0, 0.0};
    for (const AirNode* n = _afnd0; n; n = n->next) {
        r.sum_sq += n->sum_flow * n->sum_flow;
        if (!(n->flags & NODE_VAR_P)) continue;
        r.sum_abs_res += std::fabs(n->sum_flow);
        r.sum_abs_flow += n->sum_abs_flow;
        if (r.converged && !afNodeConverged(n, relcnvg)) r.converged = false;
    }
    return r;
}

// Relative residuals E = |sum_flow| / sum_abs_flow of the per-iteration log (0 for
// nodes whose flows are within their absolute tolerance).
struct ResidualStats {
    double emax;
    const AirNode* nmax;
    double sum_e2;      // over all nodes
    double sum_e2_ok;   // over the nodes with E <= 0.999
    int nbig;           // nodes with E > 0.999
};

static ResidualStats residualStats()
{
    ResidualStats s{0.0, _afnd0, 0.0, 0.0, 0};
    for (const AirNode* n = _afnd0; n; n = n->next) {
        double e = n->sum_abs_flow > n->abs_tol ? std::fabs(n->sum_flow) / n->sum_abs_flow : 0.0;
        if (e > s.emax) {
            s.emax = e;
            s.nmax = n;
        }
        s.sum_e2 += e * e;
        if (e > 0.999) s.nbig++;
        else s.sum_e2_ok += e * e;
    }
    return s;
}

// Newton correction of the current assembly into x; the PCG iterations it took. The
// same walk keeps each node's pressure as the base the steps start from.
static int newtonSolve(AF_MAT* m)
{
    for (AirNode* n = _afnd0; n; n = n->next) {
        m->b[n->af_eqn] = -n->sum_flow;
        n->work = n->pressure;
    }
    return solve_slae(m);
}

static double correction(const AF_MAT* m, const AirNode* n)
{
    return (n->flags & NODE_VAR_P) ? m->x[n->af_eqn] : 0.0;
}

// Pressures of the base moved by w times the correction in x; with variable density
// the air masses follow the pressures.
static void stepFromBase(const AF_MAT* m, double w)
{
    for (AirNode* n = _afnd0; n; n = n->next) n->pressure = n->work - w * correction(m, n);
    if (_rcdat.tsdens) findAirNodeConcBases();
}

// Path pressure differences moved with the step just taken. Every assembly recomputes
// them from the pressures, so only a step that no assembly follows needs this.
static void stepPathDp(const AF_MAT* m, double w)
{
    for (AirPath* p = _pafp0; p; p = p->next)
        p->dp += w * (correction(m, p->to_node) - correction(m, p->from_node));
}

// ---- variable trust region ---------------------------------------------------------

struct Trial {
    double w;       // fraction of the Newton step
    double v;       // step length
    double f;       // residual sum of squares at the trial
    double o;       // fraction of the previous trial of this iteration, <= 0 for none
    double f_prev;  // residual of that trial
};

// New radius after a trial that did not decrease the residual enough: the minimiser of
// a quadratic (first backtrack) or cubic (later ones) model of the residual along the
// step, kept between a tenth and a half of the step; a tenth by default.
static double backtrackRadius(const Trial& t, double g)
{
    double lambda;
    if (t.o <= 0.0) {
        lambda = g * t.w / (2.0 * t.w * g + t.f - g);
        return lambda >= 0.1 ? t.v * std::fmin(lambda, 0.5) : 0.1 * t.v;
    }
    double A = (2.0 * t.w * g + t.f - g) / (t.w * t.w);
    double B = (2.0 * t.o * g + t.f_prev - g) / (t.o * t.o);
    double a = (B - A) / (t.o - t.w);
    double c = (t.o * A - t.w * B) / (t.o - t.w);
    if (a != 0.0) {
        double disc = 6.0 * a * g + c * c;
        lambda = disc < 0.0 ? 0.0 : (std::sqrt(disc) - c) / (3.0 * a);
    } else {
        lambda = c != 0.0 ? g / c : HUGE_VAL;
    }
    if (lambda < 0.1 * t.w) return 0.1 * t.v;
    return lambda > 0.5 * t.w ? 0.5 * t.v : t.v * lambda / t.w;
}

// Judges a trial: true to accept it; otherwise sets the radius h of the next trial.
static bool judgeTrial(Trial& t, double g, double mlen, double& h)
{
    double u = 1.0 - t.w;
    bool agrees = 0.1 * (g - t.f) >= std::fabs(u * u * g - t.f);
    h = 2.0 * t.v;
    if (t.o > 0.0 && t.w > t.o) {          // this trial enlarged an accepted step
        if (!(t.f < t.f_prev)) {             // no better: take the previous step again
            h = t.o * mlen;
            t.o = 2.0;
            return false;
        }
        if (!(t.w <= 0.7 && agrees)) return true;
    } else if (t.f <= (1.0 - 2e-4 * t.w) * g) {  // sufficient decrease
        if (t.o > t.w || t.w > 0.7 || !agrees) return true;
    } else {
        if (t.w <= 1e-6) return true;
        h = backtrackRadius(t, g);
    }
    t.f_prev = t.f;
    t.o = t.w;
    return false;
}

static double nextRadius(const Trial& t, double g)
{
    double u2 = (1.0 - t.w) * (1.0 - t.w);
    if (t.f <= (0.75 * u2 + 0.25) * g) return 2.0 * t.v;
    if (t.f > (0.1 * u2 + 0.9) * g) return 0.5 * t.v;
    return t.v;
}

static void logTrustIteration(int iter, double w, int pcg)
{
    ResidualStats s = residualStats();
    int denom = _nafnd - s.nbig;
    double erms = denom > 0 ? std::sqrt(s.sum_e2_ok / denom) : 0.0;
    ulog_printf("    iter %2d, damp %5.3f, Emax %.7f, Nmax %d (%d%c), Erms %.3e (E=1 %d), PCG iter %d\n",
           iter, w, s.emax, s.nmax->af_eqn, s.nmax->number, typeLetter(_ntype, s.nmax->kind), erms,
           s.nbig, pcg);
}

// One Newton iteration of the trust-region method: trials along the correction in x
// until one is accepted (radius h and residual g updated) or the network converges.
static bool trustIteration(AF_MAT* m, int i, int pcg, double& g, double& h)
{
    double mlen = std::sqrt(dsqr1(_nafnd, m->x));
    Trial t{1.0, mlen, 0.0, -1.0, 0.0};
    for (;;) {
        if (h >= mlen || h <= 0.0) {
            t.w = 1.0;
            t.v = mlen;
        } else {
            t.w = h / mlen;
            t.v = h;
        }
        stepFromBase(m, t.w);
        FillAf(m);
        if (_rcdat.dbg[1] && _rcdat.dbg[0]) logTrustIteration(i + 1, t.w, pcg);
        pcg = 0;
        Residuals r = residuals(m->relcnvg);
        if (r.converged) return true;
        t.f = r.sum_sq;
        // A zero or non-finite correction cannot be shortened or lengthened: take it.
        if (!(t.v > 0.0 && std::isfinite(t.v)) || judgeTrial(t, g, mlen, h)) break;
    }
    h = nextRadius(t, g);
    g = t.f;
    return false;
}

static int trustRegion(AF_MAT* m, int& cg)
{
    if (_rcdat.tsdens) findAirNodeConcBases();
    FillAf(m);
    Residuals r = residuals(m->relcnvg);
    if (r.converged) return 0;
    double g = r.sum_sq, h = -1.0;
    for (int i = 0; i <= m->itmax; i++) {
        int pcg = newtonSolve(m);
        if (_rcdat.dbg[1]) cg += pcg;
        if (trustIteration(m, i, pcg, g, h)) return i + 1;
    }
    ReptFCnvg(m->relcnvg);
    return m->itmax + 1;
}

int SolveAfstr(AF_MAT* m) { return countedSolve(m, trustRegion, "STR"); }

// ---- simple under-relaxation -------------------------------------------------------

static void logRelaxIteration(int iter, int pcg)
{
    ResidualStats s = residualStats();
    ulog_printf("    iter %2d, Emax %.7f, Nmax %d (%d%c), Erms %.3e, PCG iter %d\n", iter, s.emax,
           s.nmax->af_eqn, s.nmax->number, typeLetter(_ntype, s.nmax->kind),
           std::sqrt(s.sum_e2 / _nafnd), pcg);
}

static int underRelaxation(AF_MAT* m, int& cg)
{
    int n = 0;
    double ratio = 0.0, q = 0.0;
    while (n <= m->itmax) {
        FillAf(m);
        Residuals r = residuals(m->relcnvg);
        if (r.sum_abs_flow > 0.0) ratio = r.sum_abs_res / r.sum_abs_flow;
        if (r.sum_abs_res < DBL_EPSILON || r.converged) return n;
        int pcg = newtonSolve(m);
        n++;
        if (_rcdat.dbg[1]) {
            cg += pcg;
            if (_rcdat.dbg[0]) logRelaxIteration(n, pcg);
        }
        if (ratio > 0.3 * q)
            for (int k = 1; k <= m->neq; k++) m->x[k] *= m->relax;
        stepFromBase(m, 1.0);
        if (n > m->itmax) stepPathDp(m, 1.0);
        q = ratio;
    }
    ReptFCnvg(m->relcnvg);
    return n;
}

int SolveAfsur(AF_MAT* m) { return countedSolve(m, underRelaxation, "SUR"); }

int SolveAfnvn(AF_MAT* m)
{
    FillAf(m);
    return 0;
}

// A solution that is not finite cannot be carried on or written: the run ends naming the
// first node or path that holds such a value.
static void checkSolutionFinite()
{
    char text[96];
    if (networkNonFinite(text, sizeof text, false))
        error(FATAL, __FILE__, __LINE__, "Airflow solution is not finite: ", text, "");
}

int SolveAf(AF_MAT* m)
{
    int count = m->newton == AF_NEWTON_TRUST   ? SolveAfstr(m)
              : m->newton == AF_NEWTON_RELAX ? SolveAfsur(m)
                                             : SolveAfnvn(m);
    checkSolutionFinite();
    return count;
}

// ---- failure report --------------------------------------------------

void ReptFCnvg(float relcnvg)
{
    char text[160];
    snprintf(text, sizeof text, "Airflow iterations failed to converge at %s / %s",
             steptimestr(_stepEndTime), datestr(_dayofy));
    if (_afFailIgnored) {
        ulog_printf("WARNING: %s\n", text);
        return;
    }
    error(WARNING, __FILE__, __LINE__, text, "");
    ulog_printf(" node    sum(F)      sum|F|      rel err\n");
    for (const AirNode* n = _afnd0; n; n = n->next) {
        if (!(n->flags & NODE_VAR_P)) continue;
        if (!(std::fabs(n->sum_flow) > relcnvg * n->sum_abs_flow) || n->sum_abs_flow < n->abs_tol)
            continue;
        ulog_printf("%4d%c  %11.3e %11.3e", n->number, typeLetter(_ntype, n->kind), n->sum_flow,
                    n->sum_abs_flow);
        ulog_printf(" %11.3e\n", n->sum_abs_flow != 0.0 ? std::fabs(n->sum_flow) / n->sum_abs_flow : 0.0);
    }
    ulog_flush();
    _afFailIgnored = 1;
}

}  // namespace vexlar
