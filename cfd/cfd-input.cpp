// Reader of a CFD zone's input file (".CFD"). The file is positional: each item discards
// a fixed number of label lines and then scans its values in a fixed form, so the line
// positions of every later item depend on the earlier ones. The reader runs on every
// solver call and refreshes every value. A file that ends before an item, an item with a
// value missing or a comma after its last (a decimal comma), and every value the solver
// cannot work with end the run with a "CFD input file error" naming the item. No count is believed beyond the
// entries the rest of the file can hold, nor a grid beyond what the machine can hold, so
// nothing is allocated or looped over for a count that cannot be true.
#include <cerrno>
#include <cstdarg>
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

void cfd_input_item(int number, const char* name)
{
    cfd_state.item = number;
    cfd_state.item_name = name;
}

void cfd_input_error(const char* fmt, ...)
{
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    errorf(FATAL, __FILE__, __LINE__, "%s: item %d (%s) of %s", text, cfd_state.item,
           cfd_state.item_name ? cfd_state.item_name : "", cfd_input_name());
}

static void fatal(const char* what) { cfd_input_error("CFD input file error %s", what); }

// Discards the label lines before an item; the file ending first is FATAL.
static void skip(int n, const char* item)
{
    if (!cfd_skip_lines(IN, n)) cfd_input_error("CFD input file error end of file before %s", item);
}

// Starts item number of the file, named for the messages, with its label lines.
static void item(int number, const char* name, int labels)
{
    cfd_input_item(number, name);
    skip(labels, name);
}

// Scans the `count` values of the current item, or ends the run naming it: a value left out
// would keep an earlier or a default value without a word. A comma right after the last
// value is a decimal comma or a value too many, which would shift every value after it.
static const char* itemName() { return cfd_state.item_name ? cfd_state.item_name : ""; }

static void commaAfter()
{
    int c = fgetc(IN);
    if (c == ',')
        cfd_input_error("CFD input file error %s has a comma after its last value (a decimal comma, or a "
                        "value too many)", itemName());
    if (c != EOF) ungetc(c, IN);
}

static void valuesRead(int count, int read)
{
    if (read < count)
        cfd_input_error("CFD input file error %s needs %d value%s, %d read", itemName(), count,
                        count > 1 ? "s" : "", read > 0 ? read : 0);
    commaAfter();
}

static void values(int count, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int read = vfscanf(IN, fmt, ap);
    va_end(ap);
    valuesRead(count, read);
}

// An iteration limit or interval below 1 would end its loop before a single iteration.
static void atLeastOne(const char* what, int v)
{
    if (v < 1) cfd_input_error("CFD input file error %s = %d, must be at least 1", what, v);
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
    cfd_input_error("CFD input file error number of %s = %s beyond what the file holds", item, count);
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
        cfd_input_error("CFD input file error number of cells = %s needs %.0f MB, beyond what this machine holds",
                        counts, bytes / 1e6);
}

static int readEntries(int number, int skipLines, const char* name, int entryBytes)
{
    int n = 0;
    item(number, name, skipLines);
    if (fscanf(IN, "%d", &n) != 1) cfd_input_error("CFD input file error number of %s needed", name);
    if (n < 0) cfd_input_error("CFD input file error negative number of %s", name);
    if (n > fileRoom() / entryBytes) beyondFile(name, intstr(n));
    return n;
}

// A length, width or property the solver can compute with: positive, and neither so large
// nor so small that the products it forms of two such values leave the normal doubles.
static bool usable(double v) { return v > 0 && std::isnormal(v * v); }

static void checkValue(const char* item, int read, double v)
{
    if (!read)
        cfd_input_error("CFD input file error %s unreadable", item);
    if (!usable(v)) cfd_input_error("CFD input file error %s = %g out of range", item, v);
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
    cfd_input_error("CFD input file error %s switch needed", item);
    return 0;
}

// ---- Items 1 to 11: title, times, iteration controls, grid ---------------------------------

static int domainRead;   // domain lengths scanned by the last read

