// Short-time-step result files: zone states (RZF), zone mass fractions (RZM) and the cells of
// the one-dimensional zones (RZ1), one record per listing time of the transient loop, and
// the cross-reference file (RXR), written once when any of them opens, that tells a reader
// how to decode them. Little-endian 32-bit integers and single-precision reals, no padding.
// Each record is staged as floats at open-time sizes, so the time loop allocates nothing.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "output/sim-out.h"

namespace vexlar {

namespace {

FILE *_urzf, *_urzm, *_urz1;
// Files this run created: a fatal end removes them, even when they are already closed.
int s_rzfMade, s_rzmMade, s_rz1Made, s_rxrMade;
float** _Ztpd;    // [zone][temperature, pressure, density]
float** _ZMfd;    // [zone][species]
float** _ZC1D;    // [cell of the 1-D zones][species]
Cd1Zone** _Z1D;   // the 1-D zones in node-list order
int _nZ1D, _nC1D;

// Writes n 32-bit words (integers or reals) in the file's little-endian order, in one write.
// A failed write leaves the stream's error flag for the close to report.
void putWords(FILE* f, void* words, size_t n)
{
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    auto* w = static_cast<uint32_t*>(words);
    for (size_t i = 0; i < n; i++) w[i] = __builtin_bswap32(w[i]);
#endif
    fwrite(words, 4, n, f);
}

// Closes one file (mode 2 reports bytes that did not reach it); mode 3 also removes it when
// this run created it. Files of an earlier run are left alone.
void closeStsFile(FILE** f, int* made, int mode, const char* ext)
{
    const int remove = mode == 3 && *made;
    closeResultFile(f, remove, ext);
    if (remove) *made = 0;
}

void openRzf()
{
    if (!_rcdat.rzf || _nzone <= 0) return;
    _urzf = createResultFile(".rzf", "wb", "RZF");
    s_rzfMade = 1;
    _Ztpd = alc_mcT<float>(0, _nzone - 1, 0, 2, "Zmix");
}

void openRzm()
{
    if (!_rcdat.rzm || _nzone <= 0 || _nctm <= 0) return;
    _urzm = createResultFile(".rzm", "wb", "RZM");
    s_rzmMade = 1;
    _ZMfd = alc_mcT<float>(0, _nzone - 1, 0, _nctm - 1, "Zmfd");
}

void closeRzfRzm(int mode)
{
    if (_Ztpd) _Ztpd = fre_mcT(_Ztpd, 0, _nzone - 1, 0, 2);
    if (_ZMfd) _ZMfd = fre_mcT(_ZMfd, 0, _nzone - 1, 0, _nctm - 1);
    closeStsFile(&_urzf, &s_rzfMade, mode, ".rzf");
    closeStsFile(&_urzm, &s_rzmMade, mode, ".rzm");
}

void logCrossReference(const int32_t* h)
{
    ulog_printf("RXR (results files cross reference data)\n");
    ulog_printf("     type %d, step %d\n", h[0], h[1]);
    ulog_printf("     date0 %d, time0 %d\n", h[2], h[3]);
    ulog_printf("     date1 %d, time1 %d\n", h[4], h[5]);
    ulog_printf("     rzf %d, rzm %d, rz1 %d\n", h[6], h[7], h[8]);
    ulog_printf("     _nctm %d, _nzone %d\n", h[9], h[10]);
    ulog_printf("     _nZ1D %d, _nC1D %d\n", h[11], h[12]);
}

// One 32-byte entry per 1-D zone: number, cell count, the two end points.
void writeZoneEntries(FILE* f)
{
    if (_list == 2) ulog_printf("#: zone  nc (P1) (P2)\n");
    for (int i = 0; i < _nZ1D; i++) {
        const Cd1Zone* z = _Z1D[i];
        const float* p = z->end_points;
        uint32_t entry[8];
        const int32_t ids[2] = {z->node->number, z->cell_count};
        memcpy(entry, ids, sizeof ids);
        memcpy(entry + 2, p, 6 * sizeof(float));
        putWords(f, entry, 8);
        if (_list == 2)
            ulog_printf("%d: %5d %3d (%.3f %.3f %.3f) (%.3f %.3f %.3f)\n", i + 1, ids[0], ids[1],
                        p[0], p[1], p[2], p[3], p[4], p[5]);
    }
}

void writeCrossReference()
{
    FILE* f = createResultFile(".rxr", "wb", "RXR");
    s_rxrMade = 1;
    int32_t head[13] = {24,          _time_list, _dayofy, _stepEndTime,  _simEndDate,
                        _simEndTime, _urzf != nullptr, _urzm != nullptr, _urz1 != nullptr,
                        _nctm,       _nzone,     _nZ1D,   _nC1D};
    logCrossReference(head);
    putWords(f, head, 13);
    if (_urz1) writeZoneEntries(f);
    if (_list == 2) ulog_printf("offset: %d\n", (int)ftell(f));
    closeResultFile(&f, 0, ".rxr");
}

void putStamp(FILE* f, int t)
{
    int32_t stamp[2] = {_dayofy, t};
    putWords(f, stamp, 2);
}

// A value of a record narrowed to float; one beyond the float range ends the run before
// the record of the file (`what`) is written.
float narrowed(double v, const char* what)
{
    requireResult(v, true, what);
    return (float)v;
}

// The species of each row of m, narrowed to float, from n rows of mass fractions.
template <class Rows> void stageMassFractions(float** m, int n, const char* what, Rows rowMf)
{
    for (int i = 0; i < n; i++) {
        const double* mf = rowMf(i);
        for (int k = 0; k < _nctm; k++) m[i][k] = narrowed(mf[k], what);
    }
}

}  // namespace

void set_urz1(int mode)
{
    if (mode == 1) {
        if (!_rcdat.rz1 || _nzone <= 0 || _nctm <= 0) return;
        _urz1 = createResultFile(".rz1", "wb", "RZ1");
        s_rz1Made = 1;
        _nZ1D = _nC1D = 0;
        for (AirNode* n = _afnd0; n; n = n->next)
            if (n->kind == 0 && n->cd1_zone) {
                _nZ1D++;
                _nC1D += n->cd1_zone->cell_count;
            }
        if (_nZ1D == 0) {   // the empty file stays; no records
            closeResultFile(&_urz1, 0, ".rz1");
            return;
        }
        _Z1D = alc_vT<Cd1Zone*>(0, _nZ1D - 1, "Z1D");
        _ZC1D = alc_mcT<float>(0, _nC1D - 1, 0, _nctm - 1, "ZC1D");
        int i = 0;
        for (AirNode* n = _afnd0; n; n = n->next)
            if (n->kind == 0 && n->cd1_zone) _Z1D[i++] = n->cd1_zone;
    } else if (mode == 2 || mode == 3) {
        if (_ZC1D) _ZC1D = fre_mcT(_ZC1D, 0, _nC1D - 1, 0, _nctm - 1);
        if (_Z1D) _Z1D = fre_vT(_Z1D, 0, _nZ1D - 1, "Z1D");
        _nZ1D = _nC1D = 0;
        closeStsFile(&_urz1, &s_rz1Made, mode, ".rz1");
    }
}

void set_uSTS_ResultFiles(int mode)
{
    if (mode == 1) {
        openRzf();
        openRzm();
        set_urz1(1);
        if (_urzf || _urzm || _urz1) writeCrossReference();
    } else if (mode == 2 || mode == 3) {
        closeRzfRzm(mode);
        set_urz1(mode);
        // The cross reference describes the records just removed; it goes with them.
        FILE* none = nullptr;
        closeStsFile(&none, &s_rxrMade, mode, ".rxr");
    }
}

void writeSTS_ResultFiles(int t)
{
    if (_urzf) {
        const AirNode* n = _afnd0;
        for (int i = 0; i < _nzone; i++, n = n->next) {
            _Ztpd[i][0] = narrowed(n->temperature, "RZF file");
            _Ztpd[i][1] = narrowed(n->pressure, "RZF file");
            _Ztpd[i][2] = narrowed(n->density, "RZF file");
        }
        putStamp(_urzf, t);
        putWords(_urzf, _Ztpd[0], (size_t)_nzone * 3);
    }
    if (_urzm) {
        const AirNode* n = _afnd0;
        stageMassFractions(_ZMfd, _nzone, "RZM file", [&n](int) {
            const double* mf = n->mf;
            n = n->next;
            return mf;
        });
        putStamp(_urzm, t);
        putWords(_urzm, _ZMfd[0], (size_t)_nzone * _nctm);
    }
    if (_urz1) {
        int row = 0;
        for (int i = 0; i < _nZ1D; i++) {
            const Cd1Zone* z = _Z1D[i];
            stageMassFractions(_ZC1D + row, z->cell_count, "RZ1 file", [z](int c) { return z->cells[c].mf; });
            row += z->cell_count;
        }
        putStamp(_urz1, t);
        putWords(_urz1, _ZC1D[0], (size_t)_nC1D * _nctm);
    }
}

}  // namespace vexlar
