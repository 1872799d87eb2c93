// The control network at run time and its log. ctrl_sim calls every node's signal function
// once per step in sequence order, after the schedules of the step are set, and at listing
// times writes one row of the control log: a tab-separated text file (".log") with one
// column per log node, opened by main when the project has log nodes and asks for it.
#include "simulation/ctrl-sim.h"

#include <cstdlib>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/clock.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "output/sim-out.h"
#include "simulation/ctrl-signals.h"

namespace vexlar {

FILE* _ulogc = nullptr;
CtrlClock _ctrlClock{};

void ctrlClock_advance(int day, int time)
{
    CtrlClock& c = _ctrlClock;
    if (time >= 86400) {   // 24:00 and past it are the next day's
        time -= 86400;
        day = day % 365 + 1;
    }
    c.elapsed = c.started && (day != c.day || time != c.time) ? _dt : 0.0f;
    c.started = 1;
    c.day = day;
    c.time = time;
}

void ctrlClock_reset() { _ctrlClock = CtrlClock{}; }

void ctrl_sim_fatal(const char* text, const CtrlNode* node)
{
    error(FATAL, __FILE__, __LINE__, text, intstr(node->number), "");
    std::abort();   // the finish hook ends the process; a node must not go on with a bad input
}

// The network is evaluated at the clock's step end: the implicit methods' step end, the
// stiff integrator's step start (where its step end stands between steps). Either way _dt
// is then the step that led there from the network's previous evaluation.
static void evaluateNetwork()
{
    ctrlClock_advance(_dayofy, _stepEndTime);
    for (CtrlNode* c = _Ctrl0; c; c = c->next) c->signal_fn(c);
}

// One row: date, time and seconds of the step start, then every log node's output.
static void writeLogRow()
{
    fprintf(_ulogc, "%s\t%s\t%d", datxstr(_dayofy), steptimestr(_stepStartTime), _stepStartTime);
    for (int i = 0; i < _nlogc; i++) resultPrintf(_ulogc, "control log", "\t%.6e", _CtrlLogs[i]->value);
    fputc('\n', _ulogc);
}

void ctrl_sim(int write)
{
    evaluateNetwork();
    if (write && _ulogc && atListingTime(_stepStartTime)) writeLogRow();
}

bool haveCtrlNode_byType(int type)
{
    for (const CtrlNode* c = _Ctrl0; c; c = c->next)
        if (c->type == type) return true;
    return false;
}

bool haveCtrlNode_usesListTime()
{
    if (haveCtrlNode_byType(CT_IRS) || haveCtrlNode_byType(CT_ARS)) return true;
    return _ulogc != nullptr;
}

// Whether any record of a list (1..n) takes its value from the values file of code vf.
template <class Rec> static bool listReadsFile(Rec** list, int n, int vf)
{
    for (int k = 1; list && k <= n; k++)
        if (list[k] && list[k]->vf_type == vf) return true;
    return false;
}

int ctrl_NeedCvfDvf(int type)
{
    if (type != CT_CVF && type != CT_DVF)
        error(FATAL, __FILE__, __LINE__, "Invalid controls file type requested (CVF/DVF): ",
              intstr(type), "");
    const int vf = type == CT_CVF ? VF_CONTINUOUS : VF_DISCRETE;
    for (int k = 1; _CtrlList && k <= _nctrl; k++)
        if (_CtrlList[k] && _CtrlList[k]->type == type) return 1;
    if (listReadsFile(_ZoneList, _nzone, vf) || listReadsFile(_JctList, _njct, vf) ||
        listReadsFile(_PathList, _npath, vf) || listReadsFile(_DctList, _ndct, vf))
        return 1;
    for (const CssRec* s = _Css0; s; s = s->next)
        if (s->value_file_type == vf) return 1;
    return 0;
}

void ctrl_free()
{
    for (CtrlNode* c = _Ctrl0; c; c = c->next)
        if (c->type == CT_RAV) rav_free(c);
    ctrlClock_reset();
}

// ---- Control log ----------------------------------------------------------------------------

void set_ulogc_open()
{
    _ulogc = createResultFile(".log", "w", "control LOG");
    fprintf(_ulogc, "!\t \t ");
    for (int i = 0; i < _nlogc; i++) fprintf(_ulogc, "\t%s", static_cast<LogData*>(_CtrlLogs[i]->data)->heading);
    fprintf(_ulogc, "\n!Date\tTime\t[s]");
    for (int i = 0; i < _nlogc; i++) fprintf(_ulogc, "\t%s", static_cast<LogData*>(_CtrlLogs[i]->data)->units);
    fputc('\n', _ulogc);
}

// At the normal end the network is evaluated once more and its closing row written for the
// current step start, listing time or not; a failed run's log goes without a last row.
void set_ulogc_close(int remove)
{
    if (_ulogc && !remove) {
        evaluateNetwork();
        writeLogRow();
    }
    closeResultFile(&_ulogc, remove, ".log");
}

}  // namespace vexlar
