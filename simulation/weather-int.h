// Private to the timed input files: the bracket of the two records that enclose the clock,
// the description of one file kind the shared reader works from, and the forward-only
// record reader with the frame every kind shares (header, description, date range, first
// record, the reading loop and the interpolation between the two records).
#pragma once
#include <cstdint>
#include <cstdio>

namespace vexlar {

struct DayTimeBracket {
    int day0, day1;     // day of year of the earlier and of the later record
    int time0, time1;   // their seconds of the day, 0..86400
    uint8_t eof;        // the end of the data has been reached
};

// One kind of timed input file as the shared reader sees it.
struct TimedFile {
    const char* code;         // "CVF", "DVF", "WTH", "CTM" or "WPC", as the messages name it
    const char* kind;         // "weather file", ..., as a file that cannot be opened is named
    const char* bad_header;   // WARNING before "Invalid header: ", e.g. "Bad CVF: "
    const char* range_name;   // "Invalid <range_name> date sequence"
    const char* on_name;      // "Start date not on <on_name>", "End date not on <on_name>"
    FILE** stream;            // the file's own stream, null while it is not in use
    const char* path;         // the file name the project gives
    DayTimeBracket bracket;
    void (*shift)();          // before each record is read: the later values become the earlier
    int (*read_values)();     // the record's values into the later set; nonzero when bad
    int errors;               // the count of ERRORs when the file was opened
    char name[4096];          // the file opened: path, looked for beside the project
};

void initBracket(DayTimeBracket* b);
// Reads the date and time that begin the next record and moves the bracket on. Returns 0
// (read; *dt the seconds from the requested instant to the record), 1 (end of the data) or
// 2 (bad record, reported).
int readDayTime_bracket(int day, int time, DayTimeBracket* b, int* dt);

// Opens the file on the token stream, closing a stream left from an earlier pass; a
// relative name is looked for beside the project. A file that cannot be opened ends the
// run with status 1.
void tf_open(TimedFile* f);
// FATAL "Error encountered while reading <code> file <path>".
[[noreturn]] void tf_fail(const TimedFile* f);
// Ends the run through tf_fail when more than `expected` ERRORs were reported since the file
// was opened: a run is never fed by a file it could not read.
void tf_check(const TimedFile* f, int expected);
// Checks the three header words and skips the description line after them; returns the
// position of the version word in versions.
int tf_header(const TimedFile* f, const char* kind, const char* const* versions, int nversions);
// Reads the date range from the next line into *first and *last; every
// fault against the run's days day0..day1 is reported at `level`. Returns the fault count.
int tf_dates(const TimedFile* f, int day0, int day1, int level, int* first, int* last);
// A table count, the first word of a new line when newline is set. A count that is not a
// 16-bit integer ends the read through tf_fail; a negative one, or one larger than the rest
// of the file can hold at `words` words per item, is FATAL "Invalid count".
int tf_count(const TimedFile* f, int newline, long words);
// 1 when n items of `words` words each (a word and a separator, at least two characters)
// can still follow in the file, or when its size is not known.
int tf_fits(long long n, long words);
// Reads n species names (words, lines shared) and maps each to the simulated species of that
// name, -1 when it is not simulated.
void tf_map_species(int n, int* map);
// The next word as a real; 0 when it is one, 1 (an ERROR for a word that is no number)
// when it is missing or bad. tf_real is for the values kept in double precision.
int tf_real(int newline, double* value);
// The same for a value that is, or ends up, in single precision: a word beyond the float
// range is also an ERROR, naming the file ("... is too large for a single-precision value
// in ..."), and gives 0.
int tf_single(int newline, double* value);
int tf_float(int newline, float* value);
// Reads the first record (a failure is FATAL) and copies its values to the earlier set.
void tf_first_record(TimedFile* f);
// Moves the file forward until (day, time) lies inside the bracket; *nread counts the
// records read. Returns d, the seconds from the instant to the later record.
int tf_advance(TimedFile* f, int day, int time, int start, int* nread);
// Seconds between the two records; below 1 s is FATAL "<code> file day-times must increase".
int tf_span(const TimedFile* f);
// For a reading at the stiff integrator's own time t (seconds of the current day) inside
// the bracket the last reading found, which reads nothing: the seconds from t to the later
// record, and in *s the span between the two records (1 when they share their instant).
double tf_toLater(const TimedFile* f, double t, int* s);
// Points the token stream away from the file again.
void tf_detach(TimedFile* f);

// The value d seconds before the later record, on the straight line between the earlier
// and the later value over the span s: the later value at d <= 0, the earlier at d >= s.
// Worked in double: two values near the float limit must not overflow on the way.
template <class T> T tf_lerp(T earlier, T later, double d, int s)
{
    if (d <= 0) return later;
    if (d >= s) return earlier;
    return (T)((double)later + ((double)earlier - (double)later) * d / (double)s);
}

// Each file's values at the stiff integrator's time t, from the bracket as it stands: the
// ambient node, the weather record, the openings' pressures and mass fractions, the
// continuous values. The mass fractions are interpolated in double precision there, so
// that what the integrator integrates is smooth between the records.
void CTM_at(double t);
void WTH_at(double t);
void WPC_at(double t);
void CVF_at(double t);

}  // namespace vexlar
