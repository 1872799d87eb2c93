// The time-step loop and the day maxima of the node mass fractions. The loop and the
// schedule and control evaluation are not built yet: a transient run ends right after its
// steady start.
#include "simulation/sim-common.h"

#include "model/clock.h"
#include "model/network.h"
#include "model/prj-common.h"

namespace vexlar {

void sim_loop(int) {}

void noteMaxAirNodeConcs()
{
    for (AirNode* n = _afnd0; n; n = n->next)
        for (int s = 0; n->mf && s < _nctm; s++) {
            float mf = (float)n->mf[s];
            if (mf > _Mfmax[n->index][s]) _Mfmax[n->index][s] = mf;
        }
}
void setSchedulesAndControls(int, int) {}

}  // namespace vexlar
