// Globals of the simulation network (see network.h): list heads and counts of the airflow
// nodes and paths and of the short-time-step junction and 1-D zone records, and the
// letters the reports give each node and path kind.
#include "model/network.h"

#include <cmath>
#include <cstdio>

#include "model/prj-common.h"

#include <cstring>

namespace vexlar {

AirNode* _afnd0;
int _nafnd;
AirNode* _pambt;
AirPath* _pafp0;
int _nafpt;
JunctionNode* _jctn0;
Cd1Zone* _cdzn0;
int _nCFDzone;
int _nCmctm;
int _nCcctm;
const char _ntype[] = "zjt";
const char _ftype[] = "pdtl";

static int nodeNonFinite(const AirNode* n, char* text, int len, bool single)
{
    const char* what = !resultFits(n->pressure, single) ? "pressure"
                     : !resultFits(n->density, single) ? "density"
                     : !resultFits(n->temperature, single) ? "temperature" : nullptr;
    for (int s = 0; !what && n->mf && s < _nctm; s++)
        if (!resultFits(n->mf[s], single)) what = "mass fraction";
    if (!what && !resultFits(n->gauge_pressure, single)) what = "gauge pressure";
    if (what) snprintf(text, len, "%s of node %d%c", what, n->number, _ntype[n->kind]);
    return what != nullptr;
}

static int pathNonFinite(const AirPath* p, char* text, int len, bool single)
{
    bool flows = resultFits(p->mass_flow[0], single) && resultFits(p->mass_flow[1], single);
    const char* what = !flows ? "flow" : !resultFits(p->dp, single) ? "pressure difference" : nullptr;
    if (what) snprintf(text, len, "%s of path %d%c", what, p->number, _ftype[p->kind]);
    return what != nullptr;
}

int networkNonFinite(char* text, int len, bool single)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (nodeNonFinite(n, text, len, single)) return 1;
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (pathNonFinite(p, text, len, single)) return 1;
    return 0;
}

char typeLetter(const char* letters, int kind)
{
    return kind >= 0 && kind < (int)std::strlen(letters) ? letters[kind] : '?';
}

}  // namespace vexlar
