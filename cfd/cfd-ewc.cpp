// The CFD zone's surface pressure file (".ewc"): the pressure field around the building
// blocks of a wind case, for the tools that derive wind pressures on building surfaces.
// One record: the reference state, the region the blocks cover, the blocks, the face
// coordinates and the pressure and solid flag of every cell around them.
#include <algorithm>
#include <cstring>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "common-src/paths.h"

namespace vexlar {


namespace {

struct Region { int lo[3], hi[3]; };   // cell index ranges along x, y, z

Region buildingRegion()
{
    Region r;
    for (int a = 0; a < 3; a++) {
        r.lo[a] = IBL[1][2 * a + 1], r.hi[a] = IBL[1][2 * a + 2];
        for (int n = 2; n <= NBL; n++) {
            r.lo[a] = std::min(r.lo[a], IBL[n][2 * a + 1]);
            r.hi[a] = std::max(r.hi[a], IBL[n][2 * a + 2]);
        }
    }
    return r;
}

// Face coordinates from..to; the faces below the array's first index (a region starting at
// the first interior cell) lie at the domain's low wall, 0.
void putFaces(FILE* f, const double* face, int from, int to)
{
    for (int i = from; i <= to; i++) cfd_put_f64(f, i >= 1 ? face[i] : 0.0);
}

void record(FILE* f, const Region& r)
{
    cfd_put_f64(f, PAMB);
    cfd_put_f64(f, OPERDENS);
    for (int a = 0; a < 3; a++) cfd_put_i32(f, r.hi[a] - r.lo[a] + 1);
    cfd_put_i32(f, 0);
    for (int a = 0; a < 3; a++) cfd_put_i32(f, r.lo[a]), cfd_put_i32(f, r.hi[a]);
    cfd_put_i32(f, NBL);
    for (int n = 1; n <= NBL; n++) {
        cfd_put_i32(f, 0);
        for (int e = 1; e <= 6; e++) cfd_put_i32(f, IBL[n][e]);
    }
    putFaces(f, XF, r.lo[0] - 2, r.hi[0] + 1);
    putFaces(f, YF, r.lo[1] - 2, r.hi[1] + 1);
    putFaces(f, ZF, 1, r.hi[2] + 1);
    for (int i = r.lo[0] - 1; i <= r.hi[0] + 1; i++)
        for (int j = r.lo[1] - 1; j <= r.hi[1] + 1; j++)
            for (int k = 2; k <= r.hi[2] + 1; k++) {
                cfd_put_f64(f, P[i][j][k]);
                cfd_put_i32(f, ICELL[i][j][k]);
            }
}

}  // namespace

void makeewc()
{
    if (NBL < 1) {
        error(ERROR, __FILE__, __LINE__, "Error makeewc: at least one building block is needed",
              "");
        cfd_state.ewc_unmade = true;
        return;
    }
    FILE* f = cfd_create(cfd_zone_path(".ewc"), "wb", "Unable to open surface pressure file ");
    if (!f) return;
    Region r = buildingRegion();
    int n = 1;
    while (n <= NBL && strncmp(NMBL[n], "REFBLOCK", 8) != 0) n++;
    if (n > NBL) {
        error(ERROR, __FILE__, __LINE__, "Error makeewc: a reference building block needs to be set",
              "");
        cfd_state.ewc_fault = "without a reference block (a block named REFBLOCK...)";
    }
    if (r.lo[2] != 2) {
        error(ERROR, __FILE__, __LINE__,
              "Error makeewc: at least one building block should be on ground", "");
        if (!cfd_state.ewc_fault) cfd_state.ewc_fault = "without a building block on the ground";
    }
    record(f, r);
    cfd_close_checked(&f, cfd_zone_path(".ewc"));
    fprintf(stderr, "End of generate wdb file for wind pressure coefficients\n");
}

}  // namespace vexlar
