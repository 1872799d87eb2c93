// Surface results (".srf") and contaminant exfiltration (".cex") files: tab-separated text
// tables written at listing times. The surface file lists the state of every boundary-layer
// and deposition sink; the building exfiltration file the mass of every species that left
// through the envelope since its previous row, and the per-species files the same masses
// by envelope path. The masses come from the envelope accumulators of the contaminant
// summary (sum_ambient_compute); the writers here format them and start them over.
#include <cstdio>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/clock.h"
#include "model/env-lists.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "model/source-lists.h"
#include "output/sim-out.h"

namespace vexlar {

namespace {

FILE* _usrf = nullptr;
FILE* _ucex = nullptr;
FILE** _udcexList = nullptr;   // 0.._nctm-1, one stream per species; null while not open
int _ndcex = 0;                // species count _udcexList was allocated for

bool isListingTime(int t) { return _time_list > 0 && t % _time_list == 0; }

// ---- Surface results ----------------------------------------------------------------------

// The four lists of each sink kind in file order: all (combined solvers), trace, non-trace,
// inactive. Description rows and columns both follow this order.
const char* const listLabel[4] = {nullptr, "trace", "non-trace", "inactive"};

template <class Sink> struct SinkLists {
    Sink* head[4];
};

SinkLists<BlsRec> blsLists() { return {{_Bls0, _Blst0, _Blsnt0, _BlsInactive0}}; }
SinkLists<DvrRec> dvrLists() { return {{_Dvr0, _Dvrt0, _Dvrnt0, _DvrInactive0}}; }

// The combined list labels each sink by its species.
template <class Sink> const char* typeLabel(const Sink* k, int list)
{
    if (list > 0) return listLabel[list];
    return _ctm[k->species].non_trace ? "non-trace" : "trace";
}

template <class Sink, class Visit> void eachSink(const SinkLists<Sink>& l, Visit visit)
{
    for (int i = 0; i < 4; i++)
        for (const Sink* k = l.head[i]; k; k = k->next) visit(k, i);
}

template <class Sink> void describeSinks(const SinkLists<Sink>& l, const char* kind, const char* units)
{
    eachSink(l, [&](const Sink* k, int i) {
        fprintf(_usrf, "%d\t%d\t%s\t%s\t%s\t%s\n", k->number, k->zone_node->index, kind,
                _ctm[k->species].name, units, typeLabel(k, i));
    });
}

template <class Sink> void sinkHeads(const SinkLists<Sink>& l, const char* kind)
{
    eachSink(l, [&](const Sink* k, int) { fprintf(_usrf, "\t%s%d", kind, k->number); });
}

template <class Sink> void sinkValues(const SinkLists<Sink>& l)
{
    eachSink(l, [&](const Sink* k, int) { resultPrintf(_usrf, "SRF file", "\t%13.6e", k->surface_mass); });
}

void openSrf()
{
    _usrf = createResultFile(".srf", "w", "SRF");
    fprintf(_usrf, "Project:  %s\n\n", _prjname);
    fprintf(_usrf, "nr\tzone\ttype\tspecies\tunits\ttrace/non-trace\n");
    describeSinks(blsLists(), "bls", "kg/kg");
    describeSinks(dvrLists(), "dvr", "kg/m2");
    fprintf(_usrf, "\ndate\ttime");
    sinkHeads(blsLists(), "bls");
    sinkHeads(dvrLists(), "dvr");
    fprintf(_usrf, "\n");
}

// ---- Exfiltration -------------------------------------------------------------------------

constexpr int32_t PATH_AHS_OUTDOOR = 0x20;
constexpr int32_t PATH_AHS_EXHAUST = 0x40;

// Every envelope path has a column but the outdoor-air path of an air-handling system.
bool hasCexColumn(const AirPath* p)
{
    return !(p->kind == 0 && (p->flags & (PATH_AHS_OUTDOOR | PATH_AHS_EXHAUST)) == PATH_AHS_OUTDOOR);
}

// Column head of an envelope path into head: empty for a path without a column; an
// exhaust path is headed by its system's number. Any other path kind is FATAL.
void cexHead(const AirPath* p, char* head, size_t size)
{
    static const char kindLetter[4] = {'p', 'd', 't', 'l'};
    head[0] = '\0';
    if (p->kind < 0 || p->kind > 3) error(FATAL, __FILE__, __LINE__, "Invalid path type", "");
    if (!hasCexColumn(p)) return;
    if (p->kind == 0 && (p->flags & PATH_AHS_EXHAUST))
        snprintf(head, size, "\ta%d", p->ahs_number);
    else
        snprintf(head, size, "\t%c%d", kindLetter[p->kind], p->number);
}

int cexColumns()
{
    int n = 0;
    for (int i = 0; i < _nEnvPaths_All && _EnvPaths_All; i++) n += hasCexColumn(_EnvPaths_All[i]);
    return n;
}

// Fills _file_name with the per-species file of species s: "<project>_<species>.cex".
const char* speciesCexName(int s)
{
    char name[sizeof _prjname + sizeof _ctm[s].name + 1];
    snprintf(name, sizeof name, "%s_%s", _prjname, _ctm[s].name);
    pathmerge(_file_name, sizeof _file_name, _pdrive, _pdir, name, ".cex");
    return _file_name;
}

FILE* createCex(const char* path)
{
    char text[4200];
    snprintf(text, sizeof text, "Could not open CEX file %s; is it already open?", path);
    return createFileAt(path, "w", text);
}

void writeSpeciesHeader(FILE* f, int s)
{
    fprintf(f, "Project:  %s\n", _prjname);
    fprintf(f, "npath\tctm_name\tunits\n");
    fprintf(f, "%d\t%s\t%s\n", cexColumns(), _ctm[s].name, "kg");
    fprintf(f, "Date\tTime");
    char head[48];
    for (int i = 0; i < _nEnvPaths_All && _EnvPaths_All; i++) {
        cexHead(_EnvPaths_All[i], head, sizeof head);
        fputs(head, f);
    }
    fprintf(f, "\n");
}

void rowStart(FILE* f, int t) { fprintf(f, "%s\t%s", datxstr(_dayofy), steptimestr(t)); }

// One building row: the mass of every species since the previous row, which starts over.
void writeBuildingRow(int t)
{
    rowStart(_ucex, t);
    for (int s = 0; s < _nctm; s++) {
        double m = _Env_MassOut_list ? _Env_MassOut_list[s] : 0.0;
        resultPrintf(_ucex, "CEX file", "\t%.5e", m);
        if (_Env_MassOut_list) _Env_MassOut_list[s] = 0.0;
    }
    fprintf(_ucex, "\n");
}

// One row of species s by envelope path; a path without a column starts over unwritten.
void writeSpeciesRow(FILE* f, int s, int t)
{
    rowStart(f, t);
    double* m = _Env_MassPath_list ? _Env_MassPath_list[s] : nullptr;
    for (int i = 0; i < _nEnvPaths_All && m && _EnvPaths_All; i++) {
        if (hasCexColumn(_EnvPaths_All[i])) resultPrintf(f, "CEX file", "\t%.5e", m[i]);
        m[i] = 0.0;
    }
    fprintf(f, "\n");
}

// Closes f (when open); a kept file whose bytes did not all reach the disk is reported
// by name and counted as a result that could not be written.
void closeNamed(FILE** f, int keep, const char* path)
{
    if (!*f) return;
    const char* reason;
    int failed = closeWholeFile(*f, &reason);
    *f = nullptr;
    if (failed && keep) {
        _resultWriteFailures++;
        error(ERROR, __FILE__, __LINE__, "Could not write result file ", path, ": ", reason, "");
    }
}

}  // namespace

// ---- Entry points -------------------------------------------------------------------------

void set_usrf(int mode)
{
    if (mode == 2 || mode == 3)
        closeResultFile(&_usrf, mode == 3, ".srf");
    else if (mode == 1 && _nctm > 0)
        openSrf();
}

void writeSrf_stepTime(int t)
{
    if (!_usrf) return;
    fprintf(_usrf, "%s\t%s", datxstr(_dayofy), steptimestr(t));
    sinkValues(blsLists());
    sinkValues(dvrLists());
    fprintf(_usrf, "\n");
}

void set_ubcex_open()
{
    _ucex = createCex(resultFileName(".cex"));
    fprintf(_ucex, "Project:  %s\n", _prjname);
    fprintf(_ucex, "nctm\tunits\n");
    fprintf(_ucex, "%d\tkg\n", _nctm);
    fprintf(_ucex, "Date\tTime");
    for (int s = 0; s < _nctm; s++) fprintf(_ucex, "\t%s", _ctm[s].name);
    fprintf(_ucex, "\n");
}

void set_ubcex_close(int flag) { closeResultFile(&_ucex, flag, ".cex"); }

void set_udcex_open()
{
    if (_nctm <= 0) return;
    _ndcex = _nctm;
    _udcexList = alc_vT<FILE*>(0, _ndcex - 1, "dcexLst");
    for (int s = 0; s < _nctm; s++) {
        _udcexList[s] = createCex(speciesCexName(s));
        writeSpeciesHeader(_udcexList[s], s);
    }
}

void set_udcex_close(int flag)
{
    if (_udcexList) {
        for (int s = 0; s < _ndcex; s++) closeNamed(&_udcexList[s], !flag, speciesCexName(s));
        _udcexList = fre_vT(_udcexList, 0, _ndcex - 1, "dcexLst");
        _ndcex = 0;
    }
    if (!flag) return;
    for (int s = 0; s < _nctm; s++) removeResultPath(speciesCexName(s));
}

void writeCex_stepEnd(int t)
{
    if (!isListingTime(t)) return;
    const RunControlData& r = _rcdat;
    if (r.cex_bldg && _ucex) writeBuildingRow(t);
    if (r.cex_ctm && _udcexList)
        for (int s = 0; s < _ndcex; s++)
            if (_udcexList[s]) writeSpeciesRow(_udcexList[s], s, t);
}

void writeCex_simEnd()
{
    if (!_rcdat.cex_bldg || !_ucex) return;
    fprintf(_ucex, "Sum\t");
    for (int s = 0; s < _nctm; s++)
        resultPrintf(_ucex, "CEX file", "\t%.5e", _Env_MassOut_sum ? _Env_MassOut_sum[s] : 0.0);
    fprintf(_ucex, "\n");
}

}  // namespace vexlar
