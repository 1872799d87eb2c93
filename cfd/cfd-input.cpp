// Reader of a CFD zone's input file (".CFD"). The file is positional: each item discards
// a fixed number of label lines and then scans its values in a fixed form, so the line
// positions of every later item depend on the earlier ones. The reader runs on every
// solver call and refreshes every value; a value that cannot be scanned keeps its old one.
// A file that ends before an item, and every value the solver cannot work with, ends the
// run with a "CFD input file error" naming the item. No count is believed beyond the
// entries the rest of the file can hold, nor a grid beyond what the machine can hold, so
// nothing is allocated or looped over for a count that cannot be true.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cfd/cfd.h"
#include "cfd/cfd-int.h"
#include "common-src/convert.h"
#include "common-src/memory.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "model/elements.h"
#include "model/prj-records.h"
#include "model/source-lists.h"
#include "model/clock.h"

namespace vexlar {

int cfd_skip_lines(FILE* f, int n)
{
    char line[1024];
    for (int l = 0; l < n; l++)
        if (!fgets(line, sizeof line, f)) return 0;
    return 1;
}

FILE* cfd_open_input(const char* path, const char* mode)
{
    FILE* f = fopen(path, mode);
    struct stat st;
    if (f && fstat(fileno(f), &st) == 0 && S_ISDIR(st.st_mode)) {
        fclose(f);
        f = nullptr;
        errno = EISDIR;
    }
    return f;
}

void cfd_open_failed(const char* text, const char* path)
{
    const char* reason = strerror(errno);
    error(FATAL, __FILE__, __LINE__, text, " ", path, ": ", reason, "");
}

static void fatal(const char* what)
{
    error(FATAL, __FILE__, __LINE__, "CFD input file error ", what, "");
}

// Discards the label lines before an item; the file ending first is FATAL.
static void skip(int n, const char* item)
{
    if (!cfd_skip_lines(IN, n))
        errorf(FATAL, __FILE__, __LINE__, "CFD input file error end of file before %s", item);
}

// ---- Bounds of counts and values -------------------------------------------------------------

// The fewest bytes an entry of the file takes: a block, wall or opening entry spans ten
// lines at least, a slice number a comma and a digit, a cell width a digit and a blank.
enum { ENTRY_BYTES = 10, SLICE_BYTES = 2, WIDTH_BYTES = 2 };

const char* cfd_input_name()
{
    static char path[4096];
    pathmerge(path, sizeof path, _cfdpdrive, _cfdpdir, _cfdpname, ".CFD");
    return path;
}

// Bytes of the input file after the current position.
static long fileRoom()
{
    struct stat st;
    long at = ftell(IN);
    if (at < 0 || fstat(fileno(IN), &st) != 0 || !S_ISREG(st.st_mode)) return LONG_MAX;
    return st.st_size > at ? (long)(st.st_size - at) : 0;
}

static void beyondFile(const char* item, const char* count)
{
    errorf(FATAL, __FILE__, __LINE__, "CFD input file error number of %s = %s beyond what %s holds",
           item, count, cfd_input_name());
}

// Bytes this process can hold: the machine's memory, or less under an address-space limit.
static double machineBytes()
{
    double bytes = (double)sysconf(_SC_PHYS_PAGES) * (double)sysconf(_SC_PAGESIZE);
    if (bytes <= 0) bytes = HUGE_VAL;
    struct rlimit r;
    if (getrlimit(RLIMIT_AS, &r) == 0 && r.rlim_cur != RLIM_INFINITY && (double)r.rlim_cur < bytes)
        bytes = (double)r.rlim_cur;
    return bytes;
}

// Cell counts whose widths the file holds and whose arrays the machine holds; a count
// below 1 is left to the grid's own message.
static void checkCells(int im2, int jm2, int km2)
{
    if (im2 < 1 || jm2 < 1 || km2 < 1) return;
    char counts[48];
    snprintf(counts, sizeof counts, "%d,%d,%d", im2, jm2, km2);
    if ((long)im2 + jm2 + km2 > fileRoom() / WIDTH_BYTES) beyondFile("cells", counts);
    double cells = (im2 + 2.0) * (jm2 + 2.0) * (km2 + 2.0), bytes = cfd_grid_bytes(im2, jm2, km2);
    if (cells > INT_MAX || bytes > machineBytes())
        errorf(FATAL, __FILE__, __LINE__,
               "CFD input file error number of cells = %s needs %.0f MB, beyond what this machine holds, in %s",
               counts, bytes / 1e6, cfd_input_name());
}

static int readCount(int skipLines, const char* item, int entryBytes)
{
    int n = 0;
    skip(skipLines, item);
    fscanf(IN, "%d", &n);
    if (n < 0) errorf(FATAL, __FILE__, __LINE__, "CFD input file error negative number of %s", item);
    if (n > fileRoom() / entryBytes) beyondFile(item, intstr(n));
    return n;
}

// A length, width or property the solver can compute with: positive, and neither so large
// nor so small that the products it forms of two such values leave the normal doubles.
static bool usable(double v) { return v > 0 && std::isnormal(v * v); }

static void checkValue(const char* item, int read, double v)
{
    if (!read)
        errorf(FATAL, __FILE__, __LINE__, "CFD input file error %s unreadable in %s", item, cfd_input_name());
    if (!usable(v))
        errorf(FATAL, __FILE__, __LINE__, "CFD input file error %s = %g out of range in %s", item, v,
               cfd_input_name());
}

void TextProc(char* title)
{
    title[strcspn(title, "\r\n")] = 0;
    char* out = title;
    for (char* c = title; *c; c++)
        if (*c != '\'' && *c != '"') *out++ = *c;
    *out = 0;
}

// Reads characters up to the first one of the given set and returns its position in the set.
static int readSwitch(const char* set, const char* item)
{
    for (int c; (c = fgetc(IN)) != EOF;) {
        const char* hit = c ? strchr(set, c) : nullptr;
        if (hit) return (int)(hit - set);
    }
    errorf(FATAL, __FILE__, __LINE__, "CFD input file error %s switch needed", item);
    return 0;
}

// Scans a temperature in degrees Celsius into kelvin; an unscanned value stays as it was.
static void readCelsius(const char* fmt, double* t)
{
    double c;
    if (fscanf(IN, fmt, &c) == 1) *t = c + 273.0;
}

// ---- Items 1 to 11: title, times, iteration controls, grid ---------------------------------

static int domainRead;   // domain lengths scanned by the last read

static void readHead()
{
    if (!fgets(TITLE, sizeof TITLE, IN)) fatal("end of file before title");
    TextProc(TITLE);
    skip(7, "steady switches");
    if (VSTEADY == 0) CSTEADY = 0;
    double fileStep = 0;
    skip(3, "time step");
    fscanf(IN, "%lf", &fileStep);
    fscanf(IN, ",%lf,%lf,%d,%d", &TIMEMAX, &CRESIDU, &CMAXITER, &TPLSTEP);
    fscanf(IN, ",%d,%d", &TPLSTEP1, &TPLSTEP2);
    TIMESTEP = _time_step;   // the host's steps and end time rule the CFD zone
    TIMEMAX = _simEndTime;
    if (_time_step > 0) TPLSTEP = (int)((float)_time_list / (float)_time_step);
    skip(3, "energy switch");
    fscanf(IN, "%d", &ENERGY);
    skip(6, "convergence criterion");
    fscanf(IN, "%lf,%d", &CRITE, &NITMAX);
    skip(3, "laminar or turbulent flow");
    LAMIN = readSwitch("TtFf", "laminar or turbulent flow") < 2;
    if (!LAMIN) {
        skip(3, "turbulence model");
        fscanf(IN, "%d", &ITUR);
    }
    skip(8, "domain size");
    domainRead = fscanf(IN, "%lf,%lf,%lf", &XX, &YY, &ZZ);
}

// The widths of one axis; those of a flat axis are all taken as 1, whatever the file says.
static void readWidths(int skipLines, const char* axis, int n, int flat, double* del)
{
    char item[48];
    snprintf(item, sizeof item, "%s cell widths", axis);
    skip(skipLines, item);
    for (int i = 2; i <= n + 1; i++) {
        int read = fscanf(IN, "%lf", &del[i]) == 1;
        if (flat) continue;
        snprintf(item, sizeof item, "%s cell width %d", axis, i - 1);
        checkValue(item, read, del[i]);
    }
}

// The domain lengths of the axes that are not flat (a flat one is 1).
static void checkDomain()
{
    const char* name[3] = {"domain length x", "domain length y", "domain length z"};
    const double length[3] = {XX, YY, ZZ};
    const int flat[3] = {I2DX, I2DY, I2DZ};
    for (int a = 0; a < 3; a++)
        if (!flat[a]) checkValue(name[a], domainRead > a, length[a]);
}

static void readGrid()
{
    static int areasLogged;
    int im2 = IM2, jm2 = JM2, km2 = KM2;
    skip(4, "number of cells");
    fscanf(IN, "%d,%d,%d", &im2, &jm2, &km2);
    checkCells(im2, jm2, km2);
    cfd_grid_size(im2, jm2, km2);
    checkDomain();
    if (INITYN || !ICELL) heapgrid();
    cfd_ghost_flags();
    readWidths(4, "x", IM2, I2DX, DELX);
    readWidths(2, "y", JM2, I2DY, DELY);
    readWidths(2, "z", KM2, I2DZ, DELZ);
    cfd_grid_geometry();
    if (!areasLogged) cfd_log_areas();
    areasLogged = 1;
}

// ---- Item 12: openings -------------------------------------------------------------------------

int cfd_read_opening(char* name, int* loc)
{
    char line[1024];
    if (!cfd_skip_lines(IN, 2) || !fgets(name, 1024, IN)) return 0;
    if (!strchr(name, '\n') && !feof(IN)) {
        name[1023] = 0;
        error(FATAL, __FILE__, __LINE__, "Buffer overflow: ", name, "");
    }
    name[strcspn(name, "\r\n")] = 0;
    for (int a = 0; a < 3; a++) {
        if (!cfd_skip_lines(IN, 1) || !fgets(line, sizeof line, IN)) return 0;
        sscanf(line, "%d,%d", &loc[2 * a + 1], &loc[2 * a + 2]);
    }
    return cfd_skip_lines(IN, 1);
}

// Uncoupled form: the file's own openings, inlets first, as velocity or mass-flow openings.
static void readFileOpenings()
{
    cfd_openings_reserve(NBIN, NBOUT);
    for (int n = 1; n <= NBIN; n++) {
        if (!cfd_read_opening(NMIN[n], LBIN[n])) fatal("end of file before inlet");
        PITYPE[n] = 1;
    }
    for (int n = 1; n <= NBOUT; n++) {
        if (!cfd_read_opening(NMOUT[n], LBOUT[n])) fatal("end of file before outlet");
        POTYPE[n] = 1;
    }
}

static void readOpenings(int coupled)
{
    skip(3, "number of openings");
    fscanf(IN, "%d,%d", &NBIN, &NBOUT);
    if (NBIN < 0 || NBOUT < 0) fatal("negative number of openings");
    if ((long)NBIN + NBOUT > fileRoom() / ENTRY_BYTES) {
        char counts[32];
        snprintf(counts, sizeof counts, "%d,%d", NBIN, NBOUT);
        beyondFile("openings", counts);
    }
    if (!coupled)
        readFileOpenings();
    else if (!incfd())
        error(FATAL, __FILE__, __LINE__, "Error when getting boundary conditions from VEXLAR", "");
}

// ---- Items 13 to 15: blocks and walls -----------------------------------------------------------

// Takes the generation rate of the first trace source whose CFD name starts the block name.
static void projectBlockSource(int n)
{
    for (CssRec* css = _Csst0; css; css = css->next) {
        size_t len = strnlen(css->cfd_name, sizeof css->cfd_name);
        if (!len || strncmp(css->cfd_name, NMBL[n], len) != 0) continue;
        if (css->cse && css->cse->model_fn) css->cse->model_fn(css);
        int s = css->cse ? css->cse->species : -1;
        if (s >= 0 && s < 5) CSOU[n][s + 1] = css->gen_rate;
        return;
    }
}

static void readBlock(int n)
{
    skip(2, "block");
    if (!fgets(NMBL[n], 4097, IN)) fatal("end of file before block");
    for (int a = 0; a < 3; a++) {
        skip(1, "block");
        fscanf(IN, "%d,%d", &IBL[n][2 * a + 1], &IBL[n][2 * a + 2]);
        skip(1, "block");
    }
    skip(1, "block kind");
    fscanf(IN, "%d", &FSBLOC[n]);
    if (FSBLOC[n] >= 0) {
        fscanf(IN, ",%lf", &HSOU[n]);
        if (_ctmcpl > 0) projectBlockSource(n);
    } else {
        UCDBLOK[n].kind = -FSBLOC[n];
        UCDBLOK[n].heat_kind = 2;
        cfd_read_ucd(&UCDBLOK[n], 1, 0.0);
    }
}

static void readBlocks()
{
    NBL = readCount(3, "blocks", ENTRY_BYTES);
    cfd_blocks_reserve(NBL);
    for (int n = 1; n <= NBL; n++)
        for (int s = 1; s <= 5 && NOC > 0; s++) CSOU[n][s] = 0.0, CSOUCUT[n][s] = CFD_SOURCE_CEILING;
    for (int n = 1; n <= NBL; n++) readBlock(n);
}

static void readWallLocation(int* loc, const char* item)
{
    skip(4, item);
    for (int a = 0; a < 3; a++) {
        fscanf(IN, "%d,%d", &loc[2 * a + 1], &loc[2 * a + 2]);
        skip(2, item);
    }
}

static void readTempWalls()
{
    NAWT = readCount(3, "temperature walls", ENTRY_BYTES);
    cfd_twalls_reserve(NAWT);
    for (int n = 1; n <= NAWT; n++) {
        readWallLocation(LNAW[n], "temperature wall");
        double t = 0;
        if (fscanf(IN, "%lf", &t) != 1) continue;
        if (cfd_series_mark(t)) {
            TNAW[n] = CFD_SERIES_TEMPERATURE;
            cfd_read_ucd(&UCDTW[n], 0, 273.0);
        } else {
            TNAW[n] = t + 273.0;
        }
    }
}

static void readWallSpecies(int n)
{
    int c = 0;
    fscanf(IN, ",%d", &c);
    if (c < 0)
        error(FATAL, __FILE__, __LINE__, "Wall contamniant source must be set", "");
    if (c >= 6)
        error(FATAL, __FILE__, __LINE__, "Total number of contamniants at wall must less than 5", "");
    if (c > NOC)
        errorf(FATAL, __FILE__, __LINE__,
               "Total number of contamniants at wall must be less than %d", NOC);
    for (int l = 0; l < c; l++) {
        int s = 0;
        skip(1, "flux wall species");
        fscanf(IN, "%d", &s);
        if (s < 1 || s > 5)
            errorf(FATAL, __FILE__, __LINE__,
                   "CFD input file error flux wall %d species number %d outside 1 to 5", n, s);
        fscanf(IN, ",%lf,%lf", &CNAW[n][s], &CNAWCUT[n][s]);
    }
}

static void readFluxWalls()
{
    NAWQ = readCount(3, "flux walls", ENTRY_BYTES);
    cfd_qwalls_reserve(NAWQ);
    for (int n = 1; n <= NAWQ; n++)
        for (int s = 1; s <= 5; s++) CNAW[n][s] = 0.0;
    for (int n = 1; n <= NAWQ; n++) {
        readWallLocation(LNAWQ[n], "flux wall");
        fscanf(IN, "%lf", &QNAW[n]);
        if (cfd_series_mark(QNAW[n]))
            cfd_read_ucd(&UCDQCW[n], 1, 0.0);
        else
            readWallSpecies(n);
    }
}

// A false time step of 0 for a solved velocity component would divide by zero.
static bool zeroVelocityStep(double u, double v, double w)
{
    return (!I2DX && u == 0) || (!I2DY && v == 0) || (!I2DZ && w == 0);
}

// ---- Items 16 to 27: schemes, relaxation, false time steps, monitoring ------------------------

static void readSchemes()
{
    skip(7, "convective differential schemes");
    if (fscanf(IN, "%d,%d,%d,%d,%d", &DIFFSMU, &DIFFSMV, &DIFFSMW, &DIFFSMT, &DIFFSMC) < 1)
        fatal("convective differential schemes needed");
    skip(3, "initial temperatures");
    skip(3, "buoyancy model");
    fscanf(IN, "%d", &BUOYML);
    skip(3, "velocity and temperature limits");
    fscanf(IN, "%lf,%lf,%lf,%lf,%lf,%lf", &UMIN, &UMAX, &VMIN, &VMAX, &WMIN, &WMAX);
    readCelsius(",%lf", &TMIN);
    readCelsius(",%lf", &TMAX);
    skip(3, "under relaxation");
    fscanf(IN, "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &URFU, &URFV, &URFW, &URFP, &URFT, &URFEK,
           &URFED, &URFC);
    if (URFC == 0) fatal("under relaxation for contaminant needed");
    URFEK = URFED = 1.0;
    skip(3, "false time steps");
    if (INITYN) {
        fscanf(IN, "%le,%le,%le,%le,%le,%le,%le", &DTU, &DTV, &DTW, &DTT, &DTEK, &DTED, &DTC);
        if (DTC == 0) fatal("false time step for contaminant needed");
        if (zeroVelocityStep(DTU, DTV, DTW)) fatal("false time step for velocity needed");
        DTEK = DTED = 1e30;
    }
}

static void readCell(const char* item, int* i, int* j, int* k)
{
    skip(3, item);
    fscanf(IN, "%d,%d,%d", i, j, k);
    if (*i < 1 || *i > IMAX || *j < 1 || *j > JMAX || *k < 1 || *k > KMAX)
        errorf(FATAL, __FILE__, __LINE__, "CFD input file error %s outside the grid", item);
}

static void readIterationControls()
{
    skip(3, "variable false time step");
    const int steps[] = {1, 1, 1, 2, 0, 0, 0};
    STEP = steps[readSwitch("Tt12Ff0", "variable false time step")];
    if (STEP != 0) {
        skip(3, "variable false time steps");
        fscanf(IN, "%d,%le,%le,%le,%le,%le,%le,%le", &ISTEP, &CDTU, &CDTV, &CDTW, &CDTT,
               &CDTEK, &CDTED, &CDTC);
        CDTEK = CDTED = 1e30;
        if (CDTC == 0) fatal("variable false time step for contaminant needed");
        if (zeroVelocityStep(CDTU, CDTV, CDTW)) fatal("variable false time step for velocity needed");
    }
    skip(3, "print interval");
    fscanf(IN, "%lf", &PINTV);
    readCell("monitoring cell", &IMON, &JMON, &KMON);
    readCell("reference cell", &IREF, &JREF, &KREF);
    skip(3, "print window");
    fscanf(IN, "%d,%d,%d %d,%d,%d", &IP1, &IP2, &IPSTP, &JP1, &JP2, &JPSTP);
    IP1++, IP2++, JP1++, JP2++;
    auto in = [](int v, int hi) { return v >= 1 && v <= hi; };
    if (!in(IP1, IMAX) || !in(IP2, IMAX) || !in(JP1, JMAX) || !in(JP2, JMAX) || IPSTP < 1 ||
        JPSTP < 1)
        fatal("print window outside the grid");
}

// ---- Items 28 to 37: slices, output switches, fluid properties -------------------------------

static void readSlices()
{
    const char* item[3] = {"x slices", "y slices", "z slices"};
    int* count[3] = {&NXSLCF, &NYSLCF, &NZSLCF};
    int** list[3] = {&XSLCF, &YSLCF, &ZSLCF};
    for (int a = 0; a < 3; a++) {
        *count[a] = readCount(3, item[a], SLICE_BYTES);
        cfd_slices_reserve(a, *count[a]);
        for (int s = 0; s < *count[a]; s++) fscanf(IN, ",%d", &(*list[a])[s]);
    }
}

// A fluid property: the solver cannot go on without it.
static void readProperty(int skipLines, const char* item, double* v)
{
    skip(skipLines, item);
    int read = fscanf(IN, "%lf", v) == 1;
    checkValue(item, read, *v);
}

static void readProperties()
{
    skip(3, "output switches");
    fscanf(IN, "%d,%d,%d", &ICOMPU, &EWCYN, &DUMPLOG);
    skip(7, "ambient pressure");
    fscanf(IN, "%lf", &PAMB);
    skip(4, "densities");
    readProperty(2, "kinematic viscosity", &ANU);
    readProperty(2, "thermal conductivity", &AK);
    readProperty(2, "specific heat", &ACP);
    readProperty(2, "Prandtl number", &PRL);
}

int input(int coupled)
{
    ulog_printf("===== input() =====\n");
    GRA = 9.8055;
    NULLP = CFD_MIN_START;   // the smallest boundary pressure handed over
    if (!_cplms) _cplms = alc_eci(8000, "cplms-block");
    if (NOC > 5) {
        error(WARNING, __FILE__, __LINE__, "The CFD zone solves only the first 5 contaminants", "");
        NOC = 5;
    }
    cfd_ucd_rewind();
    readHead();
    readGrid();
    readOpenings(coupled);
    readBlocks();
    readTempWalls();
    readFluxWalls();
    readSchemes();
    readIterationControls();
    readSlices();
    readProperties();
    return 1;
}

}  // namespace vexlar
