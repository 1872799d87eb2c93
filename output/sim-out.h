// The result files of a run and the per-step results dispatch: naming from the project
// path parts, open/close with a removal flag, the SIM binary results file, the short-
// time-step files, the surface (SRF) and exfiltration (CEX) files, and the run extremes.
// Every closer with a nonzero flag removes the file of the project's name, open or not.
#pragma once
#include <cstdio>
#include <type_traits>

namespace vexlar {

extern FILE* _usim;   // SIM results file, null while not open

// Builds the name of the project's result file with extension ext into _file_name.
const char* resultFileName(const char* ext);
// Creates the file at path (fopen mode); one that cannot be created is the FATAL `text`
// (which names the file's kind) followed by the system's reason in parentheses.
FILE* createFileAt(const char* path, const char* mode, const char* text);
// Creates the project's result file with extension ext; one that cannot be created is the
// FATAL "Could not open <kind> file; is it already open?" with its path and the system's
// reason.
FILE* createResultFile(const char* ext, const char* mode, const char* kind);
// Removes the project's result file with extension ext; a missing file is no error.
void removeResultFile(const char* ext);
// Closes *f when it is open and clears it; with flag set removes the project's file.
// A kept file (flag 0) whose bytes did not all reach the disk is a write failure.
void closeResultFile(FILE** f, int flag, const char* ext);

// Result files of this run that could not be written in full; a run with any cannot end
// as a success.
extern int _resultWriteFailures;
// Reports a result file (extension ext) that could not be written: ERROR text followed by
// the file's name and, when not empty, ": " and the detail; counted in _resultWriteFailures.
void resultWriteFailed(const char* text, const char* ext, const char* detail);
// Replaces the first line of the open text result file f (opened for update) by `line`,
// which ends in a line feed; a failure is a write failure of the file (extension ext).
void rewriteFirstLine(FILE* f, const char* ext, const char* line);

// Header items 10 and 11 (date1, time1) of an open SIM file: the clock's end.
void setSim_periodEnd();

void set_usim_open();
void set_usim_close(int flag);
void writeSim_stepTime(int t);
void writeSim_daySummary();
void writeSim_daySummary_init();
// Day extremes of a result time that stands for its whole day (steady initialisation,
// duct balancing): every path but the air-handling system's own takes its current flow
// and pressure difference, every node its gauge pressure.
void setDayExtremesToCurrent();
void writeResults_stepEnd(int t);

// Ends the run with a FATAL naming the first node or path whose result a file of single
// (SIM) or double (database) precision cannot hold, so that no value reaches such a file
// that is not finite once narrowed to the precision the file stores.
void checkResultsFinite(bool single);
// Ends the run with the same FATAL, naming `what`, unless v is a number a result file of
// that precision can hold.
void requireResult(double v, bool single, const char* what);

template <class T> void requireTextResult(T v, const char* what)
{
    if constexpr (std::is_floating_point_v<T>) requireResult(v, false, what);
}

// fprintf for a text result file: a real argument that is not finite ends the run with
// the non-finite FATAL naming the file (`what`) before any of the text is written.
template <class... A> void resultFprintf(FILE* f, const char* what, const char* fmt, A... args)
{
    (requireTextResult(args, what), ...);
    fprintf(f, fmt, args...);
}
// The same, with the format checked against its arguments by the compiler (the printf in
// sizeof is never called).
#define resultPrintf(f, what, ...) \
    (static_cast<void>(sizeof(printf(__VA_ARGS__))), resultFprintf(f, what, __VA_ARGS__))

void extremesInit();
void extremesCalc();
void writeLog_extremes(FILE* f);

void set_uSTS_ResultFiles(int mode);   // 1 open, 2 close, 3 close and remove
void set_urz1(int mode);               // the RZ1 file alone, same modes
void writeSTS_ResultFiles(int t);
void set_usrf(int mode);               // 1 open, 2 close, 3 close and remove
void writeSrf_stepTime(int t);

void set_ubcex_open();
void set_ubcex_close(int flag);
void set_udcex_open();
void set_udcex_close(int flag);
void writeCex_stepEnd(int t);
void writeCex_simEnd();

}  // namespace vexlar
