// Globals of the simulation network (see network.h): list heads and counts of the airflow
// nodes and paths and of the short-time-step junction and 1-D zone records, and the
// letters the reports give each node and path kind.
#include "model/network.h"

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

char typeLetter(const char* letters, int kind)
{
    return kind >= 0 && kind < (int)std::strlen(letters) ? letters[kind] : '?';
}

}  // namespace vexlar
