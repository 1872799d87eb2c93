// Restart file (".rst"): a header of ten 32-bit integers, then one fixed-size record of
// the dynamic state per completed day: day and time (int32), then the double blocks of
// the nodes, paths, mass fractions, filter loads, source states, sink states and control
// states, little-endian with no padding. The layout is computed from the current network,
// so a record is only ever restored into a network of the same shape.
#include "output/restart.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/sim-out.h"

namespace vexlar {

namespace {

constexpr int NHEADER = 10;

// Blocks of a record, in record order.
enum RstBlock { B_NODE, B_PATH, B_CTM, B_FILTER, B_CSS, B_BLS, B_DVR, B_CTRL, B_COUNT };

int32_t _rhd[NHEADER];          // header of the current project
int _rCount[B_COUNT];           // doubles per block
int _rSizeData;                 // bytes per record
unsigned char* _rRecord;        // one record, staged for a single write or read
FILE* _urst;                    // the file this run writes, null while not open
int _rstCreated;                // set once this run has created its own restart file

// ---- Little-endian packing ----------------------------------------------------------------

void putI32(unsigned char* at, int32_t v)
{
    for (int i = 0; i < 4; i++) at[i] = (unsigned char)((uint32_t)v >> (8 * i));
}

int32_t getI32(const unsigned char* at)
{
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v |= (uint32_t)at[i] << (8 * i);
    return (int32_t)v;
}

void putF64(unsigned char* at, double d)
{
    uint64_t v;
    memcpy(&v, &d, 8);
    for (int i = 0; i < 8; i++) at[i] = (unsigned char)(v >> (8 * i));
}

double getF64(const unsigned char* at)
{
    uint64_t v = 0;
    for (int i = 0; i < 8; i++) v |= (uint64_t)at[i] << (8 * i);
    double d;
    memcpy(&d, &v, 8);
    return d;
}

// ---- What each record kind carries --------------------------------------------------------

// Source states by element type: eds keeps its start rate besides its clock; the other
// clocked models their clock alone; the rest nothing.
int cssValueCount(const CssRec* c)
{
    switch (c->cse->type) {
    case CSE_EDS: return 4;
    case CSE_BRS: case CSE_PLM: case CSE_PKM: case CSE_SXD: case CSE_DXD: return 3;
    case CSE_BLS:
        error(FATAL, __FILE__, __LINE__, "BLS element should not be in this list; call ZELT", "");
        return 0;
    case CSE_DVR:
        error(FATAL, __FILE__, __LINE__, "DVR element should not be in this list; call ZELT", "");
        return 0;
    default: return 0;
    }
}

// Control states: the output, and for sensors, hysteresis and PI controllers the internal
// state that carries over from one step to the next.
int ctrlValueCount(const CtrlNode* c)
{
    switch (c->type) {
    case CT_SNS: case CT_HYS: return 2;
    case CT_PI1: return 3;
    default: return 1;
    }
}

CssRec* const* cssLists()
{
    static CssRec* lists[3];
    lists[0] = _Css0;
    lists[1] = _Csst0;
    lists[2] = _Cssnt0;
    return lists;
}

// The filtered paths: each filter belongs to exactly one path, so the layout counts these.
int filteredPaths()
{
    int n = 0;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->filter) n++;
    return n;
}

// ---- Writing and restoring the blocks ------------------------------------------------------

// Cursor over the doubles of a staged record.
struct Cursor {
    unsigned char* at;
    void put(double d) { putF64(at, d), at += 8; }
    double get() { double d = getF64(at); at += 8; return d; }
};

void packCss(Cursor& c, const CssRec* s)
{
    int n = cssValueCount(s);
    if (n == 0) return;
    c.put(s->trigger_time);
    c.put(s->trigger_day);
    c.put(s->triggered);
    if (n == 4) c.put(s->decay_start);
}

void unpackCss(Cursor& c, CssRec* s)
{
    int n = cssValueCount(s);
    if (n == 0) return;
    s->trigger_time = (int)c.get();
    s->trigger_day = (int)c.get();
    s->triggered = (int)c.get();
    if (n == 4) s->decay_start = (float)c.get();
}

// A sensor's lag state is its factor once evaluated, -1 before its first evaluation.
void packCtrl(Cursor& c, CtrlNode* n)
{
    c.put(n->value);
    switch (n->type) {
    case CT_SNS: {
        const SensorData* s = static_cast<const SensorData*>(n->data);
        c.put(s->first_done ? (double)s->lag_factor : -1.0);
        break;
    }
    case CT_HYS: c.put(static_cast<const HysData*>(n->data)->state); break;
    case CT_PI1: {
        const PicData* p = static_cast<const PicData*>(n->data);
        c.put(p->prev_out);
        c.put(p->prev_in);
        break;
    }
    default: break;
    }
}

void unpackCtrl(Cursor& c, CtrlNode* n)
{
    n->value = (float)c.get();
    switch (n->type) {
    case CT_SNS: {
        SensorData* s = static_cast<SensorData*>(n->data);
        double lag = c.get();
        s->first_done = lag >= 0.0;
        s->lag_factor = s->first_done ? (float)lag : 0.0f;
        break;
    }
    case CT_HYS: static_cast<HysData*>(n->data)->state = (float)c.get(); break;
    case CT_PI1: {
        PicData* p = static_cast<PicData*>(n->data);
        p->prev_out = (float)c.get();
        p->prev_in = (float)c.get();
        break;
    }
    default: break;
    }
}

template <class Sink> void packSinks(Cursor& c, std::initializer_list<Sink*> lists)
{
    for (Sink* l : lists)
        for (Sink* k = l; k; k = k->next) c.put(k->surface_mass);
}

template <class Sink> void unpackSinks(Cursor& c, std::initializer_list<Sink*> lists)
{
    for (Sink* l : lists)
        for (Sink* k = l; k; k = k->next) k->surface_mass = c.get();
}

void packRecord(int day, int time)
{
    putI32(_rRecord, day);
    putI32(_rRecord + 4, time);
    Cursor c{_rRecord + 8};
    for (const AirNode* n = _afnd0; n; n = n->next) {
        c.put(n->temperature);
        c.put(n->pressure);
        c.put(n->gas_const);
        c.put(n->air_mass);
    }
    for (const AirPath* p = _pafp0; p; p = p->next) {
        c.put(p->mass_flow[0]);
        c.put(p->mass_flow[1]);
        c.put(p->dp);
    }
    for (const AirNode* n = _afnd0; n; n = n->next)
        for (int s = 0; s < _nctm; s++) c.put(n->mf ? n->mf[s] : 0.0);
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!p->filter) continue;
        const double* loads = p->filter->load ? p->filter->load->loads : nullptr;
        for (int s = 0; s < _nctm; s++) c.put(loads ? loads[s] : 0.0);
    }
    CssRec* const* css = cssLists();
    for (int l = 0; l < 3; l++)
        for (const CssRec* s = css[l]; s; s = s->next) packCss(c, s);
    packSinks<BlsRec>(c, {_Bls0, _Blst0, _Blsnt0, _BlsInactive0});
    packSinks<DvrRec>(c, {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0});
    for (CtrlNode* n = _Ctrl0; n; n = n->next) packCtrl(c, n);
}

