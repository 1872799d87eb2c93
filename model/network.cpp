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

static int nodeNonFinite(const AirNode* n, char* text, int len)
{
    const char* what = !std::isfinite(n->pressure) ? "pressure"
                     : !std::isfinite(n->density) ? "density"
                     : !std::isfinite(n->temperature) ? "temperature" : nullptr;
    for (int s = 0; !what && n->mf && s < _nctm; s++)
        if (!std::isfinite(n->mf[s])) what = "mass fraction";
    if (what) snprintf(text, len, "%s of node %d%c", what, n->number, _ntype[n->kind]);
    return what != nullptr;
}

int networkNonFinite(char* text, int len)
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (nodeNonFinite(n, text, len)) return 1;
    for (const AirPath* p = _pafp0; p; p = p->next) {
        if (std::isfinite(p->mass_flow[0]) && std::isfinite(p->mass_flow[1])) continue;
        snprintf(text, len, "flow of path %d%c", p->number, _ftype[p->kind]);
        return 1;
    }
    return 0;
}

char typeLetter(const char* letters, int kind)
{
    return kind >= 0 && kind < (int)std::strlen(letters) ? letters[kind] : '?';
}

}  // namespace vexlar
