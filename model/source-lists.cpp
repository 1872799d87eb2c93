// The lists the time loop walks every step, built once at the end of the network: the
// schedules in use, sources and sinks split by solver and species class, occupant
// emissions, occupancy schedules and occupants, and the control network with each input
// and sensed quantity bound to a pointer and the nodes linked in sequence order.
#include "model/source-lists.h"

#include <cstdlib>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"
#include "model/schedules.h"
#include "model/prj-common.h"

namespace vexlar {

DaySchedRec* _Dsch0 = nullptr;
WeekSchedRec* _Wsch0 = nullptr;
CssRec* _Csst0 = nullptr;
CssRec* _Cssnt0 = nullptr;
BlsRec* _Bls0 = nullptr;
BlsRec* _Blst0 = nullptr;
BlsRec* _Blsnt0 = nullptr;
BlsRec* _BlsInactive0 = nullptr;
DvrRec* _Dvr0 = nullptr;
DvrRec* _Dvrt0 = nullptr;
DvrRec* _Dvrnt0 = nullptr;
DvrRec* _DvrInactive0 = nullptr;
ExposureSrcRec* _Pxst0 = nullptr;
ExposureSrcRec* _Pxsnt0 = nullptr;
OccSchedRec* _Osch0 = nullptr;
ExposureRec* _Pexp0 = nullptr;
CtrlNode** _CtrlLogs = nullptr;
int _nbls = 0;
int _ndvr = 0;
int _doOccSens = 0;

namespace {

// Links the records of a 1-based index array through their `next` fields, index order.
template <class T> T* link_in_order(T** list, int n, bool (*keep)(const T*) = nullptr)
{
    T* head = nullptr;
    T** tail = &head;
    for (int k = 1; k <= n; k++) {
        if (keep && !keep(list[k]))
            continue;
        *tail = list[k];
        tail = &list[k]->next;
    }
    *tail = nullptr;
    return head;
}

template <class T> void push(T*& head, T* rec)
{
    rec->next = head;
    head = rec;
}

// The destination of a record: all species together for the solvers other than the
// implicit one, else trace and non-trace species apart.
template <class T> T*& by_class(T*& all, T*& trace, T*& nontrace, int species)
{
    if (_rcdat.mf_solver != 0)
        return all;
    return _ctm[species].non_trace ? nontrace : trace;
}

const float* cse_data(const CssRec* s) { return static_cast<const float*>(s->cse->model_data); }

template <class T> T* new_sink(const CssRec* s, const char* tag)
{
    T* r = static_cast<T*>(alc_ec(&_ms, sizeof(T), tag));
    r->zone_node = s->zone_node;
    r->cse = s->cse;
    r->value_ptr = s->value_ptr;
    r->surface_mass = s->init_value;
    r->multiplier = s->multiplier;
    for (int i = 0; i < 6; i++)
        r->box[i] = s->box[i];
    r->species = s->cse->species;
    r->number = s->number;
    return r;
}

void boundary_layer_sink(const CssRec* s)
{
    BlsRec* b = new_sink<BlsRec>(s, "bls");
    b->coef_mult = cse_data(s)[3] * s->multiplier;
    if (s->multiplier <= 0.0f)
        push(_BlsInactive0, b);
    else
        push(by_class(_Bls0, _Blst0, _Blsnt0, b->species), b);
    _nbls++;
    _ncss--;
}

void deposition_sink(const CssRec* s)
{
    DvrRec* d = new_sink<DvrRec>(s, "dvr");
    if (0.0f >= s->multiplier * cse_data(s)[2])
        push(_DvrInactive0, d);
    else
        push(by_class(_Dvr0, _Dvrt0, _Dvrnt0, d->species), d);
    _ndvr++;
    _ncss--;
}

void plain_source(CssRec* s)
{
    if (s->multiplier == 0.0f)
        _ncss--;
    else
        push(by_class(_Css0, _Csst0, _Cssnt0, s->cse->species), s);
}

// ---- Controls --------------------------------------------------------------------------

[[noreturn]] void ctrl_fatal(const char* text, int m)
{
    error(FATAL, __FILE__, __LINE__, text, intstr(m), "");
    std::abort();   // the finish hook ends the process; nothing may use the bad link
}

float* ctrl_output(int input, int m)
{
    if (input < 1 || input > _nctrl)
        ctrl_fatal(" Invalid link, control ", m);
    return &_CtrlList[input]->value;
}

// Species mass fraction of a node, or the constant zero for a species not simulated.
void sense_species(CtrlNode* c, SensorData* s, AirNode* n)
{
    if (s->species >= 0 && s->species < _nctm)
        s->sensed_ptr = &n->mf[s->species];
    else
        c->input1 = &_zero;
}

AirNode* sensed_node(const SensorData* s, int m)
{
    int n = s->sensed_number;
    if (s->sensed_kind == 1 && n == -1)
        return _pambt;
    int count = s->sensed_kind == 1 ? _nzone : _njct;
    if (n < 1 || n > count)
        ctrl_fatal(" Invalid node, control ", m);
    return s->sensed_kind == 1 ? _ZoneList[n]->node : _JctList[n]->node;
}

void sense_node(CtrlNode* c, SensorData* s, int m)
{
    AirNode* n = s->sensed_node = sensed_node(s, m);
    switch (s->measure) {
    case 0: sense_species(c, s, n); break;
    case 1: s->sensed_ptr = &n->temperature; break;
    case 3: s->sensed_ptr = &n->pressure; break;
    case 4: c->input1 = &n->gauge_pressure; break;
    case 5:
        c->input1 = &n->occupancy;
        _doOccSens = 1;
        break;
    default: ctrl_fatal(" Invalid measure, control ", m);
    }
}

void sense_path(CtrlNode* c, SensorData* s, int m)
{
    bool duct = s->sensed_kind == 4;
    int n = s->sensed_number;
    if (n < 1 || n > (duct ? _ndct : _npath))
        ctrl_fatal(" Invalid path, control ", m);
    AirPath* p = duct ? _DctList[n]->path : _PathList[n]->path;
    if (s->measure == 2)
        c->input1 = &p->flow_sum;
    else if (s->measure == 3)
        s->sensed_ptr = &p->dp;
    else
        ctrl_fatal(" Invalid measure, control ", m);
}

void sense_occupant(CtrlNode* c, SensorData* s, int m)
{
    if (s->measure != 0)
        ctrl_fatal(" Invalid measure, control ", m);
    if (s->sensed_number < 1 || s->sensed_number > _npexp)
        ctrl_fatal(" Invalid node, control ", m);
    ExposureRec* e = _PexpList[s->sensed_number];
    c->input1 = (s->species >= 0 && s->species < _nctm) ? &e->exposure[s->species] : &_zero;
}

// The terminal path of a junction, null for a plain junction.
AirPath* terminal_of(const AirNode* jnode)
{
    for (AirPath* p = _pafp0; p; p = p->next)
        if (p->kind == 2 && p->from_node == jnode)
            return p;
    return nullptr;
}

void sense_terminal(CtrlNode* c, SensorData* s, int m)
{
    int n = s->sensed_number;
    if (n < 1 || n > _njct)
        ctrl_fatal(" Invalid node, control ", m);
    AirNode* node = _JctList[n]->node;
    AirPath* t = (s->measure == 2 || s->measure == 3) ? terminal_of(node) : nullptr;
    if ((s->measure == 2 || s->measure == 3) && !t)
        ctrl_fatal(" Invalid node, control ", m);
    switch (s->measure) {
    case 0: sense_species(c, s, node); break;
    case 1: s->sensed_ptr = &node->temperature; break;
    case 2: c->input1 = &t->flow_sum; break;
    case 3: s->sensed_ptr = &t->dp; break;
    case 4: c->input1 = &node->gauge_pressure; break;
    default: ctrl_fatal(" Invalid measure, control ", m);
    }
}

void bind_sensor(CtrlNode* c, int m)
{
    SensorData* s = static_cast<SensorData*>(c->data);
    switch (s->sensed_kind) {
    case 1: case 3: sense_node(c, s, m); break;
    case 2: case 4: sense_path(c, s, m); break;
    case 5: sense_occupant(c, s, m); break;
    case 6: sense_terminal(c, s, m); break;
    default: ctrl_fatal(" Invalid sensor type, control ", m);
    }
}

void bind_node_list(CtrlNode* c, int m)
{
    SumData* s = static_cast<SumData*>(c->data);
    for (int i = 0; i < s->count; i++)
        s->vals[i] = ctrl_output(s->cnode[i], m);
    s->cnode = nullptr;   // the numbers are not needed once bound (they stay in the pool)
}

bool two_inputs(int type)
{
    return type == CT_INT || (type >= CT_AND && type <= CT_DIV)
        || (type >= CT_LLS && type <= CT_ULC) || type == CT_POW || type == CT_MDU;
}

void bind_control(CtrlNode* c, int m)
{
    int type = c->type;
    if (type == CT_SNS2 || type < 0 || type >= CT_NTYPES) {
        error(FATAL, __FILE__, __LINE__, "Invalid control type: ", intstr(type), "");
        return;
    }
    switch (type) {
    case CT_SNS: bind_sensor(c, m); break;
    case CT_SCH:
        if (!c->data)
            ctrl_fatal(" Invalid link, control ", m);
        c->input1 = &static_cast<WeekSchedRec*>(c->data)->value;
        break;
    case CT_SET: c->value = *static_cast<float*>(c->data); break;
    case CT_CVF: case CT_DVF: case CT_SUP: break;
    case CT_SUM: case CT_AVG: case CT_MAX: case CT_MIN: bind_node_list(c, m); break;
    default:
        c->input1 = ctrl_output(c->in1_number, m);
        if (two_inputs(type))
            c->input2 = ctrl_output(c->in2_number, m);
    }
}

void sequence_controls()
{
    CtrlNode** seq = alc_vT<CtrlNode*>(1, _nctrl, "ctrltmp");
    for (int k = 1; k <= _nctrl; k++) {
        CtrlNode* c = _CtrlList[k];
        if (c->sequence < 1 || c->sequence > _nctrl)
            error(FATAL, __FILE__, __LINE__, "Control node ", intstr(c->number),
                  " has invalid sequence number", "");
        else if (seq[c->sequence])
            error(FATAL, __FILE__, __LINE__, "Control node ", intstr(c->number),
                  " sequenced twice", "");
        else
            seq[c->sequence] = c;
    }
    _Ctrl0 = link_in_order(seq, _nctrl);
    fre_vT(seq, 1, _nctrl, "ctrltmp");
}

}  // namespace

int srcl_schedules()
{
    _Dsch0 = link_in_order<DaySchedRec>(_DschList, _ndsch,
                                        [](const DaySchedRec* d) { return d->active_flag != 0; });
    _Wsch0 = link_in_order<WeekSchedRec>(_WschList, _nwsch,
                                         [](const WeekSchedRec* w) { return w->use_count != 0; });
    return 0;
}

void srcl_clear()
{
    _Dsch0 = nullptr;
    _Wsch0 = nullptr;
    _Csst0 = _Cssnt0 = nullptr;
    _Bls0 = _Blst0 = _Blsnt0 = _BlsInactive0 = nullptr;
    _Dvr0 = _Dvrt0 = _Dvrnt0 = _DvrInactive0 = nullptr;
    _Pxst0 = _Pxsnt0 = nullptr;
    _Osch0 = nullptr;
    _Pexp0 = nullptr;
    _nbls = _ndvr = 0;
    _doOccSens = 0;
}

int srcl_sources()
{
    for (CssRec* s = _Css0; s; s = s->next)
        if (s->zone_number != 0)
            s->zone_node = _ZoneList[s->zone_number]->node;
    CssRec* visit = _Css0;
    _Css0 = _Csst0 = _Cssnt0 = nullptr;
    _Bls0 = _Blst0 = _Blsnt0 = _BlsInactive0 = nullptr;
    _Dvr0 = _Dvrt0 = _Dvrnt0 = _DvrInactive0 = nullptr;
    _nbls = _ndvr = 0;
    while (visit) {
        CssRec* s = visit;
        visit = visit->next;
        switch (s->cse->type) {
        case CSE_BLS: boundary_layer_sink(s); break;
        case CSE_DVR: deposition_sink(s); break;
        default: plain_source(s); break;
        }
    }
    return 0;
}

int srcl_emissions()
{
    for (ExposureSrcRec* x = _Pxs0; x; x = x->next) {
        float* fallback = x->wsch ? &x->wsch->value : &_one;
        x->value_ptr = x->value_file_type != VF_NONE
            ? sd_value_source(nullptr, x->value_file_type, x->value_file_name, nullptr, fallback)
            : fallback;
    }
    _Pxst0 = _Pxsnt0 = nullptr;
    if (_rcdat.mf_solver != 0)
        return 0;
    ExposureSrcRec** tails[2] = {&_Pxst0, &_Pxsnt0};
    for (ExposureSrcRec* x = _Pxs0; x;) {
        ExposureSrcRec* next = x->next;
        ExposureSrcRec**& tail = tails[_ctm[x->species].non_trace ? 1 : 0];
        x->next = nullptr;
        *tail = x;
        tail = &x->next;
        x = next;
    }
    _Pxs0 = nullptr;
    return 0;
}

int srcl_occupants()
{
    _Osch0 = link_in_order(_OschList, _nosch);
    for (OccSchedRec* o = _Osch0; o; o = o->next)
        for (int k = 0; k < o->npts; k++) {
            ZoneRec* z = o->zones[k].zone;
            o->zones[k].node = z ? z->node : nullptr;
        }
    _Pexp0 = link_in_order(_PexpList, _npexp);
    return 0;
}

int srcl_controls()
{
    _doOccSens = 0;
    if (_nctrl <= 0)
        return 0;
    for (int m = 1; m <= _nctrl; m++)
        bind_control(_CtrlList[m], m);
    sequence_controls();
    if (_nlogc > 0) {
        _CtrlLogs = alc_vT<CtrlNode*>(0, _nlogc - 1, "CtrlLogs");
        int i = 0;
        for (int k = 1; k <= _nctrl && i < _nlogc; k++)
            if (_CtrlList[k]->type == CT_LOG)
                _CtrlLogs[i++] = _CtrlList[k];
    }
    return 0;
}

}  // namespace vexlar
