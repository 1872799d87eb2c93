// Envelope openings: paths and duct terminals with an end at the ambient. They are
// numbered for the per-opening wind pressures and ambient mass fractions (from the wind-
// pressure file or the co-simulation peer), matched by location against the wind-pressure
// file, and listed for the contaminant summary and exfiltration outputs.
#include "model/env-lists.h"

#include <cmath>

#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/tokens.h"
#include "model/elements.h"
#include "model/network.h"
#include "model/options.h"
#include "model/prj-common.h"
#include "model/prj-data.h"
#include "model/prj-records.h"
#include "model/run-control.h"

namespace vexlar {

int _nEnvPaths_Wpc = 0;
float* _ENV_wP = nullptr;
float* _ENV_wPs = nullptr;
double** _ENV_Mf = nullptr;
int _nEnvPaths_All = 0;
AirPath** _EnvPaths_All = nullptr;
double* _Env_MdotOut_step = nullptr;
double* _Env_MdotIn_step = nullptr;
double* _Env_MassOut_sum = nullptr;
double* _Env_MassIn_sum = nullptr;
double* _Env_MassOut_list = nullptr;
double** _Env_MassPath_list = nullptr;
PathLocation* _PLDLoc0 = nullptr;
PathLocation** _PLDlist = nullptr;
MemBlock* _mp = nullptr;

namespace {

int pldCount = 0;       // locations of the list
int pldDuplicates = 0;
PathLocation** pldTail = &_PLDLoc0;
const float PLD_TOL = 0.0015f;   // openings closer than this in x, y and z share a location
const char* const pldKind[2] = {"path", "duct"};

bool at_ambient(const ZoneRec* z) { return z == &_ambt; }

// Height of a path's opening: its relative height, plus for a path with an element its
// level's reference height and, for doors and two-opening elements, half the opening.
float path_location_z(const PathRec* p)
{
    float z = p->rel_height;
    const AfeRec* e = p->element;
    if (!e)
        return z;
    z += p->level ? p->level->ref_height : 0.0f;
    if (e->type == AFE_DOR_DOOR)
        z += 0.5f * static_cast<const DoorData*>(e->model_data)->door_height;
    else if (e->type == AFE_DOR_PL2)
        z += 0.5f * static_cast<const Pl2Data*>(e->model_data)->extra;
    return z;
}

// The location an opening shares with an earlier one, or a new one; its number.
int locate(int kind, int number, float x, float y, float z)
{
    for (PathLocation* l = _PLDLoc0; l; l = l->next) {
        if (std::fabs(l->x - x) < PLD_TOL && std::fabs(l->y - y) < PLD_TOL
            && std::fabs(l->z - z) < PLD_TOL) {
            if (_echo)
                ulog_printf("  %s %d at (%f %f %f) same as\n  %s %d at (%f %f %f)\n", pldKind[kind],
                            number, x, y, z, pldKind[l->kind], l->element_number, l->x, l->y, l->z);
            pldDuplicates++;
            return l->number;
        }
    }
    PathLocation* l = static_cast<PathLocation*>(alc_ec(&_mp, sizeof(PathLocation), "PLDloc"));
    l->number = ++pldCount;
    l->x = x, l->y = y, l->z = z;
    l->kind = kind;
    l->element_number = number;
    *pldTail = l;
    pldTail = &l->next;
    if (_echo)
        ulog_printf("  %3d : %s %d at (%f %f %f)\n", l->number, kind ? "term" : "path", number, x, y, z);
    return l->number;
}

void free_locations()
{
    if (_mp)
        _mp = fre_ec(_mp, "mp-block");
    if (_PLDlist)
        _PLDlist = fre_vT(_PLDlist, 1, pldCount, "PLDlist");
    _PLDLoc0 = nullptr;
    pldTail = &_PLDLoc0;
}

void locate_paths()
{
    for (int k = 1; k <= _npath; k++) {
        PathRec* p = _PathList[k];
        if (!(p->flags & 0x06))
            continue;
        if (p->x == 0.0f && p->y == 0.0f)
            ulog_printf("PLDpath: undefined location for path %d (%d)\n", p->number, p->flags);
        p->pld_index = locate(0, p->number, p->x, p->y, path_location_z(p));
    }
}

void locate_terminals()
{
    for (int k = 1; k <= _njct; k++) {
        JunctionRec* j = _JctList[k];
        if (!(j->flags & 0x06))
            continue;
        if (!at_ambient(j->zone))
            error(ERROR, __FILE__, __LINE__, "Bad WPC terminal: junction ", intstr(j->number),
                  " is flagged for the WPC file but does not lie in the ambient", "");
        else if (j->x == 0.0f && j->y == 0.0f)
            ulog_printf("PLDterm: undefined location for terminal %d (%d)\n", j->number, j->flags);
        float z = (j->level ? j->level->ref_height : 0.0f) + j->rel_height;
        j->pld_index = locate(1, j->number, j->x, j->y, z);
    }
}

template <class T> T* free_vector(T* v, int lo, int hi, const char* tag)
{
    return v ? fre_vT(v, lo, hi, tag) : nullptr;
}

template <class T> T** free_matrix(T** m, int rlo, int rhi, int clo, int chi)
{
    return m ? fre_mcT(m, rlo, rhi, clo, chi) : nullptr;
}

}  // namespace

void EnvListsWpc_setup()
{
    if (_list > 0)
        ulog_printf("Creating Envelope path lists:\n");
    _nEnvPaths_Wpc = 0;
    for (int k = 1; k <= _npath; k++) {
        PathRec* p = _PathList[k];
        if ((at_ambient(p->from_zone) || at_ambient(p->to_zone)) && !(p->flags & (0x08 | 0x10 | 0x40)))
            p->env_index = ++_nEnvPaths_Wpc;
    }
    for (int k = 1; k <= _njct; k++) {
        JunctionRec* j = _JctList[k];
        if (at_ambient(j->zone) && j->term_type > 0)
            j->env_index = ++_nEnvPaths_Wpc;
    }
    ulog_printf("  %d envelope paths|terminals for WPC\n", _nEnvPaths_Wpc);
    if (_useWPCwp == 0) {
        _ENV_wP = alc_vT<float>(0, _nEnvPaths_Wpc, "_ENV_wP");
        _ENV_wPs = alc_vT<float>(0, _nEnvPaths_Wpc, "_ENV_wPs");
    }
    if (_doBridge == 2 && _nctm > 0 && _wPBridge) {
        _ENV_Mf = alc_mcT<double>(0, _nEnvPaths_Wpc, 0, _nctm - 1, "_ENV_Mf");
        for (int i = 1; i <= _nEnvPaths_Wpc; i++)
            for (int k = 0; k < _nctm; k++)
                _ENV_Mf[i][k] = _ambt.ambient_mf[k];
    }
}

int PLDlist(int mode)
{
    int count = pldCount;
    if ((mode & 0xff) == 0) {
        free_locations();
        pldCount = 0;
        return count;
    }
    free_locations();
    pldCount = pldDuplicates = 0;
    _mp = alc_eci(2000, "mp-block");
    ulog_printf("Creating PLDlist:\n");
    locate_paths();
    locate_terminals();
    ulog_printf("  %d unique locations\n", pldCount);
    ulog_printf("  %d duplicate locations\n", pldDuplicates);
    ulog_printf("  end PLDlist\n\n");
    bool undefined = false;
    if (pldCount > 0) {
        _PLDlist = alc_vT<PathLocation*>(1, pldCount, "PLDlist");
        for (PathLocation* l = _PLDLoc0; l; l = l->next) {
            _PLDlist[l->number] = l;
            undefined |= (l->x == 0.0f && l->y == 0.0f);
        }
    }
    if (undefined)
        error(FATAL, __FILE__, __LINE__,
              "Undefined path/duct locations: give each path or terminal flagged for the WPC file "
              "its X and Y, see XLog file", "");
    return pldCount;
}

int EnvListsCsmCex_setup()
{
    int count = 0;
    for (AirPath* p = _pafp0; p; p = p->next)
        count += (p->from_node == _pambt || p->to_node == _pambt);
    _nEnvPaths_All += count;
    const RunControlData& r = _rcdat;
    if (_nEnvPaths_All > 0 && (r.csm || r.cex_bldg || r.cex_ctm)) {
        _EnvPaths_All = alc_vT<AirPath*>(0, _nEnvPaths_All - 1, "_EnvPaths_All");
        int i = 0;
        for (AirPath* p = _pafp0; p && i < _nEnvPaths_All; p = p->next)
            if (p->from_node == _pambt || p->to_node == _pambt)
                _EnvPaths_All[i++] = p;
        _Env_MdotOut_step = alc_vT<double>(0, _nctm, "_Env_MdotOut_step");
        _Env_MdotIn_step = alc_vT<double>(0, _nctm, "_Env_MdotIn_step");
        _Env_MassOut_sum = alc_vT<double>(0, _nctm, "_Env_MassOut_sum");
        _Env_MassIn_sum = alc_vT<double>(0, _nctm, "_Env_MassIn_sum");
        if (r.cex_bldg || r.cex_ctm)
            _Env_MassOut_list = alc_vT<double>(0, _nctm, "_Env_MassOut_list");
        if (r.cex_ctm)
            _Env_MassPath_list =
                alc_mcT<double>(0, _nctm, 0, _nEnvPaths_All - 1, "_Env_MassPath_list");
    }
    int chars = 0;
    if (_ulog)
        chars = fprintf(_ulog, "  %d envelope paths|terminals|leaks for CSM/CEX\n", _nEnvPaths_All);
    return chars;
}

void EnvLists_free()
{
    int n = _nEnvPaths_Wpc, m = _nEnvPaths_All;
    _ENV_wP = free_vector(_ENV_wP, 0, n, "_ENV_wP");
    _ENV_wPs = free_vector(_ENV_wPs, 0, n, "_ENV_wPs");
    _ENV_Mf = free_matrix(_ENV_Mf, 0, n, 0, _nctm - 1);
    _EnvPaths_All = free_vector(_EnvPaths_All, 0, m - 1, "_EnvPaths_All");
    _Env_MdotOut_step = free_vector(_Env_MdotOut_step, 0, _nctm, "_Env_MdotOut_step");
    _Env_MdotIn_step = free_vector(_Env_MdotIn_step, 0, _nctm, "_Env_MdotIn_step");
    _Env_MassOut_sum = free_vector(_Env_MassOut_sum, 0, _nctm, "_Env_MassOut_sum");
    _Env_MassIn_sum = free_vector(_Env_MassIn_sum, 0, _nctm, "_Env_MassIn_sum");
    _Env_MassOut_list = free_vector(_Env_MassOut_list, 0, _nctm, "_Env_MassOut_list");
    _Env_MassPath_list = free_matrix(_Env_MassPath_list, 0, _nctm, 0, m - 1);
    _nEnvPaths_Wpc = _nEnvPaths_All = 0;
}

}  // namespace vexlar
