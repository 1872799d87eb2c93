// The CFD zone's result file (".ret"): a table of its inlets and outlets and a dump of the
// cell-centre fields over the print window, written at the end of each solution. The
// stream stays open for the run; each result is written from the file's start and the file
// is cut at its end, so a shorter result never leaves the tail of a longer one behind.
// Also the write checks of every file the zone writes: a file that cannot be created, or
// whose bytes do not all reach it, is an ERROR naming it and counts against the run.
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <ctime>
#include <initializer_list>
#include <unistd.h>

#include "cfd/cfd-int.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/run-control.h"

namespace vexlar {

int cfd_write_failures = 0;

void cfd_write_failed(const char* text, const char* path, const char* detail)
{
    cfd_write_failures++;
    if (detail && detail[0])
        error(ERROR, __FILE__, __LINE__, text, path, ": ", detail, "");
    else
        error(ERROR, __FILE__, __LINE__, text, path, "");
}

const char* cfd_zone_path(const char* ext)
{
    pathmerge(_cfdprj, sizeof _cfdprj, _cfdpdrive, _cfdpdir, _cfdpname, ext);
    return _cfdprj;
}

CfdState cfd_state;

namespace {
int endsWith(const char* s, const char* tail)
{
    size_t n = strlen(s), t = strlen(tail);
    return n >= t && strcmp(s + n - t, tail) == 0;
}
}  // namespace

FILE* cfd_create(const char* path, const char* mode, const char* text)
{
    if (endsWith(path, ".var")) cfd_state.var_written = 1;
    if (endsWith(path, ".cpr")) cfd_state.cpr_written = 1;
    FILE* f = openFile(path, mode);
    if (!f) cfd_write_failed(text, path, strerror(errno));
    return f;
}

void cfd_close_checked(FILE** f, const char* path)
{
    if (!*f) return;
    int failed = fflush(*f) != 0 || ferror(*f);
    failed |= fclose(*f) != 0;
    *f = nullptr;
    if (failed) cfd_write_failed("Could not write result file ", path, "");
}

const CfdZoneFile cfd_zone_files[] = {
    {".cmo", &VEXLAROUT, nullptr, false}, {".mon", &MON, nullptr, false}, {".dat", &TE, &CPLTE, false},
    {".bal", &BA, nullptr, false},        {".ret", &RE, nullptr, false},  {".out", &OUTPUT, nullptr, false},
    {".ewc", nullptr, nullptr, false},    {".var", &VA, nullptr, true},   {nullptr, nullptr, nullptr, false}};

namespace {
// Calls f(stream, path) for every stream of every file of the zone.
template <class Fn> void forZoneStreams(Fn f)
{
    if (CPLTE == TE) CPLTE = nullptr;   // the solver and the coupling share the Tecplot stream
    for (const CfdZoneFile* z = cfd_zone_files; z->ext; z++)
        for (FILE** s : {z->stream, z->second})
            if (s) f(s, z->ext);
}
}  // namespace

int cfd_close_results()
{
    forZoneStreams([](FILE** s, const char* ext) { cfd_close_checked(s, cfd_zone_path(ext)); });
    // The coupling restart is written unless the run started from it.
    if (CPLRST && !_crestart) cfd_close_checked(&CPLRST, cfd_cpr_path());
    if (cfd_state.ewc_unmade)
        cfd_write_failed("CFD surface pressure file asked for and not written (the case has no building block): ",
                         cfd_zone_path(".ewc"), "");
    if (cfd_state.ewc_fault) {
        std::string text = std::string("CFD surface pressure file written ") + cfd_state.ewc_fault + ": ";
        cfd_write_failed(text.c_str(), cfd_zone_path(".ewc"), "");
    }
    cfd_state.ewc_unmade = false;
    cfd_state.ewc_fault = nullptr;
    int failures = cfd_write_failures;
    cfd_write_failures = 0;
    return failures;
}

void cfd_remove_results()
{
    forZoneStreams([](FILE** s, const char*) {
        if (*s) fclose(*s);
        *s = nullptr;
    });
    if (CPLRST) fclose(CPLRST);
    CPLRST = nullptr;
    cfd_write_failures = 0;
    // Before the coupling is set up (an input test), the network names the zone.
    if (!_cfdpname[0] && _rcdat.cfd_cpl != 0) cfd_name_zone_files();
    if (_cfdpname[0])
        for (const CfdZoneFile* z = cfd_zone_files; z->ext; z++)
            if (!z->restart || cfd_state.var_written) removeResultPath(cfd_zone_path(z->ext));
    if (cfd_state.cpr_written) removeResultPath(cfd_cpr_path());
    cfd_state.var_written = cfd_state.cpr_written = 0;
}

void cfd_say(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    vfprintf(stderr, fmt, ap);
    va_end(ap);
    if (!BA) return;
    va_start(ap, fmt);
    vfprintf(BA, fmt, ap);
    va_end(ap);
}

namespace {

// One opening's line pair of the table, and its name and area in the program's log.
void openingRow(const char* head, long n, const char* name, double area,
                double mass, double tk, int kind, double pb)
{
    fprintf(RE, "%s#%-2ld: %s\n         %-12.6lf%-17.6lf%-8.6lf", head, n, name, area, mass,
            tk - 273.0);
    if (kind == 2) fprintf(RE, "  %-16.6lf", pb);
    fprintf(RE, "\n\n");
    ulog_printf("CFD %s %s %g\n", head, name, area);
}

// Values of f at (i, j, 2..KM1), six to a line; cont is the continuation after every sixth.
void fieldRow(double*** f, int i, int j, const char* cont)
{
    for (int k = 2, count = 1; k <= KM1; k++, count++) {
        fprintf(RE, "%13.5le  ", f[i][j][k]);
        if (count == KM1 - 1) fprintf(RE, "\n");
        else if (count % 6 == 0) fprintf(RE, "%s", cont);
    }
}

void fieldBlock(double*** f, int j, const char* label, const char* cont)
{
    for (int i = IP1; i <= IP2; i += IPSTP) {
        fprintf(RE, " I=%-3ld\n%s", (long)(i - 1), label);
        fieldRow(f, i, j, cont);
    }
}

void fieldDump()
{
    // A zero step would never leave the window: take it as 1.
    int jstep = JPSTP > 0 ? JPSTP : 1;
    if (IPSTP <= 0) IPSTP = 1;
    for (int j = JP1; j <= JP2; j += jstep) {
        fprintf(RE, "\t\t\t\tJ=%-2ld\n\n", (long)(j - 1));
        fieldBlock(UP, j, " U=", "\n   ");
        fprintf(RE, "\n");
        fieldBlock(VP, j, " V=", "\n   ");
        fprintf(RE, "\n");
        fieldBlock(WP, j, " W=", "\n   ");
        fprintf(RE, "\n");
        fieldBlock(T, j, " T=", "\n   ");
        for (int n = 1; n <= 5; n++) {
            if (!CACTIVE[n] || !cfd_species(n)) continue;
            char label[8];
            snprintf(label, sizeof label, " C%d=", n);
            fprintf(RE, "\n");
            fieldBlock(cfd_species(n), j, label, "\n   ");
        }
        fprintf(RE, "\n");
        fieldBlock(VTT, j, " VTT=", "\n     ");
        fprintf(RE, "\n");
    }
}

}  // namespace

void prvari()
{
    cfd_say("Writing Result file(RET) at iteration %d...\n", NITER);
    if (I2DX == 1) IP1 = IP2 = 2, IPSTP = 1;
    if (I2DY == 1) JP1 = JP2 = 2, JPSTP = 1;
    if (!RE) return;
    fprintf(RE, "\n\n\t\tNUMERICAL VALUES OF FLOW PARAMETERS\n\n");
    fprintf(RE, "Iterations:%d, Time:%lf(minutes)\n\n", NITER,
            (double)clock() / CLOCKS_PER_SEC / 60.0);
    fprintf(RE, "\nNames    Area(m**2)  Mass Flow(kg/s)  T(C)       POUT(pa)       Pcoexp(pa)"
                "       Pmean(pa)\n");
    for (int n = 1; n <= NBIN; n++)
        openingRow("Inlet", n, NMIN[n], AIN[n], AMASSIN[n], TBIN[n], PITYPE[n],
                   PBIN[n]);
    for (int n = 1; n <= NBOUT; n++)
        openingRow("Outlet", n, NMOUT[n], AOU[n], AMASSOUT[n], TBOUT[n], POTYPE[n],
                   PBOUT[n]);
    ulog_printf("\n");
    ulog_flush();
    fflush(RE);
    fprintf(RE, "\n\n");
    fieldDump();
    // Cut what an earlier, longer result left beyond this one, then start the next from the
    // top. Rewinding clears the stream's error mark, so a write that failed is reported first.
    long end;
    if (fflush(RE) != 0 || ferror(RE))
        cfd_write_failed("Could not write result file ", cfd_zone_path(".ret"), "");
    else if ((end = ftell(RE)) >= 0 && ftruncate(fileno(RE), end) != 0)
        cfd_write_failed("Unable to cut the CFD result file ", cfd_zone_path(".ret"), strerror(errno));
    rewind(RE);
}

}  // namespace vexlar
