// Set-up of the coupling between the CFD zone and the airflow and contaminant network:
// the zone's record and one record per network path that touches it (an opening of the
// zone), the per-iteration histories, the solver's contaminant and restart switches and
// the coupling files (".cmo" tables, ".mon" monitoring lines, ".cpr" coupling restart).
// Every fault of the set-up is found before the first file is created, so a run that
// cannot couple ends with its FATAL before any result file exists.
#include <cmath>
#include <cstring>

#include "cfd/cfd-int.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/run-control.h"

namespace vexlar {

int COUPLE, _cpl, _ctmcpl, _ctlctmcpl, _cciter, _cpliter, _doneflow, _donectm, _ufstart;
int _crestart;
FILE* MON = nullptr;
FILE* CPLTE = nullptr;

CfdZone* _cfdzone = nullptr;
CfdZone* _refzone = nullptr;
int _tcpl, MAXCPL, _finaliter, _dumpR, _dump, _cfdrunty, _readrst, _nctmcpl, _cnctlt;
double _convcpl;
long* _cfdniter = nullptr;
FILE* CPLRST = nullptr;
FILE* VEXLAROUT = nullptr;

namespace {

const char* UNSUPPORTED = "outvexlar(): this flow element is not supported currently";
const char* CYCLIC = "Contaminant coupling does not apply to cyclic";
const char* NO_CPR = "Unable to open restart file (cpr)";

bool powerLawType(int t) { return t >= AFE_PLR_ORFC && t <= AFE_PLR_SHAFT; }
bool fanType(int t) { return t == AFE_FAN_CMF || t == AFE_FAN_CVF; }

bool touches(const AirPath* p, const AirNode* n) { return p->from_node == n || p->to_node == n; }

void zoneFatal(const char* fmt, const AirNode* n)
{
    errorf(FATAL, __FILE__, __LINE__, fmt, n->number, n->cfd_name);
}

// The coupled restart is read only for a steady airflow with steady or transient
// contaminants, and never in mode 1, which does not read it.
bool restartRead() { return _crestart && !_sim_af_dyn && _rcdat.cfd_cpl != 1; }

// Everything that would make the coupling fail, checked before any file is created.
void checkSetup(const AirNode* zone)
{
    const RunControlData& r = _rcdat;
    if (r.cfd_cpl > 3) errorf(FATAL, __FILE__, __LINE__, "CFD coupling mode %d is not 1, 2 or 3", r.cfd_cpl);
    // The short-time-step and stiff-integrator loops never call the coupling: the zone would
    // keep its start state for the whole run.
    if (r.mf_solver != 0 && (_sim_af_dyn || r.sim_mf >= 2))
        errorf(FATAL, __FILE__, __LINE__,
               "CFD coupling of a transient run needs the implicit transport method (mf_solver 0), not the %s "
               "(mf_solver %d): set the Run Control field mf_solver to 0",
               r.mf_solver == 1 ? "short time step method" : "stiff integrator", r.mf_solver);
    if (r.cfd_restart && r.sim_mf == 0)
        error(FATAL, __FILE__, __LINE__, "Restart file (cpr) should be used for contaminant calculation only", "");
    for (const AirNode* n = zone->next; n; n = n->next)
        if (n->is_cfd)
            zoneFatal("Only one CFD zone can be coupled: zone %d (%s) is a second one", n);
    if (!zone->cfd_name[0]) zoneFatal("CFD zone %d has no CFD name%s", zone);
    int paths = 0;
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (!touches(p, zone)) continue;
        int t = p->element ? p->element->type : -1;
        if (!powerLawType(t) && !fanType(t) && t != AFE_AHS_SR)
            errorf(FATAL, __FILE__, __LINE__, "%s (path %d)", UNSUPPORTED, p->number);
        int kind = p->cfd_codes[1];
        if (r.cfd_cpl != 2 && t != AFE_AHS_SR && kind != 0 && kind != 1 && kind != 4)
            errorf(FATAL, __FILE__, __LINE__,
                   "CFD path %d boundary kind %d is not 0 (mass flow), 1 (pressure) or 4 (coupled)",
                   p->number, kind);
        paths++;
    }
    if (paths == 0) zoneFatal("CFD zone %d (%s) has no path to couple", zone);
    if (r.sim_mf != 0) {
        if (r.sim_mf == 3) error(FATAL, __FILE__, __LINE__, CYCLIC, "");
        if (_sim_af_dyn && r.sim_mf != 2)
            error(FATAL, __FILE__, __LINE__,
                  "Contaminant calculation is not enabled while trying to couple contaminant", "");
        if (_sim_af_dyn && r.cfd_restart)
            error(FATAL, __FILE__, __LINE__, "Restart is not allowed for coupled unsteady flow calculation", "");
    }
    IN = cfd_open_input(cfd_zone_path(".CFD"), "r");
    if (!IN) cfd_open_failed("Unable to locate input file", _cfdprj);
    if (r.sim_mf != 0 && restartRead()) {
        CPLRST = cfd_open_input(cfd_cpr_path(), "r");
        if (!CPLRST) cfd_open_failed(NO_CPR, _cfdprj);
    }
}

// A coupled power-law path gets an element of its own: the coupling changes the element's
// exponent, which must not change the law of other paths sharing the element.
void ownElement(AirPath* p)
{
    if (!powerLawType(p->element->type)) return;
    AfeRec* e = alc_ecT<AfeRec>(&_cplms, "cplafe");
    *e = *p->element;
    PlrData* d = alc_ecT<PlrData>(&_cplms, "cplplr");
    *d = *static_cast<const PlrData*>(p->element->model_data);
    e->model_data = d;
    p->element = e;
}

double* history(const char* tag) { return alc_vT<double>(0, MAXCPL + 1, tag); }

CplPath* newPath(AirPath* p)
{
    CplPath* c = alc_ecT<CplPath>(&_cplms, "cplpp");
    c->path = p;
    c->path_index = (int16_t)p->index;
    c->value_source = p->cfd_codes[0];
    c->bc_kind = p->cfd_codes[1];
    c->bc_type = p->cfd_codes[2];
    std::memcpy(c->name, p->cfd_name, sizeof c->name);
    c->name[sizeof c->name - 1] = 0;
    if (_tcpl == 3) {
        c->bc_type = 1;
    } else {
        c->bc_type = 6;
        if (_tcpl == 2) c->bc_kind = 0;
    }
    if (_ctmcpl >= 1 && _nctmcpl > 0) {
        c->Crate1 = alc_vT<double>(1, _nctmcpl, "Crate1");
        c->Crate2 = alc_vT<double>(1, _nctmcpl, "Crate2");
    }
    c->side = 1;
    ownElement(p);
    return c;
}

void buildZone(CfdZone* z, AirNode* node)
{
    z->node = node;
    z->zone_index = (int16_t)node->index;
    z->mf_start = node->mf_prev;
    CplPath** tail = &z->paths;
    int count = 0;
    for (AirPath* p = _pafp0; p; p = p->next)
        if (touches(p, node)) {
            *tail = newPath(p);
            tail = &(*tail)->next;
            count++;
        }
    // Room for every opening on either side, so a changed split never allocates later.
    cfd_openings_reserve(count, count);
}

void allocateHistories()
{
    _cfdniter = alc_vT<long>(0, MAXCPL + 1, "_cfdniter");
    for (CplPath* c = _cfdzone[1].paths; c; c = c->next) {
        c->pcomputed = history("pcomputed");
        c->pused = history("pused");
        c->mbefore = history("mbefore");
        c->mafter = history("mafter");
        c->ctmcoe = history("ctmcoe");
        c->ctmexp = history("ctmexp");
        c->cfdetp = history("cfdetp");
        c->Plocal = history("Plocal");
        c->Plocal1 = history("Plocal1");
    }
}

void nodeFlags9()
{
    if (_tcpl != 1) _cfdzone[1].node->flags = 9;
}

// The switches of a steady contaminant solution or a transient one over steady airflow.
void steadyAirflowRestart()
{
    if (_crestart) {
        if (_tcpl == 3) _tcpl = 2;
        CRESTART = 1;
        CONTAMINANT = 1;
        return;   // the ".cpr" file was opened for reading by the checks
    }
    CRESTART = 0;
    if (_readrst) CPLRST = cfd_create(cfd_cpr_path(), "w", "Unable to create restart file (cpr) ");
    CONTAMINANT = _tcpl == 1 ? 1 : 0;
    _ctlctmcpl = 0;
}

void contaminantSwitches()
{
    RunControlData& r = _rcdat;
    if (_ctmcpl == 0) return;
    if (VSTEADY == 1) {
        CONTAMINANT = _tcpl == 1 ? 1 : 0;
        CSTEADY = _ctmcpl == 1 ? 1 : 0;
        steadyAirflowRestart();
    } else {
        CONTAMINANT = _tcpl == 1 ? 1 : 0;
        CSTEADY = 0;
        CRESTART = 0;
    }
    nodeFlags9();
    // A transient contaminant run keeps its switches: the coupling sets them again before
    // any species solve, and what is read before that (the result files to open, the
    // layout of a restart record) must be what the run that wrote the record saw.
    if (r.cfd_cpl > 1 && _ctmcpl != 2) r.sim_mf = 0, r.mft_on = 0;
}

}  // namespace

