// The continuous values file (values interpolated in time) and the discrete values file
// (values that change in steps at given instants), whose named columns feed control nodes
// and the network values bound to them while the network is built. The current-value
// vectors and the name tables are carved once from the persistent pool and keep their
// addresses for the whole run; later passes over a file (the year wrap, each cyclic day)
// read into them again.
#include <cstring>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "simulation/weather-int.h"
#include "simulation/weather.h"

namespace vexlar {

FILE* _ucvf = nullptr;
FILE* _udvf = nullptr;

namespace {

void cvf_shift()
{
    if (_cvfNumNames > 0) std::memcpy(_cvfVals[0], _cvfVals[1], sizeof(float) * (size_t)_cvfNumNames);
}

int cvf_read()
{
    for (int i = 0; i < _cvfNumNames; i++)
        if (tf_float(0, &_cvfVals[1][i])) return 1;
    return 0;
}

TimedFile cvf = {"CVF", "continuous values file", "Bad CVF: ", "CVF", "CVF file", &_ucvf, _CVFfile, {},
                 cvf_shift, cvf_read, 0, {}};

// The current values d seconds before the later record over the span s.
void cvf_setAt(double d, int s)
{
    for (int i = 0; i < _cvfNumNames; i++) _cvfVals[2][i] = tf_lerp(_cvfVals[0][i], _cvfVals[1][i], d, s);
}

// The update of the last record read, applied once the clock has passed its instant.
int dvfIndex = 0;   // 1-based value index, 0 when none is pending
float dvfValue = 0.0f;

void dvf_apply()
{
    if (dvfIndex > 0) _dvfVals[dvfIndex - 1] = dvfValue;
    dvfIndex = 0;
}

int dvf_read();
TimedFile dvf = {"DVF", "discrete values file", "Bad DVF: ", "DVF", "DVF file", &_udvf, _DVFfile, {},
                 dvf_apply, dvf_read, 0, {}};

int dvf_read()
{
    int index = readI2(0);
    float value;
    if (tf_float(0, &value)) return 1;
    if (index < 1 || index > _dvfNumNames) {
        const DayTimeBracket& b = dvf.bracket;
        error(FATAL, __FILE__, __LINE__, "Invalid DVF index ", intstr(index), " at ", datxstr(b.day1), " ",
              timestr(b.time1), "");
    }
    dvfIndex = index;
    dvfValue = value;
    return 0;
}

// No file named: FATAL "<what> required". Otherwise the file is opened and its header checked.
void open_value_file(TimedFile* f, const char* kind, const char* what)
{
    if (f->path[0] == '\0' || std::strcmp(f->path, "null") == 0)
        error(FATAL, __FILE__, __LINE__, what, " required", "");
    tf_open(f);
    static const char* const version[] = {"2.1"};
    tf_header(f, kind, version, 1);
}

// The name table's size, each name on a line of `words` words: carved at the first pass; a
// later pass over the same file must find the same count.
int name_count(TimedFile* f, int* count, int first_pass, long words)
{
    int n = tf_count(f, 1, words);
    if (!first_pass && n != *count)
        error(FATAL, __FILE__, __LINE__, "Invalid count ", intstr(n), " in ", f->on_name, "");
    *count = n;
    return n;
}

// The control nodes of one type bound to the current values by name. Returns the misses.
int bind_controls(int type, int count, const char (*names)[16], float* vals, const char* miss)
{
    int misses = 0;
    for (CtrlNode* c = _Ctrl0; c; c = c->next) {
        if (c->type != type) continue;
        const char* name = static_cast<const char*>(c->data);
        int i = 0;
        while (i < count && std::strcmp(names[i], name) != 0) i++;
        if (i < count) {
            c->input1 = &vals[i];
        } else {
            error(ERROR, __FILE__, __LINE__, miss, name, "");
            misses++;
        }
    }
    return misses;
}

}  // namespace

void CVF_init_data(int day0, int day1, int allocate)
{
    open_value_file(&cvf, "ContinuousValuesFile", "Continuous Values File (CVF)");
    int first, last;
    int faults = tf_dates(&cvf, day0, day1, ERROR, &first, &last);
    int fresh = allocate || !_cvfVals[0];
    int n = name_count(&cvf, &_cvfNumNames, fresh, 2);   // a name, a first value
    if (fresh) {
        _cvfNames = static_cast<char(*)[16]>(alc_ec(&_ms, 16 * (size_t)(n > 0 ? n : 1), "cvfNames"));
        for (float*& v : _cvfVals) v = static_cast<float*>(alc_ec(&_ms, sizeof(float) * (size_t)(n > 0 ? n : 1), "cvfVals"));
    }
    for (int i = 0; i < n; i++) nxtwrd(_cvfNames[i], NXT_FIRST_WORD, 16);
    if (faults) error(FATAL, __FILE__, __LINE__, "Fix CVF file or control node errors", "");
    tf_first_record(&cvf);
}

int CVF_init_controls()
{
    int misses = bind_controls(CT_CVF, _cvfNumNames, _cvfNames, _cvfVals[2], "Name not in CVF: ");
    if (misses) error(FATAL, __FILE__, __LINE__, "Fix CVF file or control node errors", "");
    return misses != 0;
}

int CVF_get(int day, int time, int start)
{
    int nread;
    int d = tf_advance(&cvf, day, time, start, &nread);
    cvf_setAt(d, d > 0 ? tf_span(&cvf) : 1);
    return d;
}

void CVF_at(double t)
{
    int s;
    double d = tf_toLater(&cvf, t, &s);
    cvf_setAt(d, s);
}

void DVF_init_data(int day0, int day1)
{
    open_value_file(&dvf, "DiscreteValuesFile", "Discrete Values File (DVF)");
    int first, last;
    tf_dates(&dvf, day0, day1, FATAL, &first, &last);
    int fresh = !_dvfVals;
    int n = name_count(&dvf, &_dvfNumNames, fresh, 2);   // a name and its initial value
    if (fresh) {
        _dvfNames = static_cast<char(*)[16]>(alc_ec(&_ms, 16 * (size_t)(n > 0 ? n : 1), "dvfNames"));
        _dvfVals = static_cast<float*>(alc_ec(&_ms, sizeof(float) * (size_t)(n > 0 ? n : 1), "dvfVals"));
    }
    for (int i = 0; i < n; i++) {
        nxtwrd(_dvfNames[i], NXT_FIRST_WORD, 16);
        tf_float(0, &_dvfVals[i]);
    }
    // A new pass starts from the initial values: an update left pending from the last pass
    // belongs to that pass and is dropped.
    dvfIndex = 0;
    tf_check(&dvf, 0);
    tf_detach(&dvf);
    initBracket(&dvf.bracket);
}

int DVF_init_controls()
{
    int misses = bind_controls(CT_DVF, _dvfNumNames, _dvfNames, _dvfVals, "Name not in DVF: ");
    if (misses) error(FATAL, __FILE__, __LINE__, "Fix DVF file or control node errors", "");
    return misses != 0;
}

int DVF_get(int day, int time, int start)
{
    int nread;
    int d = tf_advance(&dvf, day, time, start, &nread);
    if (nread > 0 && _useWPCwp) _newSTSaf = 1;
    return d;
}

}  // namespace vexlar
