// The Controls section: one CtrlNode per record, its signal function bound by its type
// keyword, its sequence and input numbers checked, and the type's own data read. The
// network build later binds the inputs and links the nodes in sequence order.
#include <cstring>
#include <initializer_list>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/prj-read.h"
#include "common-src/prj-read-common.h"
#include "common-src/tokens.h"
#include "model/prj-records.h"
#include "model/schedules.h"
#include "model/prj-common.h"
#include "simulation/ctrl-signals.h"

namespace vexlar {

const char* const _ctrl_names[CT_NTYPES + 1] = {
    "sns", "sch", "set", "cvf", "dvf", "log", "pas", "mod", "hys", "abs", "bin", "dls", "dlx",
    "int", "rav", "inv", "and", "or", "xor", "add", "sub", "mul", "div", "sum", "avg", "max",
    "min", "lls", "uls", "lbs", "ubs", "llc", "ulc", "pc1", "pi1", "sup", "sns", "exp", "lgn",
    "lg1", "pow", "sqt", "ply", "sin", "cos", "tan", "mdu", "cel", "flr", "sph", "irs", "ars", ""};

const CTRL_SIGNAL_FN _pfcs[CT_NTYPES] = {
    sns_sig, sch_sig, set_sig, cvf_sig, dvf_sig, log_sig, pas_sig, mod_sig, hys_sig, abs_sig,
    bin_sig, dls_sig, dlx_sig, int_sig, rav_sig, inv_sig, and_sig, or_sig, xor_sig, add_sig,
    sub_sig, mul_sig, div_sig, sum_sig, avg_sig, max_sig, min_sig, lls_sig, uls_sig, lbs_sig,
    ubs_sig, llc_sig, ulc_sig, pc_sig, pic_sig, sup_sig, nullptr, exp_sig, ln_sig, log10_sig,
    pow_sig, sqrt_sig, poly_sig, sin_sig, cos_sig, tan_sig, fmod_sig, ceil_sig, floor_sig,
    pas_sig, intrts_sig, avgrts_sig,
};

static float* float_block(size_t n, const char* tag)
{
    return static_cast<float*>(alc_ec(&_ms, n * sizeof(float), tag));
}

static void read_sensor(CtrlNode* node)
{
    SensorData* s = alc_ecT<SensorData>(&_ms, "sns");
    node->data = s;
    s->offset = readR4(1);
    s->scale = readR4(0);
    s->tau = readR4(0);
    readR4(0);
    s->sensed_number = readIX(0);
    s->sensed_kind = (int16_t)readI2(0);
    s->measure = (int16_t)readI2(0);
    prj_read_floats(s->location, 3, 0);
    readI2(0);
    prj_read_name(s->species_name, sizeof s->species_name);
    if (s->measure == 0) {
        strcpy(_string, s->species_name);
        s->species = (int16_t)ctm_name_chk();
    }
}

static void read_week_schedule(CtrlNode* node)
{
    int w = readIX(1);
    if (prj_ref(w, 1, _nwsch, "Invalid week-schedule number, control ", node->number)) return;
    WeekSchedRec* ws = _WschList[w];
    ws->use_count++;
    node->data = ws;
}

static void read_log(CtrlNode* node)
{
    LogData* g = alc_ecT<LogData>(&_ms, "log");
    node->data = g;
    g->offset = readR4(1);
    g->scale = readR4(0);
    readI2(0);
    prj_read_name(g->heading, sizeof g->heading);
    prj_read_name(g->units, sizeof g->units);
    _nlogc++;
}

static void read_day_delays(CtrlNode* node)
{
    DlsData* d = alc_ecT<DlsData>(&_ms, "dls");
    node->data = d;
    DaySchedRec** ends[2] = {&d->rise, &d->fall};
    for (int i = 0; i < 2; i++) {
        int n = readIX(i == 0 ? 1 : 0);
        if (prj_ref(n, 1, _ndsch, "Invalid day-schedule number, control ", node->number))
            continue;
        *ends[i] = _DschList[n];
        _DschList[n]->active_flag = 1;
    }
}

static void read_exp_delay(CtrlNode* node)
{
    DlxData* d = alc_ecT<DlxData>(&_ms, "dlx");
    node->data = d;
    d->tau_rise = readHMS(1);
    d->tau_fall = readHMS(0);
}

static void read_node_list(CtrlNode* node, int nctrl)
{
    SumData* s = alc_ecT<SumData>(&_ms, "sum");
    node->data = s;
    int n = (int16_t)readI2(1);
    if (n < 0) {
        error(ERROR, __FILE__, __LINE__, "Invalid input count, control ", intstr(node->number),
              "");
        return;
    }
    if (!prj_subcount_fits(n, "Controls", node->number)) return;
    s->count = n;
    if (n == 0) return;
    s->cnode = static_cast<int*>(alc_ec(&_ms, n * sizeof(int), "cnode"));
    s->vals = static_cast<float**>(alc_ec(&_ms, n * sizeof(float*), "vals"));
    for (int i = 0; i < n && prj_more(); i++) {
        s->cnode[i] = readIX(0);
        prj_ref(s->cnode[i], 1, nctrl, "Invalid control node number, node ", node->number);
    }
}

static void read_poly(CtrlNode* node)
{
    PolyData* p = alc_ecT<PolyData>(&_ms, "poly");
    node->data = p;
    p->degree = readI4(1);
    if (p->degree < 0) {
        error(ERROR, __FILE__, __LINE__, "Invalid polynomial degree, control ",
              intstr(node->number), "");
        p->degree = 0;
        return;
    }
    // The degree + 1 coefficients must still be in the file; a degree beyond that is refused
    // before anything is sized by it.
    if (!prj_subcount_fits(p->degree, "Controls", node->number)) {
        p->degree = 0;
        return;
    }
    int ncoef = p->degree + 1;
    p->coef = float_block(ncoef, "polya");
    for (int i = 0; i < ncoef && prj_more(); i++) p->coef[i] = readR4(0);
}

// A record of n floats read in order, the first on a new line: each field is named, so
// the values are read one by one into them.
template <class T> static T* float_record(CtrlNode* node, const char* tag,
                                          std::initializer_list<float T::*> fields)
{
    T* r = alc_ecT<T>(&_ms, tag);
    node->data = r;
    int newline = 1;
    for (float T::*f : fields) {
        r->*f = readR4(newline);
        newline = 0;
    }
    return r;
}

// One float on a new line.
static void read_float_data(CtrlNode* node, const char* tag)
{
    float* f = float_block(1, tag);
    node->data = f;
    *f = readR4(1);
}

static void read_ctrl_data(CtrlNode* node, int nctrl)
{
    switch (node->type) {
    case CT_SNS: read_sensor(node); break;
    case CT_SCH: read_week_schedule(node); break;
    case CT_SET: read_float_data(node, "set"); break;
    case CT_CVF:
    case CT_DVF: {
        char* name = static_cast<char*>(alc_ec(&_ms, 16, "cdv"));
        prj_read_name(name, 16);
        node->data = name;
        break;
    }
    case CT_LOG: read_log(node); break;
    case CT_MOD: float_record<ModData>(node, "mod", {&ModData::offset, &ModData::scale}); break;
    case CT_HYS:
        float_record<HysData>(node, "hys", {&HysData::width, &HysData::gain, &HysData::state});
        break;
    case CT_DLS: read_day_delays(node); break;
    case CT_DLX: read_exp_delay(node); break;
    case CT_INT: node->data = alc_ecT<IntData>(&_ms, "int"); break;
    case CT_RAV: {
        RavData* r = alc_ecT<RavData>(&_ms, "rav");
        node->data = r;
        r->window = readHMS(1);
        break;
    }
    case CT_SUM: case CT_AVG: case CT_MAX: case CT_MIN: read_node_list(node, nctrl); break;
    case CT_LBS: case CT_UBS: read_float_data(node, "bnd"); break;
    case CT_PC1: read_float_data(node, "pc"); break;
    case CT_PI1:
        float_record<PicData>(node, "pic", {&PicData::kp, &PicData::ki, &PicData::prev_out,
                                            &PicData::prev_in});
        break;
    case CT_SUP:
        for (int i = 0; i < 3; i++) readI2(i == 0 ? 1 : 0);
        break;
    case CT_PLY: read_poly(node); break;
    case CT_IRS: case CT_ARS: {
        ListStepData* l = alc_ecT<ListStepData>(&_ms, "int");
        node->data = l;
        l->trapezoid = readIX(0);
        break;
    }
    default: break;   // no data
    }
}

// An input node number: 0 (none) to nctrl, else an ERROR and not stored.
static void read_input(int* dst, int nctrl, int k)
{
    int n = readIX(0);
    if (prj_ref(n, 0, nctrl, "Invalid control node number, node ", k) == 0) *dst = n;
}

static void read_ctrl_record(int k, void* ctx)
{
    int nctrl = *static_cast<int*>(ctx);
    CtrlNode* node = alc_ecT<CtrlNode>(&_ms, "ctrl");
    _CtrlList[k] = node;
    node->number = k;
    // The keyword is a word of any length: an unknown one is reported as such, not as an
    // overlong name.
    nxtwrd(_string, NXT_WORD, sizeof _string);
    int type = lin_search(_string, _ctrl_names);
    node->type = (int16_t)type;
    node->sequence = readIX(0);
    if (node->sequence < 1 || node->sequence > nctrl)
        error(ERROR, __FILE__, __LINE__, "Control node ", intstr(k),
              " has invalid sequence number", "");
    node->flags = (int16_t)readI2(0);
    readI2(0);
    read_input(&node->in1_number, nctrl, k);
    read_input(&node->in2_number, nctrl, k);
    prj_read_name(node->name, sizeof node->name);
    prj_skip_description();
    if (type >= CT_NTYPES || type == CT_SNS2) {
        error(ERROR, __FILE__, __LINE__, "Invalid control type ", intstr(type), "");
        return;
    }
    node->signal_fn = _pfcs[type];
    read_ctrl_data(node, nctrl);
}

// Every sequence number may be given to one node only.
static void check_sequence(int n)
{
    CtrlNode** seq = alc_vT<CtrlNode*>(1, n, "ctrltmp");
    for (int k = 1; k <= n; k++) {
        CtrlNode* node = _CtrlList[k];
        if (seq[node->sequence]) {
            error(ERROR, __FILE__, __LINE__, "Control node ", intstr(node->number),
                  " sequenced twice", "");
            break;
        }
        seq[node->sequence] = node;
    }
    fre_vT(seq, 1, n, "ctrltmp");
}

int ctrl_read()
{
    _Ctrl0 = nullptr;
    _nlogc = 0;
    int n = prj_section_count("Controls");
    _nctrl = n;
    _CtrlList = prj_list<CtrlNode>(n, "CtLst");
    prj_read_records(n, "Control number mis-match: ", read_ctrl_record, &n);
    if (n > 0 && prj_errors() == 0) check_sequence(n);
    prj_section_end("Controls");
    return n;
}

}  // namespace vexlar