void unpackRecord()
{
    Cursor c{_rRecord + 8};
    for (AirNode* n = _afnd0; n; n = n->next) {
        n->temperature = c.get();
        n->pressure = c.get();
        n->gas_const = c.get();
        n->air_mass = c.get();
    }
    for (AirPath* p = _pafp0; p; p = p->next) {
        p->mass_flow[0] = c.get();
        p->mass_flow[1] = c.get();
        p->dp = c.get();
    }
    for (AirNode* n = _afnd0; n; n = n->next)
        for (int s = 0; s < _nctm; s++) {
            double mf = c.get();
            if (n->mf) n->mf[s] = mf;
        }
    for (AirPath* p = _pafp0; p; p = p->next) {
        if (!p->filter) continue;
        double* loads = p->filter->load ? p->filter->load->loads : nullptr;
        for (int s = 0; s < _nctm; s++) {
            double load = c.get();
            if (loads) loads[s] = load;
        }
    }
    CssRec* const* css = cssLists();
    for (int l = 0; l < 3; l++)
        for (CssRec* s = css[l]; s; s = s->next) unpackCss(c, s);
    unpackSinks<BlsRec>(c, {_Bls0, _Blst0, _Blsnt0, _BlsInactive0});
    unpackSinks<DvrRec>(c, {_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0});
    for (CtrlNode* n = _Ctrl0; n; n = n->next) unpackCtrl(c, n);
}

