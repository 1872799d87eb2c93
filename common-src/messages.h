// Leveled messages of the engine and the log file of the run. Every diagnostic goes
// through error(): shown on standard error, logged with its source position, ERRORs
// counted, FATAL ending the run through the installed finish hook.
#pragma once
#include <cstdio>

namespace vexlar {

enum ErrorLevel { NOTE = 0, WARNING = 1, ERROR = 2, FATAL = 3 };

extern FILE* _ulog;                       // log stream of the run, null until opened
extern FILE** _errorLogFileP;             // where error() finds the log stream
extern void (*_errorFinishFcnP)(int);     // called with 2 after a FATAL message
extern void (*_errorAuxFcnP)(const char* head, const char* text, int* count);
// While set, an ERROR or FATAL text gets one more line: what this returns (none for null
// or ""), e.g. where in an input file the reader stands.
extern const char* (*_errorPlaceFcnP)();
extern int nonFatalErrorCt;

// The pieces are read up to the first empty piece, which must be present.
int error_pieces(int level, const char* file, int line, const char* const* pieces, int npieces);
template <class... Pieces>
int error(int level, const char* file, int line, Pieces... pieces)
{
    const char* arr[] = {pieces...};
    return error_pieces(level, file, line, arr, (int)sizeof...(pieces));
}
int errorf(int level, const char* file, int line, const char* fmt, ...)
    __attribute__((format(printf, 4, 5)));
void errorMinimal(int level, const char* text);
void errorToGui(const char* head, const char* text);
void lognote(const char* text, const char* file, int line);
// printf to the log of the run (_ulog) when it is open; nothing otherwise. For the
// tables and progress lines subsystems write to the log alone.
void ulog_printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void ulog_flush();
void getXLogFileName(const char* drive, const char* dir, const char* name, char* out, int outlen);
FILE* openLogFile(const char* path);
void setErrorTraps();

}  // namespace vexlar
