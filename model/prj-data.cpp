// Network build. Not built yet: the detail level is taken from run control and no node or
// path is built, so a run ends with " Nothing to simulate".
#include "model/prj-data.h"

#include "model/run-control.h"

namespace vexlar {

int _list = 0;
uint8_t _sim_af_dyn = 0;

int sim_data()
{
    _list = _rcdat.list;
    return 0;
}

}  // namespace vexlar