AirNode* cfd_name_zone_files()
{
    AirNode* zone = nullptr;
    for (AirNode* n = _afnd0; n && !zone; n = n->next)
        if (n->is_cfd) zone = n;
    if (!zone) return nullptr;
    std::strcpy(_cfdpdrive, _pdrive);
    std::snprintf(_cfdpdir, sizeof _cfdpdir, "%s", _pdir);
    std::snprintf(_cfdpname, sizeof _cfdpname, "%s_%s", _prjname, zone->cfd_name);
    return zone;
}

void getcpl()
{
    RunControlData& r = _rcdat;
    _tcpl = r.cfd_cpl;
    COUPLE = 0;
    if (_tcpl == 0) return;
    AirNode* zone = cfd_name_zone_files();
    if (!zone) {
        error(WARNING, __FILE__, __LINE__, "CFD coupling is asked for but no zone is marked for CFD", "");
        return;
    }
    _crestart = r.cfd_restart;
    VSTEADY = _sim_af_dyn ? 0 : 1;
    checkSetup(zone);

    COUPLE = 1;
    r.cnvgSS = r.densZP = r.stackD = 0;
    _convcpl = r.cfd_cnvg;
    _dumpR = r.cfd_dump > 0 ? r.cfd_dump : 1;   // a divisor: 0 or less would divide by zero
    _dump = 2;
    _cfdrunty = 0;
    _ctmcpl = r.sim_mf;
    _nctmcpl = _ctmcpl >= 1 ? (_nctm < 5 ? _nctm : 5) : 0;
    NOC = _ctmcpl >= 1 ? _nctm : 0;
    for (int s = 1; s <= 5; s++) CACTIVE[s] = _ctmcpl >= 1 && s <= _nctm;
    _cpliter = _cciter = _cpl = _ctlctmcpl = _doneflow = 0;
    _ufstart = _sim_af_dyn ? 1 : 0;
    CFDTIME = r.start_time;
    _readrst = 1;
    MAXCPL = _tcpl == 3 ? (r.cfd_itmax > 0 ? r.cfd_itmax : 1) : 1;
    _finaliter = MAXCPL;
    if (_tcpl == 1) _readrst = 0;
    if (!_cplms) _cplms = alc_eci(8000, "cplms-block");

    _cfdzone = alc_vT<CfdZone>(1, 1, "_cfdzone");
    buildZone(&_cfdzone[1], zone);
    _refzone = alc_ecT<CfdZone>(&_cplms, "refzone");
    _refzone->zone_index = (int16_t)_nafnd;
    CfdZone* z = &_cfdzone[1];
    const char* text = "Unable to open CFD coupling file ";
    z->cmo_file = VEXLAROUT = cfd_create(cfd_zone_path(".cmo"), "w", text);
    z->mon_file = MON = cfd_create(cfd_zone_path(".mon"), "w", text);
    contaminantSwitches();
    allocateHistories();
}

