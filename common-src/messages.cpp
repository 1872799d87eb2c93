// Leveled messages and the log file of the run. A message goes to standard error (or to
// an installed sink) and, once main has opened the log, to the log with the source file
// and line that raised it. ERRORs are counted so a checking pass can report every fault
// before it stops; a FATAL ends the run through the finish hook main installs.
#include "common-src/messages.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common-src/paths.h"

namespace vexlar {

FILE* _ulog = nullptr;
FILE** _errorLogFileP = nullptr;
void (*_errorFinishFcnP)(int) = nullptr;
void (*_errorAuxFcnP)(const char* head, const char* text, int* count) = nullptr;
const char* (*_errorPlaceFcnP)() = nullptr;
int nonFatalErrorCt = 0;

static const char* const head[4] = {"NOTE", "WARNING", "ERROR", "FATAL"};

enum { MSG_MAX = 4093, MINIMAL_MAX = 4094, SRC_NAME = 32, PLACE_MAX = 1024 };

// The log stream when one is installed and usable; a stream in error is skipped.
static FILE* logStream()
{
    if (!_errorLogFileP || !*_errorLogFileP) return nullptr;
    FILE* f = *_errorLogFileP;
    if (ferror(f) || ftell(f) < 0) return nullptr;
    return f;
}

// The bare name of a source path: no directory, no extension, at most 31 characters.
// The separator the project's paths are joined with stays as it was: a message raised
// from a source file must not change how the result files of the project are named.
static void sourceName(const char* file, char* name)
{
    char dirchr = _dirchr;
    pathsplit(file, nullptr, 0, nullptr, 0, name, SRC_NAME, nullptr, 0);
    _dirchr = dirchr;
}

static void toScreen(const char* word, const char* text)
{
    if (_errorAuxFcnP) {
        _errorAuxFcnP(word, text, &nonFatalErrorCt);
        return;
    }
    errorToGui(word, text);
}

// Joins the pieces after one leading blank, up to the first empty piece, bounded to
// MSG_MAX characters, and ends the text with a line feed.
static void joinPieces(const char* const* pieces, int npieces, char* text)
{
    size_t n = 0;
    text[n++] = ' ';
    for (int i = 0; i < npieces && pieces[i] && pieces[i][0] != '\0' && n < MSG_MAX; i++) {
        size_t len = strnlen(pieces[i], MSG_MAX - n);
        memcpy(text + n, pieces[i], len);
        n += len;
    }
    text[n++] = '\n';
    text[n] = '\0';
}

// The place hook's line, indented under the text, for an ERROR or FATAL.
static void appendPlace(int level, char* text)
{
    const char* place = level >= ERROR && _errorPlaceFcnP ? _errorPlaceFcnP() : nullptr;
    if (!place || !place[0]) return;
    size_t n = strlen(text);
    snprintf(text + n, PLACE_MAX, "  %.*s\n", (int)(PLACE_MAX - 4), place);
}

int error_pieces(int level, const char* file, int line, const char* const* pieces, int npieces)
{
    if (level < 0) {
        if (level != -1) nonFatalErrorCt = 0;
        return nonFatalErrorCt;
    }
    int fatal = level >= FATAL;
    const char* word = fatal ? head[FATAL] : head[level];
    if (level == ERROR) nonFatalErrorCt++;

    char text[MSG_MAX + 2 + PLACE_MAX];
    joinPieces(pieces, npieces, text);
    appendPlace(level, text);
    toScreen(word, text);

    if (FILE* log = logStream()) {
        char name[SRC_NAME];
        sourceName(file, name);
        fprintf(log, "%s  (file %s, line %d)\n%s", word, name, line, text);
        fflush(log);
    }
    if (fatal) {
        if (!_errorFinishFcnP) exit(2);
        _errorFinishFcnP(2);
    }
    return nonFatalErrorCt;
}

int errorf(int level, const char* file, int line, const char* fmt, ...)
{
    char buf[4096];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return error(level, file, line, buf, "");
}

void errorMinimal(int level, const char* text)
{
    if (level < NOTE) level = NOTE;
    if (level > FATAL) level = FATAL;
    char buf[MINIMAL_MAX + 2];
    size_t n = strnlen(text ? text : "", MINIMAL_MAX);
    memcpy(buf, text ? text : "", n);
    buf[n++] = '\n';
    buf[n] = '\0';
    toScreen(head[level], buf);
    if (FILE* log = logStream()) {
        fprintf(log, "%s: %s", head[level], buf);
        fflush(log);
    }
    if (level > ERROR) exit(1);
}

void errorToGui(const char* headword, const char* text)
{
    fputs(headword, stderr);
    fputs(text, stderr);
    fflush(stderr);
}

void lognote(const char* text, const char* file, int line)
{
    if (!_ulog) return;
    char name[SRC_NAME];
    sourceName(file, name);
    fprintf(_ulog, " %s (file %s, line %d)\n", text, name, line);
    fflush(_ulog);
}

void ulog_printf(const char* fmt, ...)
{
    if (!_ulog) return;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(_ulog, fmt, ap);
    va_end(ap);
}

void ulog_flush()
{
    if (_ulog) fflush(_ulog);
}

void getXLogFileName(const char* drive, const char* dir, const char* name, char* out, int outlen)
{
    pathmerge(out, outlen, drive, dir, name, ".xlog");
}

FILE* openLogFile(const char* path) { return openFile(path, "w"); }

void setErrorTraps() {}

}  // namespace vexlar
