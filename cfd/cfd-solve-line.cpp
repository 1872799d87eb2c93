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

// Elimination factors of every line of a sweep: Pc = forward link / pivot and the pivot's
// reciprocal R, for the direction the lines are solved in. They depend on the coefficients
// alone, not on phi, so they are taken for all lines together with the lines innermost
// (across the unit stride for x and y lines, across one i-plane for z lines) instead of
// one line after another, where each row waits for the division of the row before.
template <int AX>
void lineFactors(const FlatSystem& f, int n, int nOuter, int nInner, bool forward)
{
    double *Pc = base(TDMAP), *R = base(TDMAR);
    long sm = stride(AX), back = forward ? -sm : sm;
    const double* toward = forward ? f.fwd : f.bwd;   // link to the next cell solved
    const double* behind = forward ? f.bwd : f.fwd;   // link to the cell solved before
    auto row = [&](long c) {
        double r = 1.0 / pivot(f.ap[c] - behind[c] * Pc[c + back]);
        Pc[c] = toward[c] * r;
        R[c] = r;
    };
    int first = forward ? 2 : n, step = forward ? 1 : -1;
    for (int o = 2; o <= nOuter; o++)
        for (int in = 2; in <= nInner; in++) Pc[lineCell<AX>(first - step, o, in)] = 0.0;
    if constexpr (AX == 2) {
        for (int o = 2; o <= nOuter; o++)
            for (int m = first; m >= 2 && m <= n; m += step)
                for (int in = 2; in <= nInner; in++) row(lineCell<AX>(m, o, in));
    } else {
        for (int m = first; m >= 2 && m <= n; m += step)
            for (int in = 2; in <= nInner; in++)
                for (int o = 2; o <= nOuter; o++) row(lineCell<AX>(m, o, in));
    }
}

// Thomas algorithm on the line starting at offset c0 (cell 0) with n1 its last unknown,
// from the factors of lineFactors; the values at 1 and n1 + 1 are held. The running Q and
// the value just solved stay in registers rather than being read back from memory.
void solveLine(const FlatSystem& f, double* phi, double* store, long c0, long sm, int n1,
               bool forward)
{
    const double *Pc = base(TDMAP), *R = base(TDMAR);
    double* Qc = TDMAb;
    if (forward) {
        double q = phi[c0 + sm];
        for (int m = 2; m <= n1; m++) {
            long c = c0 + m * sm;
            Qc[m] = q = (offLine(f, phi, c) + f.bwd[c] * q) * R[c];
        }
        double v = phi[c0 + (n1 + 1) * sm];
        for (int m = n1; m >= 2; m--) {
            long c = c0 + m * sm;
            v = Pc[c] * v + Qc[m];
            phi[c] = v;
            if (store) store[c] = v;
        }
    } else {
        double q = phi[c0 + (n1 + 1) * sm];
        for (int m = n1; m >= 2; m--) {
            long c = c0 + m * sm;
            Qc[m] = q = (offLine(f, phi, c) + f.fwd[c] * q) * R[c];
        }
        double v = phi[c0 + sm];
        for (int m = 2; m <= n1; m++) {
            long c = c0 + m * sm;
            v = Pc[c] * v + Qc[m];
            phi[c] = v;
            if (store) store[c] = v;
        }
    }
}

template <int AX>
void sweep(const LineSystem& s, int ni, int nj, int nk, double*** phi, double*** store)
{
    int n = AX == 0 ? ni : AX == 1 ? nj : nk;
    int nOuter = AX == 2 ? ni : nk, nInner = AX == 1 ? ni : nj;
    FlatSystem f = flatSystem<AX>(s);
    double *p = base(phi), *st = store ? base(store) : nullptr;
    long sm = stride(AX);
    bool forward = NITER % 2 != 0;
    lineFactors<AX>(f, n, nOuter, nInner, forward);
    for (int o = 2; o <= nOuter; o++)
        for (int in = 2; in <= nInner; in++)
            solveLine(f, p, st, lineCell<AX>(0, o, in), sm, n, forward);
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
