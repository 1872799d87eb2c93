// The ambient contaminant file: the outdoor mass fraction of named species over time. Each
// column is mapped by name to a simulated species (or passed over); each reading sets the
// ambient node's mass fractions, interpolated between the two records enclosing the clock.
// A simulated species the file does not name keeps its initial ambient value.
#include <cstring>

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"
#include "simulation/weather-int.h"
#include "simulation/weather.h"

namespace vexlar {

FILE* _uctm = nullptr;

namespace {

int ctmColumns = 0;        // species columns in the file
int ctmCapacity = 0;       // columns the map was carved for
int* ctmMap = nullptr;     // per column: the simulated species, -1 when not simulated
float* ctmMf[2] = {nullptr, nullptr};   // earlier and later record, per simulated species

void ctm_shift()
{
    if (_nctm > 0) std::memcpy(ctmMf[0], ctmMf[1], sizeof(float) * (size_t)_nctm);
}

// One record's values; the first non-trace species then takes the balance of the others.
int ctm_read()
{
    for (int c = 0; c < ctmColumns; c++) {
        float v;
        if (tf_float(0, &v)) return 1;
        if (ctmMap[c] >= 0) ctmMf[1][ctmMap[c]] = v;
    }
    if (_nntc > 0) {
        float sum = 0.0f;
        for (int i = 1; i < _nntc; i++) sum += ctmMf[1][i];
        ctmMf[1][0] = 1.0f - sum;
    }
    return 0;
}

TimedFile ctm = {"CTM", "ambient contaminant file", "Bad contaminant file: ", "CTM file", "CTM file",
                 &_uctm, _CTMfile, {}, ctm_shift, ctm_read, 0, {}};

template <class T> T* carve(int n, const char* tag)
{
    return static_cast<T*>(alc_ec(&_ms, sizeof(T) * (size_t)(n > 0 ? n : 1), tag));
}

// The ambient node d seconds before the later record over the span s, interpolated in T.
template <class T> void setAmbient(double d, int s)
{
    for (int i = 0; i < _nctm; i++) _pambt->mf[i] = tf_lerp<T>(ctmMf[0][i], ctmMf[1][i], d, s);
}

}  // namespace

void CTM_init(int day0, int day1, int allocate)
{
    tf_open(&ctm);
    static const char* const version[] = {"2.0"};
    tf_header(&ctm, "SpeciesFile", version, 1);
    int first, last;
    tf_dates(&ctm, day0, day1, FATAL, &first, &last);
    ctmColumns = tf_count(&ctm, 1, 2);   // its name and a value in the first record
    if (allocate || !ctmMf[0] || ctmColumns > ctmCapacity) {
        ctmMap = carve<int>(ctmColumns, "spindx");
        ctmMf[0] = carve<float>(_nctm, "Mf0");
        ctmMf[1] = carve<float>(_nctm, "Mf1");
        ctmCapacity = ctmColumns;
    }
    for (int i = 0; i < _nctm; i++) ctmMf[0][i] = ctmMf[1][i] = _pambt ? (float)_pambt->mf[i] : 0.0f;
    tf_map_species(ctmColumns, ctmMap);
    tf_first_record(&ctm);
}

int CTM_get(int day, int time, int start)
{
    int nread;
    int d = tf_advance(&ctm, day, time, start, &nread);
    int s = d > 0 ? tf_span(&ctm) : 1;
    if (!_pambt) return d;
    setAmbient<float>(d, s);
    if (_list > 1) {
        ulog_printf("  CTM:");
        for (int i = 0; i < _nctm; i++) ulog_printf(" %g", _pambt->mf[i]);
        ulog_printf("\n");
    }
    return d;
}

void CTM_at(double t)
{
    int s;
    double d = tf_toLater(&ctm, t, &s);
    if (_pambt) setAmbient<double>(d, s);
}

}  // namespace vexlar
