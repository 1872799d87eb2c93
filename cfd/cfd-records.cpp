// Storage of the CFD zone's boundary records: openings, blocks, temperature and flux walls
// and the slice lists. The input file is read again on every solver call, so each group is
// allocated when its count is first read and reused afterwards; it grows (and only grows)
// when a later count is larger. A count of zero allocates nothing; cfd_records_release
// frees every group.
#include "cfd/cfd-int.h"

#include "common-src/memory.h"

namespace vexlar {

namespace {

struct Vec { void** p; size_t size; const char* tag; };             // [1..n]
struct Mat { void** p; int clo, chi; size_t size; const char* tag; };   // [1..n][clo..chi]

// Gives every array of a group room for n entries; the old entries are not kept. A
// negative n frees the group.
void regrow(const Vec* v, int nv, const Mat* m, int nm, int* cap, int n)
{
    if (n >= 0 && n <= *cap) return;
    for (int a = 0; a < nv; a++) {
        if (*cap) *v[a].p = fre_v(*v[a].p, 1, *cap, v[a].size, v[a].tag);
        if (n > 0) *v[a].p = alc_v(1, n, v[a].size, v[a].tag);
    }
    for (int a = 0; a < nm; a++) {
        if (*cap) *m[a].p = fre_mc(*m[a].p, 1, *cap, m[a].clo, m[a].chi, m[a].size);
        if (n > 0) *m[a].p = alc_mc(1, n, m[a].clo, m[a].chi, m[a].size, m[a].tag);
    }
    *cap = n > 0 ? n : 0;
}

template <class A> void** vp(A* a) { return reinterpret_cast<void**>(a); }

constexpr size_t I = sizeof(int), D = sizeof(double);

int capIn, capOut, capBlocks, capTwalls, capQwalls, capSlices[3];   // entries allocated

}  // namespace

void cfd_openings_reserve(int n_in, int n_out)
{
    const Vec vin[] = {{vp(&INTY), I, "INTY"}, {vp(&PITYPE), I, "PITYPE"},
        {vp(&IMTYPE), I, "IMTYPE"}, {vp(&AIN), D, "AIN"}, {vp(&UBIN), D, "UBIN"},
        {vp(&VBIN), D, "VBIN"}, {vp(&WBIN), D, "WBIN"}, {vp(&TBIN), D, "TBIN"},
        {vp(&AMASSIN), D, "AMASSIN"}, {vp(&PBIN), D, "PBIN"}, {vp(&COEIN), D, "COEIN"},
        {vp(&EXPIN), D, "EXPIN"}, {vp(&PIN1), D, "PIN1"}, {vp(&PIN2), D, "PIN2"}};
    const Mat min[] = {{vp(&LBIN), 1, 6, I, "LBIN"}, {vp(&CBIN), 1, 5, D, "CBIN"},
        {vp(&CBINSIDE), 1, 5, D, "CBINSIDE"}, {vp(&NMIN), 0, 4096, 1, "NMIN"}};
    regrow(vin, 14, min, 4, &capIn, n_in);
    const Vec vout[] = {{vp(&IOTY), I, "IOTY"}, {vp(&POTYPE), I, "POTYPE"},
        {vp(&OMTYPE), I, "OMTYPE"}, {vp(&AOU), D, "AOU"}, {vp(&VBOUT), D, "VBOUT"},
        {vp(&TBOUT), D, "TBOUT"}, {vp(&AMASSOUT), D, "AMASSOUT"}, {vp(&PBOUT), D, "PBOUT"},
        {vp(&COEOUT), D, "COEOUT"}, {vp(&EXPOUT), D, "EXPOUT"}, {vp(&POUT1), D, "POUT1"},
        {vp(&POUT2), D, "POUT2"}};
    const Mat mout[] = {{vp(&LBOUT), 1, 6, I, "LBOUT"}, {vp(&CBOUT), 1, 5, D, "CBOUT"},
        {vp(&CBOUTSIDE), 1, 5, D, "CBOUTSIDE"}, {vp(&NMOUT), 0, 4096, 1, "NMOUT"}};
    regrow(vout, 12, mout, 4, &capOut, n_out);
}

void cfd_blocks_reserve(int n)
{
    const Vec v[] = {{vp(&FSBLOC), I, "FSBLOC"}, {vp(&HSOU), D, "HSOU"},
        {vp(&TSOUU), D, "TSOUU"}, {vp(&TAREA), D, "TAREA"}, {vp(&UCDBLOK), sizeof(UcdRec),
        "UCDBLOK"}};
    const Mat m[] = {{vp(&IBL), 1, 6, I, "IBL"}, {vp(&NMBL), 0, 4096, 1, "NMBL"},
        {vp(&CSOU), 1, 5, D, "CSOU"}, {vp(&CSOUU), 1, 5, D, "CSOUU"},
        {vp(&CSOUCUT), 1, 5, D, "CSOUCUT"}};
    regrow(v, 5, m, 5, &capBlocks, n);
}

void cfd_twalls_reserve(int n)
{
    const Vec v[] = {{vp(&ITTY), I, "ITTY"}, {vp(&TNAW), D, "TNAW"},
        {vp(&UCDTW), sizeof(UcdRec), "UCDTW"}};
    const Mat m[] = {{vp(&LNAW), 1, 6, I, "LNAW"}};
    regrow(v, 3, m, 1, &capTwalls, n);
}

void cfd_qwalls_reserve(int n)
{
    const Vec v[] = {{vp(&IQTY), I, "IQTY"}, {vp(&QNAW), D, "QNAW"}, {vp(&AWQ), D, "AWQ"},
        {vp(&UCDQCW), sizeof(UcdRec), "UCDQCW"}};
    const Mat m[] = {{vp(&LNAWQ), 1, 6, I, "LNAWQ"}, {vp(&CNAW), 1, 5, D, "CNAW"},
        {vp(&CNAWCUT), 1, 5, D, "CNAWCUT"}};
    regrow(v, 4, m, 3, &capQwalls, n);
}

// The slice lists are 0-based: entries 0..n-1.
void cfd_slices_reserve(int axis, int n)
{
    int** list[3] = {&XSLCF, &YSLCF, &ZSLCF};
    const char* tag[3] = {"XSLCF", "YSLCF", "ZSLCF"};
    int* cap = capSlices;
    if (n >= 0 && n <= cap[axis]) return;
    if (cap[axis]) *list[axis] = fre_vT(*list[axis], 0, cap[axis] - 1, tag[axis]);
    if (n > 0) *list[axis] = alc_vT<int>(0, n - 1, tag[axis]);
    cap[axis] = n > 0 ? n : 0;
}

void cfd_records_release()
{
    cfd_openings_reserve(-1, -1);
    cfd_blocks_reserve(-1);
    cfd_twalls_reserve(-1);
    cfd_qwalls_reserve(-1);
    for (int a = 0; a < 3; a++) cfd_slices_reserve(a, -1);
}

}  // namespace vexlar