static void readHead()
{
    skipByteOrderMark(IN);
    cfd_input_item(1, "title");
    if (!fgets(TITLE, sizeof TITLE, IN)) fatal("end of file before title");
    TextProc(TITLE);
    item(2, "steady switches", 7);
    if (VSTEADY == 0) CSTEADY = 0;
    double fileStep = 0;
    item(3, "time step", 3);
    values(7, "%lf,%lf,%lf,%d,%d,%d,%d", &fileStep, &TIMEMAX, &CRESIDU, &CMAXITER, &TPLSTEP, &TPLSTEP1, &TPLSTEP2);
    atLeastOne("species iteration limit", CMAXITER);
    TIMESTEP = _time_step;   // the host's steps and end time rule the CFD zone
    TIMEMAX = _simEndTime;
    if (_time_step > 0) TPLSTEP = (int)((float)_time_list / (float)_time_step);
    item(4, "energy switch", 3);
    values(1, "%d", &ENERGY);
    item(5, "convergence criterion", 6);
    values(2, "%lf,%d", &CRITE, &NITMAX);
    atLeastOne("iteration limit", NITMAX);
    item(6, "laminar or turbulent flow", 3);
    LAMIN = readSwitch("TtFf", "laminar or turbulent flow") < 2;
    if (!LAMIN) {
        skip(3, "turbulence model");
        values(1, "%d", &ITUR);
    }
    item(7, "domain size", 8);
    domainRead = fscanf(IN, "%lf,%lf,%lf", &XX, &YY, &ZZ);
    commaAfter();
}

// The widths of one axis; those of a flat axis are all taken as 1, whatever the file says.
static void readWidths(int number, int skipLines, const char* name, const char* axis, int n, int flat,
                       double* del)
{
    ::vexlar::item(number, name, skipLines);
    char item[48];
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
    item(8, "number of cells", 4);
    values(3, "%d,%d,%d", &im2, &jm2, &km2);
    checkCells(im2, jm2, km2);
    cfd_grid_size(im2, jm2, km2);
    cfd_input_item(7, "domain size");   // the lengths are checked once the flat axes are known
    checkDomain();
    cfd_input_item(8, "number of cells");
    if (INITYN || !ICELL) heapgrid();
    cfd_ghost_flags();
    readWidths(9, 4, "x cell widths", "x", IM2, I2DX, DELX);
    readWidths(10, 2, "y cell widths", "y", JM2, I2DY, DELY);
    readWidths(11, 2, "z cell widths", "z", KM2, I2DZ, DELZ);
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
        cfd_input_error("Buffer overflow: %s", name);
    }
    name[strcspn(name, "\r\n")] = 0;
    for (int a = 0; a < 3; a++) {
        if (!cfd_skip_lines(IN, 1) || !fgets(line, sizeof line, IN)) return 0;
        if (sscanf(line, "%d,%d", &loc[2 * a + 1], &loc[2 * a + 2]) != 2)
            cfd_input_error("CFD input file error opening %s needs first,last cells on each axis", name);
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
    item(12, "openings", 3);
    values(2, "%d,%d", &NBIN, &NBOUT);
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
        values(2, "%d,%d", &IBL[n][2 * a + 1], &IBL[n][2 * a + 2]);
        skip(1, "block");
    }
    skip(1, "block kind");
    if (fscanf(IN, "%d", &FSBLOC[n]) != 1) fatal("block kind needed");
    if (FSBLOC[n] >= 0) {
        values(1, ",%lf", &HSOU[n]);
        if (_ctmcpl > 0) projectBlockSource(n);
    } else {
        UCDBLOK[n].kind = -FSBLOC[n];
        UCDBLOK[n].heat_kind = 2;
        cfd_read_ucd(&UCDBLOK[n], 1, 0.0);
    }
}

static void readBlocks()
{
    NBL = readEntries(13, 3, "blocks", ENTRY_BYTES);
    cfd_blocks_reserve(NBL);
    for (int n = 1; n <= NBL; n++)
        for (int s = 1; s <= 5 && NOC > 0; s++) CSOU[n][s] = 0.0, CSOUCUT[n][s] = CFD_SOURCE_CEILING;
    for (int n = 1; n <= NBL; n++) readBlock(n);
}

static void readWallLocation(int* loc, const char* item)
{
    skip(4, item);
    for (int a = 0; a < 3; a++) {
        values(2, "%d,%d", &loc[2 * a + 1], &loc[2 * a + 2]);
        skip(2, item);
    }
}

