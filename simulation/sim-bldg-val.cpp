// The pieces both building tests share: node volumes by class, the checks that a
// building can be tested, the opening of the ".val" report and its volume table. A test
// that cannot be made leaves no report and no result files behind, so that nothing of an
// earlier run passes for its result.
#include "simulation/sim-bldg-int.h"
#include "simulation/sim-bldg-pres.h"

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "model/network.h"
#include "model/prj-records.h"
#include "output/sim-out.h"
#include "output/sqlite-out.h"

namespace vexlar {

VolumeClass volumeClass(const AirNode* n)
{
    if (n->kind != 0) return VOL_DUCTS;
    if (n->number < 0 || n->number > _nzone)
        error(FATAL, __FILE__, __LINE__, "Invalid zone number: ", intstr(n->number), "");
    if (n->number == 0) return VOL_NONE;
    if (n->flags & NODE_AHS) return VOL_DUCTS;
    if (n->flags & NODE_AMBIENT) return VOL_UNCONDITIONED;
    return VOL_CONDITIONED;
}

BldgVolumes bldgVolumes()
{
    BldgVolumes v{0.0, 0.0, 0.0};
    for (const AirNode* n = _afnd0; n; n = n->next) {
        switch (volumeClass(n)) {
        case VOL_CONDITIONED: v.conditioned += n->volume; break;
        case VOL_DUCTS: v.ducts += n->volume; break;
        case VOL_UNCONDITIONED: v.unconditioned += n->volume; break;
        case VOL_NONE: break;
        }
    }
    return v;
}

bool haveConditionedZone()
{
    for (const AirNode* n = _afnd0; n; n = n->next)
        if (n->kind == 0 && n->number > 0 && !(n->flags & (NODE_AHS | NODE_AMBIENT))) return true;
    return false;
}

bool haveEnvelopePath(bool paths_only)
{
    for (const AirPath* p = _pafp0; p; p = p->next)
        if (p->env_dir != 0 && (!paths_only || p->kind == 0)) return true;
    return false;
}

void declineTest(const char* reason)
{
    error(ERROR, __FILE__, __LINE__, reason, "");
    removeResultFile(".val");
    set_usim_close(1);
    set_usql_close(1);
}

// The report this run is writing; set once the report is created, so that a run ending by
// a FATAL removes a half-written report but never an earlier run's.
static FILE* s_uval;
static int s_valOpened;

FILE* openValReport()
{
    s_uval = createResultFile(".val", "w", "VAL");
    s_valOpened = 1;
    return s_uval;
}

void closeValReport() { closeResultFile(&s_uval, 0, ".val"); }

void set_uval_close(int flag) { closeResultFile(&s_uval, flag && s_valOpened, ".val"); }

void writeVolumes(FILE* f, const BldgVolumes& v)
{
    const struct {
        const char* title;
        double m3;
    } rows[] = {{"Conditioned zones", v.conditioned},
                {"Ducts & AHS (conditioned)", v.ducts},
                {"Unconditioned zones", v.unconditioned}};
    for (const auto& r : rows)
        fprintf(f, "%s\n%.2f\tm^3\n%.1f\tcuft\n", r.title, r.m3, r.m3 * VAL_CUFT_PER_M3);
}

}  // namespace vexlar
