// Line-by-line solver of the CFD zone's seven-point systems: every grid line along one axis
// is solved once with the tridiagonal (Thomas) algorithm, the off-line neighbours taken at
// their newest values. Odd outer iterations sweep each line forward, even ones in reverse,
// so that boundary information travels both ways over consecutive iterations. The
// multigrid smoother uses the same sweeps on its coarse levels.
#include "cfd/cfd-int.h"

namespace vexlar {

namespace {

// Offset of cell m of the line at (outer, inner) for a line along axis AX: x lines are
// taken k outer and j inner, y lines k outer and i inner, z lines i outer and j inner.
template <int AX> inline long lineCell(int m, int outer, int inner)
{
    if constexpr (AX == 0) return ix(m, inner, outer);
    if constexpr (AX == 1) return ix(inner, m, outer);
    return ix(outer, inner, m);
}

// The system's arrays as flat blocks, the links along the line first.
struct FlatSystem {
    const double *ap, *fwd, *bwd, *b;   // fwd links cell m to m+1, bwd to m-1
    const double *h1, *l1, *h2, *l2;    // the links off the line: high and low of two axes
    long s1, s2;                        // strides of those two axes
};

template <int AX> FlatSystem flatSystem(const LineSystem& s)
{
    // Off the line the axes keep their order x, y, z, as the sum below does.
    if constexpr (AX == 0)
        return {base(s.ap), base(s.ae), base(s.aw), base(s.b), base(s.an), base(s.as),
                base(s.at), base(s.ab), stride(1), stride(2)};
    if constexpr (AX == 1)
        return {base(s.ap), base(s.an), base(s.as), base(s.b), base(s.ae), base(s.aw),
                base(s.at), base(s.ab), stride(0), stride(2)};
    return {base(s.ap), base(s.at), base(s.ab), base(s.b), base(s.ae), base(s.aw),
            base(s.an), base(s.as), stride(0), stride(1)};
}

// The constant term plus the four neighbours off the line.
inline double offLine(const FlatSystem& f, const double* phi, long c)
{
    double d = f.b[c];
    d += f.h1[c] * phi[c + f.s1] + f.l1[c] * phi[c - f.s1];
    d += f.h2[c] * phi[c + f.s2] + f.l2[c] * phi[c - f.s2];
    return d;
}

inline double pivot(double den) { return den < 1e-10 && den > -1e-10 ? 1e-10 : den; }

// Thomas algorithm on G lines at once, the lines starting at offsets c0[g] (cell 0) with
// n1 their last unknown; the values at 1 and n1 + 1 are held. Each row takes the pivot's
// reciprocal once. The lines of a group never neighbour one another, so their recurrences
// are independent and run side by side instead of each row waiting on the division of the
// row before. The factors and running values of the group are kept in TDMAa and TDMAb.
template <int G, bool FORWARD, bool STORE_TOO>
void solveLines(const FlatSystem& f, double* phi, double* store, long c0, long delta, long sm,
                int n1)
{
    double *Pc = TDMAa, *Qc = TDMAb;
    const long len = n1 + 1;
    const double* toward = FORWARD ? f.fwd : f.bwd;   // link to the next cell solved
    const double* behind = FORWARD ? f.bwd : f.fwd;   // link to the cell solved before
    constexpr int step = FORWARD ? 1 : -1;
    const int first = FORWARD ? 2 : n1, last = FORWARD ? n1 : 2;
    const long ds = step * sm;
    double p[G], q[G], v[G];
    long cm = c0 + (first - step) * sm;
    for (int g = 0; g < G; g++) p[g] = 0.0, q[g] = phi[cm + g * delta];
    for (int m = first;; m += step) {
        cm += ds;
        for (int g = 0; g < G; g++) {
            long c = cm + g * delta;
            double r = 1.0 / pivot(f.ap[c] - behind[c] * p[g]);
            p[g] = toward[c] * r;
            q[g] = (offLine(f, phi, c) + behind[c] * q[g]) * r;
            Pc[g * len + m] = p[g], Qc[g * len + m] = q[g];
        }
        if (m == last) break;
    }
    cm += ds;
    for (int g = 0; g < G; g++) v[g] = phi[cm + g * delta];
    for (int m = last;; m -= step) {
        cm -= ds;
        for (int g = 0; g < G; g++) {
            long c = cm + g * delta;
            v[g] = Pc[g * len + m] * v[g] + Qc[g * len + m];
            phi[c] = v[g];
            if (STORE_TOO) store[c] = v[g];
        }
        if (m == first) break;
    }
}

// Lines c0 + g delta, g = 0 .. count - 1, of last unknown n1.
template <int G, bool FORWARD, bool STORE_TOO>
void solveGroup(const FlatSystem& f, double* phi, double* store, long c0, long delta, int count,
                long sm, int n1)
{
    if constexpr (G > 1) {
        if (count < G)
            return solveGroup<G - 1, FORWARD, STORE_TOO>(f, phi, store, c0, delta, count, sm, n1);
    }
    solveLines<G, FORWARD, STORE_TOO>(f, phi, store, c0, delta, sm, n1);
}

// Lines are numbered (outer, inner) and each reads the newest values of its four
// neighbouring lines. A line that finds the lines (outer - 1, inner) and (outer, inner - 1)
// solved and the other two not yet gets the same values as in the plain order, outer by
// outer. Here blocks of CFD_LINE_GROUP rows of outer are taken together, each row one line
// of inner behind the row before it: the lines solved together are independent of one
// another, and those of x and y lines lie side by side along the unit stride (k).
template <int AX, bool FORWARD, bool STORE_TOO>
void sweep(const LineSystem& s, int ni, int nj, int nk, double*** phi, double*** store)
{
    int n = AX == 0 ? ni : AX == 1 ? nj : nk;
    if (n < 2) return;
    int nOuter = AX == 2 ? ni : nk, nInner = AX == 1 ? ni : nj;
    int nBlock = nOuter, nStep = nInner;
    FlatSystem f = flatSystem<AX>(s);
    double *p = base(phi), *st = STORE_TOO ? base(store) : nullptr;
    long sm = stride(AX);
    // From one row of a block to the next: one line across the block, one line back.
    long delta = lineCell<AX>(0, 3, 1) - lineCell<AX>(0, 2, 2);
    for (int b0 = 2; b0 <= nBlock; b0 += CFD_LINE_GROUP) {
        int rows = nBlock - b0 + 1 < CFD_LINE_GROUP ? nBlock - b0 + 1 : CFD_LINE_GROUP;
        for (int t = 2; t <= nStep + rows - 1; t++) {
            int gLo = t - nStep > 0 ? t - nStep : 0, gHi = t - 2 < rows - 1 ? t - 2 : rows - 1;
            int b = b0 + gLo, st0 = t - gLo;
            long c0 = lineCell<AX>(0, b, st0);
            solveGroup<CFD_LINE_GROUP, FORWARD, STORE_TOO>(f, p, st, c0, delta, gHi - gLo + 1, sm, n);
        }
    }
}

template <int AX>
void sweep(const LineSystem& s, int ni, int nj, int nk, double*** phi, double*** store)
{
    bool forward = NITER % 2 != 0;
    if (forward && store) sweep<AX, true, true>(s, ni, nj, nk, phi, store);
    else if (forward) sweep<AX, true, false>(s, ni, nj, nk, phi, store);
    else if (store) sweep<AX, false, true>(s, ni, nj, nk, phi, store);
    else sweep<AX, false, false>(s, ni, nj, nk, phi, store);
}

LineSystem mainSystem() { return {AP, AE, AW, AN, AS, AT, AB, BS}; }

}  // namespace

void line_sweep(int axis, const LineSystem& s, int ni, int nj, int nk, double*** phi,
                double*** store)
{
    if (axis == 0) sweep<0>(s, ni, nj, nk, phi, store);
    if (axis == 1) sweep<1>(s, ni, nj, nk, phi, store);
    if (axis == 2) sweep<2>(s, ni, nj, nk, phi, store);
}

void tdmax(int ni, int nj, int nk, double*** phi)
{
    sweep<0>(mainSystem(), ni, nj, nk, phi, STORE);
    N1 = NITER % 2 != 0 ? 1 : 2;
}

void tdmay(int ni, int nj, int nk, double*** phi)
{
    sweep<1>(mainSystem(), ni, nj, nk, phi, STORE);
    N2 = NITER % 2 != 0 ? 1 : 2;
}

void tdmaz(int ni, int nj, int nk, double*** phi)
{
    sweep<2>(mainSystem(), ni, nj, nk, phi, STORE);
    N3 = NITER % 2 != 0 ? 1 : 2;
}

void cfd_line_pass(int ni, int nj, int nk, double*** phi)
{
    double* store = base(STORE);
    for (long c = 0, n = (long)NI * NJ * NK; c < n; c++) store[c] = 0.0;
    tdmax(ni, nj, nk, phi);
    tdmay(ni, nj, nk, STORE);
    tdmaz(ni, nj, nk, STORE);
}

}  // namespace vexlar