static void readTempWalls()
{
    NAWT = readEntries(14, 3, "temperature walls", ENTRY_BYTES);
    cfd_twalls_reserve(NAWT);
    for (int n = 1; n <= NAWT; n++) {
        readWallLocation(LNAW[n], "temperature wall");
        double t = 0;
        values(1, "%lf", &t);
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
        cfd_input_error("Wall contamniant source must be set");
    if (c >= 6)
        cfd_input_error("Total number of contamniants at wall must less than 5");
    if (c > NOC)
        cfd_input_error("Total number of contamniants at wall must be less than %d", NOC);
    for (int l = 0; l < c; l++) {
        int s = 0;
        skip(1, "flux wall species");
        if (fscanf(IN, "%d", &s) != 1) fatal("flux wall species number needed");
        if (s < 1 || s > 5)
            cfd_input_error("CFD input file error flux wall %d species number %d outside 1 to 5", n, s);
        values(2, ",%lf,%lf", &CNAW[n][s], &CNAWCUT[n][s]);
    }
}

static void readFluxWalls()
{
    NAWQ = readEntries(15, 3, "flux walls", ENTRY_BYTES);
    cfd_qwalls_reserve(NAWQ);
    for (int n = 1; n <= NAWQ; n++)
        for (int s = 1; s <= 5; s++) CNAW[n][s] = 0.0;
    for (int n = 1; n <= NAWQ; n++) {
        readWallLocation(LNAWQ[n], "flux wall");
        if (fscanf(IN, "%lf", &QNAW[n]) != 1) fatal("wall heat flux needed");
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
    item(16, "convective differential schemes", 7);
    int read = fscanf(IN, "%d,%d,%d,%d,%d", &DIFFSMU, &DIFFSMV, &DIFFSMW, &DIFFSMT, &DIFFSMC);
    if (read < 1) fatal("convective differential schemes needed");
    valuesRead(5, read);
    item(17, "initial temperatures", 3);
    item(18, "buoyancy model", 3);
    values(1, "%d", &BUOYML);
    item(19, "velocity and temperature limits", 3);
    double tmin, tmax;
    values(8, "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &UMIN, &UMAX, &VMIN, &VMAX, &WMIN, &WMAX, &tmin, &tmax);
    TMIN = tmin + 273.0, TMAX = tmax + 273.0;
    item(20, "under relaxation", 3);
    values(8, "%lf,%lf,%lf,%lf,%lf,%lf,%lf,%lf", &URFU, &URFV, &URFW, &URFP, &URFT, &URFEK, &URFED, &URFC);
    if (URFC == 0) fatal("under relaxation for contaminant needed");
    URFEK = URFED = 1.0;
    item(21, "false time steps", 3);
    if (INITYN) {
        values(7, "%le,%le,%le,%le,%le,%le,%le", &DTU, &DTV, &DTW, &DTT, &DTEK, &DTED, &DTC);
        if (DTC == 0) fatal("false time step for contaminant needed");
        if (zeroVelocityStep(DTU, DTV, DTW)) fatal("false time step for velocity needed");
        DTEK = DTED = 1e30;
    }
}

static void readCell(int number, const char* name, int* i, int* j, int* k)
{
    item(number, name, 3);
    values(3, "%d,%d,%d", i, j, k);
    if (*i < 1 || *i > IMAX || *j < 1 || *j > JMAX || *k < 1 || *k > KMAX)
        cfd_input_error("CFD input file error %s outside the grid", name);
}

static void readIterationControls()
{
    item(22, "variable false time step", 3);
    const int steps[] = {1, 1, 1, 2, 0, 0, 0};
    STEP = steps[readSwitch("Tt12Ff0", "variable false time step")];
    if (STEP != 0) {
        item(23, "variable false time steps", 3);
        values(8, "%d,%le,%le,%le,%le,%le,%le,%le", &ISTEP, &CDTU, &CDTV, &CDTW, &CDTT, &CDTEK, &CDTED, &CDTC);
        CDTEK = CDTED = 1e30;
        if (CDTC == 0) fatal("variable false time step for contaminant needed");
        if (zeroVelocityStep(CDTU, CDTV, CDTW)) fatal("variable false time step for velocity needed");
    }
    item(24, "print interval", 3);
    values(1, "%lf", &PINTV);
    readCell(25, "monitoring cell", &IMON, &JMON, &KMON);
    readCell(26, "reference cell", &IREF, &JREF, &KREF);
    item(27, "print window", 3);
    values(6, "%d,%d,%d %d,%d,%d", &IP1, &IP2, &IPSTP, &JP1, &JP2, &JPSTP);
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
        *count[a] = readEntries(28 + a, 3, item[a], SLICE_BYTES);
        cfd_slices_reserve(a, *count[a]);
        for (int s = 0; s < *count[a]; s++)
            if (fscanf(IN, ",%d", &(*list[a])[s]) != 1)
                cfd_input_error("CFD input file error %s needs %d cells, %d read", item[a], *count[a], s);
        commaAfter();
    }
}

// A fluid property: the solver cannot go on without it.
static void readProperty(int number, int skipLines, const char* name, double* v)
{
    item(number, name, skipLines);
    values(1, "%lf", v);
    checkValue(name, 1, *v);
}

static void readProperties()
{
    item(31, "output switches", 3);
    values(3, "%d,%d,%d", &ICOMPU, &EWCYN, &DUMPLOG);
    item(32, "ambient pressure", 7);
    values(1, "%lf", &PAMB);
    item(33, "densities", 4);
    readProperty(34, 2, "kinematic viscosity", &ANU);
    readProperty(35, 2, "thermal conductivity", &AK);
    readProperty(36, 2, "specific heat", &ACP);
    readProperty(37, 2, "Prandtl number", &PRL);
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
