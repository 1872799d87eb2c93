// The forward-only record reader every timed input file is read through: the bracket of
// the two records enclosing the clock, the common frame of header, description and date
// range, and the reading loop that brings a file up to a requested instant. Each file
// keeps its own stream and lends it to the single token stream only while it reads.
// Every record's values are read, whatever its day, so that values continued over
// several lines are never taken for the next record's date, and the two value sets
// always belong to the two records of the bracket.
#include "simulation/weather-int.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "common-src/convert.h"
#include "common-src/messages.h"
#include "common-src/paths.h"
#include "common-src/tokens.h"
#include "model/clock.h"
#include "model/prj-common.h"
#include "simulation/weather.h"

namespace vexlar {

void initBracket(DayTimeBracket* b)
{
    b->day0 = b->day1 = 0;
    b->time0 = 0;
    b->time1 = 1;
    b->eof = 0;
}

int readDayTime_bracket(int day, int time, DayTimeBracket* b, int* dt)
{
    *dt = 0;
    int rday = readMDx(1);
    if (rday < 0) {
        b->eof = 1;
        return 1;
    }
    if (rday == 0) return 2;   // the date reader has reported the word
    int rtime = readHMS_strict(0);
    if (rtime == -2) {
        error(ERROR, __FILE__, __LINE__, "Expecting time after read date ", datxstr(rday), "");
        return 2;
    }
    if (rtime < 0) return 2;
    if (rday < b->day1 || (rday == b->day1 && rtime < b->time1)) {
        error(ERROR, __FILE__, __LINE__, "File day-times decrease near day ", datxstr(rday), " time ",
              timestr(rtime), "");
        return 2;
    }
    b->day0 = b->day1;
    b->time0 = b->time1;
    b->day1 = rday;
    b->time1 = rtime;
    *dt = rtime + (rday - day) * 86400 - time;
    return 0;
}

namespace {
const TimedFile* reading = nullptr;   // the file that has the token stream, for its messages
}

void tf_open(TimedFile* f)
{
    reading = f;
    f->errors = nonFatalErrorCt;
    if (*f->stream) fclose(*f->stream);
    *f->stream = nullptr;
    inputFilePath(f->name, sizeof f->name, f->path);
    if (nxtopen_as(f->kind, f->name, __FILE__, __LINE__) != 0) {
        // The token stream has named the file and the system's reason. The run cannot go
        // on without it: a failed run with status 1, its result files removed.
        if (_errorFinishFcnP) _errorFinishFcnP(1);
        exit(1);
    }
    *f->stream = _unxt;
}

void tf_fail(const TimedFile* f)
{
    error(FATAL, __FILE__, __LINE__, "Error encountered while reading ", f->code, " file ", f->name, "");
    std::abort();   // the finish hook ends the process; no reader goes on over a bad word
}

void tf_check(const TimedFile* f, int expected)
{
    if (nonFatalErrorCt - f->errors > expected) tf_fail(f);
}

// Splits the header line into at most three words at blanks, tabs and commas; returns
// the number found.
static int header_words(char* line, const char* words[3])
{
    int n = 0;
    for (char* p = line; *p && n < 4;) {
        while (*p == ' ' || *p == '\t' || *p == ',') *p++ = '\0';
        if (!*p) break;
        if (n < 3) words[n] = p;
        n++;
        while (*p && *p != ' ' && *p != '\t' && *p != ',') p++;
    }
    return n;
}

int tf_header(const TimedFile* f, const char* kind, const char* const* versions, int nversions)
{
    static char line[4096], copy[4096];
    line[0] = '\0';
    nxtwrd(line, NXT_REST_OF_LINE, sizeof line);
    std::strcpy(copy, line);
    const char* w[3] = {"", "", ""};
    header_words(copy, w);
    int version = -1;
    if (std::strcmp(w[0], kind) == 0 && std::strcmp(w[1], "VexlarW") == 0)
        for (int v = 0; v < nversions && version < 0; v++)
            if (std::strcmp(w[2], versions[v]) == 0) version = v;
    if (version < 0) {
        error(WARNING, __FILE__, __LINE__, f->bad_header, f->name, "");
        error(FATAL, __FILE__, __LINE__, "Invalid header: ", line, "");
    }
    nxtwrd(copy, NXT_RAW_LINE, sizeof copy);   // the description: exactly one line, whatever it holds
    return version;
}

int tf_dates(const TimedFile* f, int day0, int day1, int level, int* first, int* last)
{
    *first = readMDx(1);
    *last = readMDx(0);
    // A run over the year end needs the file up to Dec 31; the files start again from
    // Jan 1 when the year wraps.
    int end = day1 < day0 ? 365 : day1;
    int faults = 0;
    if (*first < 1 || *last < 1 || *last < *first) {
        error(level, __FILE__, __LINE__, "Invalid ", f->range_name, " date sequence", "");
        faults++;
    }
    if (day0 < *first) {
        error(level, __FILE__, __LINE__, "Start date not on ", f->on_name, "");
        faults++;
    }
    if (*last < end) {
        error(level, __FILE__, __LINE__, "End date not on ", f->on_name, "");
        faults++;
    }
    return faults;
}

int tf_fits(long long n, long words)
{
    long left = nxtleft();
    return left < 0 || n * words <= (left + 1) / 2;
}

int tf_count(const TimedFile* f, int newline, long words)
{
    int before = nonFatalErrorCt;
    int n = readI2(newline);
    // A word the reader refused is no count at all: nothing is sized or looped by it.
    if (nonFatalErrorCt != before) tf_fail(f);
    if (n < 0 || !tf_fits(n, words))
        error(FATAL, __FILE__, __LINE__, "Invalid count ", intstr(n), " in ", f->on_name, "");
    return n;
}

void tf_map_species(int n, int* map)
{
    static char name[16];
    for (int c = 0; c < n; c++) {
        name[0] = '\0';
        nxtwrd(name, NXT_WORD, sizeof name);
        map[c] = -1;
        for (int i = 0; i < _nctm && map[c] < 0; i++)
            if (std::strcmp(_ctm[i].name, name) == 0) map[c] = i;
    }
}

static char realWord[4096];   // the word tf_real read last

int tf_real(int newline, double* value)
{
    *value = 0.0;
    realWord[0] = '\0';
    if (!nxtwrd(realWord, newline ? NXT_FIRST_WORD : NXT_WORD, sizeof realWord)) return 1;
    if (dblcon(realWord, value) == 0) return 0;
    error(ERROR, __FILE__, __LINE__, realWord, " is not a (valid) number", "");
    return 1;
}

int tf_single(int newline, double* value)
{
    int bad = tf_real(newline, value);
    if (!bad && std::fabs(*value) > FLT_MAX) {
        error(ERROR, __FILE__, __LINE__, realWord, " is too large for a single-precision value in ",
              reading ? reading->name : "a timed input file", "");
        *value = 0.0;
        bad = 1;
    }
    return bad;
}

int tf_float(int newline, float* value)
{
    double v;
    int bad = tf_single(newline, &v);
    *value = (float)v;
    return bad;
}

void tf_first_record(TimedFile* f)
{
    tf_check(f, 0);   // the header and the tables before the records
    initBracket(&f->bracket);
    int dt;
    if (readDayTime_bracket(0, 0, &f->bracket, &dt) != 0 || f->read_values() != 0)
        error(FATAL, __FILE__, __LINE__, "Bad day, bad time, or end-of-file, in first hourly entry of ",
              f->code, " file", "");
    tf_check(f, 0);
    f->shift();
    tf_detach(f);
}

int tf_advance(TimedFile* f, int day, int time, int start, int* nread)
{
    DayTimeBracket* b = &f->bracket;
    int d = b->time1 + (b->day1 - day) * 86400 - time;
    *nread = 0;
    reading = f;
    _unxt = *f->stream;
    while ((d < 0 || (d == 0 && start)) && !b->eof) {
        f->shift();
        int dt;
        int r = readDayTime_bracket(day, time, b, &dt);
        if (r == 1) {
            error(NOTE, __FILE__, __LINE__, "End of ", f->code, " file before end of simulation", "");
            d = 0;
            break;
        }
        if (r != 0 || f->read_values() != 0) tf_fail(f);
        d = dt;
        ++*nread;
    }
    tf_detach(f);
    return d;
}

int tf_span(const TimedFile* f)
{
    const DayTimeBracket& b = f->bracket;
    int s = b.time1 + (b.day1 - b.day0) * 86400 - b.time0;
    if (s < 1) error(FATAL, __FILE__, __LINE__, f->code, " file day-times must increase", "");
    return s;
}

double tf_toLater(const TimedFile* f, double t, int* s)
{
    const DayTimeBracket& b = f->bracket;
    *s = b.time1 + (b.day1 - b.day0) * 86400 - b.time0;
    if (*s < 1) {
        *s = 1;
        return 0.0;
    }
    return b.time1 + (double)(b.day1 - _dayofy) * 86400.0 - t;
}

void timedInputsAt(double t)
{
    if (_uctm) CTM_at(t);
    if (_uwth) WTH_at(t);
    if (_uwpc) WPC_at(t);
    if (_ucvf) CVF_at(t);
}

void tf_detach(TimedFile* f)
{
    if (!_unxt && *f->stream) {
        // The end mark "*" closed the file under the reader. Keep a valid stream that
        // stands at the end of the data, so that the file reads as ended, not as closed.
        FILE* again = openFile(f->name, "r");
        if (again) fseek(again, 0, SEEK_END);
        *f->stream = again;
    }
    _unxt = nullptr;
}

}  // namespace vexlar
