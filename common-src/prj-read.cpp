// The project-file reader's frame: the header, the order of the sections, the Run Control
// section, and the helpers every section reader shares (counts, record numbers, the end
// word, index arrays). A fault is a counted ERROR; reading stops after the record that
// raised it and no later section is read.
#include "common-src/prj-read.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "common-src/prj-read-common.h"
#include "common-src/prj-read-elements.h"
#include "common-src/tokens.h"
#include "model/options.h"
#include "model/prj-records.h"
#include "model/run-control.h"

namespace vexlar {

int prj_errors() { return error(-1, __FILE__, __LINE__, "test", ""); }

// Where the reader stands, for the line that follows every ERROR of the read: the file,
// its line, the section (none for the header), the record and the field when known.
static struct {
    const char* file;
    const char* section;
    int record;
    const char* field;
} s_place;

// The record count of the section being read, -1 when it has none (Run Control, the
// concentration sections); the section-end message says it.
static int s_count = -1;

void prj_enter_section(const char* section)
{
    s_count = -1;
    s_place.section = section;
    s_place.record = 0;
    s_place.field = nullptr;
}

void prj_at_record(int k)
{
    s_place.record = k;
    s_place.field = nullptr;
}

void prj_at_field(const char* field) { s_place.field = field; }

static const char* prj_place()
{
    static char text[4096 + 256];
    int n = snprintf(text, sizeof text, "in %s, line %d, ", s_place.file, nxtline());
    if (!s_place.section) {
        snprintf(text + n, sizeof text - n, "file header");
        return text;
    }
    n += snprintf(text + n, sizeof text - n, "%s section", s_place.section);
    if (s_place.record > 0 && n < (int)sizeof text)
        n += snprintf(text + n, sizeof text - n, ", record %d", s_place.record);
    if (s_place.field && n < (int)sizeof text)
        snprintf(text + n, sizeof text - n, ", field %s", s_place.field);
    return text;
}

int prj_count_fits(int n)
{
    // Every item takes a word and a separator, the last one perhaps only its word.
    long left = nxtleft();
    return left < 0 || (long)n <= (left + 1) / 2;
}

int prj_more() { return !prj_errors() && !nxteof(); }

int prj_section_count(const char* section)
{
    prj_enter_section(section);
    int n = readIX(1);
    if (n < 0) {
        error(ERROR, __FILE__, __LINE__, "Negative record count in ", section, " section: ",
              intstr(n), "");
        return 0;
    }
    if (!prj_count_fits(n)) {
        error(ERROR, __FILE__, __LINE__, "Record count in ", section,
              " section is larger than the rest of the file: ", intstr(n), "");
        return 0;
    }
    s_count = n;
    return n;
}

int prj_record_number(int k, const char* mismatch)
{
    int before = prj_errors();
    int found = readIX(1);
    if (found == k) return 0;
    if (prj_errors() != before) return 1;   // a word that is no number, reported as such
    char said[160];
    if (found == -999)
        snprintf(said, sizeof said,
                 " expected, -999 found: the section ends after %d record%s, so set its count "
                 "to %d", k - 1, k == 2 ? "" : "s", k - 1);
    else
        snprintf(said, sizeof said,
                 " expected, %d found: number the records of a section 1, 2, 3, ... in file order",
                 found);
    error(ERROR, __FILE__, __LINE__, mismatch, intstr(k), said, "");
    return 1;
}

// What stands where the end word should: the word, or the end of the file.
static void end_word_found(const char* word, char* out, size_t len)
{
    if (word) snprintf(out, len, "the file has %s where -999 should end the section", word);
    else snprintf(out, len, "the file ends where -999 should end the section");
}

int prj_section_end2(const char* ok_name, const char* err_name)
{
    prj_at_record(0);
    int errors = prj_errors();
    static char word[4096];
    const char* got = nxtwrd(word, NXT_FIRST_WORD, sizeof word);
    int16_t end = 0;
    if (got && shortcon(word, &end) == 0 && end == -999) {
        if (_ulog) {
            fprintf(_ulog, "%s section read successfully.\n", ok_name);
            fflush(_ulog);
        }
        return 0;
    }
    // A record that raised its own ERROR stopped the reading inside the section: the end
    // word is not where it belongs, and saying so would send the user after the count.
    if (errors) return 1;
    char found[160], counted[128] = "";
    end_word_found(got, found, sizeof found);
    if (s_count >= 0)
        snprintf(counted, sizeof counted, "the count says %d record%s; after %s ", s_count,
                 s_count == 1 ? "" : "s", s_count == 1 ? "it" : "them");
    else if (streql(err_name, "Run Control"))
        snprintf(counted, sizeof counted, "after its 33 lines ");
    errorf(ERROR, __FILE__, __LINE__,
           "PRJ read error in %s section; enable the echo feature then see Log file for "
           "where error occurred: %s%s",
           err_name, counted, found);
    return 1;
}

int prj_section_end(const char* section) { return prj_section_end2(section, section); }

void prj_read_records(int n, const char* mismatch, PRJ_RECORD_FN read_record, void* ctx)
{
    for (int k = 1; k <= n; k++) {
        prj_at_record(k);
        // A wrong number is no record to read on: its words would be taken for others.
        if (prj_record_number(k, mismatch)) break;
        read_record(k, ctx);
        if (prj_errors()) break;
    }
}

void skip_data()
{
    while (nxtwrd(_string, NXT_LINE, sizeof _string))
        if (strncmp(_string, "-999", 4) == 0) break;
}

void prj_read_name(char* name, int len) { nxtwrd(name, NXT_WORD, len); }

void prj_skip_description() { nxtwrd(_string, NXT_LINE, sizeof _string); }

int prj_ref(int value, int lo, int hi, const char* message, int k)
{
    if (value >= lo && value <= hi) return 0;
    error(ERROR, __FILE__, __LINE__, message, intstr(k), "");
    return 1;
}

void prj_read_value_file(int16_t* type, char* name)
{
    *type = (int16_t)readI2(0);
    if (*type == VF_CONTINUOUS || *type == VF_DISCRETE) prj_read_name(name, 16);
}

void prj_skip_trelbo_line()
{
    if (prjType == 1) prj_skip_description();
}

void** prj_list_alc(int n, const char* tag)
{
    return n > 0 ? static_cast<void**>(alc_v(1, n, sizeof(void*), tag)) : nullptr;
}

void** prj_list_fre(void** list, int n, const char* tag)
{
    if (list && n > 0) fre_v(list, 1, n, sizeof(void*), tag);
    return nullptr;
}

// ---- Run Control --------------------------------------------------------------------------

// One value of a run-control line: its reader and where it goes (null: read, not used).
//   i I2 -> int   S I2 -> int16   x IX -> int   r R4 -> float   p R4 -> double
//   d R8 -> double   h HMS -> int   m MD -> int   y MDx -> int
struct RcValue {
    char type;
    void* dest;
    const char* name = nullptr;   // the field, named where a bad word is reported
};
#define RC(type, rec, field) RcValue{type, &(rec).field, #field}

static void read_rc_value(RcValue v, int newline)
{
    prj_at_field(v.name);
    switch (v.type) {
    case 'i': { int x = (int16_t)readI2(newline); if (v.dest) *(int*)v.dest = x; break; }
    case 'S': { int16_t x = (int16_t)readI2(newline); if (v.dest) *(int16_t*)v.dest = x; break; }
    case 'x': { int x = readIX(newline); if (v.dest) *(int*)v.dest = x; break; }
    case 'r': { float x = readR4(newline); if (v.dest) *(float*)v.dest = x; break; }
    case 'p': { double x = readR4(newline); if (v.dest) *(double*)v.dest = x; break; }
    case 'd': { double x = readR8(newline); if (v.dest) *(double*)v.dest = x; break; }
    case 'h': { int x = readHMS(newline); if (v.dest) *(int*)v.dest = x; break; }
    case 'm': { int x = readMD(newline); if (v.dest) *(int*)v.dest = x; break; }
    case 'y': { int x = readMDx(newline); if (v.dest) *(int*)v.dest = x; break; }
    }
}

// A line of values: the first is the first word of a new line.
static void read_rc_line(std::initializer_list<RcValue> values)
{
    int newline = 1;
    for (RcValue v : values) {
        read_rc_value(v, newline);
        newline = 0;
    }
}

// n values of one type, not used.
static void skip_rc_values(char type, int n)
{
    for (int i = 0; i < n && prj_more(); i++) read_rc_value({type, nullptr}, 0);
}

// A tolerance of the stiff integrator, which must be a number above 0 when the integrator
// runs: one ERROR, with the word as written, for a word that is no such number.
static void read_tolerance(RcValue v, bool used, const char* kind, const char* example)
{
    if (!used) {
        read_rc_value(v, 0);
        return;
    }
    prj_at_field(v.name);
    static char word[4096];
    float x = 0.0f;
    int bad = !nxtwrd(word, NXT_WORD, sizeof word) || fltcon(word, &x) != 0 || !(x > 0.0f);
    *(float*)v.dest = bad ? 0.0f : x;
    if (bad)
        errorf(ERROR, __FILE__, __LINE__,
               "Invalid %s %s in Run Control: set the stiff integrator's %s tolerance above 0 "
               "(e.g. %s)", v.name, word[0] ? word : "(missing)", kind, example);
}

// A file-name line: cut at the first "!", trailing blanks removed, separators converted.
static void read_file_name(char* name)
{
    nxtwrd(name, NXT_LINE, 4096);
    char* bang = strchr(name, '!');
    if (bang) *bang = '\0';
    size_t n = strlen(name);
    while (n > 0 && (name[n - 1] == ' ' || name[n - 1] == '\t')) name[--n] = '\0';
    convertDirChars(name);
}

int run_read()
{
    RunControlData& r = _rcdat;
    WeatherData& w = _wthdat;
    const RcValue _i{'i', nullptr}, _r{'r', nullptr}, _x{'x', nullptr};
    prj_enter_section("Run Control");
    read_rc_line({_i, _i, _i, _i, _r, _i, _r, _r, _i, _r, _r});
    read_rc_line({_r});
    skip_rc_values('i', 5);
    read_rc_line({RC('r', w, Tambt), RC('p', w, Pbar), RC('r', w, WS), RC('r', w, WD),
                  RC('r', w, rel_humidity), RC('i', w, day_type)});
    skip_rc_values('i', 4);
    prj_at_field("Tambt");
    // Densities are taken from the ambient temperature in K, so it must be above 0.
    if (!(w.Tambt > 0.0f))
        errorf(ERROR, __FILE__, __LINE__,
               "Invalid ambient temperature %g K in Run Control: set Tambt, the outdoor "
               "temperature in K, above 0 (e.g. 293.15 for 20 C)", (double)w.Tambt);
    prj_at_field("day_type");
    // The day type selects one of the twelve day schedules of every week schedule.
    if (w.day_type < 1 || w.day_type > 12)
        errorf(ERROR, __FILE__, __LINE__,
               "Invalid day type %d in Run Control: set day_type to a day type of the week "
               "schedules, 1 to 12 (e.g. 1)", w.day_type);
    read_rc_line({_r});
    skip_rc_values('r', 4);
    skip_rc_values('i', 5);
    for (char* name : {_WTHfile, _CTMfile, _CVFfile, _DVFfile, _WPCfile}) read_file_name(name);
    prj_skip_description();
    prj_skip_description();
    read_rc_line({_r, _r, _r, _r, _i});
    read_rc_line({_r, _r, {'h', nullptr}, {'y', nullptr}, {'y', nullptr},
                  {'x', &_useWPCwp, "_useWPCwp"}, {'x', &_useWPCmf, "_useWPCmf"},
                  RC('S', r, wpc_hold)});
    _useWPC = _useWPCwp | _useWPCmf;
    read_rc_line({_r, _r, _r, _r, _r, _i, _i});
    read_rc_line({RC('i', r, sim_af), RC('i', r, af_newton), RC('i', r, itmax),
                  RC('r', r, relcnvg), RC('r', r, abscnvg), RC('r', r, relax), _i,
                  RC('r', r, bldg_dp), _i});
    read_rc_line({RC('i', r, af_slae), RC('i', r, af_reorder), _i, RC('r', r, cnvg),
                  RC('i', r, af_init), RC('i', r, af_corr)});
    read_rc_line({RC('i', r, sim_mf), _i, RC('r', r, cyc_tol), RC('r', r, cyc_cut), _r, _i});
    read_rc_line({RC('i', r, mfn_method), RC('i', r, mfn_reorder), RC('i', r, mfn_itmax),
                  RC('r', r, mfn_relcnvg), RC('r', r, mfn_cutoff), RC('r', r, mfn_relax),
                  RC('r', r, mfn_theta), _i});
    read_rc_line({RC('i', r, mft_method), RC('i', r, mft_reorder), RC('i', r, mft_itmax),
                  RC('r', r, mft_relcnvg), RC('r', r, mft_cutoff), RC('r', r, mft_relax),
                  RC('r', r, mft_theta), _i});
    read_rc_line({RC('i', r, mfc_method), RC('i', r, mfc_reorder), RC('i', r, mfc_itmax),
                  RC('r', r, mfc_relcnvg), RC('r', r, mfc_cutoff), RC('r', r, mfc_relax), _i});
    read_rc_line({RC('i', r, mf_solver), RC('i', r, cd1_zones), RC('i', r, sts_cells),
                  RC('r', r, sts_dx), RC('i', r, sts_temp), _i});
    read_rc_line({RC('x', r, cv_lmm)});
    // The stiff integrator weighs every mass by 1 / (cv_rtol |m| + cv_atol) and can use
    // neither tolerance at 0 or below.
    read_tolerance(RC('r', r, cv_rtol), r.mf_solver >= 2, "relative", "1e-6");
    read_tolerance(RC('r', r, cv_atol), r.mf_solver >= 2, "absolute", "1e-12");
    read_rc_value(RC('r', r, cv_maxstep), 0);
    read_rc_line({RC('i', r, tsdens), _r, RC('i', r, dens_itmax), RC('i', r, cnvgSS),
                  RC('i', r, densZP), RC('i', r, stackD), RC('i', r, dodMdt)});
    if (r.dens_itmax < 2) r.dens_itmax = 2;
    read_rc_line({RC('m', r, ss_date), RC('h', r, ss_time), RC('m', r, start_date),
                  RC('h', r, start_time), RC('m', r, end_date), RC('h', r, end_time),
                  RC('h', r, time_step), RC('h', r, time_list), RC('h', r, time_scrn)});
    read_rc_line({RC('i', r, restart), RC('m', r, rst_date), {'h', nullptr}});
    read_rc_line({RC('i', r, list), _i, RC('x', r, pfres), RC('x', r, zfres),
                  RC('x', r, zcres)});
    read_rc_line({_x, RC('x', r, ach_step), RC('x', r, ach_stats), RC('x', r, cbw_stats),
                  RC('x', r, ebw_step), RC('x', r, ebw_stats), RC('x', r, age_step),
                  RC('x', r, age_stats)});
    read_rc_line({RC('x', r, rzf), RC('x', r, rzm), RC('x', r, rz1), RC('x', r, csm),
                  RC('x', r, srf), RC('x', r, logc)});
    read_rc_line({RC('x', r, cex_bldg), RC('x', r, cex_ctm), RC('x', r, pfsave),
                  RC('x', r, zfsave), RC('x', r, zcsave)});
    read_rc_line({RC('r', r, ach_dens), RC('r', r, gravity)});
    prj_at_field("dbg");
    for (int& d : r.dbg) d = readIX(0);
    prj_at_field(nullptr);
    int nvalues = (int16_t)readI2(1);
    skip_rc_values('r', nvalues);
    read_rc_line({RC('i', r, bf_zones), RC('i', r, bf_jcts), RC('i', r, bf_class)});
    read_rc_line({RC('S', r, cfd_cpl), RC('r', r, cfd_cnvg), RC('S', r, cfd_restart), _i,
                  RC('S', r, cfd_itmax), RC('S', r, cfd_dump), RC('S', r, cfd_mg),
                  RC('S', r, cfd_gs), {'d', nullptr}, {'d', nullptr}});
    prj_section_end("Run Control");
    return 0;
}
#undef RC

// ---- The file -----------------------------------------------------------------------------

static const char* const _versions[] = {"1.0", "2.0", "2.1", "2.2", "2.3", "2.4",
                                        "3.0", "3.1", "3.2", "3.3", "3.4"};
static const char* const PRJ_VERSION = "3.4";

// The first word names the kind of file; the version must be 3.4 with a patch number.
static int read_header(const char* path)
{
    char word[4096];
    nxtwrd(word, NXT_WORD, sizeof word);
    if (streql(word, "VexlarW")) {
        prjType = 0;
    } else if (streql(word, "TRELBO")) {
        prjType = 1;
    } else {
        errorf(ERROR, __FILE__, __LINE__, "Not a VexlarW or Trelbo %s file", PRJ_VERSION);
        return 1;
    }
    nxtwrd(word, NXT_WORD, sizeof word);
    if (strlen(word) < 7) {
        error(ERROR, __FILE__, __LINE__, path, " Version string is too short: ", word, "");
        return 1;
    }
    char* parts[3] = {word, strchr(word, '.'), nullptr};
    if (parts[1]) *parts[1]++ = '\0';
    if (parts[1]) parts[2] = strchr(parts[1], '.');
    if (!parts[2]) {
        error(ERROR, __FILE__, __LINE__, path, " No patch found as part of the version.", "");
        return 1;
    }
    *parts[2]++ = '\0';
    char* dot = strchr(parts[2], '.');
    if (dot) *dot = '\0';
    char joined[4096];
    snprintf(joined, sizeof joined, "%s.%s", parts[0], parts[1]);
    int found = -1;
    for (int i = (int)(sizeof _versions / sizeof _versions[0]) - 1; i >= 0 && found < 0; i--)
        if (streql(joined, _versions[i])) found = i;
    if (found < 0 || !streql(_versions[found], PRJ_VERSION)) {
        error(ERROR, __FILE__, __LINE__, path, prjType == 0 ? "\n is a VexlarW " : "\n is a Trelbo ",
              joined, " file", "");
        return 1;
    }
    int16_t patch;
    shortcon(parts[2], &patch);
    if (patch > 0)
        errorf(WARNING, __FILE__, __LINE__, "PRJ file may require revision (%s) of VexlarX %s",
               parts[2], PRJ_VERSION);
    return 0;
}

// The sections in file order, each storing its count; reading stops before the first
// section when an ERROR has been counted.
static DaySchedRec* s_dsch_head;
static WeekSchedRec* s_wsch_head;
static WindProfileRec* s_wpf_head;
static ReactionRec* s_knr_head;
static FilterElemRec* s_flte_head;
static CseRec* s_cse_head;
static AfeRec* s_afe_head;
static AfeRec* s_dfe_head;

static void sec_run() { run_read(); }
static void sec_species() { species_read(&_ms); }
static void sec_level() { _nlev = level_read(&_ms); }
static void sec_dsch() { _ndsch = dschd_read(&s_dsch_head, &_ms); }
static void sec_wsch() { _nwsch = wschd_read(&s_wsch_head, _ndsch, &_ms); }
static void sec_wind() { _nwpf = wind_read(&s_wpf_head, &_ms); }
static void sec_kinetic() { _nkinr = kinetic_read(&s_knr_head, nullptr, &_ms); }
static void sec_flte() { _nflte = flte_read(&s_flte_head, nullptr, &_ms); }
static void sec_filter() { _nfilt = filter_read(&_ms); }
static void sec_cse() { _ncse = cselmt_read(&s_cse_head, nullptr, &_ms); }
static void sec_afe() { _nafe = afelmt_read(&s_afe_head, &_ms, 0); }
static void sec_dfe() { _ndfe = afelmt_read(&s_dfe_head, &_ms, 1); }
static void sec_ctrl() { _nctrl = ctrl_read(); }
static void sec_ahs() { ahs_read(); }
static void sec_zone() { zone_read(); }
static void sec_zone_cc() { zone_cc_read(); }
static void sec_path() { path_read(); }
static void sec_jct() { jct_read(); }
static void sec_duct() { duct_read(); }
static void sec_css() { css_read(); }
static void sec_osch() { osch_read(); }
static void sec_pexp() { pexp_read(); }
static void sec_note() { note_read(); }
static void sec_trelbo() { if (prjType == 1) { skip_data(); skip_data(); } }

static void (*const s_sections[])() = {
    sec_run, sec_species, sec_level, sec_dsch, sec_wsch, sec_wind, sec_kinetic, sec_flte,
    sec_filter, sec_cse, sec_afe, sec_dfe, skip_data, sec_ctrl, sec_ahs, sec_zone,
    sec_zone_cc, sec_path, sec_jct, sec_duct, sec_css, sec_osch, sec_pexp, sec_note,
    sec_trelbo};

// The header and the sections of the open file: -1 for a rejected header, 0 for a clean
// read, 1 when ERRORs were counted.
static int prj_read_sections(const char* file)
{
    if (read_header(file)) return -1;
    error(-2, __FILE__, __LINE__, "reset count", "");
    _echo = (int16_t)readI2(0);
    if (_doInput) _echo = 1;
    nxtwrd(_prjdesc, NXT_LINE, sizeof _prjdesc);
    for (auto section : s_sections) {
        if (prj_errors()) break;
        section();
    }
    if (prj_errors()) return 1;
    nxtwrd(_string, NXT_REST_OF_LINE, sizeof _string);
    run_control_warnings(_nctm);
    return 0;
}

int prj_read(const char* path)
{
    char file[4096];
    snprintf(file, sizeof file, "%s", path);
    if (nxtopen(file, __FILE__, __LINE__)) return 1;
    if (_ulog) fprintf(_ulog, "\nReading project file: %s\n", file);
    s_place = {file, nullptr, 0, nullptr};
    const char* (*outer_place)() = _errorPlaceFcnP;
    _errorPlaceFcnP = prj_place;
    int rc = prj_read_sections(file);
    _errorPlaceFcnP = outer_place;
    nxtclose();
    if (rc <= 0) return -rc;
    error(FATAL, __FILE__, __LINE__, "Project file errors must be fixed.", "");
    return 1;
}

}  // namespace vexlar
