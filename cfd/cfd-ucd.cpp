// The .UCD boundary time series of a CFD zone: heat, flux, wall-temperature and species
// series of the blocks and walls whose input entry asks for one. The file is read from its
// start on every read of the input file; the series nodes of the previous read are reused,
// so a re-read allocates only when a series has grown.
#include "cfd/cfd-int.h"

#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"

namespace vexlar {

static void openUcd()
{
    if (UCD) return;
    pathmerge(_cfdprj, sizeof _cfdprj, _cfdpdrive, _cfdpdir, _cfdpname, ".UCD");
    UCD = cfd_open_input(_cfdprj, "r");
    if (!UCD) cfd_open_failed("Unable to locate input file", _cfdprj);
}

void cfd_ucd_rewind()
{
    if (UCD) rewind(UCD);
}

static void skipUcd(int n)
{
    if (!cfd_skip_lines(UCD, n))
        cfd_input_error("CFD input file error .UCD file ended early");
}

// Reads count points ("time,value" each after one skipped line) into the series.
static void readPoints(UcdSeries* s, int count, double offset, const char* tag)
{
    if (count < 0) count = 0;
    if (count) skipUcd(1);
    UcdNode** link = &s->head;
    for (int p = 0; p < count; p++) {
        if (!*link) *link = alc_ecT<UcdNode>(&_cplms, tag);
        UcdNode* node = *link;
        skipUcd(1);
        double t = node->time, v = node->value - offset;
        if (fscanf(UCD, "%lf,%lf", &t, &v) < 2 && feof(UCD))
            cfd_input_error("CFD input file error .UCD file ended early");
        node->time = t;
        node->value = v + offset;
        link = &node->next;
    }
    s->count = count;
}

void cfd_read_ucd(UcdRec* rec, int with_species, double offset)
{
    openUcd();
    skipUcd(3);
    int m = 0;
    if (fscanf(UCD, "%d,%d", &rec->ints[0], &rec->ints[1]) == 2) fscanf(UCD, ",%d", &m);
    rec->nspecies = m;
    for (int s = 1; s <= 5; s++) rec->present[s] = 0, rec->species[s].count = 0;
    if (ENERGY == 1) {
        int h = 0;
        skipUcd(3);
        fscanf(UCD, "%d", &h);
        readPoints(&rec->heat, h, offset, "uheatnt");
    }
    if (!with_species || CONTAMINANT != 1) return;
    for (int n = 0; n < m; n++) {
        int s = 0, p = 0;
        skipUcd(3);
        if (fscanf(UCD, "%d", &s) == 1) fscanf(UCD, ",%d", &p);
        if (s < 1 || s > 5)
            cfd_input_error("CFD input file error .UCD species number %d outside 1 to 5", s);
        rec->present[s] = 1;
        readPoints(&rec->species[s], p, 0.0, "uconnt");
    }
}

}  // namespace vexlar
