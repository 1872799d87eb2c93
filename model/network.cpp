// Globals of the simulation network (see network.h): list heads and counts of the airflow
// nodes and paths and of the short-time-step junction and 1-D zone records.
#include "model/network.h"

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

}  // namespace vexlar