void freeRecord()
{
    if (_rRecord) _rRecord = fre_vT(_rRecord, 0, _rSizeData - 1, "rBuf");
}

void writeFailed(const char* what)
{
    error(FATAL, __FILE__, __LINE__, "RST write failed", what, "");
}

// The block in which a record read that stopped after `got` bytes ended short.
const char* shortBlock(size_t got)
{
    size_t end = 8;
    for (int b = 0; b < B_COUNT; b++) {
        end += 8 * (size_t)_rCount[b];
        if (got < end) return b == B_BLS ? ", BLS" : b == B_DVR ? ", DVR" : "";
    }
    return "";
}

int readFailed(FILE* f, const char* what)
{
    fclose(f);
    error(FATAL, __FILE__, __LINE__, "RST read failed", what, "");
    return 1;
}

// Header items 1 to 7 that differ from the project, each logged with the file's value first.
bool headerMatches(const int32_t* file)
{
    static const char* const names[7] = {"nzone", "npath", "nctm", "njct", "ndct",
                                         "ncss + nbls + _ndvr", "nctrl"};
    bool same = true;
    for (int i = 0; i < 7; i++)
        if (file[i] != _rhd[i]) {
            ulog_printf("  _rhd[%d] %d != %d %s\n", i, file[i], _rhd[i], names[i]);
            same = false;
        }
    return same && file[9] == _rhd[9];
}

}  // namespace

int set_urst_init()
{
    const RunControlData& r = _rcdat;
    freeRecord();
    _rCount[B_NODE] = 4 * _nafnd;
    _rCount[B_PATH] = 3 * _nafpt;
    _rCount[B_CTM] = _nafnd * _nctm;
    _rCount[B_FILTER] = filteredPaths() * _nctm;
    _rCount[B_CSS] = 0;
    CssRec* const* css = cssLists();
    for (int l = 0; l < 3; l++)
        for (const CssRec* s = css[l]; s; s = s->next) _rCount[B_CSS] += cssValueCount(s);
    _rCount[B_BLS] = _nbls;
    _rCount[B_DVR] = _ndvr;
    _rCount[B_CTRL] = 0;
    for (const CtrlNode* n = _Ctrl0; n; n = n->next) _rCount[B_CTRL] += ctrlValueCount(n);
    int doubles = 0;
    for (int b = 0; b < B_COUNT; b++) doubles += _rCount[b];
    _rSizeData = 8 + 8 * doubles;
    const bool cyclic = r.sim_mf == 3;
    const int32_t header[NHEADER] = {_nzone, _npath, _nctm, _njct, _ndct, _nbls + _ncss + _ndvr,
                                     _nctrl, cyclic ? r.ss_date : r.start_date,
                                     cyclic ? r.ss_date : r.end_date, _rSizeData};
    memcpy(_rhd, header, sizeof _rhd);
    _rRecord = alc_vT<unsigned char>(0, _rSizeData - 1, "rBuf");
    ulog_printf("set_urst_init():\n");
    ulog_printf("  nzone %d, npath %d, nctm %d, njct %d, ndct %d\n", _rhd[0], _rhd[1], _rhd[2],
                _rhd[3], _rhd[4]);
    ulog_printf("  ncss+nbls+ndvr %d, nctrl %d, date0 %d, date1 %d\n", _rhd[5], _rhd[6], _rhd[7],
                _rhd[8]);
    ulog_printf("  SizeData %d\n", _rSizeData);
    return _rSizeData;
}