// The input test reads the zone's ".CFD" file as the first solve would and places it on its
// grid, after the set-up's own checks, without creating any file of the coupling. The
// openings are read as the file lists them: the network decides inlets and outlets only
// when the run's flows are known.
void cfd_check_input()
{
    RunControlData& r = _rcdat;
    _tcpl = r.cfd_cpl;
    if (_tcpl == 0) return;
    AirNode* zone = cfd_name_zone_files();
    if (!zone) return;
    _crestart = r.cfd_restart;
    VSTEADY = _sim_af_dyn ? 0 : 1;
    checkSetup(zone);
    NOC = r.sim_mf >= 1 ? _nctm : 0;
    for (int s = 1; s <= 5; s++) CACTIVE[s] = r.sim_mf >= 1 && s <= _nctm;
    INITYN = 1;
    input(0);
    int paths = 0;
    for (const AirPath* p = _pafp0; p; p = p->next) paths += touches(p, zone);
    if (NBIN + NBOUT != paths)
        cfd_input_error("CFD input file lists %d openings but zone %d (%s) has %d coupled paths", NBIN + NBOUT,
                        zone->number, zone->cfd_name, paths);
    inputdata();
}

int cfd_project_sim_mf() { return COUPLE ? _ctmcpl : _rcdat.sim_mf; }

const char* cfd_cpr_path()
{
    pathmerge(_cfdprj, sizeof _cfdprj, _pdrive, _pdir, _prjname, ".cpr");
    return _cfdprj;
}

void decpl(int state)
{
    if (!COUPLE || _tcpl == 1 || !_cfdzone) return;
    _cfdzone[1].node->flags = (uint32_t)state;
}

// ---- The coupling restart file ---------------------------------------------------------------

// Reads one line of the restart file (carriage returns dropped); 0 at its end.
static int cprLine(char* line, size_t size)
{
    if (!fgets(line, (int)size, CPLRST)) return 0;
    if (!strchr(line, '\n') && !feof(CPLRST)) {
        line[1023] = 0;
        error(FATAL, __FILE__, __LINE__, "Buffer overflow: ", line, "");
    }
    line[strcspn(line, "\r\n")] = 0;
    return 1;
}

void cfd_cpr_seek(const CplPath* c)
{
    if (!CPLRST) error(FATAL, __FILE__, __LINE__, NO_CPR, "");
    rewind(CPLRST);
    char line[1024], skip[1024];
    while (cprLine(line, sizeof line)) {
        if (c->name[0] && std::strcmp(line, c->name) == 0) return;
        if (!cprLine(skip, sizeof skip)) break;
    }
    error(FATAL, __FILE__, __LINE__,
          "The path in restart file (cpr) mismatches that in couple definition file (cpl0)", "");
}

int findrstio(const CplPath* c)
{
    cfd_cpr_seek(c);
    char line[1024];
    int direction = 0;
    if (cprLine(line, sizeof line)) sscanf(line, "%d", &direction);
    return direction;
}

}  // namespace vexlar
