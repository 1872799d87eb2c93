// Result file set of the run. Naming and removal are in place, so a run removes the stale
// results of an earlier run and a failed run removes its partial ones. The file writers
// are not built yet: no opener creates a file, so every writer finds its file closed.
#include "output/sim-out.h"

#include <cstdio>

#include "common-src/paths.h"
#include "model/species.h"

namespace vexlar {

FILE* _usim = nullptr;

const char* resultFileName(const char* ext)
{
    pathmerge(_file_name, sizeof _file_name, _pdrive, _pdir, _prjname, ext);
    return _file_name;
}

void removeResultFile(const char* ext) { remove(resultFileName(ext)); }

void closeResultFile(FILE** f, int flag, const char* ext)
{
    if (*f) fclose(*f);
    *f = nullptr;
    if (flag) removeResultFile(ext);
}

void set_usim_open() {}
void set_usim_close(int flag) { closeResultFile(&_usim, flag, ".sim"); }
void writeSim_stepTime(int) {}
void writeSim_daySummary() {}
void writeSim_daySummary_init() {}
void writeResults_stepEnd(int) {}

void extremesInit() {}
void extremesCalc() {}
void writeLog_extremes(FILE*) {}

static FILE *_urzf, *_urzm, *_urz1, *_urxr, *_usrf, *_ucex;

void set_uSTS_ResultFiles(int mode)
{
    if (mode != 2 && mode != 3) return;
    closeResultFile(&_urzf, mode == 3, ".rzf");
    closeResultFile(&_urzm, mode == 3, ".rzm");
    closeResultFile(&_urz1, mode == 3, ".rz1");
    closeResultFile(&_urxr, 0, ".rxr");
}

void writeSTS_ResultFiles(int) {}

void set_usrf(int mode)
{
    if (mode == 2 || mode == 3) closeResultFile(&_usrf, mode == 3, ".srf");
}

void writeSrf_stepTime(int) {}

void set_ubcex_open() {}
void set_ubcex_close(int flag) { closeResultFile(&_ucex, flag, ".cex"); }
void set_udcex_open() {}

// The per-species exfiltration files are named "<project>_<species>.cex".
void set_udcex_close(int flag)
{
    if (!flag) return;
    for (int s = 0; s < _nctm; s++) {
        char name[sizeof _prjname + sizeof _ctm[s].name + 1];
        snprintf(name, sizeof name, "%s_%s", _prjname, _ctm[s].name);
        pathmerge(_file_name, sizeof _file_name, _pdrive, _pdir, name, ".cex");
        remove(_file_name);
    }
}

void writeCex_stepEnd(int) {}
void writeCex_simEnd() {}

}  // namespace vexlar