void set_urst_open()
{
    if (!_sim_af_dyn && _rcdat.sim_mf <= 1) return;
    _urst = openFile(resultFileName(".rst"), "wb");
    if (!_urst) error(FATAL, __FILE__, __LINE__, "Could not open RST file; is it already open?", "");
    _rstCreated = 1;
    unsigned char bytes[4 * NHEADER];
    for (int i = 0; i < NHEADER; i++) putI32(bytes + 4 * i, _rhd[i]);
    if (fwrite(bytes, 1, sizeof bytes, _urst) != sizeof bytes) writeFailed("");
}

// Only the file this run created is removed: a run that fails before writing its own
// (a faulty restart record, an input test) leaves an earlier run's file as it was.
void set_urst_close(int flag)
{
    freeRecord();
    if (_urst) fclose(_urst);
    _urst = nullptr;
    // The file stays this run's after the loop closed it: a FATAL later in the end of
    // the run removes it with the other results.
    if (flag && _rstCreated) removeResultFile(".rst");
    if (flag) _rstCreated = 0;
}

void writeRst_stepTime(int day, int time)
{
    if (!_urst) return;
    packRecord(day, time);
    size_t got = fwrite(_rRecord, 1, (size_t)_rSizeData, _urst);
    if (got != (size_t)_rSizeData) writeFailed(shortBlock(got));
}

int rstget(int day)
{
    char path[sizeof _file_name];
    snprintf(path, sizeof path, "%s", resultFileName(".rst"));
    FILE* f = openFile(path, "rb");
    if (!f) {
        error(FATAL, __FILE__, __LINE__, "Failed to open restart file: ", path, "");
        return 1;
    }
    set_urst_init();
    ulog_printf("rstget(%d):  date %s\n", day, datestr(day));
    unsigned char bytes[4 * NHEADER];
    int32_t file[NHEADER];
    if (fread(bytes, 1, sizeof bytes, f) != sizeof bytes) return readFailed(f, "");
    for (int i = 0; i < NHEADER; i++) file[i] = getI32(bytes + 4 * i);
    if (!headerMatches(file)) {
        fclose(f);
        error(FATAL, __FILE__, __LINE__, "Data mis-match in restart file", "");
        return 1;
    }
    // Records follow the header back to back; only the day is compared. A day or time
    // no record can hold means the file is not what its header says.
    for (long offset = sizeof bytes;; offset += _rSizeData) {
        if (fseek(f, offset, SEEK_SET) != 0 || fread(_rRecord, 1, 8, f) != 8) return readFailed(f, "");
        int rday = getI32(_rRecord), rtime = getI32(_rRecord + 4);
        if (rday < 1 || rday > 365 || rtime < 0 || rtime > 86400) return readFailed(f, "");
        ulog_printf("search:  date/time %s/%s, offset %ld\n", datestr(rday), timestr(rtime), offset);
        if (rday == day) break;
        if (rday == file[8]) {
            fclose(f);
            error(FATAL, __FILE__, __LINE__, "Restart failed to find date", "");
            return 1;
        }
    }
    size_t rest = (size_t)_rSizeData - 8;
    size_t got = fread(_rRecord + 8, 1, rest, f);
    if (got != rest) return readFailed(f, shortBlock(8 + got));
    fclose(f);
    unpackRecord();
    set_urst_close(0);
    return 0;
}

}  // namespace vexlar
